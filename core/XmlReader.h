#pragma once

#include <juce_core/juce_core.h>
#include <memory>

/** The XML reader for everything the plug-in reads from outside: host chunks, preset files, the
    settings and the factory bank. */
namespace XmlReader
{
/** The document in the bytes up to size or the first zero, or nullptr. Bytes that are not UTF-8
    are read as Latin-1; see the reader's own notes for what it refuses. */
std::unique_ptr<juce::XmlElement> read (const char* data, size_t size);
} // namespace XmlReader
