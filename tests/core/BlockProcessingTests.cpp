// Block processing as a host drives it: sample-accurate MIDI, the rule order, and the MIDI output.
#include "TestSupport.h"
#include "IeeeArithmetic.h"

#include <cstring>

#include <functional>

using namespace Param;
using test::Render;

namespace
{
/** One block of any length straight into processBlock; returns the block's MIDI output. */
juce::MidiBuffer processBlock (VroCore& core, int numSamples, const std::vector<std::pair<int, juce::MidiMessage>>& events)
{
    juce::AudioBuffer<float> buffer (2, numSamples);
    buffer.clear();
    juce::MidiBuffer midi;
    for (const auto& [position, message] : events)
        midi.addEvent (message, position);
    core.processBlock (buffer, midi);
    return midi;
}

TEST (BlockProcessing, NoteSoundsFromItsOwnSample)
{
    VroCore core;
    Render r (core, 44100.0, 64);
    r.at (10, test::noteOn (48)).run (64);
    // Only the output stage's anti-denormal offset is there before the note.
    EXPECT_LT (r.peak (0, 10), 1.0e-5f);
    const int first = r.firstSoundAfter (0, 1.0e-3f);
    EXPECT_GE (first, 10);
    EXPECT_LE (first, 30);
}

TEST (BlockProcessing, SameSampleEventsKeepTheirOrder)
{
    VroCore a, b;
    Render ra (a, 44100.0, 64), rb (b, 44100.0, 64);
    ra.at (5, test::noteOn (60)).at (20, test::controller (123, 0)).at (20, test::noteOn (64)).run (64);
    rb.at (5, test::noteOn (60)).at (20, test::noteOn (64)).at (20, test::controller (123, 0)).run (64);
    EXPECT_TRUE (a.getEngine().getVoices().voice (0).active);
    EXPECT_FALSE (b.getEngine().getVoices().voice (0).active);
}

TEST (BlockProcessing, ChannelSixteenTriggersTheSequencerWithoutSounding)
{
    VroCore core;
    core.setParameter (MainSyncMode, 1.0f);
    core.setParameter (SeqEnabled, 1.0f);
    core.setParameter (SeqSync, 1.0f);
    Render r (core);
    r.at (3, test::noteOn (60, 100, 16)).at (600, test::noteOff (60, 16)).run (2048);
    EXPECT_TRUE (r.session.midiOutput.empty());
    EXPECT_LT (r.peak (0, 2048), 1.0e-5f);

    VroCore other;
    other.setParameter (MainSyncMode, 1.0f);
    other.setParameter (SeqEnabled, 1.0f);
    other.setParameter (SeqSync, 1.0f);
    Render r15 (other);
    r15.at (3, test::noteOn (60, 100, 15)).run (2048);
    EXPECT_EQ (other.getEngine().getArpSeq().sequencer.notes.size(), 1);
    EXPECT_EQ (core.getEngine().getArpSeq().sequencer.notes.size(), 0);
}

TEST (BlockProcessing, SustainPedalAndHold)
{
    VroCore core;
    auto& voices = core.getEngine().getVoices();
    Render r (core, 44100.0, 64);
    r.at (0, test::controller (64, 64)).at (1, test::noteOn (60)).at (2, test::noteOff (60)).run (64);
    EXPECT_TRUE (voices.voice (0).sustained);

    Render r2 (core, 44100.0, 64);
    r2.at (0, test::controller (64, 63)).run (64);
    EXPECT_FALSE (voices.voice (0).sustained);

    core.setParameter (ArpEnabled, 1.0f);
    Render r3 (core, 44100.0, 64);
    r3.at (0, test::controller (64, 100)).run (64);
    EXPECT_TRUE (core.getEngine().getArpSeq().arpeggiator.hold);
    EXPECT_FALSE (voices.voice (0).sustained);
}

TEST (BlockProcessing, ControllersReachTheirRules)
{
    VroCore core;
    auto& s = core.getEngine().getSettings();
    Render r (core, 44100.0, 64);
    r.at (0, test::noteOn (60)).at (10, test::controller (123, 0, 9)).at (20, test::controller (1, 127))
        .at (30, juce::MidiMessage::pitchWheel (1, 0)).run (64);
    EXPECT_FALSE (core.getEngine().getVoices().voice (0).active);
    EXPECT_DOUBLE_EQ (s.modWheel, 1.0);
    EXPECT_NEAR (s.pitchBend, -1.00006, 1.0e-5);

    Render r2 (core, 44100.0, 64);
    r2.at (0, juce::MidiMessage::pitchWheel (1, 16383)).run (64);
    EXPECT_NEAR (s.pitchBend, 0.99994, 1.0e-5);
    Render r3 (core, 44100.0, 64);
    r3.at (0, juce::MidiMessage::pitchWheel (1, 8192)).run (64);
    EXPECT_EQ (s.pitchBend, 0.0);
}

TEST (BlockProcessing, OutputHoldsOnlyEngineNotes)
{
    VroCore core;
    core.setParameter (SeqEnabled, 1.0f);
    core.setParameter (SeqSync, 0.0f);
    Render r (core);
    r.at (0, test::controller (7, 100)).at (0, test::noteOn (60)).run (44100);
    ASSERT_FALSE (r.session.midiOutput.empty());
    for (const auto& e : r.session.midiOutput)
        EXPECT_TRUE (e.message.isNoteOnOrOff()) << e.message.getDescription();
    EXPECT_EQ (r.session.midiOutput.front().sample, 0);
}

TEST (BlockProcessing, EveryWayAPlayerStopsSendsItsNoteOff)
{
    struct Case
    {
        const char* name;
        int player;       // the one playing: ArpEnabled or SeqEnabled
        int stop;         // the parameter that stops it
        float value;
    };
    const Case cases[] = {
        { "ARP Enabled off", ArpEnabled, ArpEnabled, 0.0f },
        { "SEQ Enabled on", ArpEnabled, SeqEnabled, 1.0f },
        { "SEQ Enabled off", SeqEnabled, SeqEnabled, 0.0f },
        { "ARP Enabled on", SeqEnabled, ArpEnabled, 1.0f },
        { "SEQ Record on", ArpEnabled, SeqRecord, 1.0f },
        { "PANIC", SeqEnabled, Panic, 1.0f },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        VroCore core;
        core.setParameter (c.player, 1.0f);
        Render playing (core, 44100.0, 256);
        playing.at (0, test::noteOn (60)).run (4096); // the key stays down
        ASSERT_FALSE (playing.session.midiOutput.empty());

        core.setParameter (c.stop, c.value);
        Render stopped (core, 44100.0, 256);
        stopped.run (44100);

        // Whatever plays on (the other player takes the held key), the stopped one's notes end
        // before anything new starts.
        int held[128] {};
        for (const auto& e : playing.session.midiOutput)
            held[e.message.getNoteNumber()] += e.message.isNoteOn() ? 1 : e.message.isNoteOff() ? -1 : 0;
        for (const auto& e : stopped.session.midiOutput)
        {
            if (e.message.isNoteOn())
                break;
            if (e.message.isNoteOff())
                held[e.message.getNoteNumber()] -= 1;
        }
        for (int n = 0; n < 128; ++n)
            EXPECT_EQ (held[n], 0) << "note " << n << " hangs";
    }
}

TEST (BlockProcessing, EventsPastTheEndOrInEmptyBlocksAreDeliveredInOrder)
{
    VroCore core;
    Render host (core, 44100.0, 64); // the host's set-up; blocks are driven by hand
    auto& pool = core.getEngine().getVoices();
    auto& voice = pool.voice (0);

    // Stamped at or after the block's length: handled at its last sample.
    processBlock (core, 64, { { 64, test::noteOn (60) } });
    EXPECT_TRUE (voice.active);
    EXPECT_EQ (voice.note, 60);
    processBlock (core, 64, { { 1000, test::noteOff (60) } });
    EXPECT_FALSE (voice.active);

    // A 0-sample block's events wait for the next block's start, ahead of that block's own.
    processBlock (core, 0, { { 0, test::noteOn (62) } });
    EXPECT_EQ (voice.note, 60);
    processBlock (core, 64, { { 0, test::noteOff (62) } });
    EXPECT_EQ (voice.note, 62);
    EXPECT_FALSE (voice.active);

    // More than the waiting room holds: nothing is lost and the order stands.
    std::vector<std::pair<int, juce::MidiMessage>> many;
    for (int k = 0; k < VroCore::maxPendingEvents; ++k)
    {
        many.push_back ({ 0, test::noteOn (40 + k % 20) });
        many.push_back ({ 0, test::noteOff (40 + k % 20) });
    }
    many.push_back ({ 0, test::noteOn (67) });
    processBlock (core, 0, many);
    processBlock (core, 64, {});
    EXPECT_TRUE (voice.active);
    EXPECT_EQ (voice.note, 67);
    EXPECT_EQ (pool.heldNotes.size(), 1);
}

TEST (BlockProcessing, AnEmptyBlockKeepsTheNoteOffsOwedToTheHost)
{
    // PANIC between blocks ends the arpeggio's note; an empty block must pass that on, not drop it.
    VroCore core;
    core.setParameter (ArpEnabled, 1.0f);
    Render host (core, 44100.0, 64);
    int held = 0;
    auto count = [&held] (const juce::MidiBuffer& midi)
    {
        for (const auto meta : midi)
            held += meta.getMessage().isNoteOn() ? 1 : meta.getMessage().isNoteOff() ? -1 : 0;
    };
    count (processBlock (core, 64, { { 0, test::noteOn (60) } }));
    for (int b = 0; b < 4; ++b)
        count (processBlock (core, 64, {}));
    ASSERT_EQ (held, 1);
    core.setParameter (Panic, 1.0f);
    count (processBlock (core, 0, {}));
    count (processBlock (core, 64, {}));
    EXPECT_EQ (held, 0);
}

TEST (BlockProcessing, SampleRateAndTempoChangesArePickedUpOnce)
{
    VroCore core;
    Render r (core, 48000.0, 256, 125.0);
    r.run (512);
    EXPECT_EQ (core.getEngine().getSampleRate(), 48000.0f);
    EXPECT_DOUBLE_EQ (core.getEngine().getSettings().tempoBpm, 125.0);

    // In host sync mode the tempo goes to the clock with the position instead.
    VroCore hostSynced;
    hostSynced.setParameter (MainSyncMode, 0.34f);
    Render r2 (hostSynced, 44100.0, 256, 125.0);
    r2.run (512);
    EXPECT_DOUBLE_EQ (hostSynced.getEngine().getSettings().tempoBpm, 120.0);
}

TEST (BlockProcessing, FractionalHostRatesAreTakenOnceNotEveryBlock)
{
    // Hosts that measure their clock report rates a float cannot hold; a held note must sound
    // as it does at the nearby whole rate, without the engine being reset block after block.
    auto heldPeak = [] (double rate)
    {
        VroCore core;
        Render r (core, rate, 512);
        r.at (0, test::noteOn (48)).run (88200);
        EXPECT_EQ (core.getEngine().getSampleRate(), (float) rate);
        return r.peak (44100, 88200);
    };
    for (auto [whole, fractional] : { std::pair { 44100.0, 44100.3 }, std::pair { 48000.0, 47999.99 } })
    {
        const float expected = heldPeak (whole), measured = heldPeak (fractional);
        EXPECT_NEAR (measured, expected, expected * 0.01f) << fractional;
    }
}

TEST (BlockProcessing, AnyHostRateLeavesTheOutputFiniteAndAtItsLevel)
{
    // A held note at 44100 Hz, then whatever rate a host reports, then 44100 Hz again with a new
    // note: nothing non-finite, nothing far louder than the note at 44100 Hz, at any time.
    struct Outcome { int nonFinite = 0; float peak = 0.0f; };
    const auto play = [] (VroCore& core, double rate, int note, int samples)
    {
        core.setRateAndBufferSizeDetails (rate, 512);
        core.prepareToPlay (rate, 512);
        Outcome o;
        juce::AudioBuffer<float> buffer (2, 512);
        for (int done = 0; done < samples; done += 512)
        {
            buffer.clear();
            juce::MidiBuffer midi;
            if (done == 0 && note > 0)
                midi.addEvent (test::noteOn (note), 0);
            core.processBlock (buffer, midi);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 512; ++i)
                {
                    const float x = buffer.getSample (ch, i);
                    o.nonFinite += std::isfinite (x) ? 0 : 1;
                    o.peak = std::isfinite (x) ? std::max (o.peak, std::abs (x)) : o.peak;
                }
        }
        return o;
    };
    VroCore reference;
    const float normal = play (reference, 44100.0, 48, 51200).peak;
    ASSERT_GT (normal, 0.01f);

    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    for (const double rate : { 1.0e-30, 0.5, 20.0, 50.0, 4000.0, 8000.0, 44100.0, 384000.0, 1.0e6, inf, -44100.0, nan })
    {
        VroCore core;
        play (core, 44100.0, 48, 8192);
        const auto during = play (core, rate, 0, 51200);
        const auto after = play (core, 44100.0, 50, 51200);
        EXPECT_EQ (during.nonFinite, 0) << rate;
        EXPECT_LE (during.peak, 2.0f * normal) << rate;
        EXPECT_EQ (after.nonFinite, 0) << rate;
        EXPECT_LE (after.peak, 2.0f * normal) << rate;
        EXPECT_GT (after.peak, 0.25f * normal) << rate; // and it plays again
    }
}

