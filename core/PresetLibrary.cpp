#include "PresetLibrary.h"
#include "ProgramDocument.h"
#include "SafeFile.h"

#include <juce_events/juce_events.h>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#if JUCE_LINUX
 #include <poll.h>
 #include <sys/eventfd.h>
 #include <sys/inotify.h>
 #include <unistd.h>
#endif

#if VRO_HAS_FACTORY_BANK
 #include "FactoryBankData.h"
#endif

const char* const PresetLibrary::extension = "drubbel";

namespace
{
constexpr int maxFolderDepth = 32;

// With reports of changes, the whole tree is still looked at now and then, in case one was lost
// (a network file system reports nothing of other machines' writes). Without, every two seconds.
constexpr int backstopMs = 30000, pollMs = PresetLibrary::walkPeriodMs, watchWaitMs = 1000;
// A tree that is not watched whole is walked at most so often that walking takes a twentieth of
// the time: a huge tree costs a little of one core, not all of it.
constexpr int walkCostFactor = PresetLibrary::walkCostFactor;
// A burst of writes (a copy or an unpack of many files) settles before the look.
constexpr int settleMs = 100;

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

juce::String toString (const std::filesystem::path& path)
{
    const auto utf8 = path.u8string();
    return juce::String::fromUTF8 (reinterpret_cast<const char*> (utf8.c_str()), (int) utf8.size());
}

bool isWithin (const std::filesystem::path& root, const std::filesystem::path& p)
{
    return ! root.empty() && std::mismatch (root.begin(), root.end(), p.begin(), p.end()).first == root.end();
}

bool isPresetFileName (const juce::String& fileName)
{
    return fileName.matchesWildcard (juce::String ("*.") + PresetLibrary::extension, ! juce::File::areFileNamesCaseSensitive());
}

struct FoundPreset
{
    juce::File file;
    juce::String name; // the sort key, taken once
    juce::int64 size;
    juce::Time modified;
};

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
                folder += PresetLibrary::presetFileName (level) + "/";

        const auto base = folder + PresetLibrary::presetFileName (name);
        auto path = base + "." + PresetLibrary::extension;
        for (int n = 2; ! taken.insert (path.toLowerCase()).second; ++n)
            path = base + " (" + juce::String (n) + ")." + PresetLibrary::extension;

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
        // A link is the user's own arrangement, never a file the install left cut off.
        if (SafeFile::isRegularFile (file) && ! SafeFile::isLink (file) && (file.getSize() == 0 || ProgramDocument::parseFile (file) == nullptr))
            if (! SafeFile::replaceWithText (file, f.text))
                return;
    }
    writeNewFile (dir.getChildFile (factoryMarker), juce::String ((int) files.size()) + "\n");
}

/** The snapshot of the listed files, reusing the programs of previous whose file is unchanged;
    nullptr when nothing changed since previous, or when stopped. */
