#include "Envelope.h"
#include "SoundFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
constexpr double kRate = 44100.0;
constexpr double kRateScale = kRate * 3.5;

Envelope makeEnvelope()
{
    Envelope e;
    e.setSampleRate (kRate);
    return e;
}

/** Samples until the state leaves `state` (or the limit). */
int samplesIn (Envelope& e, int state, double attack, bool gate, double decay, double sustain, double release, int limit = 10000000)
{
    int n = 0;
    while (e.state == state && n < limit)
    {
        e.tick (attack, gate, decay, sustain, release);
        ++n;
    }
    return n;
}
} // namespace

TEST (Envelope, CoefficientsFollowTheSettings)
{
    // The amplifier's plain gate with de-click off: attack 0, release 0.
    auto e = makeEnvelope();
    e.tick (0.0, true, 0.3, 1.0, 0.0);
    EXPECT_DOUBLE_EQ (e.getAttackCoefficient(), 0.0002 * kRateScale * 1.4);
    EXPECT_DOUBLE_EQ (e.getReleaseCoefficient(), 8e-5 * kRateScale * 2.8);
    EXPECT_DOUBLE_EQ (e.getDecayCoefficient(), (0.3 + 0.0002) * kRateScale * 2.5);

    // Coefficients follow a changed setting, and a rate change recomputes them.
    e.tick (0.5, true, 0.3, 1.0, 0.0);
    EXPECT_DOUBLE_EQ (e.getAttackCoefficient(), 0.5002 * kRateScale * 1.4);
    e.setSampleRate (2.0 * kRate);
    e.tick (0.5, true, 0.3, 1.0, 0.0);
    EXPECT_DOUBLE_EQ (e.getAttackCoefficient(), 0.5002 * 2.0 * kRateScale * 1.4);
}

TEST (Envelope, AttackTimeGrowsWithTheSettingAndStopsAtFullLevel)
{
    // Attack 0 still takes a few samples: the one-pole aims at 1.6 with coefficient 0.0002 x 1.12 x rateScale.
    auto e = makeEnvelope();
    const double q = 0.0002 * kRateScale * 1.12;
    const int expected = (int) std::ceil (std::log (1.0 - 1.0 / 1.6) / std::log (q / (q + 1.0)));
    EXPECT_NEAR (samplesIn (e, Envelope::attackState, 0.0, true, 0.5, 0.5, 0.1), expected, 1);
    EXPECT_EQ (e.level, 1.0);
    EXPECT_EQ (e.state, Envelope::decayState);

    int previous = 0;
    for (double attack : { 0.01, 0.1, 1.0 })
    {
        auto slow = makeEnvelope();
        const int n = samplesIn (slow, Envelope::attackState, attack, true, 0.5, 0.5, 0.1);
        EXPECT_GT (n, previous);
        previous = n;
    }
    EXPECT_NEAR (previous / kRate, 1.0002 * 1.12 * 3.5 * std::log (1.6 / 0.6), 0.01); // attack 1: about 4 s
}

TEST (Envelope, DecayStartsFastAndSettlesExactlyOnSustain)
{
    for (double sustain : { 0.0, 0.3 })
    {
        auto e = makeEnvelope();
        samplesIn (e, Envelope::attackState, 0.0, true, 0.01, sustain, 0.1);
        // Its time constant near full level is 4 % of the nominal, so the first drop is steep.
        e.tick (0.0, true, 0.01, sustain, 0.1);
        const double firstStep = 1.0 - e.level;
        const double nominalStep = (1.0 - sustain) / ((0.01 + 0.0002) * kRateScale * 2.5 * 0.8 + 1.0);
        EXPECT_GT (firstStep, 10.0 * nominalStep) << sustain;

        for (int i = 0; i < (int) kRate * 3; ++i)
            e.tick (0.0, true, 0.01, sustain, 0.1);
        EXPECT_EQ (e.level, sustain);
        EXPECT_EQ (e.state, Envelope::decayState);
    }
}