TEST (BlockProcessing, ANonFiniteStateDoesNotStay)
{
    // However a NaN got into a state, no block carries it to the host, and the next note plays.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<const char*, std::function<void (SynthEngine&)>> poisons[] = {
        { "ladder", [nan] (SynthEngine& e) { e.getVoices().voice (0).filter.core.s1 = nan; } },
        { "decimator", [nan] (SynthEngine& e) { e.getVoices().voice (0).filter.decimator.sections[1].y1 = nan; } },
        { "voice blocker", [nan] (SynthEngine& e) { e.getVoices().voice (0).dcBlocker.output = nan; } },
        { "volume smoother", [nan] (SynthEngine& e) { e.getSettings().volumeSmoother.value = nan; } },
    };
    for (const auto& [name, poison] : poisons)
    {
        VroCore core;
        core.setRateAndBufferSizeDetails (44100.0, 512);
        core.prepareToPlay (44100.0, 512);
        processBlock (core, 2048, { { 0, test::noteOn (48) } });
        poison (core.getEngine());
        int nonFinite = 0;
        float peak = 0.0f;
        for (int block = 0; block < 40; ++block)
        {
            juce::AudioBuffer<float> buffer (2, 512);
            buffer.clear();
            juce::MidiBuffer midi;
            if (block == 10)
                midi.addEvent (test::noteOn (50), 0);
            core.processBlock (buffer, midi);
            for (int i = 0; i < 512; ++i)
            {
                const float x = buffer.getSample (0, i);
                nonFinite += std::isfinite (x) ? 0 : 1;
                if (block >= 10 && std::isfinite (x))
                    peak = std::max (peak, std::abs (x));
            }
        }
        EXPECT_EQ (nonFinite, 0) << name;
        EXPECT_GT (peak, 0.05f) << name;
        EXPECT_LT (peak, 2.0f) << name;
    }
}

