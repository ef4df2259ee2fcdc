// The audio thread never allocates: processBlock runs under a counting allocator while notes play,
// through every engine path (mono, poly, glide, the LFO gate, arpeggiator and sequencer output).

#include "TestSupport.h"

#include <cstdlib>
#include <new>

namespace
{
// Per thread: the processor's own threads (the notifier) may allocate while a block renders.
thread_local bool countingAllocations = false;
thread_local long allocationCount = 0;

void* allocate (std::size_t size)
{
    if (countingAllocations)
        ++allocationCount;
    if (void* p = std::malloc (size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

// The whole test program allocates through these; only the armed stretches count.
void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

namespace
{
using namespace Param;

/** Renders a sequence of notes in 256-sample blocks and counts allocations inside processBlock only. */
long allocationsWhilePlaying (VroCore& processor, int seconds)
{
    constexpr double rate = 44100.0;
    constexpr int blockSize = 256;
    RenderSession session (processor, rate, blockSize, 120.0);
    processor.setNonRealtime (false);

    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize (4096);
    long count = 0;
    const int blocks = (int) (seconds * rate) / blockSize;
    for (int b = 0; b < blocks; ++b)
    {
        midi.clear();
        if (b % 20 == 0)
            for (int k = 0; k < 6; ++k)
                midi.addEvent (juce::MidiMessage::noteOn (1, 40 + (b / 20 * 5 + k * 4) % 36, (juce::uint8) (60 + k * 10)), 7 * k);
        if (b % 20 == 15)
            for (int k = 0; k < 6; ++k)
                midi.addEvent (juce::MidiMessage::noteOff (1, 40 + (b / 20 * 5 + k * 4) % 36), 3 * k);
        if (b % 7 == 3)
            midi.addEvent (juce::MidiMessage::pitchWheel (1, (b * 977) % 16384), 11);
        if (b % 50 == 25)
            midi.addEvent (juce::MidiMessage::controllerEvent (1, 64, b % 100 < 50 ? 127 : 0), 0);

        allocationCount = 0;
        countingAllocations = true;
        processor.processBlock (block, midi);
        countingAllocations = false;
        count += allocationCount;
    }
    return count;
}

TEST (NoAllocation, ProcessBlockNeverAllocatesWhileNotesPlay)
{
    struct Case { const char* name; std::vector<std::pair<int, float>> params; };
    const Case cases[] = {
        { "start-up program, mono", {} },
        { "poly, glide, resonance, FM, envelope PWM", { { Poly, 1.0f }, { PortamentoMode, 1.0f }, { PortamentoValue, 0.4f },
              { VcfResonance, 0.9f }, { FmSaw, 1.0f }, { FmIntensity, 0.5f }, { VcoPwm, 0.6f }, { Pulse, 1.0f } } },
        { "LFO gate, sample and hold, synced LFO", { { AdsrMode, 0.0f }, { LfoWaveform, 0.67f }, { LfoSync, 1.0f },
              { LfoTrigger, 1.0f }, { VcoModulation, 0.4f }, { VcfModulation, 0.5f } } },
        { "arpeggiator", { { ArpEnabled, 1.0f }, { ArpMode, 0.5f } } },
        { "sequencer", { { SeqEnabled, 1.0f } } },
    };
    for (const auto& c : cases)
    {
        VroCore processor;
        for (auto [index, value] : c.params)
            processor.setParameter (index, value);
        EXPECT_EQ (allocationsWhilePlaying (processor, 6), 0) << c.name;
    }
}

TEST (NoAllocation, EmptyBlocksAndEventsPastTheEndNeverAllocate)
{
    VroCore processor;
    processor.setParameter (ArpEnabled, 1.0f);
    RenderSession session (processor, 44100.0, 256, 120.0);
    processor.setNonRealtime (false);

    juce::AudioBuffer<float> block (2, 256), empty (2, 0);
    juce::MidiBuffer midi;
    midi.ensureSize (16384);
    long count = 0;
    for (int b = 0; b < 300; ++b)
    {
        const bool isEmpty = b % 3 == 0;
        // Now and then more than the waiting room holds.
        const int events = b % 30 == 0 ? 2 * VroCore::maxPendingEvents + 3 : 4;
        midi.clear();
        for (int k = 0; k < events; ++k)
        {
            const int note = 48 + (b + k / 2) % 24;
            midi.addEvent (k % 2 == 0 ? juce::MidiMessage::noteOn (1, note, (juce::uint8) 90) : juce::MidiMessage::noteOff (1, note),
                           isEmpty ? 0 : 250 + k);
        }

        allocationCount = 0;
        countingAllocations = true;
        processor.processBlock (isEmpty ? empty : block, midi);
        countingAllocations = false;
        count += allocationCount;
    }
    EXPECT_EQ (count, 0);
}
} // namespace
