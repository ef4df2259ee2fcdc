#pragma once

#include <cstdint>

/** The notes the arpeggiator and sequencer voices played in the current block, at their sample
    positions. A fixed array, so the audio thread never allocates; the processor copies it into
    the block's MIDI buffer at the end of each block. */
struct MidiOutCollector
{
    struct Event
    {
        int samplePosition;
        uint8_t bytes[3];
    };

    static constexpr int capacity = 4096;

    void add (uint8_t status, uint8_t data1, uint8_t data2) noexcept
    {
        if (numEvents < capacity)
            events[numEvents++] = { samplePosition, { status, data1, data2 } };
    }

    void noteOn (int note, int velocity) noexcept { add (0x90, (uint8_t) note, (uint8_t) velocity); }
    void noteOff (int note) noexcept { add (0x80, (uint8_t) note, 127); }
    void clear() noexcept { numEvents = 0; samplePosition = 0; }

    Event events[capacity];
    int numEvents = 0;
    int samplePosition = 0;
};