TEST (BlockProcessing, DisabledProgramChangeStillHandlesTheNextEvent)
{
    VroCore core;
    core.setMidiProgramChangeDisabled (true);
    Render r (core, 44100.0, 64);
    r.at (8, juce::MidiMessage::programChange (1, 0)).at (8, test::noteOn (60)).run (64);
    EXPECT_TRUE (core.getEngine().getVoices().voice (0).active);
    EXPECT_EQ (core.getProgram().getProgramName(), "Startup");
    core.setMidiProgramChangeDisabled (false);
}

TEST (BlockProcessing, BothChannelsAreIdentical)
{
    VroCore core;
    Render r (core);
    r.at (0, test::noteOn (45)).at (20000, test::noteOff (45)).run (30000);
    const auto& a = r.session.audio;
    for (int i = 0; i < a.getNumSamples(); ++i)
        ASSERT_EQ (a.getSample (0, i), a.getSample (1, i)) << i;
    EXPECT_GT (r.peak (0, 30000), 0.01f);
}

TEST (BlockProcessing, TheHostsFloatingPointModeNeitherReachesTheSoundNorIsChanged)
{
#if VRO_HAS_MXCSR
    // A resonant chord with vibrato, rendered in the default mode and in modes hosts set on their
    // audio threads before the first block.
    const auto render = [] (unsigned int hostBits, unsigned int& modeAfter)
    {
        VroCore core;
        core.setParameter (Poly, 1.0f);
        core.setParameter (VcfResonance, 0.8f);
        core.setParameter (VcfCutoff, 0.45f);
        core.setParameter (VcoModulation, 0.3f);
        core.setParameter (Release, 0.6f);
        Render r (core);
        for (int note : { 45, 52, 57, 61 })
            r.at (note, test::noteOn (note)).at (30000 + note, test::noteOff (note));
        const unsigned int defaultMode = _mm_getcsr();
        _mm_setcsr (defaultMode | hostBits);
        r.run (44100);
        modeAfter = _mm_getcsr();
        _mm_setcsr (defaultMode);
        return std::vector<float> (r.session.audio.getReadPointer (0), r.session.audio.getReadPointer (0) + 44100);
    };

    unsigned int defaultAfter = 0;
    const auto reference = render (0, defaultAfter);
    const struct { const char* name; unsigned int bits; } modes[] = {
        { "flush to zero, denormals are zero", ScopedIeeeArithmetic::kFlushToZero | ScopedIeeeArithmetic::kDenormalsAreZero },
        { "rounding towards zero", 0x6000u },
        { "rounding up", 0x4000u },
    };
    for (const auto& m : modes)
    {
        unsigned int after = 0;
        const auto samples = render (m.bits, after);
        int differing = 0;
        for (size_t i = 0; i < samples.size(); ++i)
            differing += std::memcmp (&samples[i], &reference[i], sizeof (float)) != 0 ? 1 : 0;
        EXPECT_EQ (differing, 0) << m.name;
        EXPECT_EQ (after, _mm_getcsr() | m.bits) << m.name << ": the host's mode is back after the blocks";
    }
#else
    GTEST_SKIP() << "no floating-point mode register to set on this processor";
#endif
}