TEST (Envelope, ReleaseEndsInIdleAndSlowsAsItFalls)
{
    auto e = makeEnvelope();
    samplesIn (e, Envelope::attackState, 0.0, true, 0.2, 1.0, 0.05);
    const int fromFull = samplesIn (e, Envelope::decayState, 0.0, false, 0.2, 1.0, 0.05) + samplesIn (e, Envelope::releaseState, 0.0, false, 0.2, 1.0, 0.05);
    EXPECT_EQ (e.state, Envelope::idle);
    EXPECT_EQ (e.level, 0.0);

    auto half = makeEnvelope();
    samplesIn (half, Envelope::attackState, 0.0, true, 0.2, 0.5, 0.05);
    for (int i = 0; i < (int) kRate * 3; ++i)
        half.tick (0.0, true, 0.2, 0.5, 0.05);
    const int fromHalf = samplesIn (half, Envelope::decayState, 0.0, false, 0.2, 0.5, 0.05) + samplesIn (half, Envelope::releaseState, 0.0, false, 0.2, 0.5, 0.05);
    EXPECT_LT (fromHalf, fromFull);
    EXPECT_GT (fromHalf, fromFull / 2); // the upper half goes quickly
}

TEST (Envelope, RetriggerFadesToFortyPercentUnlessFadeIsSkipped)
{
    for (bool skipFade : { false, true })
    {
        auto e = makeEnvelope();
        e.skipFade = skipFade;
        samplesIn (e, Envelope::attackState, 0.0, true, 0.01, 0.9, 0.1);
        for (int i = 0; i < (int) kRate * 3; ++i)
            e.tick (0.0, true, 0.01, 0.9, 0.1);
        ASSERT_DOUBLE_EQ (e.level, 0.9);

        e.retrigger();
        EXPECT_EQ (e.state, Envelope::retriggerFade);
        double lowest = e.level;
        int fading = 0;
        while (e.state == Envelope::retriggerFade)
        {
            e.tick (0.0, true, 0.01, 0.9, 0.1);
            lowest = std::min (lowest, e.level);
            ++fading;
        }
        EXPECT_EQ (e.state, Envelope::attackState);
        if (skipFade)
            EXPECT_EQ (fading, 1);
        else
        {
            EXPECT_LE (lowest, 0.4);
            EXPECT_GT (lowest, 0.39);
        }
    }

    // From silence, or from release, a note goes straight to the attack.
    auto idle = makeEnvelope();
    idle.tick (0.0, false, 0.2, 0.5, 0.1);
    idle.retrigger();
    EXPECT_EQ (idle.state, Envelope::attackState);
}

TEST (Envelope, RaisingSustainWhileHeldFollowsTheSustainSmoother)
{
    sound::Synth synth;
    synth.set (Param::VcaMode, 1.0);
    synth.set (Param::Sustain, 0.2);
    synth.set (Param::Decay, 0.1);
    synth.engine->noteOn (48, 1.0);
    synth.render ((int) kRate * 3);
    auto& amp = synth.engine->getVoices().voice (0).ampEnvelope;
    ASSERT_NEAR (amp.level, 0.2, 1e-6);

    synth.set (Param::Sustain, 0.8);
    synth.render (500); // the smoother's time constant
    EXPECT_NEAR (amp.level, 0.2 + 0.6 * (1.0 - std::exp (-1.0)), 0.01);
    synth.render ((int) kRate);
    EXPECT_NEAR (amp.level, 0.8, 1e-3);
}

TEST (Envelope, RunawaySettingsKeepTheLevelFinite)
{
    constexpr double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    struct Case { double attack, decay, sustain, release; };
    for (auto c : { Case { -1.0, -1.0, -1.0, -1.0 }, Case { -0.00019, 0.5, 0.5, -0.0001 }, Case { inf, inf, inf, inf },
                    Case { nan, nan, nan, nan }, Case { 1e300, 1e300, 5.0, 1e300 }, Case { 0.0, 0.0, -inf, 0.0 } })
    {
        auto e = makeEnvelope();
        for (int i = 0; i < 20000; ++i)
        {
            const bool gate = (i / 5000) % 2 == 0;
            if (i % 3000 == 0)
                e.retrigger();
            e.tick (c.attack, gate, c.decay, c.sustain, c.release);
            ASSERT_TRUE (std::isfinite (e.level)) << c.attack << " at " << i;
            ASSERT_GE (e.level, 0.0);
            ASSERT_LE (e.level, 1.0);
        }
    }
}
