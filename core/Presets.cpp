#include "ProgramDocument.h"
#include "SafeFile.h"
#include "VroCore.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#if VRO_HAS_FACTORY_BANK
 #include "FactoryBankData.h"
#endif

namespace
{
const char* const presetExtension = "drubbel";

constexpr bool hasFactoryBank()
{
#if VRO_HAS_FACTORY_BANK
    return true;
#else
    return false;
#endif
}
constexpr int maxFolderDepth = 32;

juce::String withSeparator (const juce::String& path)
{
    const auto sep = juce::File::getSeparatorString();
    return path.endsWith (sep) ? path : path + sep;
}


std::filesystem::path toPath (const juce::File& file)
{
#if JUCE_WINDOWS
    return std::filesystem::path (file.getFullPathName().toWideCharPointer());
#else
    return std::filesystem::path (file.getFullPathName().toStdString());
#endif
}

bool isPresetFileName (const juce::String& fileName)
{
    return fileName.matchesWildcard (juce::String ("*.") + presetExtension, ! juce::File::areFileNamesCaseSensitive());
}

struct FoundPreset
{
    juce::File file;
    juce::int64 size;
    juce::Time modified;
};

/** Files of the folder first, then its subfolders, each in natural name order: the same list on
    every file system, so MIDI program numbers and the preset arrows do not depend on the disk. */
void collectPresets (const juce::File& folder, std::vector<FoundPreset>& found, std::vector<std::filesystem::path>& visiting)
{
    if ((int) visiting.size() >= maxFolderDepth)
        return;

    // A linked folder that leads back into the walk would never end.
    std::error_code error;
    auto canonical = std::filesystem::canonical (toPath (folder), error);
    if (error || std::find (visiting.begin(), visiting.end(), canonical) != visiting.end())
        return;
    visiting.push_back (std::move (canonical));

    std::vector<FoundPreset> files;
    juce::Array<juce::File> folders;
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*",
                                                            juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles))
    {
        if (entry.isDirectory())
            folders.add (entry.getFile());
        else if (isPresetFileName (entry.getFile().getFileName()))
            files.push_back ({ entry.getFile(), entry.getFileSize(), entry.getModificationTime() });
    }
    const auto byName = [] (const juce::File& a, const juce::File& b) { return a.getFileName().compareNatural (b.getFileName()) < 0; };
    std::sort (files.begin(), files.end(), [&byName] (const FoundPreset& a, const FoundPreset& b) { return byName (a.file, b.file); });
    std::sort (folders.begin(), folders.end(), byName);

    found.insert (found.end(), files.begin(), files.end());
    for (const auto& f : folders)
        collectPresets (f, found, visiting);

    visiting.pop_back();
}

std::vector<FoundPreset> findPresets (const juce::String& folder)
{
    std::vector<FoundPreset> found;
    const juce::File dir (folder);
    if (folder.isNotEmpty() && dir.isDirectory())
    {
        std::vector<std::filesystem::path> visiting;
        collectPresets (dir, found, visiting);
    }
    return found;
}

/** A checked write for files in a folder nobody sees yet: the folder as a whole appears by one
    rename, so the per-file temporary and rename of the safe write would only cost time. */
bool writeNewFile (const juce::File& file, const juce::String& text)
{
    return SafeFile::writeNewFile (file, text.toRawUTF8(), text.getNumBytesAsUTF8());
}

/** Written last into a finished install. A preset folder without it was made by an older version
    (whose install could end half written on a full disk) or by hand. */
const char* const factoryMarker = ".factory-presets-complete";

struct FactoryFile
{
    juce::String relativePath, text;
};

/** The bank's programs as the files an install writes: one document per program, in a folder per
    category level, names cleaned and made unique. Empty without a programs element. */
std::vector<FactoryFile> factoryFiles (const juce::XmlElement& bank)
{
    const juce::XmlElement* programs = nullptr;
    for (auto* c : bank.getChildIterator())
        if (c->getTagName().equalsIgnoreCase ("programs"))
        {
            programs = c;
            break;
        }
    if (programs == nullptr)
        return {};

    juce::XmlElement skeleton (bank);
    for (auto* c : skeleton.getChildIterator())
        if (c->getTagName().equalsIgnoreCase ("programs"))
        {
            skeleton.removeChildElement (c, true);
            break;
        }

    // Two names that clean to the same file (or differ only in case, which several file systems
    // ignore) must not overwrite each other: later ones get " (2)", " (3)", ...
    std::set<juce::String> taken;
    std::vector<FactoryFile> files;
    for (auto* p : programs->getChildIterator())
    {
        if (p->isTextElement())
            continue;
        const auto name = p->getStringAttribute ("programname", "Not Saved");
        const auto category = p->getStringAttribute ("category", "Not Saved");

        // Levels are separated by backslashes; empty levels are skipped. The cleaned names hold
        // no separator, so the path stays inside the preset folder.
        juce::String folder;
        for (const auto& level : juce::StringArray::fromTokens (category, "\\", ""))
            if (level.trim().isNotEmpty())
                folder += VroCore::presetFileName (level) + "/";

        const auto base = folder + VroCore::presetFileName (name);
        auto path = base + "." + presetExtension;
        for (int n = 2; ! taken.insert (path.toLowerCase()).second; ++n)
            path = base + " (" + juce::String (n) + ")." + presetExtension;

        juce::XmlElement document (skeleton);
        auto* newPrograms = document.createNewChildElement ("programs");
        newPrograms->addChildElement (new juce::XmlElement (*p));
        files.push_back ({ path, ProgramDocument::toFileText (document) });
    }
    return files;
}

