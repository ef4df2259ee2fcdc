// The audio thread never allocates: processBlock runs under a counting allocator while notes play,
// through every engine path (mono, poly, glide, the LFO gate, arpeggiator and sequencer output), on
// a thread of its own while the message thread runs, with a change listener attached as an open
// editor is.

#include "PresetTestSupport.h"

#include <cstdlib>
#include <functional>
#include <new>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

// AddressSanitizer brings its own malloc and cannot share the process with a replacement: the
// sanitizer run leaves allocation counting to the ordinary build.
#if defined(__SANITIZE_ADDRESS__)
#define VRO_COUNTS_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRO_COUNTS_ALLOCATIONS 0
#endif
#endif
#ifndef VRO_COUNTS_ALLOCATIONS
#define VRO_COUNTS_ALLOCATIONS 1
#endif

#if VRO_COUNTS_ALLOCATIONS
namespace
{
// Per thread: the processor's own threads (the notifier) may allocate while a block renders.
thread_local bool countingAllocations = false;
thread_local long allocationCount = 0;
thread_local long writeCount = 0;

void* allocate (std::size_t size)
{
    if (countingAllocations)
        ++allocationCount;
    if (void* p = std::malloc (size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

// Posting a message from the audio thread takes the queue's lock, may allocate and writes to a
// socket on Linux: writes in the armed stretches count as well.
extern "C" ssize_t write (int fd, const void* data, size_t size)
{
    if (countingAllocations)
        ++writeCount;
    return syscall (SYS_write, fd, data, size);
}

// The framework's own blocks (a MidiMessage longer than a pointer, array storage) come from malloc
// directly, not from operator new: those count too.
extern "C" void* __libc_malloc (size_t);
extern "C" void* __libc_calloc (size_t, size_t);
extern "C" void* __libc_realloc (void*, size_t);

extern "C" void* malloc (size_t size)
{
    if (countingAllocations)
        ++allocationCount;
    return __libc_malloc (size);
}

extern "C" void* calloc (size_t count, size_t size)
{
    if (countingAllocations)
        ++allocationCount;
    return __libc_calloc (count, size);
}

extern "C" void* realloc (void* p, size_t size)
{
    if (countingAllocations)
        ++allocationCount;
    return __libc_realloc (p, size);
}

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

struct ChangeCounter : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++calls; }
    int calls = 0;
};

using ExtraEvents = std::function<void (int block, juce::MidiBuffer&)>;

/** Renders a sequence of notes in 256-sample blocks on a thread of its own, as a host's audio
    thread, while this thread delivers messages; counts allocations inside processBlock only. */
long allocationsWhilePlaying (VroCore& processor, int seconds, const ExtraEvents& extra = {})
{
    constexpr double rate = 44100.0;
    constexpr int blockSize = 256;
    RenderSession session (processor, rate, blockSize, 120.0);
    processor.setNonRealtime (false);

    std::atomic<long> count { 0 };
    std::atomic<bool> done { false };
    std::thread audio ([&]
    {
        juce::AudioBuffer<float> block (2, blockSize);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);
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
            if (extra)
                extra (b, midi);

            allocationCount = writeCount = 0;
            countingAllocations = true;
            processor.processBlock (block, midi);
            countingAllocations = false;
            count += allocationCount + writeCount;
            if (b % 8 == 0)
                std::this_thread::sleep_for (std::chrono::milliseconds (1)); // the message thread gets its turn
        }
        done = true;
    });
    while (! done)
        test::deliverMessages (2);
    audio.join();
    test::deliverMessages (50);
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
        { "note recording", { { SeqEnabled, 1.0f }, { SeqRecord, 1.0f } } },
    };
    for (const auto& c : cases)
    {
        VroCore processor;
        ChangeCounter listener;
        processor.addChangeListener (&listener);
        for (auto [index, value] : c.params)
            processor.setParameter (index, value);
        EXPECT_EQ (allocationsWhilePlaying (processor, 6), 0) << c.name;
        processor.removeChangeListener (&listener);
    }
}

TEST (NoAllocation, EveryOtherDoorOfTheAudioThread)
{
    using Editor = std::unique_ptr<juce::AudioProcessorEditor>;
    struct Case
    {
        const char* name;
        std::function<void (VroCore&, Editor&)> setUp;                  // on the message thread
        std::function<void (VroCore&, int block, juce::MidiBuffer&)> events; // on the audio thread, uncounted
    };
    std::vector<juce::uint8> sysex (300);
    for (size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = (juce::uint8) (i % 128);
    const auto longMessage = juce::MidiMessage::createSysExMessage (sysex.data(), (int) sysex.size());

    const Case cases[] = {
        { "an open editor while the sequencer plays",
          [] (VroCore& p, Editor& e) { p.setParameter (SeqEnabled, 1.0f); e.reset (p.createEditorIfNeeded()); },
          {} },
        { "system exclusive input", {},
          [&] (VroCore&, int b, juce::MidiBuffer& midi) { if (b % 3 == 0) midi.addEvent (longMessage, 40); } },
        { "MIDI learn, armed, then driving what it learned",
          [] (VroCore& p, Editor&) { p.setParameter (MidiLearnActivated, 1.0f); p.setParameter (VcfCutoff, 0.3f); },
          [] (VroCore&, int b, juce::MidiBuffer& midi) { midi.addEvent (juce::MidiMessage::controllerEvent (1, 74 + b % 2, b % 128), 20); } },
        { "sample-rate changes", {},
          [] (VroCore& p, int b, juce::MidiBuffer&) { if (b % 40 == 20) p.setRateAndBufferSizeDetails (b % 80 == 20 ? 48000.0 : 44100.0, 256); } },
    };
    for (const auto& c : cases)
    {
        VroCore processor;
        Editor editor;
        if (c.setUp)
            c.setUp (processor, editor);
        ExtraEvents events;
        if (c.events)
            events = [&] (int b, juce::MidiBuffer& midi) { c.events (processor, b, midi); };
        EXPECT_EQ (allocationsWhilePlaying (processor, 3, events), 0) << c.name;
        editor.reset();
    }
}

TEST (NoAllocation, MidiProgramChangesComeFromMemory)
{
    // The preset list is read on the message thread; a change on the audio thread only applies it.
    VroCore processor;
    ASSERT_GT (processor.presetList().size(), 20);
    processor.refreshPresetSnapshot();
    ChangeCounter listener;
    processor.addChangeListener (&listener);
    const auto changes = [] (int block, juce::MidiBuffer& midi)
    {
        if (block % 10 == 5)
            midi.addEvent (juce::MidiMessage::programChange (1, block / 10 % 20), 30);
    };
    EXPECT_EQ (allocationsWhilePlaying (processor, 3, changes), 0);
    EXPECT_NE (processor.getProgram().programName, "Startup");
    processor.removeChangeListener (&listener);
}

TEST (NoAllocation, ChangesOnTheAudioThreadStillReachTheListeners)
{
    // Recorded notes redraw the sequencer: the change arrives through the message thread.
    VroCore processor;
    processor.setParameter (SeqEnabled, 1.0f);
    processor.setParameter (SeqRecord, 1.0f);
    test::deliverMessages (50);
    ChangeCounter listener;
    processor.addChangeListener (&listener);
    EXPECT_EQ (allocationsWhilePlaying (processor, 1), 0);
    EXPECT_GT (listener.calls, 0);
    processor.removeChangeListener (&listener);
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
#endif
