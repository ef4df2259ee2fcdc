#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;

/** The preset file dialogs. The choosers run asynchronously; what the user picked arrives in a
    callback, an empty File when the dialog was cancelled. */
namespace PresetDialogs
{
enum class Mode
{
    save,
    open,
    folder
};

struct Request
{
    juce::String title;
    juce::File start;
    juce::String pattern;
    Mode mode;
};

using Answer = std::function<void (const juce::File&)>;

/** Opens the framework's file chooser. Tests replace it to answer for the user. */
extern std::function<void (const Request&, Answer)> runChooser;

/** A warning the user must see, in a window of its own. */
void showAlert (const juce::String& title, const juce::String& message);
/** Tells the user a preset was not saved. Tests replace it to read the message. */
extern std::function<void (const juce::String& message)> showSaveProblem;

/** The answer is acted on only while owner (when given) still exists: a dialog can outlive the
    editor that opened it, and the processor goes soon after the editor. */
void openSavePresetDialog (VroCore&, juce::Component* owner = nullptr, std::function<void()> onDone = {});
void openLoadPresetDialog (VroCore&, bool sequencerOnly, juce::Component* owner = nullptr, std::function<void()> onDone = {});
void openMovePresetsDialog (VroCore&, juce::Component* owner = nullptr, std::function<void()> onDone = {});
/** Opens the preset folder in the system's file browser, when it exists. */
void showPresetsFolder (VroCore&);

/** A chosen save target with the preset extension, added when the user typed none. */
juce::File withPresetExtension (const juce::File& chosen);
} // namespace PresetDialogs
