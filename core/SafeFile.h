#pragma once

#include <juce_core/juce_core.h>

/** File reads that cannot hang or run away, and writes that are checked to their end before they
    replace anything. Shared by the preset files, the factory install and the command-line tools. */
namespace SafeFile
{
/** An existing regular file (links followed): not a folder, a FIFO or a device. */
bool isRegularFile (const juce::File& file);

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
} // namespace SafeFile
