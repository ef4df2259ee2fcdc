#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;

/** The preset menu's "Tuning" submenu: a Scala scale or keyboard mapping for the session, or the
    standard tuning; and the line under the preset name that says which tuning plays. */
namespace TuningMenu
{
enum MenuIds
{
    loadScaleId = 20,
    loadMappingId = 21,
    standardId = 22
};

/** A separator and the submenu, at the end of the menu. */
void addTo (juce::PopupMenu& menu, VroCore& core);

/** Runs a tuning item: true when the id was one. owner guards the dialogs' answers. */
bool run (int id, VroCore& core, juce::Component* owner, std::function<void()> onDone);

/** Tells the musician why a file was refused. Tests replace it to read the message. */
extern std::function<void (const juce::String& message)> showProblem;
} // namespace TuningMenu

/** The current tuning's description, in small letters under the preset name. */
class TuningLabel : public juce::Component, public juce::SettableTooltipClient
{
public:
    explicit TuningLabel (VroCore& core);

    /** Repaints when the description changed. */
    void refresh();
    const juce::String& getText() const noexcept { return text; }

    void paint (juce::Graphics&) override;

private:
    VroCore& core;
    juce::String text;
};
