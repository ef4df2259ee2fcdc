#include "SafeFile.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>

#if ! JUCE_WINDOWS
 #include <cerrno>
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

int removeAbandonedWork (const juce::File& folder, bool stagingFoldersToo)
{
    if (! folder.isDirectory())
        return 0;
    // A process takes its lock right after it creates the file; the wait covers that instant.
    // Without locks (Windows) only age tells, and a render may run for an hour.
#if JUCE_WINDOWS
    const auto quiet = juce::RelativeTime::hours (2);
#else
    const auto quiet = juce::RelativeTime::seconds (10);
#endif
    const auto before = juce::Time::getCurrentTime() - quiet;
    int removed = 0;
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, ".*", juce::File::findFilesAndDirectories))
    {
        const auto f = entry.getFile();
        const auto name = f.getFileName();
        const bool temporary = name.startsWith (temporaryPrefix) && ! entry.isDirectory();
        const bool staging = stagingFoldersToo && name.startsWith (stagingPrefix) && entry.isDirectory();
        if ((! temporary && ! staging) || isLink (f) || entry.getModificationTime() > before)
            continue;
#if JUCE_WINDOWS
        const bool abandoned = true;
#else
        const int fd = lockedHandle (f.getFullPathName().toRawUTF8(), staging ? O_RDONLY | O_DIRECTORY : O_RDONLY);
        const bool abandoned = fd >= 0;
#endif
        if (abandoned && (staging ? f.deleteRecursively (false) : f.deleteFile()))
            ++removed;
#if ! JUCE_WINDOWS
        if (fd >= 0)
            ::close (fd);
#endif
    }
    return removed;
}

void removeTemporariesOnSignals()
{
#if ! JUCE_WINDOWS
    // A signal the caller ignores (nohup, a background job's SIGINT) stays ignored.
    for (int s : { SIGINT, SIGTERM, SIGHUP, SIGQUIT })
        if (std::signal (s, removeLiveTemporaries) == SIG_IGN)
            std::signal (s, SIG_IGN);
#endif
}
} // namespace SafeFile
