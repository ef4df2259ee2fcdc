// The voice pool: mono last-note priority and legato, poly allocation and stealing, sustain,
// portamento modes and the voices' MIDI echo.
#include "SoundFixture.h"
#include <gtest/gtest.h>

using namespace Param;
using sound::Synth;

namespace
{
struct Mono : testing::Test
{
    Mono() { synth.set (Param::Poly, 0.0); }
    Synth synth;
    VoiceManager& pool = synth.engine->getVoices();
    Voice& voice = pool.voice (0);
};

TEST_F (Mono, LastNotePriorityRetriggersWithVelocityZero)
{
    synth.set (AdsrMode, 0.5); // legato mode first: the returning note glides without a restart
    synth.engine->noteOn (60, 0.8);
    synth.render (2000);
    synth.engine->noteOn (64, 0.8);
    synth.render (2000);
    EXPECT_EQ (voice.note, 64);
    EXPECT_NE (voice.ampEnvelope.state, Envelope::retriggerFade);
    EXPECT_NE (voice.ampEnvelope.state, Envelope::attackState);

    synth.engine->noteOff (64);
    EXPECT_EQ (voice.note, 60);
    EXPECT_TRUE (voice.active);
    EXPECT_NE (voice.ampEnvelope.state, Envelope::attackState);

    synth.set (AdsrMode, 1.0); // mode 2: every note restarts the envelopes, the return carries velocity 0
    synth.engine->noteOn (67, 0.8);
    synth.engine->noteOff (67);
    EXPECT_EQ (voice.note, 60);
    EXPECT_TRUE (voice.ampEnvelope.state == Envelope::retriggerFade || voice.ampEnvelope.state == Envelope::attackState);
    EXPECT_EQ (voice.velocity, 0.0);

    synth.engine->noteOff (60);
    EXPECT_FALSE (voice.active);
}

TEST_F (Mono, ARepeatedNoteOnOfAHeldKeyIsReleasedByItsNoteOff)
{
    synth.engine->noteOn (60, 0.8);
    synth.engine->noteOn (60, 0.8);
    EXPECT_EQ (pool.heldNotes.size(), 1);
    synth.engine->noteOff (60);
    EXPECT_FALSE (voice.active);

    // Under another held key the repeated key is the most recent again, and leaves once.
    synth.engine->noteOn (55, 0.8);
    synth.engine->noteOn (60, 0.8);
    synth.engine->noteOn (55, 0.8);
    synth.engine->noteOff (55);
    EXPECT_EQ (voice.note, 60);
    synth.engine->noteOff (60);
    EXPECT_FALSE (voice.active);
}

TEST_F (Mono, PortamentoModes)
{
    const struct { double mode; bool overlapping; bool glides; } cases[] = {
        { 0.0, true, true }, { 0.0, false, false }, // mode 0: only between overlapping notes
        { 0.5, true, false }, { 0.5, false, false }, // mode 1: never
        { 1.0, true, true }, { 1.0, false, true },   // mode 2: always
    };
    for (const auto& c : cases)
    {
        Synth s;
        s.set (Param::Poly, 0.0);
        s.set (PortamentoMode, c.mode);
        s.set (PortamentoValue, 0.5);
        auto& v = s.engine->getVoices().voice (0);
        s.engine->noteOn (48, 1.0);
        s.render (4000);
        if (! c.overlapping)
        {
            s.engine->noteOff (48);
            s.render (100);
        }
        s.engine->noteOn (60, 1.0);
        s.render (10);
        const bool glided = v.portamento.current < 59.0;
        EXPECT_EQ (glided, c.glides) << "mode " << c.mode << (c.overlapping ? " overlapping" : " detached") << " at " << v.portamento.current;
    }
}

TEST_F (Mono, LinearPortamentoReachesTheTargetExactly)
{
    synth.set (PortamentoMode, 1.0);
    synth.set (PortamentoValue, 0.3);
    synth.set (PortamentoLinear, 1.0);
    synth.engine->noteOn (40, 1.0);
    synth.render (10);
    synth.engine->noteOn (52, 1.0);
    auto prev = voice.portamento.current;
    synth.render (1);
    const double step = voice.portamento.current - prev;
    EXPECT_GT (step, 0.0) << prev << " " << voice.note;
    synth.render (200000);
    EXPECT_EQ (voice.portamento.current, 52.0);
}

TEST_F (Mono, SustainPedalHoldsReleasedKeys)
{
    synth.set (Sustain, 0.6);
    synth.engine->setSustain (true);
    synth.engine->noteOn (60, 1.0);
    synth.render (20000);
    synth.engine->noteOff (60);
    synth.render (20000);
    EXPECT_EQ (voice.ampEnvelope.state, Envelope::decayState);
    synth.engine->setSustain (false);
    synth.render (10);
    EXPECT_EQ (voice.ampEnvelope.state, Envelope::releaseState);
}

struct Poly : testing::Test
{
    Poly() { synth.set (Param::Poly, 1.0); }
    Synth synth;
    VoiceManager& pool = synth.engine->getVoices();
};

TEST_F (Poly, AllocatesStealsAndReuses)
{
    for (int i = 0; i < 6; ++i)
    {
        synth.engine->noteOn (60 + i, 1.0);
        synth.render (100);
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ (pool.voice (i).note, 60 + i);

    synth.engine->noteOn (70, 1.0); // a seventh held note steals the oldest
    EXPECT_EQ (pool.voice (0).note, 70);
    EXPECT_EQ (pool.activeVoices[0], &pool.voice (0));

    synth.engine->noteOff (63);
    synth.engine->noteOn (72, 1.0); // a released voice goes before a held one
    EXPECT_EQ (pool.voice (3).note, 72);

    synth.engine->noteOn (72, 0.5); // the same note reuses its voice
    EXPECT_EQ (pool.activeVoices[0], &pool.voice (3));
    int sevenTwo = 0;
    for (int i = 0; i < 12; ++i)
        sevenTwo += pool.voice (i).note == 72 ? 1 : 0;
    EXPECT_EQ (sevenTwo, 1);
}

TEST_F (Poly, LegatoModeStillStartsEachVoice)
{
    synth.set (AdsrMode, 0.5);
    synth.engine->noteOn (60, 1.0);
    synth.engine->noteOn (64, 1.0);
    const auto out = synth.render (2000);
    EXPECT_NE (pool.voice (1).ampEnvelope.state, Envelope::idle);
    EXPECT_GT (sound::rms (out), 0.01);
}

TEST_F (Poly, AChordOnTheFirstSampleTakesOneVoiceEach)
{
    const int chord[] = { 60, 64, 67 };
    for (int note : chord)
        synth.engine->noteOn (note, 1.0);
    const auto out = synth.render (2000);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ (pool.voice (i).note, chord[i]) << i;
        EXPECT_TRUE (pool.voice (i).active) << i;
        EXPECT_FALSE (pool.voice (i).ampEnvelope.isIdle()) << i;
    }
    EXPECT_EQ (pool.activeVoices.size(), 3);
    EXPECT_GT (sound::rms (out), 0.01);
}

TEST (VoicePool, FirstSampleRendersEveryVoiceFromItsConstructionState)
{
    // Envelopes start in attack at level 0; the first ungated sample runs the whole voice, so
    // the glide from 42 takes one step toward the construction note before the voice goes idle.
    Synth synth;
    synth.set (PortamentoValue, 0.5);
    for (int i = 0; i < 12; ++i)
    {
        const auto& v = synth.engine->getVoices().voice (i);
        EXPECT_EQ (v.ampEnvelope.state, Envelope::attackState) << i;
        EXPECT_EQ (v.filterEnvelope.state, Envelope::attackState) << i;
        EXPECT_EQ (v.ampEnvelope.level, 0.0) << i;
    }
    synth.render (1);
    for (int i = 0; i < 12; ++i)
    {
        const auto& v = synth.engine->getVoices().voice (i);
        EXPECT_TRUE (v.ampEnvelope.isIdle()) << i;
        EXPECT_TRUE (v.filterEnvelope.isIdle()) << i;
        EXPECT_GT (v.portamento.current, 42.0) << i;
        EXPECT_LT (v.portamento.current, 60.0) << i;
    }
}

TEST (VoicePool, ThePedalDoesNotWakeUnusedVoices)
{
    // Also before the first sample, while the envelopes still wait in their construction state.
    for (double adsrMode : { 0.0, 1.0 }) // LFO gate, plain
    {
        SCOPED_TRACE (adsrMode);
        Synth synth;
        synth.set (AdsrMode, adsrMode);
        synth.set (LfoRate, 1.0);
        synth.engine->setSustain (true);
        const auto out = synth.render (20000);
        EXPECT_LT (sound::rms (out), 1.0e-5); // only the output stage's anti-denormal offset
        for (int i = 0; i < 12; ++i)
            EXPECT_TRUE (synth.engine->getVoices().voice (i).ampEnvelope.isIdle()) << i;
    }
}

TEST (VoicePool, ChangingPolyResetsTheVoices)
{
    Synth synth;
    synth.set (Param::Poly, 0.0);
    synth.engine->noteOn (60, 1.0);
    synth.set (Param::Poly, 1.0);
    EXPECT_FALSE (synth.engine->getVoices().voice (0).active);
    EXPECT_TRUE (synth.engine->getVoices().heldNotes.empty());
}

TEST (VoicePool, SampleRateZeroMeansDefault)
{
    MidiOutCollector out;
    SynthEngine engine (0.0f, out);
    EXPECT_EQ (engine.getSampleRate(), 44100.0f);
    engine.setSampleRate (-5.0f);
    EXPECT_EQ (engine.getSampleRate(), 44100.0f);
}

} // namespace
