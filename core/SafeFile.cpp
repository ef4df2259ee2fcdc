#include "SafeFile.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <dirent.h>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace SafeFile
{
bool isRegularFile (const juce::File& file)
{
#if JUCE_WINDOWS
    return file.existsAsFile();
#else
    struct stat info {};
    return ::stat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode);
#endif
}

bool isLink (const juce::File& file)
{
#if JUCE_WINDOWS
    return file.isSymbolicLink();
#else
    struct stat info {};
    return ::lstat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISLNK (info.st_mode);
#endif
}

bool readRegularFile (const juce::File& file, size_t maxBytes, juce::MemoryBlock& dest)
{
    dest.reset();
#if JUCE_WINDOWS
    const auto size = file.getSize();
    if (! file.existsAsFile() || size < 0 || (juce::uint64) size > maxBytes)
        return false;
    juce::FileInputStream in (file);
    if (! in.openedOk())
        return false;
    const auto read = in.readIntoMemoryBlock (dest, (ssize_t) maxBytes + 1);
    return read == (size_t) size && dest.getSize() <= maxBytes;
#else
    // Non-blocking open: a FIFO would otherwise wait here for a writer.
    const int fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = ::fstat (fd, &info) == 0 && S_ISREG (info.st_mode) && (juce::uint64) info.st_size <= maxBytes;
    if (ok)
    {
        dest.setSize ((size_t) info.st_size);
        size_t done = 0;
        // One byte more than the size: a file that grows is not the file that was checked.
        char extra;
        while (ok && done < dest.getSize())
        {
            const auto n = ::read (fd, static_cast<char*> (dest.getData()) + done, dest.getSize() - done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            done += ok ? (size_t) n : 0;
        }
        ssize_t n = -1;
        while (ok && (n = ::read (fd, &extra, 1)) < 0 && errno == EINTR) {}
        ok = ok && n == 0;
    }
    ::close (fd);
    if (! ok)
        dest.reset();
    return ok;
#endif
}

bool writeNewFile (const juce::File& file, const void* data, size_t size)
{
    bool ok;
    {
        juce::FileOutputStream out (file, 65536);
        // The buffered stream reports a full disk only when it flushes, so the flush is checked too.
        ok = out.openedOk() && out.setPosition (0) && out.truncate().wasOk() && out.write (data, size);
        if (ok)
        {
            out.flush();
            ok = out.getStatus().wasOk();
        }
    }
    ok = ok && file.getSize() == (juce::int64) size;
    if (! ok)
        file.deleteFile();
    return ok;
}

bool replaceWithData (const juce::File& target, const void* data, size_t size)
{
    Temporary temp (target);
    return temp.isValid() && writeNewFile (temp.getFile(), data, size) && temp.replaceTarget();
}

bool replaceWithText (const juce::File& target, const juce::String& text)
{
    return replaceWithData (target, text.toRawUTF8(), text.getNumBytesAsUTF8());
}
const char* const temporaryPrefix = ".vro-tmp-";
const char* const stagingPrefix = ".presets-installing-";

namespace
{
/** The live temporaries' paths, where a signal handler can read them without allocating: a slot is
    free (0), being filled (1) or holds a path (2). */
struct LiveTemporary
{
    std::atomic<int> state { 0 };
    char path[1024] {};
};
LiveTemporary liveTemporaries[16];

int registerLive (const juce::File& file)
{
    const auto* path = file.getFullPathName().toRawUTF8();
    if (std::strlen (path) >= sizeof (LiveTemporary::path))
        return -1;
    for (int i = 0; i < (int) std::size (liveTemporaries); ++i)
    {
        auto& slot = liveTemporaries[i];
        int expected = 0;
        if (slot.state.compare_exchange_strong (expected, 1))
        {
            std::strcpy (slot.path, path);
            slot.state.store (2);
            return i;
        }
    }
    return -1;
}

void unregisterLive (int index)
{
    if (index >= 0)
        liveTemporaries[index].state.store (0);
}

#if ! JUCE_WINDOWS
extern "C" void removeLiveTemporaries (int signalNumber)
{
    for (auto& slot : liveTemporaries)
        if (slot.state.load() == 2)
            ::unlink (slot.path);
    std::signal (signalNumber, SIG_DFL);
    std::raise (signalNumber);
}

/** A lock that the kernel drops when its holder dies, however it dies. */
int lockedHandle (const char* path, int flags)
{
    const int fd = ::open (path, flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0 && ::flock (fd, LOCK_EX | LOCK_NB) != 0)
    {
        ::close (fd);
        return -1;
    }
    return fd;
}
#endif

juce::String randomSuffix()
{
    return juce::String::toHexString ((juce::uint32) juce::Random::getSystemRandom().nextInt()).paddedLeft ('0', 8);
}
} // namespace

Temporary::Temporary (const juce::File& targetFile) : target (targetFile)
{
    // A link (a settings file kept in a dotfiles folder, say) stays a link: what it points to is
    // replaced, beside itself, so the rename never crosses file systems.
    if (isLink (target))
    {
        std::error_code error;
        const auto resolved = std::filesystem::canonical (target.getFullPathName().toStdString(), error);
        if (error)
            return;
        target = juce::File (juce::String (resolved.string()));
    }
    const auto folder = target.getParentDirectory();
    for (int attempt = 0; attempt < 16 && ! created; ++attempt)
    {
        file = folder.getChildFile (temporaryPrefix + randomSuffix());
#if JUCE_WINDOWS
        created = ! file.exists() && file.create().wasOk();
#else
        handle = ::open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        created = handle >= 0;
        if (created)
            ::flock (handle, LOCK_EX | LOCK_NB);
        else if (errno != EEXIST)
            break;
#endif
    }
    if (created)
        slot = registerLive (file);
}

Temporary::~Temporary()
{
    if (created)
        file.deleteFile();
    unregisterLive (slot);
#if ! JUCE_WINDOWS
    if (handle >= 0)
        ::close (handle);
#endif
}

bool Temporary::replaceTarget()
{
    if (! created || isLink (target) || (target.exists() && ! isRegularFile (target)))
        return false;
#if JUCE_WINDOWS
    if (! file.moveFileTo (target))
        return false;
#else
    if (::rename (file.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) != 0)
        return false;
#endif
    created = false;
    return true;
}

FolderLock::FolderLock (const juce::File& folder)
{
#if ! JUCE_WINDOWS
    handle = lockedHandle (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY);
#else
    juce::ignoreUnused (folder);
#endif
}

FolderLock::~FolderLock()
{
#if ! JUCE_WINDOWS
    if (handle >= 0)
        ::close (handle);
#endif
}

namespace
{
/** Our names exactly: the prefix and a hexadecimal number of the lengths we write, in lower case. */
bool isOurName (const char* name, const char* prefix, size_t minDigits, size_t maxDigits)
{
    const auto prefixLength = std::strlen (prefix);
    if (std::strncmp (name, prefix, prefixLength) != 0)
        return false;
    const char* digits = name + prefixLength;
    const auto n = std::strlen (digits);
    return n >= minDigits && n <= maxDigits
        && std::all_of (digits, digits + n, [] (char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}
} // namespace

#if ! JUCE_WINDOWS
namespace
{
/** An open folder and what it was when opened: the clean-up works below it only through
    descriptors, so a name swapped for a link between a check and a removal is never followed. */
struct OpenFolder
{
    int fd = -1;
    struct stat info {};
    juce::uint64 mount = 0;
};

/** The mount a descriptor lies on; a bind mount of the same file system has the device of the
    folder it sits in, so only the mount's own id tells it. False when the kernel cannot say. */
bool mountOf (int fd, juce::uint64& mount)
{
 #if JUCE_LINUX
    struct statx info {};
    if (::statx (fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &info) == 0 && (info.stx_mask & STATX_MNT_ID) != 0)
    {
        mount = info.stx_mnt_id;
        return true;
    }
    // Before Linux 5.8 statx has no mount id; asking for a file handle without room for one
    // still gives it, on file systems that have handles.
    struct file_handle handle {};
    int id = -1;
    if (::name_to_handle_at (fd, "", &handle, &id, AT_EMPTY_PATH) != 0 && errno != EOVERFLOW)
        return false;
    mount = (juce::uint64) id;
    return id >= 0;
 #else
    mount = 0;
    return fd >= 0;
 #endif
}

/** Opens name inside parent without following a link, and only if it is what was looked at (same
    inode), the running user's, on the parent's file system and mount. */
bool openChild (const OpenFolder& parent, const char* name, const struct stat& seen, int flags, OpenFolder& child)
{
    child.fd = ::openat (parent.fd, name, flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (child.fd < 0)
        return false;
    if (::fstat (child.fd, &child.info) == 0 && child.info.st_ino == seen.st_ino && child.info.st_dev == seen.st_dev
        && child.info.st_uid == ::geteuid() && child.info.st_dev == parent.info.st_dev
        && mountOf (child.fd, child.mount) && child.mount == parent.mount)
        return true;
    ::close (child.fd);
    child.fd = -1;
    return false;
}

/** Whether the name still names the file that was opened, just before it is removed. Someone who
    could swap another file in between could remove that one directly. */
bool stillNames (const OpenFolder& parent, const char* name, const struct stat& opened)
{
    struct stat now {};
    return ::fstatat (parent.fd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == opened.st_ino && now.st_dev == opened.st_dev;
}

/** Whether a process other than this one has the file open. Only processes of the running user
    can be seen, and the file is the running user's; where /proc cannot tell, it counts as open. */
bool openElsewhere (const struct stat& file)
{
 #if JUCE_LINUX
    DIR* processes = ::opendir ("/proc");
    if (processes == nullptr)
        return true;
    const auto self = (long) ::getpid();
    bool found = false, sawSelf = false;
    while (! found)
    {
        const auto* p = ::readdir (processes);
        if (p == nullptr)
            break;
        char* end = nullptr;
        const long pid = std::strtol (p->d_name, &end, 10);
        if (end == p->d_name || *end != '\0')
            continue;
        if (pid == self)
        {
            sawSelf = true;
            continue;
        }
        char path[64];
        std::snprintf (path, sizeof (path), "/proc/%ld/fd", pid);
        const int fds = ::open (path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fds < 0)
            continue; // gone, or another user's
        if (DIR* d = ::fdopendir (fds))
        {
            while (const auto* e = ::readdir (d))
            {
                struct stat target {};
                if (e->d_name[0] != '.' && ::fstatat (fds, e->d_name, &target, 0) == 0
                    && target.st_ino == file.st_ino && target.st_dev == file.st_dev)
                {
                    found = true;
                    break;
                }
            }
            ::closedir (d);
        }
        else
            ::close (fds);
    }
    ::closedir (processes);
    return found || ! sawSelf;
 #else
    juce::ignoreUnused (file);
    return true;
 #endif
}

/** Calls visit (name, info) for each entry of the folder but "." and "..". */
template <typename Visit>
void forEachEntry (const OpenFolder& folder, Visit&& visit)
{
    const int fd = ::dup (folder.fd);
    if (fd < 0)
        return;
    DIR* d = ::fdopendir (fd);
    if (d == nullptr)
    {
        ::close (fd);
        return;
    }
    std::vector<std::string> names;
    while (const auto* e = ::readdir (d))
        if (std::strcmp (e->d_name, ".") != 0 && std::strcmp (e->d_name, "..") != 0)
            names.emplace_back (e->d_name);
    ::closedir (d);
    for (const auto& name : names)
    {
        struct stat info {};
        if (::fstatat (folder.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            visit (name.c_str(), info);
    }
}

constexpr int maxStagingDepth = 32;

/** Empties an abandoned staging folder of the regular files and folders of the running user on
    its own mount; anything else (a link, a FIFO, another user's file, a mount point) stays, and
    with it the folders above it. */
void removeContents (const OpenFolder& folder, int depth)
{
    forEachEntry (folder, [&] (const char* name, const struct stat& info)
    {
        if (info.st_uid != ::geteuid() || info.st_dev != folder.info.st_dev)
            return;
        if (S_ISREG (info.st_mode))
            ::unlinkat (folder.fd, name, 0); // a link swapped in meanwhile is removed itself, never followed
        else if (S_ISDIR (info.st_mode) && depth < maxStagingDepth)
        {
            OpenFolder sub;
            if (! openChild (folder, name, info, O_RDONLY | O_DIRECTORY, sub))
                return;
            removeContents (sub, depth + 1);
            if (stillNames (folder, name, sub.info))
                ::unlinkat (folder.fd, name, AT_REMOVEDIR);
            ::close (sub.fd);
        }
    });
}

int removeAbandonedIn (const OpenFolder& folder, bool stagingFoldersToo, int subfolderDepth, time_t before)
{
    int removed = 0;
    forEachEntry (folder, [&] (const char* name, const struct stat& info)
    {
        if (S_ISDIR (info.st_mode) && subfolderDepth > 0 && name[0] != '.')
        {
            // Temporaries of saves into the tree's folders; never through a link or into a mount.
            OpenFolder sub;
            if (openChild (folder, name, info, O_RDONLY | O_DIRECTORY, sub))
            {
                removed += removeAbandonedIn (sub, false, subfolderDepth - 1, before);
                ::close (sub.fd);
            }
            return;
        }
        const bool temporary = S_ISREG (info.st_mode) && isOurName (name, temporaryPrefix, 8, 8);
        // Older versions wrote the staging folder's number without leading zeros.
        const bool staging = stagingFoldersToo && S_ISDIR (info.st_mode) && isOurName (name, stagingPrefix, 1, 8);
        if ((! temporary && ! staging) || info.st_uid != ::geteuid() || info.st_mtime > before)
            return;
        OpenFolder f;
        if (! openChild (folder, name, info, staging ? O_RDONLY | O_DIRECTORY : O_RDONLY, f))
            return;
        // Our processes hold a lock on their work for as long as they live; a program that keeps
        // a temporary open without one is not ours to judge.
        if (::flock (f.fd, LOCK_EX | LOCK_NB) == 0 && (staging || ! openElsewhere (f.info)))
        {
            if (staging)
                removeContents (f, 0);
            if (stillNames (folder, name, f.info) && ::unlinkat (folder.fd, name, staging ? AT_REMOVEDIR : 0) == 0)
                ++removed;
        }
        ::close (f.fd);
    });
    return removed;
}
} // namespace
#endif

int removeAbandonedWork (const juce::File& folder, bool stagingFoldersToo, int subfolderDepth)
{
    if (! folder.isDirectory())
        return 0;
#if JUCE_WINDOWS
    // Without locks only age tells, and a render may run for an hour.
    const auto before = juce::Time::getCurrentTime() - juce::RelativeTime::hours (2);
    int removed = 0;
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, ".*", juce::File::findFilesAndDirectories))
    {
        const auto f = entry.getFile();
        const auto name = f.getFileName().toStdString();
        const bool temporary = isOurName (name.c_str(), temporaryPrefix, 8, 8) && ! entry.isDirectory();
        const bool staging = stagingFoldersToo && isOurName (name.c_str(), stagingPrefix, 1, 8) && entry.isDirectory();
        if ((temporary || staging) && ! isLink (f) && entry.getModificationTime() <= before
            && (staging ? f.deleteRecursively (false) : f.deleteFile()))
            ++removed;
    }
    if (subfolderDepth > 0)
        for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findDirectories | juce::File::ignoreHiddenFiles))
            if (! isLink (entry.getFile()))
                removed += removeAbandonedWork (entry.getFile(), false, subfolderDepth - 1);
    return removed;
#else
    OpenFolder top;
    top.fd = ::open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (top.fd < 0)
        return 0;
    int removed = 0;
    if (::fstat (top.fd, &top.info) == 0 && mountOf (top.fd, top.mount))
    {
        // A process takes its lock right after it creates the file; the wait covers that instant.
        removed = removeAbandonedIn (top, stagingFoldersToo, subfolderDepth, ::time (nullptr) - 10);
    }
    ::close (top.fd);
    return removed;
#endif
}

juce::File createStagingFolder (const juce::File& parent)
{
    for (int attempt = 0; attempt < 16; ++attempt)
    {
        const auto folder = parent.getChildFile (stagingPrefix + randomSuffix());
#if JUCE_WINDOWS
        if (! folder.exists() && folder.createDirectory().wasOk())
            return folder;
#else
        if (::mkdir (folder.getFullPathName().toRawUTF8(), 0777) == 0)
            return folder;
        if (errno != EEXIST)
            break;
#endif
    }
    return {};
}

void removeStagingFolder (const juce::File& folder)
{
#if JUCE_WINDOWS
    folder.deleteRecursively (false);
#else
    OpenFolder parent, f;
    parent.fd = ::open (folder.getParentDirectory().getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const auto name = folder.getFileName().toStdString();
    struct stat info {};
    if (parent.fd >= 0 && ::fstat (parent.fd, &parent.info) == 0 && mountOf (parent.fd, parent.mount)
        && ::fstatat (parent.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
        && openChild (parent, name.c_str(), info, O_RDONLY | O_DIRECTORY, f))
    {
        removeContents (f, 0);
        if (stillNames (parent, name.c_str(), f.info))
            ::unlinkat (parent.fd, name.c_str(), AT_REMOVEDIR);
        ::close (f.fd);
    }
    if (parent.fd >= 0)
        ::close (parent.fd);
#endif
}

void removeTemporariesOnSignals()
{
#if ! JUCE_WINDOWS
    // A signal the caller ignores (nohup, a background job's SIGINT) stays ignored. A crash (an
    // allocation that fails on a thread that cannot report it aborts) leaves nothing either.
    for (int s : { SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS })
        if (std::signal (s, removeLiveTemporaries) == SIG_IGN)
            std::signal (s, SIG_IGN);
#endif
}
} // namespace SafeFile