/** An install of an older version may have left empty or cut-off files on a full disk. Those are
    written again; files the user deleted stay deleted and files that read as a document stay as
    they are, edited or not. The marker is written once every repair has succeeded. */
void repairFactoryPresets (const juce::File& dir, const juce::XmlElement& bank)
{
    const auto files = factoryFiles (bank);
    if (files.empty())
        return;
    for (const auto& f : files)
    {
        const auto file = dir.getChildFile (f.relativePath);
        if (SafeFile::isRegularFile (file) && (file.getSize() == 0 || ProgramDocument::parseFile (file) == nullptr))
            if (! SafeFile::replaceWithText (file, f.text))
                return;
    }
    writeNewFile (dir.getChildFile (factoryMarker), juce::String ((int) files.size()) + "\n");
}

/** Work a killed start or save left behind: staging folders and temporaries beside the preset
    folder, temporaries inside its tree. Only our own names, never through a link, and only what no
    live process holds. */
void removeAbandonedWork (const juce::File& folder, int depth)
{
    if (depth >= maxFolderDepth || SafeFile::isLink (folder))
        return;
    SafeFile::removeAbandonedWork (folder, false);
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findDirectories | juce::File::ignoreHiddenFiles))
        removeAbandonedWork (entry.getFile(), depth + 1);
}
} // namespace

juce::String VroCore::presetFileName (const juce::String& name)
{
    // Characters that one of the usual file systems rejects (Windows is the strictest), and the
    // separators, become '_': a name can never name a parent folder or a path elsewhere.
    juce::String clean;
    for (auto c : name)
        clean += (c < 32 || c == 127 || juce::String ("<>:\"/\\|?*").containsChar (c)) ? juce::juce_wchar ('_') : c;

    // Windows drops trailing dots and spaces, which would make "A." and "A" one file; a leading
    // dot hides the file from the preset list, and "." or ".." name folders.
    clean = clean.trim().trimCharactersAtEnd (". ");
    const int leadingDots = clean.length() - clean.trimCharactersAtStart (".").length();
    clean = juce::String::repeatedString ("_", leadingDots) + clean.substring (leadingDots);
    if (clean.isEmpty())
        clean = "_";

    static const juce::StringArray reserved { "CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4", "COM5",
                                              "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4",
                                              "LPT5", "LPT6", "LPT7", "LPT8", "LPT9" };
    if (reserved.contains (clean.upToFirstOccurrenceOf (".", false, false).trimEnd(), true))
        clean += "_";

    // Room for the extension and a collision suffix within the usual 255-byte name limit.
    constexpr int maxBytes = 200;
    if (clean.getNumBytesAsUTF8() > maxBytes)
    {
        clean = clean.substring (0, maxBytes);
        while (clean.getNumBytesAsUTF8() > maxBytes)
            clean = clean.dropLastCharacters (1);
        clean = clean.trimCharactersAtEnd (". ");
    }
    return clean;
}

std::unique_ptr<juce::XmlElement> VroCore::parseFactoryBank()
{
#if VRO_HAS_FACTORY_BANK
    return ProgramDocument::parseBytes (FactoryBankData::FactoryBank_xml, (size_t) FactoryBankData::FactoryBank_xmlSize);
#else
    return {};
#endif
}

juce::String VroCore::getPresetDirectory()
{
    const auto library = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
    const auto portable = library.getChildFile ("VRO-Drubbel").getChildFile ("presets");
    if (portable.isDirectory())
        return withSeparator (portable.getFullPathName());

    if (auto* u = settings.user())
    {
        const auto moved = u->getValue ("presetDirectory");
        if (moved.isNotEmpty() && juce::File::isAbsolutePath (moved) && juce::File (moved).exists())
            return withSeparator (withSeparator (moved) + "presets");

        const auto folder = u->getFile().getParentDirectory();
        return withSeparator (withSeparator (withSeparator (folder.getFullPathName()) + "VRO-Drubbel") + "presets");
    }
    return {};
}

