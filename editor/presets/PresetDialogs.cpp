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

void finish (const std::function<void()>& onDone)
{
    if (onDone)
        onDone();
}
} // namespace

std::function<void (const Request&, Answer)> runChooser = launchFileChooser;

juce::File withPresetExtension (const juce::File& chosen)
{
    if (chosen.getFileExtension().equalsIgnoreCase ("." + extension))
        return chosen;
    return juce::File (chosen.getFullPathName() + "." + extension);
}

void openSavePresetDialog (VroCore& core, std::function<void()> onDone)
{
    auto folder = withSeparator (core.getPresetDirectory());
    const auto& program = core.getProgram();
    if (program.path.isNotEmpty() && juce::File (program.path).existsAsFile())
        folder = withSeparator (juce::File (program.path).getParentDirectory().getFullPathName());
    const juce::File suggested (folder + VroCore::presetFileName (program.programName) + "." + extension);

    runChooser ({ "Save preset.", suggested, "*." + extension, Mode::save },
                [&core, onDone] (const juce::File& result)
                {
                    if (result != juce::File())
                        core.savePresetFile (withPresetExtension (result));
                    finish (onDone);
                });
}

void openLoadPresetDialog (VroCore& core, bool sequencerOnly, std::function<void()> onDone)
{
    runChooser ({ "Please choose a valid preset.", juce::File (core.getPresetDirectory()), "*." + extension, Mode::open },
                [&core, sequencerOnly, onDone] (const juce::File& result)
                {
                    if (result != juce::File())
                        core.loadPresetFile (result, true, sequencerOnly);
                    finish (onDone);
                });
}

void openMovePresetsDialog (VroCore& core, std::function<void()> onDone)
{
    runChooser ({ "Please choose a new preset folder.", juce::File (core.getPresetDirectory()), {}, Mode::folder },
                [&core, onDone] (const juce::File& result)
                {
                    if (result != juce::File())
                        core.movePresetsLocation (result.getFullPathName());
                    finish (onDone);
                });
}

void showPresetsFolder (VroCore& core)
{
    const juce::File folder (core.getPresetDirectory());
    if (folder.isDirectory())
        folder.startAsProcess();
}
} // namespace PresetDialogs
