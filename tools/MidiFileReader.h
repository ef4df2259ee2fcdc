#pragma once

#include "RenderSession.h"
#include <vector>

/** MIDI files are kilobytes; a larger one is refused before it is read. */
constexpr size_t maxMidiFileBytes = 64u * 1024u * 1024u;

/** The events of a Standard MIDI File, every track by the file's own tempo map, in the order a
    render plays them: by floor(seconds x rate + 0.5), then track, then the track's order, which is
    the file's with note-offs moved before note-ons of their tick, as the framework reads a track.

    The events are decoded from the file's bytes as they are played, not held: the memory is the
    file, a little per track, 16 bytes per tempo or time signature event (28 for a tempo) and 8 per
    event of a track whose note-offs have to be moved (12 while it is sorted). No event takes less
    than 2 bytes of the file, a note 3, a time signature 4 and a tempo 7: at most 7 times the file's
    size with the file itself, whatever it holds. */
class MidiFileReader
{
public:
    /** Reads and checks the file; false with a reason when it is missing, not a regular file, too
        large or not MIDI. May throw std::bad_alloc. */
    bool open (const juce::File& file, double sampleRate, juce::String& error);

    /** The time of the last event of any kind. */
    double lastEventSeconds() const noexcept { return lastSeconds; }

    /** The next event in play order; false after the last. May throw std::bad_alloc. */
    bool next (TimedMidi& event);

    /** Back to the first event. */
    void rewind();

private:
    /** One track read in the file's order, as the framework reads it. */
    struct Reader
    {
        const juce::uint8* data = nullptr;
        int size = 0;
        double tick = 0.0;
        juce::uint8 lastStatus = 0;

        /** The next event of the track; false at its end. at: where the message starts. */
        bool read (juce::MidiMessage& message, const juce::uint8*& at);
    };

    struct Track
    {
        const juce::uint8 *begin = nullptr, *end = nullptr;
        double lastTick = 0.0;
        bool hasEvents = false;
        // Only for a track whose note-offs move: its events in play order, packed (see open).
        std::vector<juce::uint64> order;

        // Where the play has got to.
        Reader reader, clock;
        size_t position = 0;
        juce::int64 group = 0;
        bool pending = false;
        TimedMidi event;
    };

    struct TempoState
    {
        double tick, seconds;
    };

    struct TempoChange
    {
        size_t state; // from this state on
        double secondsPerTick;
    };

    double toSeconds (double tick) const;
    juce::int64 toSample (double tick) const;
    /** Reads the track's next event that is not a meta event into its pending slot. */
    void advance (Track& track);

    juce::MemoryBlock bytes;
    std::vector<Track> tracks;
    std::vector<TempoState> states;
    std::vector<TempoChange> changes;
    std::vector<size_t> heap; // tracks with a pending event, soonest first
    int timeFormat = 0;
    double tickLength = 0.0, sampleRate = 44100.0, lastSeconds = 0.0;
};
