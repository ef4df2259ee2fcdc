// The audio thread never allocates: processBlock runs under a counting allocator while notes play,
// through every engine path (mono, poly, glide, the LFO gate, arpeggiator and sequencer output), on
// a thread of its own while the message thread runs, with a change listener attached as an open
// editor is (tests/editor/EditorAllocationTests.cpp plays with the editor itself open).

#include "AudioThreadAllocations.h"

#if VRO_COUNTS_ALLOCATIONS
namespace
{
using namespace Param;

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
    struct Case
    {
        const char* name;
        std::function<void (VroCore&)> setUp;                                // on the message thread
        std::function<void (VroCore&, int block, juce::MidiBuffer&)> events; // on the audio thread, uncounted
    };
    std::vector<juce::uint8> sysex (300);
    for (size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = (juce::uint8) (i % 128);
    const auto longMessage = juce::MidiMessage::createSysExMessage (sysex.data(), (int) sysex.size());

    const Case cases[] = {
        { "system exclusive input", {},
          [&] (VroCore&, int b, juce::MidiBuffer& midi) { if (b % 3 == 0) midi.addEvent (longMessage, 40); } },
        { "MIDI learn, armed, then driving what it learned",
          [] (VroCore& p) { p.setParameter (MidiLearnActivated, 1.0f); p.setParameter (VcfCutoff, 0.3f); },
          [] (VroCore&, int b, juce::MidiBuffer& midi) { midi.addEvent (juce::MidiMessage::controllerEvent (1, 74 + b % 2, b % 128), 20); } },
        { "sample-rate changes", {},
          [] (VroCore& p, int b, juce::MidiBuffer&) { if (b % 40 == 20) p.setRateAndBufferSizeDetails (b % 80 == 20 ? 48000.0 : 44100.0, 256); } },
    };
    for (const auto& c : cases)
    {
        VroCore processor;
        if (c.setUp)
            c.setUp (processor);
        ExtraEvents events;
        if (c.events)
            events = [&] (int b, juce::MidiBuffer& midi) { c.events (processor, b, midi); };
        EXPECT_EQ (allocationsWhilePlaying (processor, 3, events), 0) << c.name;
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
    EXPECT_NE (processor.getProgram().getProgramName(), "Startup");
    processor.removeChangeListener (&listener);
}

TEST (NoAllocation, ChangesOnTheAudioThreadStillReachTheListeners)
{
    // Recorded notes redraw the sequencer: the change arrives through the message thread.
    VroCore processor;
    processor.setParameter (SeqEnabled, 1.0f);
    processor.setParameter (SeqRecord, 1.0f);
    ASSERT_TRUE (test::deliverPostedMessages()); // their own change messages, before anyone listens
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
