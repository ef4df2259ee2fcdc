#pragma once

#include "Params.h"
#include <juce_core/juce_core.h>
#include <memory>

/** Text and binary forms of the program document, shared by the host state, preset files and the
    factory bank. Everything here is locale-independent: a host running with a decimal comma must
    still write 0.5 and read it back. */
namespace ProgramDocument
{
/** Our documents nest five levels deep; anything far deeper is not one of them. */
constexpr int maxNestingDepth = 64;

/** Preset files and chunks are tens of kilobytes; larger input is not read at all. */
constexpr size_t maxDocumentBytes = 16u * 1024u * 1024u;

/** A program's name and category longer than this are cut to their first this-many characters,
    and a stored path to maxPathLength: every instance holds the names of every preset it lists,
    and a name once applied goes into every host state. */
constexpr int maxNameLength = 256;
constexpr int maxPathLength = 4096;

/** Parses a document, or returns nullptr for text that is not well-formed, nests deeper than
    maxNestingDepth, carries a DTD or a processing instruction after the declaration, or has far
    more attributes on one element or attribute names in all than our documents use. Never
    recurses, never expands entities beyond the predefined and character references, never opens
    a file. */
std::unique_ptr<juce::XmlElement> parse (const juce::String& text);

/** Raw file or stream bytes (UTF-8, with or without byte-order mark, or UTF-16 with one). */
std::unique_ptr<juce::XmlElement> parseBytes (const void* data, size_t size);

/** Reads a preset file; nullptr when it is missing, not a regular file (a FIFO or a device),
    unreadable, too large or not a document. */
std::unique_ptr<juce::XmlElement> parseFile (const juce::File& file);

/** The host chunk: magic number, text length, the document on one line without declaration,
    a terminating zero. */
void writeChunk (const juce::XmlElement& document, juce::MemoryBlock& dest);
std::unique_ptr<juce::XmlElement> readChunk (const void* data, int sizeInBytes);

/** The multi-line file form: declaration, an empty line, then the indented document. */
juce::String toFileText (const juce::XmlElement& document);

/** The arpeggiator and sequencer values that "SEQ Lock" keeps when a program is browsed. */
constexpr int arpSeqValues[] = { Param::ArpEnabled, Param::SeqEnabled, Param::SeqSync, Param::ArpMode, Param::SeqTempo,
                                 Param::ArpSeqSyncMode, Param::SeqHold, Param::SeqSteps, Param::Swing };

/** At most six significant digits ("0.5", "1", "1e-05"). */
juce::String formatNumber (double value);

/** An attribute's value by its name in any letter case, as the document's readers compare them;
    nullptr when there is none. */
const juce::String* findAttribute (const juce::XmlElement& e, const char* name);
} // namespace ProgramDocument