juce::File VroCore::getDefaultPresetFile()
{
    return juce::File (getPresetDirectory() + "Default." + presetExtension);
}

juce::Array<juce::File> VroCore::presetList()
{
    juce::Array<juce::File> list;
    for (const auto& f : findPresets (getPresetDirectory()))
        list.add (f.file);
    return list;
}

std::unique_ptr<PresetSnapshot> PresetSnapshot::build (const juce::String& folder, const PresetSnapshot* previous,
                                                       const juce::String& changedPath)
{
    const auto found = findPresets (folder);

    std::map<juce::String, std::shared_ptr<const Program>> known;
    if (previous != nullptr)
        for (const auto& p : previous->programs)
            known[p->path] = p;
    bool unchanged = previous != nullptr && previous->folder == folder && previous->programs.size() == found.size();

    auto next = std::make_unique<PresetSnapshot>();
    next->folder = folder;
    next->programs.reserve (found.size());
    for (size_t i = 0; i < found.size(); ++i)
    {
        const auto& f = found[i];
        const auto path = f.file.getFullPathName();
        const auto modified = f.modified.toMilliseconds();
        const auto it = known.find (path);
        if (it != known.end() && it->second->size == f.size && it->second->modified == modified && path != changedPath)
        {
            unchanged = unchanged && previous->programs[i] == it->second;
            next->programs.push_back (it->second);
            continue;
        }
        unchanged = false;
        auto program = std::make_shared<Program>();
        program->path = path;
        program->fileName = f.file.getFileNameWithoutExtension();
        program->size = f.size;
        program->modified = modified;
        if (auto xml = ProgramDocument::parseFile (f.file))
        {
            program->parsed = true;
            ProgramDocument::read (xml.get(), program->reading);
        }
        next->programs.push_back (std::move (program));
    }
    if (unchanged)
        return {};
    return next;
}

void VroCore::refreshPresetSnapshot (const juce::String& changedPath)
{
    const auto& newest = bridge->newest();
    if (auto next = PresetSnapshot::build (getPresetDirectory(), newest.get(), changedPath))
        bridge->publish (std::move (next));
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
    installFactoryPresetsIfMissing();
    refreshPresetSnapshot();
}

void VroCore::installFactoryPresetsIfMissing()
{
    // Parsing the bank costs tens of milliseconds; a normal start only lists the folders.
    const auto path = getPresetDirectory();
    if (path.isEmpty())
        return;
    const juce::File dir (path);
    if (auto* u = settings.user())
        SafeFile::removeAbandonedWork (u->getFile().getParentDirectory(), false);
    SafeFile::removeAbandonedWork (dir.getParentDirectory(), true);
    removeAbandonedWork (dir, 0);
    if (dir.exists() && (! dir.isDirectory() || dir.getChildFile (factoryMarker).exists()))
        return;
    if (auto bank = parseFactoryBank())
    {
        if (dir.exists())
            repairFactoryPresets (dir, *bank);
        else
            installFactoryPresets (*bank);
    }
}

int VroCore::installFactoryPresets (const juce::XmlElement& bank)
{
    const auto path = getPresetDirectory();
    const juce::File dir (path);
    if (path.isEmpty() || dir.exists())
        return 0;

    const auto files = factoryFiles (bank);
    if (files.empty())
        return 0;

    // Everything is written into a hidden folder beside the target, which then becomes the preset
    // folder by one rename, and only when every file arrived whole: the install is complete or
    // absent, and an absent one is tried again at the next start. Two instances starting at once
    // do not write into each other's files.
    const auto parent = dir.getParentDirectory();
    if (! parent.createDirectory())
        return 0;
    const auto staging = parent.getNonexistentChildFile (SafeFile::stagingPrefix + juce::String::toHexString (juce::Random::getSystemRandom().nextInt()), {}, false);
    if (! staging.createDirectory())
        return 0;
    // Held until the folder is renamed or removed: a start elsewhere leaves it alone meanwhile.
    const SafeFile::FolderLock lock (staging);

    bool ok = true;
    for (const auto& f : files)
    {
        const auto file = staging.getChildFile (f.relativePath);
        ok = file.isAChildOf (staging) && file.getParentDirectory().createDirectory().wasOk() && writeNewFile (file, f.text);
        if (! ok)
            break;
    }
    ok = ok && writeNewFile (staging.getChildFile (factoryMarker), juce::String ((int) files.size()) + "\n");

    // Moving onto an existing, non-empty folder fails: another instance finished first.
    if (! ok || ! staging.moveFileTo (dir))
    {
        staging.deleteRecursively();
        return 0;
    }
    return (int) files.size();
}
