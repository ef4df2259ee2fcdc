#include "PresetLibrary.h"
#include "ProgramDocument.h"
#include "SafeFile.h"
#include "VroCore.h"

namespace
{
constexpr bool hasFactoryBank()
{
#if VRO_HAS_FACTORY_BANK
    return true;
#else
    return false;
#endif
}
} // namespace

juce::String VroCore::presetFileName (const juce::String& name)
{
    return PresetLibrary::presetFileName (name);
}

std::unique_ptr<juce::XmlElement> VroCore::parseFactoryBank()
{
    return PresetLibrary::parseFactoryBank();
}

juce::String VroCore::getPresetDirectory()
{
    return library->getPresetDirectory();
}

juce::File VroCore::getDefaultPresetFile()
{
    return juce::File (getPresetDirectory() + "Default." + PresetLibrary::extension);
}

juce::Array<juce::File> VroCore::presetList()
{
    return library->presetList();
}

void VroCore::refreshPresetSnapshot (const juce::String& changedPath)
{
    library->refresh (changedPath);
    takeNewestPresetSnapshot();
}

void VroCore::takeNewestPresetSnapshot()
{
    heldSnapshotGeneration = library->generation();
    bridge->publish (library->snapshot());
}

void VroCore::applyProgramChange (int number)
{
    // Rendering on the message thread (tests, offline tools) sees the folder as it is now, as a
    // scan at the change did.
    const bool onMessageThread = juce::MessageManager::existsAndIsCurrentThread();
    if (onMessageThread)
    {
        refreshPresetSnapshot();
        blockSnapshot = audioSnapshot.load();
    }

    const auto* snapshot = blockSnapshot;
    if (snapshot == nullptr || number < 0 || number >= (int) snapshot->programs.size())
        return applyCurrentProgram();

    {
        // A host's save or restore, or a preset load, holds the program: the change is made at
        // the next block rather than mixed into theirs.
        const juce::ScopedTryLock programLock (program.lock);
        if (! programLock.isLocked())
        {
            pendingProgramChange = number;
            return;
        }
        const auto& p = *snapshot->programs[(size_t) number];
        if (p.parsed && p.reading.status == ProgramReading::Status::program)
            applyReading (p.reading, false, true);
        pendingProgramNames = &p;
    }
    if (onMessageThread)
        applyPendingProgramNames();
    applyCurrentProgram();
}

void VroCore::applyPendingProgramNames()
{
    // Strings are not the audio thread's: the names wait for the message thread.
    if (! juce::MessageManager::existsAndIsCurrentThread())
        return;
    const auto* p = pendingProgramNames.exchange (nullptr);
    if (p == nullptr)
        return;
    {
        const juce::ScopedLock programLock (program.lock);
        program.setPath (p->path);
        if (p->parsed && p->reading.status == ProgramReading::Status::program)
            applyReadingNames (p->reading, p->fileName);
    }
    notifyChange();
}

void VroCore::loadPresetFile (const juce::File& file, bool nameFromFile, bool sequencerOnly)
{
    applyPendingProgramNames(); // an earlier program change's, before this load's path
    auto xml = ProgramDocument::parseFile (file);
    const auto path = file.getFullPathName();
    if (xml == nullptr)
        program.setPath (path);
    else
        readDocument (xml.get(), nameFromFile ? file.getFileNameWithoutExtension() : juce::String(), sequencerOnly, true, &path);
}

bool VroCore::savePresetFile (const juce::File& file)
{
    auto xml = createProgramXml (file.getFileNameWithoutExtension());
    const bool written = SafeFile::replaceWithText (file, ProgramDocument::toFileText (*xml));
    refreshPresetSnapshot (file.getFullPathName());
    return written;
}

void VroCore::loadDefaultPreset()
{
    const auto file = getDefaultPresetFile();
    if (file.existsAsFile())
        loadPresetFile (file, false, false);
    else
        resetToDefaults();
}

bool VroCore::saveDefaultPreset()
{
    auto xml = createProgramXml ({});
    const auto file = getDefaultPresetFile();
    // Creating the folder by hand would stop the factory presets from ever being installed there:
    // that is done only for a build without a bank, not after an install that failed.
    if (! file.getParentDirectory().isDirectory())
    {
        installFactoryPresetsIfMissing();
        if (! hasFactoryBank())
            file.getParentDirectory().createDirectory();
    }
    const bool written = SafeFile::replaceWithText (file, ProgramDocument::toFileText (*xml));
    refreshPresetSnapshot (file.getFullPathName());
    return written;
}

void VroCore::movePresetsLocation (const juce::String& folder)
{
    if (auto* u = settings.user())
    {
        u->setValue ("presetDirectory", folder);
        u->saveIfNeeded();
    }
    library->moveTo (folder);
    takeNewestPresetSnapshot();
}

void VroCore::installFactoryPresetsIfMissing()
{
    library->installFactoryPresetsIfMissing();
    takeNewestPresetSnapshot();
}

int VroCore::installFactoryPresets (const juce::XmlElement& bank)
{
    const int written = library->installFactoryPresets (bank);
    takeNewestPresetSnapshot();
    return written;
}
