#pragma once

#include <juce_core/juce_core.h>

/** File reads that cannot hang or run away, and writes that are checked to their end before they
    replace anything. Shared by the preset files, the factory install and the command-line tools. */
namespace SafeFile
{
/** An existing regular file (links followed): not a folder, a FIFO or a device. */
bool isRegularFile (const juce::File& file);

/** A symbolic link itself, whatever it points to (or whether it points anywhere). */
bool isLink (const juce::File& file);

/** Reads a regular file of at most maxBytes. A FIFO is never opened for reading (that would wait
    for a writer for ever), and a file that grows while it is read is refused. */
bool readRegularFile (const juce::File& file, size_t maxBytes, juce::MemoryBlock& dest);

/** Writes the bytes into a new file, flushes and checks that all of them arrived. On failure the
    partial file is removed. */
bool writeNewFile (const juce::File& file, const void* data, size_t size);

/** Writes the bytes into a hidden temporary beside the target, checks them as writeNewFile does,
    then renames it over the target. On failure the target is left as it was. */
bool replaceWithData (const juce::File& target, const void* data, size_t size);
bool replaceWithText (const juce::File& target, const juce::String& text);

/** A hidden file beside a target, ".vro-tmp-" and eight hex digits whatever the target is called
    (a long target name must not push the temporary past the file system's limit). It is locked
    while this object lives, so a later start can tell one that a killed process left behind; it
    is removed unless it replaced the target. A target that is a link is followed: the file it
    points to is what gets replaced. */
class Temporary
{
public:
    explicit Temporary (const juce::File& target);
    ~Temporary();

    /** False when the file could not be created. */
    bool isValid() const noexcept { return created; }
    const juce::File& getFile() const noexcept { return file; }
    const juce::File& getTarget() const noexcept { return target; }

    /** Renames the temporary over the target, unless the target is now a link or something other
        than a regular file, which is never replaced. */
    bool replaceTarget();

private:
    juce::File target, file;
    bool created = false;
    int handle = -1, slot = -1;

    JUCE_DECLARE_NON_COPYABLE (Temporary)
};

/** Names of our own unfinished work, which clean-ups may remove once it is abandoned. */
extern const char* const temporaryPrefix;
extern const char* const stagingPrefix;

/** Makes a new, empty staging folder in parent, named stagingPrefix and eight hex digits;
    an invalid File when none could be made. */
juce::File createStagingFolder (const juce::File& parent);

/** Removes a staging folder of this process and what it holds, as the clean-up does: the
    running user's files and folders only, never through a link. */
void removeStagingFolder (const juce::File& folder);

/** A folder being filled by this process, locked like a Temporary for as long as this lives. */
class FolderLock
{
public:
    explicit FolderLock (const juce::File& folder);
    ~FolderLock();

private:
    int handle = -1;
    JUCE_DECLARE_NON_COPYABLE (FolderLock)
};

/** Removes, directly inside the folder, our temporaries (and staging folders, when asked) that no
    live process holds and that have not been touched for a while, and the temporaries in its
    visible subfolders down to subfolderDepth levels. Only names exactly of our making, only the
    running user's regular files and folders, never through a link and never into another mount:
    anything else stays. Returns how many were removed. */
int removeAbandonedWork (const juce::File& folder, bool stagingFoldersToo, int subfolderDepth = 0);

/** For command-line tools: SIGINT, SIGTERM, SIGHUP and SIGQUIT, and the crashes SIGABRT, SIGSEGV
    and SIGBUS, remove the live temporaries, then end the process as the signal would have. (A
    plug-in leaves signals to its host.) */
void removeTemporariesOnSignals();
} // namespace SafeFile
