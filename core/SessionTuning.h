#pragma once

#include "Tuning.h"
#include <juce_core/juce_core.h>
#include <atomic>

/** The session's tuning: the Scala scale and keyboard mapping it was built from, kept as whole
    texts so that a session carries its tuning to another machine without a path, and the key table
    the engine plays. It belongs to the host's state, never to a program or a preset file. */
namespace SessionTuning
{
/** One file: its name and whole text; an empty text is no file. */
struct Source
{
    juce::String name, text;
    bool isEmpty() const noexcept { return text.isEmpty(); }
    bool operator== (const Source& other) const noexcept { return name == other.name && text == other.text; }
};

/** A tuning as the session keeps it. */
struct Tuning
{
    Source scale, mapping;
    KeyTuning table;
    bool retunedByMidi = false; // MIDI Tuning Standard messages changed the table since the files
};

/** Reads a scale or mapping file: a regular file of at most 1 MB of text. On failure the message
    names the file. */
bool readFile (const juce::File& file, Source& source, juce::String& error);

/** The table of a scale and a mapping (either may be empty). On failure the message names the
    file and the line. */
bool build (const Source& scale, const Source& mapping, KeyTuning& table, juce::String& error);

/** What the musician sees: the scale's description (or its file name), the mapping's name. */
juce::String describe (const Tuning& tuning);

/** Adds the tuning to a state document as one element the readers of older builds pass over;
    the standard tuning is an empty element. */
void write (juce::XmlElement& root, const Tuning& tuning);

/** The tuning of a state document; false when it has none (a document from before tunings, a
    preset). The stored key table is played as it was saved (the same bits on every machine); a
    document whose table is unusable is rebuilt from its texts, and one whose texts are refused
    too gives the standard tuning. */
bool read (const juce::XmlElement& root, Tuning& tuning);

/** A table handed from any thread to the audio thread, which takes it before a block. Each
    table the session installs has its own number, so a saved state can tell whether the engine's
    table (retuned by MIDI since) still belongs to the files it saves. */
class Handover
{
public:
    /** Never on the audio thread; waits only while the audio thread copies the previous one. */
    void put (const KeyTuning& table, std::uint32_t number) noexcept;
    /** Audio thread: the table waiting, if any. */
    bool take (KeyTuning& into, std::uint32_t& number) noexcept;

private:
    enum State { empty, writing, ready, reading };
    std::atomic<int> state { empty };
    KeyTuning waiting;
    std::uint32_t waitingNumber = 0;
};

/** The engine's table as its owner last left it, readable from any thread while the audio thread
    retunes it (a sequence lock over atomics). */
class Published
{
public:
    Published() noexcept { publish (KeyTuning {}, 0); }
    /** The callback lock's holder, after MIDI retuned the table installed as number. */
    void publish (const KeyTuning& table, std::uint32_t number) noexcept;
    /** The table, and the number of the installed table it was retuned from. */
    KeyTuning read (std::uint32_t& number) const noexcept;
    std::uint32_t retunedFrom() const noexcept { return installed.load (std::memory_order_acquire); }

private:
    std::atomic<std::uint32_t> sequence { 0 };
    std::atomic<double> pitch[KeyTuning::numKeys] {}; // NaN: not mapped
    std::atomic<std::uint32_t> installed { 0 };
};
} // namespace SessionTuning
