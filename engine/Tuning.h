#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/** Each MIDI key's pitch in semitones on the engine's scale (69 = 440 Hz). In standard tuning key n
    is exactly n, so a voice computes the same bits as it did before tunings existed. */
struct KeyTuning
{
    static constexpr int numKeys = 128;

    KeyTuning() noexcept { setStandard(); }

    void setStandard() noexcept
    {
        for (int k = 0; k < numKeys; ++k)
        {
            pitch[k] = (double) k;
            mapped[k] = true;
        }
        standard = true;
    }

    /** After the entries changed: a table that is key n -> n throughout takes the standard path. */
    void updateStandard() noexcept
    {
        standard = true;
        for (int k = 0; k < numKeys; ++k)
            if (pitch[k] != (double) k || ! mapped[k])
                standard = false;
    }

    /** The pitch a voice plays for a key. Keys beyond MIDI's range (a step offset can reach them)
        continue from the nearer end in semitones. */
    double pitchOf (int key) const noexcept
    {
        if (standard)
            return (double) key;
        if (key < 0)
            return pitch[0] + (double) key;
        if (key >= numKeys)
            return pitch[numKeys - 1] + (double) (key - (numKeys - 1));
        return pitch[key];
    }

    /** A key that a keyboard mapping leaves out sounds nothing. */
    bool isMapped (int key) const noexcept
    {
        return standard || key < 0 || key >= numKeys || mapped[key];
    }

    bool operator== (const KeyTuning& other) const noexcept;

    double pitch[numKeys];
    bool mapped[numKeys];
    bool standard = true;
};

/** The MIDI Tuning Standard's messages that retune keys, on the audio thread without allocation. */
namespace MidiTuning
{
enum class Result
{
    ignored,       // not a tuning message, or malformed, truncated or with a wrong checksum
    nextNote,      // non-real-time: the keys take it from their next note-on
    soundingNotes  // real-time: sounding notes move to their new pitch at once
};

/** Applies a whole system exclusive message (F0 ... F7): bulk dumps (08 01, 08 04), single-note
    changes (08 02, 08 07) and scale/octave tunings (08 08, 08 09). Any device id; the tuning
    program and bank numbers are not told apart, there is one tuning. */
Result apply (const uint8_t* data, int size, KeyTuning& tuning) noexcept;
} // namespace MidiTuning

/** Scala scale (.scl) and keyboard mapping (.kbm) files, read into a key table. Message thread:
    these allocate. */
namespace Scala
{
constexpr size_t maxFileBytes = 1024u * 1024u;
constexpr int maxNotes = 4096;
constexpr double maxStepCents = 10000.0;
constexpr double maxKeyHz = 20000.0;

struct Error
{
    enum class File { scale, mapping };
    File file = File::scale; // which of the two files the problem is in
    int line = 0;            // 1-based; 0 when the problem belongs to no one line
    std::string message;
};

struct Scale
{
    std::string description;
    std::vector<double> cents; // degrees 1..N; the last is the period
    std::vector<int> lines;    // the line of each
};

struct KeyboardMapping
{
    int mapSize = 0; // 0: linear, every key the next degree
    int firstKey = 0, lastKey = 127, middleKey = 60, referenceKey = 69;
    double referenceHz = 440.0;
    int octaveDegree = 0;    // the degree that is the formal octave (0: the scale's period)
    std::vector<int> degrees; // -1: key not mapped
    // Where each value stood, for the messages of a table that cannot be built.
    int referenceLine = 0, octaveLine = 0;
    std::vector<int> degreeLines;
};

bool parseScale (std::string_view text, Scale& scale, Error& error);
bool parseKeyboardMapping (std::string_view text, KeyboardMapping& mapping, Error& error);

/** The key table of a scale under a mapping; nullptr for either means twelve-tone equal
    temperament, or middle key 60 and key 69 at 440 Hz, linear. Refuses a mapping that names a
    degree beyond the scale and a key whose frequency would leave 0..20 kHz. */
bool buildKeyTuning (const Scale* scale, const KeyboardMapping* mapping, KeyTuning& tuning, Error& error);
} // namespace Scala
