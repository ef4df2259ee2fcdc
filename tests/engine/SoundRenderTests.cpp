// The engine as a listener meets it: held notes through SynthEngine with the start-up program.

#include "SoundFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{
constexpr double kRate = 44100.0;

bool voiceStatesFinite (SynthEngine& engine, int& badVoice)
{
    for (int i = 0; i < VoiceManager::numVoices; ++i)
    {
        const auto& v = engine.getVoices().voice (i);
        const auto& c = v.filter.core;
        const auto& d = v.filter.decimator;
        const double values[] = { c.s1, c.s2, c.s3, c.s4, c.previousInput, c.g, c.k, d.sections[0].y1, d.sections[1].y1,
                                  d.sections[2].y1, d.last, v.filter.fmSmoothed, v.filter.keySmoother.value,
                                  v.ampEnvelope.level, v.filterEnvelope.level, v.dcBlocker.output, v.dcBlocker.previousInput,
                                  v.oscillators.frequency, v.oscillators.phase, v.oscillators.pulseOut, v.oscillators.sawOut,
                                  v.oscillators.subOut };
        for (double x : values)
        {
            if (! std::isfinite (x))
            {
                badVoice = i;
                return false;
            }
        }
    }
    return true;
}
} // namespace

TEST (SoundRender, StartupProgramPlaysTheNoteAnOctaveDownWithoutDc)
{
    sound::Synth synth;
    synth.engine->noteOn (57, 0.8);
    const auto x = synth.render ((int) kRate * 4);
    // "VCO Range" starts at -12: A3 sounds as A2, and the sub-oscillator two octaves below that.
    EXPECT_NEAR (sound::dominantHz (x, 44100, 32768, kRate), 110.0, 0.5);
    const double level = sound::rms (x, 22050);
    EXPECT_GT (level, 0.05);
    EXPECT_LT (level, 1.0);
    // Unblocked, the sub-oscillator's 25 % pulse alone would leave a mean of a third of the RMS; a
    // partial cycle of its 27.5 Hz in the window allows about 1 %.
    EXPECT_LT (std::abs (sound::mean (x, 44100)), level * 0.01);

    synth.engine->noteOff (57);
    const auto tail = synth.render ((int) kRate);
    EXPECT_LT (sound::rms (tail, 22050), 1e-4); // released: silent apart from the settling output blocker
}

TEST (SoundRender, ChannelsAreIdenticalAndRendersRepeat)
{
    auto play = [] (std::vector<double>& mono, bool& channelsEqual)
    {
        sound::Synth synth;
        synth.set (Param::Poly, 1.0);
        synth.set (Param::VcfResonance, 0.7);
        synth.set (Param::VcfEnvelope, 0.6);
        synth.set (Param::VcoPwm, 0.5);
        synth.set (Param::VcoPwmMode, 1.0);
        synth.set (Param::Pulse, 0.7);
        synth.set (Param::Noise, 0.2);
        synth.set (Param::FmSubOsc, 1.0);
        synth.set (Param::FmIntensity, 0.4);
        synth.set (Param::LfoTrigger, 1.0);
        synth.set (Param::LfoWaveform, 2.0 / 3.0);
        synth.set (Param::VcfModulation, 0.3);
        channelsEqual = true;
        for (int note : { 48, 55, 60, 64 })
        {
            synth.engine->noteOn (note, 0.5 + note / 256.0);
            for (int i = 0; i < 5000; ++i)
            {
                double left = 0.0, right = 0.0;
                synth.engine->renderSample (left, right);
                channelsEqual = channelsEqual && left == right;
                mono.push_back (left);
            }
        }
        synth.engine->noteOff (55);
        for (double v : synth.render (10000))
            mono.push_back (v);
    };

    std::vector<double> first, second;
    bool equalFirst = false, equalSecond = false;
    play (first, equalFirst);
    play (second, equalSecond);
    EXPECT_TRUE (equalFirst && equalSecond);
    ASSERT_EQ (first.size(), second.size());
    EXPECT_TRUE (first == second);
    EXPECT_GT (sound::rms (first), 0.01);
}

