#include "Filter.h"
#include "Oscillator.h"
#include "SoundFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
constexpr double kRate = 44100.0;

FilterCore makeCore (double keyFollow = 0.0, double keyPitch = 36.0)
{
    FilterCore core;
    core.setSampleRate (kRate);
    core.keyFollow = keyFollow;
    core.keyPitch = keyPitch;
    return core;
}

/** Steady-state gain of the 4x filter and decimator for a sine at hz. */
double gainAt (double hz, double control, double resonance)
{
    EngineSettings settings (kRate);
    OscillatorSection osc (settings);
    VoiceFilter filter (settings);
    filter.setSampleRate (kRate);
    settings.params[Param::VcfCutoff] = control;
    settings.keyFollowSmoothed = 0.0;
    settings.resonance = resonance;

    constexpr int n = 16384, settle = 8192;
    constexpr double amplitude = 0.01; // small: the ladder's drive is non-linear
    double inSum = 0.0, outSum = 0.0;
    for (int i = 0; i < n + settle; ++i)
    {
        const double x = amplitude * std::sin (2.0 * M_PI * hz * i / kRate);
        double y = x;
        filter.process (y, 0.0, 0.0, osc);
        if (i >= settle)
        {
            inSum += x * x;
            outSum += y * y;
        }
    }
    return std::sqrt (outSum / inSum);
}
} // namespace

TEST (Filter, CutoffIsClampedAndDampedNearTheTop)
{
    for (double resonance : { 0.3, 0.8, 1.0 })
    {
        auto core = makeCore();
        core.updateCutoff (2.0, resonance, 0.0); // far above the ceiling
        EXPECT_EQ (core.frequency, core.maxFrequency);
        EXPECT_NEAR (core.damping, 0.21, 1e-12);
        EXPECT_NEAR (core.k, 0.79 * 40.0 / 7.0 * resonance, 1e-12);
        EXPECT_NEAR (core.inputScale, 1.0 - (1.0 - std::pow (1.0 - resonance, 5.0)) * 0.21 * 0.37, 1e-12);
    }

    auto low = makeCore();
    low.updateCutoff (0.3, 1.0, 0.0); // well below 0.35 of the ceiling: no damping
    EXPECT_EQ (low.damping, 0.0);
    EXPECT_NEAR (low.k, 40.0 / 7.0, 1e-12);
    EXPECT_EQ (low.inputScale, 1.0);
}

TEST (Filter, CutoffSpansItsRangeAndKeyFollowTracksOctaves)
{
    auto core = makeCore();
    core.updateCutoff (0.0, 0.0, 0.0);
    EXPECT_NEAR (core.frequency * 4.0, 3.6, 0.1);
    core.updateCutoff (0.9, 0.0, 0.0);
    const double f09 = core.frequency * 4.0;
    EXPECT_NEAR (f09, std::pow (2.0, (0.9 + 0.15) * std::log2 (5500.0)), f09 * 1e-3);

    struct Case { double follow; double pitchA; double pitchB; double ratio; };
    for (auto c : { Case { 1.0, 48.0, 36.0, 2.0 }, Case { 1.0, 24.0, 36.0, 0.5 }, Case { 0.5, 60.0, 36.0, 2.0 },
                    Case { 0.0, 60.0, 36.0, 1.0 } })
    {
        auto a = makeCore (c.follow, c.pitchA), b = makeCore (c.follow, c.pitchB);
        a.updateCutoff (0.4, 0.0, 0.0);
        b.updateCutoff (0.4, 0.0, 0.0);
        EXPECT_NEAR (a.frequency / b.frequency, c.ratio, c.ratio * 5e-4) << "follow " << c.follow;
        if (c.follow == 0.0)
        {
            EXPECT_EQ (a.frequency, b.frequency);
        }
    }

    // The FM input swings the cutoff by 48 semitones per unit.
    auto plain = makeCore(), modulated = makeCore();
    plain.updateCutoff (0.3, 0.0, 0.0);
    modulated.updateCutoff (0.3, 0.0, 0.5);
    EXPECT_NEAR (modulated.frequency / plain.frequency, 4.0, 4.0 * 5e-4);
}