TEST (BlockProcessing, TheStandaloneHasNoAudioInputWhileHostsKeepTheirStereoPair)
{
    using W = juce::AudioProcessor::WrapperType;
    struct Case { W wrapper; int inputs; };
    for (auto c : { Case { juce::AudioProcessor::wrapperType_Standalone, 0 }, Case { juce::AudioProcessor::wrapperType_VST, 2 },
                    Case { juce::AudioProcessor::wrapperType_VST3, 2 }, Case { juce::AudioProcessor::wrapperType_LV2, 2 },
                    Case { juce::AudioProcessor::wrapperType_Undefined, 2 } })
    {
        SCOPED_TRACE ((int) c.wrapper);
        // What the framework's wrappers do around the creation of their processor.
        juce::AudioProcessor::setTypeOfNextNewPlugin (c.wrapper);
        VroCore core;
        juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);

        // The Standalone's window mutes any input and says so in a banner above the editor.
        EXPECT_EQ (core.getMainBusNumInputChannels(), c.inputs);
        EXPECT_EQ (core.getMainBusNumOutputChannels(), 2);

        core.prepareToPlay (44100.0, 512);
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        midi.addEvent (test::noteOn (48), 0);
        float peak = 0.0f;
        for (int block = 0; block < 4; ++block)
        {
            buffer.clear();
            core.processBlock (buffer, midi);
            midi.clear();
            peak = std::max (peak, buffer.getMagnitude (1, 0, 512));
        }
        EXPECT_GT (peak, 0.01f);
    }
}

