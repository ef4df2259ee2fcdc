#include "SafeFile.h"

#if ! JUCE_WINDOWS
 #include <cerrno>
 #include <fcntl.h>
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
    juce::TemporaryFile temp (target, juce::TemporaryFile::useHiddenFile);
    return writeNewFile (temp.getFile(), data, size) && temp.overwriteTargetFileWithTemporary();
}

bool replaceWithText (const juce::File& target, const juce::String& text)
{
    return replaceWithData (target, text.toRawUTF8(), text.getNumBytesAsUTF8());
}
} // namespace SafeFile
