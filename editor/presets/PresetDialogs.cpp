#include "PresetDialogs.h"
#include "VroCore.h"

namespace PresetDialogs
{
namespace
{
const juce::String extension = "drubbel";

void launchFileChooser (const Request& request, Answer answer)
{
    // The chooser must outlive this call; the callback releases it.
    auto chooser = std::make_shared<juce::FileChooser> (request.title, request.start, request.pattern);
    int flags = 0;
    switch (request.mode)
    {
        case Mode::save: flags = juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                                 | juce::FileBrowserComponent::warnAboutOverwriting; break;
        case Mode::open: flags = juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles; break;
        case Mode::folder: flags = juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories; break;
    }
    chooser->launchAsync (flags, [chooser, answer] (const juce::FileChooser& fc) { answer (fc.getResult()); });
}

juce::String withSeparator (const juce::String& path)
{
    return path.endsWithChar (juce::File::getSeparatorChar()) ? path : path + juce::File::getSeparatorString();
}

/** Runs the chooser and hands a confirmed answer on, unless the owner went away meanwhile. */
void ask (const Request& request, juce::Component* owner, std::function<void (const juce::File&)> act, std::function<void()> onDone)
{
    const bool owned = owner != nullptr;
    juce::Component::SafePointer<juce::Component> guard (owner);
    runChooser (request,
                [owned, guard, act = std::move (act), onDone = std::move (onDone)] (const juce::File& result)
                {
                    if (owned && guard == nullptr)
                        return;
                    if (result != juce::File())
                        act (result);
                    if (onDone)
                        onDone();
                });
}
} // namespace

std::function<void (const Request&, Answer)> runChooser = launchFileChooser;

juce::File withPresetExtension (const juce::File& chosen)
{
    if (chosen.getFileExtension().equalsIgnoreCase ("." + extension))
        return chosen;
    return juce::File (chosen.getFullPathName() + "." + extension);
}

void openSavePresetDialog (VroCore& core, juce::Component* owner, std::function<void()> onDone)
{
    auto folder = withSeparator (core.getPresetDirectory());
    const auto program = core.getProgram().getNames();
    if (program.path.isNotEmpty() && juce::File (program.path).existsAsFile())
        folder = withSeparator (juce::File (program.path).getParentDirectory().getFullPathName());
    const juce::File suggested (folder + VroCore::presetFileName (program.programName) + "." + extension);

    ask ({ "Save preset.", suggested, "*." + extension, Mode::save }, owner,
         [&core] (const juce::File& result)
         {
             const auto target = withPresetExtension (result);
             // Refused too where the name is a link that leads out of the preset folder.
             if (! core.savePresetFile (target))
                 showSaveProblem ("The preset could not be saved as \"" + target.getFullPathName()
                                  + "\". A name that links out of the preset folder, or to anything but a preset file, "
                                    "is not written through; otherwise the folder may be full or read-only.");
         },
         std::move (onDone));
}

void showAlert (const juce::String& title, const juce::String& message)
{
    juce::AlertWindow::showAsync (juce::MessageBoxOptions()
                                      .withIconType (juce::MessageBoxIconType::WarningIcon)
                                      .withTitle (title)
                                      .withMessage (message)
                                      .withButton ("OK"),
                                  nullptr);
}

std::function<void (const juce::String&)> showSaveProblem = [] (const juce::String& message) { showAlert ("Save Preset", message); };

void openLoadPresetDialog (VroCore& core, bool sequencerOnly, juce::Component* owner, std::function<void()> onDone)
{
    ask ({ "Please choose a valid preset.", juce::File (core.getPresetDirectory()), "*." + extension, Mode::open }, owner,
         [&core, sequencerOnly] (const juce::File& result) { core.loadPresetFile (result, true, sequencerOnly); }, std::move (onDone));
}

void openMovePresetsDialog (VroCore& core, juce::Component* owner, std::function<void()> onDone)
{
    ask ({ "Please choose a new preset folder.", juce::File (core.getPresetDirectory()), {}, Mode::folder }, owner,
         [&core] (const juce::File& result) { core.movePresetsLocation (result.getFullPathName()); }, std::move (onDone));
}

void showPresetsFolder (VroCore& core)
{
    const juce::File folder (core.getPresetDirectory());
    if (folder.isDirectory())
        folder.startAsProcess();
}
} // namespace PresetDialogs