TEST (BlockProcessing, LayoutsAreStereoOutWithStereoOrNoInput)
{
    VroCore core;
    const auto stereo = juce::AudioChannelSet::stereo(), mono = juce::AudioChannelSet::mono(), none = juce::AudioChannelSet::disabled();
    struct Case { juce::AudioChannelSet in, out; bool supported; };
    for (const auto& c : { Case { stereo, stereo, true }, Case { none, stereo, true }, Case { mono, stereo, false },
                           Case { stereo, mono, false }, Case { stereo, none, false }, Case { none, none, false } })
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (c.in);
        layout.outputBuses.add (c.out);
        EXPECT_EQ (core.checkBusesLayoutSupported (layout), c.supported) << c.in.getDescription() << " -> " << c.out.getDescription();
    }
}
} // namespace

TEST (Voices, DetuneAndDecaySpreadComeFromTheFrameworkGenerator)
{
    VroCore core;
    for (int index : { 0, 1, 7 })
    {
        juce::Random random (index);
        const double u1 = random.nextDouble(), u2 = random.nextDouble();
        const auto& v = core.getEngine().getVoices().voice (index);
        EXPECT_EQ (v.detune, 1.0 + (u1 - 0.5) * 9e-5) << index;
        EXPECT_EQ (v.decayFactor, 1.0 + (u2 - 0.5) * 0.4) << index;
    }
}