TEST (Filter, VolumeCompensationGain)
{
    struct Case { double resonance; double factor; };
    for (auto c : { Case { 0.0, 1.0 }, Case { 0.25, 1.375 }, Case { 0.5, 1.75 }, Case { 1.0, 1.0 } })
    {
        auto on = makeCore(), off = makeCore();
        on.volumeCompensation = true;
        on.updateCutoff (0.5, c.resonance, 0.0);
        off.updateCutoff (0.5, c.resonance, 0.0);
        EXPECT_NEAR (on.inputGain / off.inputGain, c.factor, 1e-12) << c.resonance;
    }
}

TEST (Filter, LowPassesFourPolesAndResonatesAtTheCutoff)
{
    constexpr double control = 0.75;
    auto core = makeCore();
    core.updateCutoff (control, 0.0, 0.0);
    const double cutoffHz = core.frequency * 4.0;
    ASSERT_NEAR (cutoffHz, 2300.0, 100.0);

    // Unity in the passband apart from the drive into the ladder and the zero-stuffing.
    const double passband = gainAt (100.0, control, 0.0);
    EXPECT_NEAR (passband, 0.065 * 0.55 * 0.25, 0.065 * 0.55 * 0.25 * 0.03);
    const double threeOctavesUp = gainAt (8.0 * cutoffHz, control, 0.0);
    EXPECT_LT (20.0 * std::log10 (threeOctavesUp / passband), -60.0);

    const double flat = gainAt (cutoffHz, control, 0.0) / passband;
    const double resonant = gainAt (cutoffHz, control, 0.9) / gainAt (100.0, control, 0.9);
    EXPECT_LT (flat, 0.8);
    EXPECT_GT (resonant, 3.0 * flat);
}

TEST (Filter, ZeroFmInputClearsTheSmoothedFm)
{
    EngineSettings settings (kRate);
    OscillatorSection osc (settings);
    VoiceFilter filter (settings);
    filter.setSampleRate (kRate);
    settings.params[Param::FmSaw] = 1.0;
    settings.fmIntensitySmoothed = 0.5;

    double x = 0.0;
    osc.sawOut = 0.4;
    filter.process (x, 0.0, 0.0, osc);
    EXPECT_DOUBLE_EQ (filter.fmSmoothed, 0.75 * 0.4 * 0.25);
    filter.process (x, 0.0, 0.0, osc);
    EXPECT_DOUBLE_EQ (filter.fmSmoothed, (3.0 * 0.1 + 0.075) * 0.25);

    osc.sawOut = 0.0;
    filter.process (x, 0.0, 0.0, osc);
    EXPECT_EQ (filter.fmSmoothed, 0.0);

    osc.sawOut = 0.4;
    settings.params[Param::FmSaw] = 0.0; // no source selected
    filter.process (x, 0.0, 0.0, osc);
    EXPECT_EQ (filter.fmSmoothed, 0.0);
}

TEST (Filter, EnvelopeAmountAndItsRange)
{
    EngineSettings s (kRate);
    struct Case { double amount; double range; double expected; };
    for (auto c : { Case { 1.0, 0.0, 0.63 }, Case { 1.0, 1.0, 1.0 }, Case { 0.5, 0.0, (std::sqrt (2.0) - 1.0) * 0.63 },
                    Case { 0.0, 1.0, 0.0 } })
    {
        s.params[Param::VcfEnvelopeRange] = c.range;
        VoiceFilter::setFilterEnvelopeAmount (s, c.amount);
        EXPECT_DOUBLE_EQ (s.filterEnvAmount, c.expected) << c.amount << " " << c.range;
    }
}

TEST (Filter, ResonantSweepStaysFiniteAndBounded)
{
    sound::Synth synth;
    synth.set (Param::VcfResonance, 1.0);
    synth.set (Param::Pulse, 1.0);
    synth.set (Param::Noise, 1.0);
    synth.set (Param::VcaMode, 1.0);
    synth.set (Param::Sustain, 1.0);
    synth.engine->noteOn (36, 1.0);

    double peak = 0.0;
    constexpr int steps = 400;
    for (int i = 0; i <= 2 * steps; ++i)
    {
        const double sweep = i <= steps ? (double) i / steps : 2.0 - (double) i / steps;
        synth.set (Param::VcfCutoff, sweep);
        for (double v : synth.render (300))
        {
            ASSERT_TRUE (std::isfinite (v)) << "at sweep " << sweep;
            peak = std::max (peak, std::abs (v));
        }
    }
    EXPECT_GT (peak, 0.1);
    EXPECT_LT (peak, 20.0);
}