TEST (SoundRender, StretchesRenderTheSamplesOfSampleBySample)
{
    // Silent stretches take a shortcut; it must give the same bits, LFO gate and pedal included.
    struct Step { int note; bool on; int index; double value; int samples; };
    const Step steps[] = {
        { 48, true, -1, 0.0, 3000 }, { 48, false, -1, 0.0, 5 * 44100 },  // the tail dies: the pool goes quiet
        { -1, false, Param::Volume, 0.8, 30000 },                         // silence with a moving smoother
        { -1, false, Param::Attack, 0.3, 30000 },
        { 60, true, -1, 0.0, 5000 }, { 60, false, -1, 0.0, 5 * 44100 },
    };
    // The LFO gate with sample-and-hold; then, without the gate, the table waveforms (whose phase
    // a stretch may skip ahead) and noise, heard through the pitch once a note plays.
    struct Setting { double adsrMode, waveform; };
    const Setting settings[] = { { 0.0, 2.0 / 3.0 }, { 1.0, 0.0 }, { 1.0, 1.0 / 3.0 }, { 0.5, 1.0 } };
    auto play = [&] (const Setting& setting, bool stretches, bool& wentQuiet)
    {
        sound::Synth synth;
        synth.set (Param::AdsrMode, setting.adsrMode);
        synth.set (Param::LfoWaveform, setting.waveform);
        synth.set (Param::VcoModulation, 0.4);
        synth.set (Param::LfoRate, 0.8);
        synth.set (Param::Release, 0.2);
        std::vector<float> left, right;
        wentQuiet = false;
        for (const auto& step : steps)
        {
            if (step.note >= 0)
                step.on ? synth.engine->noteOn (step.note, 0.7) : synth.engine->noteOff (step.note);
            if (step.index >= 0)
                synth.set (step.index, step.value);
            wentQuiet = wentQuiet || synth.engine->getVoices().isQuiet();
            for (int done = 0; done < step.samples; done += 256)
            {
                const int n = std::min (256, step.samples - done);
                const size_t at = left.size();
                left.resize (at + (size_t) n);
                right.resize (at + (size_t) n);
                if (stretches)
                {
                    synth.engine->renderSamples (left.data() + at, right.data() + at, 0, n);
                    continue;
                }
                for (int i = 0; i < n; ++i)
                {
                    double l = 0.0, r = 0.0;
                    synth.engine->renderSample (l, r);
                    left[at + (size_t) i] = (float) l;
                    right[at + (size_t) i] = (float) r;
                }
            }
        }
        left.insert (left.end(), right.begin(), right.end());
        return left;
    };

    for (const auto& setting : settings)
    {
        bool quietA = false, quietB = false;
        const auto bySample = play (setting, false, quietA);
        const auto byStretch = play (setting, true, quietB);
        EXPECT_TRUE (quietA && quietB);
        ASSERT_EQ (bySample.size(), byStretch.size());
        EXPECT_TRUE (std::memcmp (bySample.data(), byStretch.data(), bySample.size() * sizeof (float)) == 0)
            << "ADSR Mode " << setting.adsrMode << ", LFO waveform " << setting.waveform;
    }
}

TEST (SoundRender, SwitchReadingsPastTheirEndsStayPastThem)
{
    // Values far beyond an int's range once converted to the lowest int for either sign (and
    // undefined behaviour); the callers compare positions only, so both ends read as no position.
    struct Case { double value; int positions; int expected; };
    constexpr Case cases[] = {
        { 0.0, 3, 0 }, { 0.74, 3, 1 }, { 0.75, 3, 2 }, { 1.0, 4, 3 }, { 1.2, 3, 2 },
        { 1.7, 3, 3 }, { -0.3, 3, -1 }, { -2.5, 4, -1 }, { 1.0e6, 4, 4 }, { 3.0e38, 3, 3 }, { -3.0e38, 3, -1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (switchPosition (c.value, c.positions), c.expected) << c.value << " of " << c.positions;
}

TEST (SoundRender, NoParameterValueBreaksTheVoiceStates)
{
    // The processor stores and converts any finite value it is given, inside 0..1 or not (it
    // ignores NaN and infinity).
    constexpr float values[] = { -3.0e38f, -1.0e6f, -2.5f, 1.7f, 1.0e6f, 3.0e38f };
    for (int index = 1; index < Param::Count; ++index)
    {
        if (index == Param::Volume)
            continue; // the output gain itself may overflow; it acts after every state
        for (float value : values)
        {
            sound::Synth synth;
            synth.set (Param::Poly, 1.0);
            synth.set (Param::FmSaw, 1.0);
            synth.set (Param::FmIntensity, 0.5);
            synth.set (index, (double) value);
            synth.engine->getSettings().modWheel = 1.0;
            synth.engine->getSettings().pitchBend = -1.0;
            synth.engine->noteOn (0, 1.0);
            synth.engine->noteOn (127, 0.0);
            bool outputFinite = true;
            for (double v : synth.render (600))
                outputFinite = outputFinite && std::isfinite (v);
            synth.engine->noteOff (127);
            for (double v : synth.render (600))
                outputFinite = outputFinite && std::isfinite (v);
            int badVoice = -1;
            EXPECT_TRUE (voiceStatesFinite (*synth.engine, badVoice)) << "parameter " << index << " = " << value << ", voice " << badVoice;
            EXPECT_TRUE (outputFinite) << "parameter " << index << " = " << value;
        }
    }
}