std::shared_ptr<const PresetSnapshot> buildSnapshot (const juce::String& folder, const std::vector<FoundPreset>& found,
                                                     const PresetSnapshot& previous, const juce::String& changedPath,
                                                     const std::atomic<bool>& stop)
{
    // Mostly the list is the one of last time, in the same order: the same position is tried
    // first, and only a file found elsewhere is looked up by its path.
    std::map<juce::String, std::shared_ptr<const PresetSnapshot::Program>> known;
    const auto lookUp = [&] (size_t i, const juce::String& path) -> std::shared_ptr<const PresetSnapshot::Program>
    {
        if (i < previous.programs.size() && previous.programs[i]->path == path)
            return previous.programs[i];
        if (known.empty())
            for (const auto& p : previous.programs)
                known[p->path] = p;
        const auto it = known.find (path);
        return it != known.end() ? it->second : nullptr;
    };
    bool unchanged = previous.folder == folder && previous.programs.size() == found.size();

    auto next = std::make_shared<PresetSnapshot>();
    next->folder = folder;
    next->programs.reserve (found.size());
    for (size_t i = 0; i < found.size(); ++i)
    {
        if (stop)
            return {};
        const auto& f = found[i];
        const auto path = f.file.getFullPathName();
        const auto modified = f.modified.toMilliseconds();
        const auto old = lookUp (i, path);
        if (old != nullptr && old->size == f.size && old->modified == modified && path != changedPath)
        {
            unchanged = unchanged && i < previous.programs.size() && previous.programs[i] == old;
            next->programs.push_back (old);
            continue;
        }
        unchanged = false;
        auto program = std::make_shared<PresetSnapshot::Program>();
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

std::atomic<void (*)()> publishedHook { nullptr };

std::mutex& registryMutex()
{
    static std::mutex m;
    return m;
}

/** Never destroyed: a library still held at exit must find it. */
std::map<juce::String, std::weak_ptr<PresetLibrary>>& registry()
{
    static auto* libraries = new std::map<juce::String, std::weak_ptr<PresetLibrary>>();
    return *libraries;
}

/** The last snapshot of each settings folder whose library went (under registryMutex): a host
    that deletes its last instance and creates another (a plug-in scan, an undo) gets a library
    that reads only the files changed since, not every preset again. Never destroyed, as above. */
std::map<juce::String, std::shared_ptr<const PresetSnapshot>>& lastSnapshots()
{
    static auto* snapshots = new std::map<juce::String, std::shared_ptr<const PresetSnapshot>>();
    return *snapshots;
}
} // namespace

//==============================================================================
/** Reports of changes in the tree's folders: inotify on Linux, nothing elsewhere (complete() stays
    false, so every look walks). Used with the library's scanMutex held, but wait() and wake(). */
struct PresetLibrary::Watcher
{
#if JUCE_LINUX
    Watcher() : fd (inotify_init1 (IN_NONBLOCK | IN_CLOEXEC)), wakeFd (eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    ~Watcher()
    {
        watchesInProcess() -= (int) own.size();
        if (fd >= 0)
            ::close (fd);
        if (wakeFd >= 0)
            ::close (wakeFd);
    }

    /** Before a walk of the folder root (as resolved): the folder above it is watched for the
        root's own name, so a preset folder created, deleted or renamed is noticed too. */
    void beginWalk (const juce::String& root)
    {
        walked.clear();
        walkComplete = fd >= 0 && wakeFd >= 0;
        if (! walkComplete)
            return;
        const auto rootFile = juce::File (root);
        if (rootFile != watchedRoot)
        {
            if (parentWd >= 0)
                inotify_rm_watch (fd, parentWd);
            watchedRoot = rootFile;
            rootName = rootFile.getFileName().toStdString();
            parentWd = inotify_add_watch (fd, rootFile.getParentDirectory().getFullPathName().toRawUTF8(),
                                          IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR);
        }
        walkComplete = parentWd >= 0;
    }

    /** Watches in the whole process: the user's limit is shared by all their programs (8,192
        on older kernels), so one huge preset tree must not take it all. */
    static std::atomic<int>& watchesInProcess()
    {
        static std::atomic<int> n { 0 };
        return n;
    }

    /** A folder of the tree, before it is listed: a file added while it is listed is reported. */
    void folder (const std::filesystem::path& canonical)
    {
        if (fd < 0)
            return;
        walked.insert (canonical);
        if (folders.count (canonical) != 0)
            return;
        // Beyond the cap the folder is looked at by the periodic walk instead.
        if (++watchesInProcess() > PresetLibrary::maxWatches)
        {
            --watchesInProcess();
            walkComplete = false;
            return;
        }
        const int wd = inotify_add_watch (fd, canonical.c_str(), folderEvents);
        if (wd < 0 || ! own.insert (wd).second)
            --watchesInProcess(); // none made, or one this folder already had under another name
        if (wd < 0)
            walkComplete = false; // out of watches: the periodic look takes over
        else
            folders[canonical] = wd;
    }

    /** Folders that left the tree are no longer watched. */
    void endWalk()
    {
        for (auto it = folders.begin(); it != folders.end();)
            it = walked.count (it->first) != 0 ? std::next (it) : folders.erase (it);
        // A renamed folder keeps its watch under its new path; watches of no folder go.
        std::set<int> kept;
        for (const auto& [path, wd] : folders)
            kept.insert (wd);
        for (auto it = own.begin(); it != own.end();)
        {
            if (kept.count (*it) != 0)
            {
                ++it;
                continue;
            }
            inotify_rm_watch (fd, *it);
            --watchesInProcess();
            it = own.erase (it);
        }
        complete = walkComplete;
    }

    void forget (int wd)
    {
        for (auto it = folders.begin(); it != folders.end();)
            it = it->second == wd ? folders.erase (it) : std::next (it);
    }

    /** Reads the reports so far; the number that can change the list. */
    int drain()
    {
        if (fd < 0)
            return 0;
        int relevant = 0;
        alignas (inotify_event) char buffer[16384];
        for (;;)
        {
            const auto n = ::read (fd, buffer, sizeof (buffer));
            if (n <= 0)
                break;
            for (const char* p = buffer; p < buffer + n;)
            {
                const auto* e = reinterpret_cast<const inotify_event*> (p);
                p += sizeof (inotify_event) + e->len;
                const std::string name = e->len > 0 ? std::string (e->name) : std::string();
                if ((e->mask & IN_Q_OVERFLOW) != 0)
                    ++relevant;
                else if ((e->mask & IN_IGNORED) != 0)
                {
                    // A folder that went: one made again under its name needs a watch of its own.
                    forget (e->wd);
                    if (own.erase (e->wd) != 0)
                        --watchesInProcess();
                    if (e->wd == parentWd)
                    {
                        parentWd = -1;
                        watchedRoot = juce::File();
                        complete = false;
                    }
                    ++relevant;
                }
                else if (e->wd == parentWd)
                    relevant += name == rootName ? 1 : 0;
                else if ((e->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0)
                {
                    // The watch follows the folder, not its name: a folder made or moved in under
                    // the old name gets its own at the next walk, and the moved one is found anew.
                    forget (e->wd);
                    ++relevant;
                }
                else if (! name.empty() && name[0] != '.') // hidden: our temporaries, never listed
                    ++relevant;
            }
        }
        return relevant;
    }

    /** Waits for a report, a wake() or the time-out. */
    void wait (int milliseconds)
    {
        if (wakeFd < 0)
        {
            event.wait (milliseconds);
            return;
        }
        pollfd fds[2] = { { fd, POLLIN, 0 }, { wakeFd, POLLIN, 0 } };
        ::poll (fds, 2, milliseconds);
        eventfd_t ignored;
        eventfd_read (wakeFd, &ignored);
    }

    void wake()
    {
        event.signal();
        if (wakeFd >= 0)
            eventfd_write (wakeFd, 1);
    }

    static constexpr uint32_t folderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB
                                           | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    const int fd, wakeFd;
    int parentWd = -1;
    juce::File watchedRoot;
    std::string rootName;
    std::map<std::filesystem::path, int> folders;
    std::set<int> own; // the folder watches this watcher holds
    std::set<std::filesystem::path> walked;
    bool walkComplete = false;
    juce::WaitableEvent event;
    std::atomic<bool> complete { false };
#else
    void beginWalk (const juce::String&) {}
    void folder (const std::filesystem::path&) {}
    void endWalk() {}
    int drain() { return 0; }
    void wait (int milliseconds) { event.wait (milliseconds); }
    void wake() { event.signal(); }
    juce::WaitableEvent event;
    std::atomic<bool> complete { false };
#endif
    // Reports read, and how many of them the last look had seen when it started.
    juce::uint64 seen = 0, looked = 0;
};

/** One look at the tree: files of a folder first, then its subfolders, each in natural name order,
    the same list on every file system, so MIDI program numbers and the preset arrows do not depend
    on the disk. Each real folder once, and never out of the tree through a link. */
struct PresetLibrary::Walk
{
    Walk (const std::atomic<bool>& s, Watcher& w) : stop (s), watcher (w) {}

    /** False when stopped. */
    bool run (const juce::String& folder)
    {
        const juce::File dir (folder);
        if (folder.isEmpty() || ! dir.isDirectory())
            return true;
        std::error_code error;
        root = std::filesystem::canonical (toPath (dir), error);
        if (error)
            return true;
        visit (dir, root, 0);
        return ! stopped;
    }

    bool isInside (const std::filesystem::path& p) const { return isWithin (root, p); }

    /** A link in a pack (to a dotfile, say) is a preset only when it points to one of the tree. */
    bool leadsToPresetInside (const juce::File& link) const
    {
        std::error_code error;
        const auto target = std::filesystem::canonical (toPath (link), error);
        return ! error && isInside (target) && SafeFile::isRegularFile (link) && isPresetFileName (toString (target.filename()));
    }

    void visit (const juce::File& folder, const std::filesystem::path& canonical, int depth)
    {
        if (depth >= maxFolderDepth || ! visited.insert (canonical).second)
            return;
        watcher.folder (canonical);

        std::vector<FoundPreset> files;
        struct Folder
        {
            juce::File file;
            juce::String name;
            std::filesystem::path canonical;
        };
        std::vector<Folder> folders;
        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*",
                                                                juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles))
        {
            if (stop)
            {
                stopped = true;
                return;
            }
            const auto& file = entry.getFile();
            auto name = file.getFileName();
            if (entry.isDirectory())
            {
                if (! SafeFile::isLink (file))
                {
                    folders.push_back ({ file, std::move (name), canonical / toPath (file).filename() });
                    continue;
                }
                // A link is followed only to a folder of the tree; one visit per folder keeps
                // cycles and diamonds of links from multiplying the walk.
                std::error_code error;
                auto target = std::filesystem::canonical (toPath (file), error);
                if (! error && isInside (target))
                    folders.push_back ({ file, std::move (name), std::move (target) });
            }
            else if (isPresetFileName (name) && (! SafeFile::isLink (file) || leadsToPresetInside (file)))
                files.push_back ({ file, std::move (name), entry.getFileSize(), entry.getModificationTime() });
        }
        const auto byName = [] (const auto& a, const auto& b) { return a.name.compareNatural (b.name) < 0; };
        std::sort (files.begin(), files.end(), byName);
        std::sort (folders.begin(), folders.end(), byName);

        found.insert (found.end(), files.begin(), files.end());
        for (const auto& sub : folders)
        {
            visit (sub.file, sub.canonical, depth + 1);
            if (stopped)
                return;
        }
    }

    const std::atomic<bool>& stop;
    Watcher& watcher;
    std::filesystem::path root;
    std::set<std::filesystem::path> visited;
    std::vector<FoundPreset> found;
    bool stopped = false;
};

//==============================================================================
void PresetLibrary::setPublishedHook (void (*hook)()) noexcept
{
    publishedHook = hook;
}

std::shared_ptr<PresetLibrary> PresetLibrary::forSettings (const juce::File& settingsFolder, const juce::String& storedFolder)
{
    // Under the lock: a second instance starting meanwhile waits for the first one's install.
    const std::lock_guard<std::mutex> lock (registryMutex());
    auto& slot = registry()[settingsFolder.getFullPathName()];
    if (auto library = slot.lock())
        return library;
    std::shared_ptr<PresetLibrary> library (new PresetLibrary (settingsFolder, storedFolder));
    slot = library;
    return library;
}

PresetLibrary::PresetLibrary (const juce::File& settings, const juce::String& stored)
    : settingsFolder (settings), storedFolder (stored), watcher (std::make_unique<Watcher>()),
      current (std::make_shared<PresetSnapshot>())
{
    // Made under registryMutex (forSettings).
    auto& last = lastSnapshots()[settingsFolder.getFullPathName()];
    if (last != nullptr)
        current = std::move (last);
    installFactoryPresetsIfMissing();
    // A program change in the very first block (a project or a bounce that opens with one) must
    // find the folder's programs, before any thread has had a chance to look.
    look();
    thread = std::make_unique<std::thread> ([this] { run(); });
}

PresetLibrary::~PresetLibrary()
{
    // A walk in flight checks the flag at every entry, so this waits for one file's parse at most.
    stopping = true;
    wake();
    thread->join();
    const std::lock_guard<std::mutex> lock (registryMutex());
    lastSnapshots()[settingsFolder.getFullPathName()] = snapshot();
}

void PresetLibrary::wake()
{
    wakeUp.signal();
    watcher->wake();
}

void PresetLibrary::run()
{
    auto nextFullLook = juce::Time::getMillisecondCounter() + (juce::uint32) backstopMs;
    while (! stopping)
    {
        const bool watching = watcher->complete;
        watcher->wait (watching ? watchWaitMs : std::max (pollMs, walkCostFactor * lastWalkMs.load()));
        if (stopping)
            break;
        {
            std::unique_lock<std::mutex> lock (scanMutex);
            watcher->seen += (juce::uint64) watcher->drain();
            if (watcher->seen != watcher->looked)
            {
                lock.unlock();
                wakeUp.wait (settleMs);
                if (stopping)
                    break;
                lock.lock();
            }
            const auto now = juce::Time::getMillisecondCounter();
            const bool backstop = (juce::int32) (now - nextFullLook) >= 0;
            if (backstop || ! watching || needsLookLocked())
            {
                lookLocked ({});
                if (backstop)
                    nextFullLook = now + (juce::uint32) backstopMs;
            }
        }
    }
}

bool PresetLibrary::needsLookLocked()
{
    watcher->seen += (juce::uint64) watcher->drain();
    if (watcher->seen != watcher->looked || ! watcher->complete)
        return true;
    // The folder moves without a report when one next to the plug-in appears or a moved one goes.
    return snapshot()->folder != getPresetDirectory();
}

void PresetLibrary::refresh (const juce::String& changedPath)
{
    const std::lock_guard<std::mutex> lock (scanMutex);
    if (changedPath.isNotEmpty() || needsLookLocked())
        lookLocked (changedPath);
}

void PresetLibrary::look()
{
    const std::lock_guard<std::mutex> lock (scanMutex);
    lookLocked ({});
}

void PresetLibrary::lookLocked (const juce::String& changedPath)
{
    ++numLooks;
    if (juce::MessageManager::existsAndIsCurrentThread())
        ++numLooksOnMessageThread;

    watcher->seen += (juce::uint64) watcher->drain();
    watcher->looked = watcher->seen;
    const auto folder = getPresetDirectory();
    watcher->beginWalk (folder);
    Walk walk (stopping, *watcher);
    const auto started = juce::Time::getMillisecondCounter();
    if (! walk.run (folder))
        return;
    lastWalkMs = (int) (juce::Time::getMillisecondCounter() - started);
    watcher->endWalk();

    const auto previous = snapshot();
    if (auto next = buildSnapshot (folder, walk.found, *previous, changedPath, stopping))
    {
        {
            const std::lock_guard<std::mutex> lock (snapshotMutex);
            current = std::move (next);
        }
        ++published;
        if (auto* hook = publishedHook.load())
            hook();
    }
}

std::shared_ptr<const PresetSnapshot> PresetLibrary::snapshot() const
{
    const std::lock_guard<std::mutex> lock (snapshotMutex);
    return current;
}

juce::Array<juce::File> PresetLibrary::presetList() const
{
    juce::Array<juce::File> list;
    const auto s = snapshot();
    list.ensureStorageAllocated ((int) s->programs.size());
    for (const auto& p : s->programs)
        list.add (juce::File (p->path));
    return list;
}

juce::String PresetLibrary::getPresetDirectory() const
{
    const auto library = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
    const auto portable = library.getChildFile ("VRO-Drubbel").getChildFile ("presets");
    if (portable.isDirectory())
        return withSeparator (portable.getFullPathName());

    if (settingsFolder == juce::File())
        return {};

    juce::String moved;
    {
        const std::lock_guard<std::mutex> lock (locationMutex);
        moved = storedFolder;
    }
    if (moved.isNotEmpty() && juce::File::isAbsolutePath (moved) && juce::File (moved).exists())
        return withSeparator (withSeparator (moved) + "presets");

    return withSeparator (withSeparator (withSeparator (settingsFolder.getFullPathName()) + "VRO-Drubbel") + "presets");
}

juce::File PresetLibrary::saveTarget (const juce::File& file) const
{
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical (toPath (file), error);
    if (error)
        return {};
    const juce::File resolvedFile (toString (resolved));
    const auto folder = getPresetDirectory();
    const bool inTree = folder.isNotEmpty() && file.isAChildOf (juce::File (folder));
    if (inTree)
    {
        // Neither the file nor a folder on its way may lead out of the tree (a pack's link to
        // ~/.bashrc, say).
        const auto root = std::filesystem::canonical (toPath (juce::File (folder)), error);
        if (error || ! isWithin (root, resolved))
            return {};
    }
    if (SafeFile::isLink (file))
    {
        // Through a link only into an existing preset file: never a dotfile, a folder or a device.
        if (! SafeFile::isRegularFile (resolvedFile) || ! isPresetFileName (resolvedFile.getFileName()))
            return {};
        return resolvedFile;
    }
    return inTree ? resolvedFile : file;
}

void PresetLibrary::moveTo (const juce::String& folder)
{
    {
        const std::lock_guard<std::mutex> lock (locationMutex);
        storedFolder = folder;
    }
    installFactoryPresetsIfMissing();
    look();
}

void PresetLibrary::installFactoryPresetsIfMissing()
{
    // Parsing the bank costs tens of milliseconds; a normal start only lists the folders.
    const auto path = getPresetDirectory();
    if (path.isEmpty())
        return;
    const juce::File dir (path);
    if (settingsFolder != juce::File())
        SafeFile::removeAbandonedWork (settingsFolder, false);
    SafeFile::removeAbandonedWork (dir.getParentDirectory(), true);
    if (! SafeFile::isLink (dir))
        SafeFile::removeAbandonedWork (dir, false, maxFolderDepth - 1);
    if (dir.exists() && (! dir.isDirectory() || dir.getChildFile (factoryMarker).exists()))
        return;
    if (auto bank = parseFactoryBank())
    {
        if (dir.exists())
        {
            repairFactoryPresets (dir, *bank);
            if (thread != nullptr)
                look();
        }
        else
            installFactoryPresets (*bank);
    }
}

int PresetLibrary::installFactoryPresets (const juce::XmlElement& bank)
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
    // absent, and an absent one is tried again at the next start. Two processes starting at once
    // do not write into each other's files.
    const auto parent = dir.getParentDirectory();
    if (! parent.createDirectory())
        return 0;
    const auto staging = SafeFile::createStagingFolder (parent);
    if (staging == juce::File())
        return 0;
    bool ok = true;
    {
        // Held until the folder is renamed or removed: a start elsewhere leaves it alone meanwhile.
        const SafeFile::FolderLock lock (staging);
        for (const auto& f : files)
        {
            const auto file = staging.getChildFile (f.relativePath);
            ok = file.isAChildOf (staging) && file.getParentDirectory().createDirectory().wasOk() && writeNewFile (file, f.text);
            if (! ok)
                break;
        }
        ok = ok && writeNewFile (staging.getChildFile (factoryMarker), juce::String ((int) files.size()) + "\n");

        // Moving onto an existing, non-empty folder fails: another process finished first.
        if (! ok || ! staging.moveFileTo (dir))
        {
            SafeFile::removeStagingFolder (staging);
            return 0;
        }
    }
    // Our own write: every instance lists the new files at once.
    if (thread != nullptr)
        look();
    return (int) files.size();
}

juce::String PresetLibrary::presetFileName (const juce::String& name)
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

std::unique_ptr<juce::XmlElement> PresetLibrary::parseFactoryBank()
{
#if VRO_HAS_FACTORY_BANK
    return ProgramDocument::parseBytes (FactoryBankData::FactoryBank_xml, (size_t) FactoryBankData::FactoryBank_xmlSize);
#else
    return {};
#endif
}
