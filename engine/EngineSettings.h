#pragma once

#include "Params.h"
#include "Tuning.h"
#include <cmath>
#include <cstdint>

/** One-pole smoother for control values; the time constant is in samples at 44100 Hz. */
struct ParamSmoother
{
    ParamSmoother (double timeConstantSamples, double sampleRateHz) noexcept
        : timeConstant (timeConstantSamples) { setSampleRate (sampleRateHz); }

    void setSampleRate (double sampleRateHz) noexcept
    {
        a = timeConstant * sampleRateHz / 44100.0;
        b = 1.0 / (a + 1.0);
        value = 0.0;
    }

    double tick (double target) noexcept
    {
        if (! settled (target))
            value = (target + value * a) * b;
        return value;
    }

    /** True when a tick towards this target would leave the value as it is. */
    bool settled (double target) const noexcept { return ! (std::abs (target - value) > 1e-10); }

    double timeConstant, a = 0.0, b = 1.0, value = 0.0;
};

/** First-order DC blocker; the pole constant is kept in single precision. */
struct DcBlocker
{
    explicit DcBlocker (float poleConstantSingle) noexcept : poleConstant ((double) poleConstantSingle) { setSampleRate (44100.0); }

    void setSampleRate (double sampleRateHz) noexcept
    {
        rateRatio = 44100.0 / sampleRateHz;
        R = 1.0 - poleConstant * rateRatio;
    }

    double process (double x) noexcept
    {
        output = R * output + (x - previousInput);
        previousInput = antiDenormal + x;
        return output;
    }

    static constexpr double antiDenormal = 2.3283064365386963e-10; // 2^-32
    double poleConstant, previousInput = 0.0, output = 0.0, R = 1.0, rateRatio = 1.0;
};

/** The engine's own "rand()": 0..32767 from a 32-bit LCG. One per engine, so instances never
    disturb each other and every platform draws the same numbers. */
struct EngineRandom
{
    int next() noexcept
    {
        state = state * 214013u + 2531011u;
        return (int) ((state >> 16) & 0x7FFFu);
    }
    uint32_t state = 1;
};

/** The record between the parameter setter and the engine. Written without locks by the setter,
    read every sample by the engine. */
struct EngineSettings
{
    explicit EngineSettings (double sampleRateHz) noexcept
        : cutoffSmoother (1000.0, sampleRateHz), volumeSmoother (1000.0, sampleRateHz),
          attackSmoother (500.0, sampleRateHz), decaySmoother (500.0, sampleRateHz),
          sustainSmoother (500.0, sampleRateHz), fmIntensitySmoother (500.0, sampleRateHz),
          keyFollowSmoother (500.0, sampleRateHz) {}

    double param (int index) const noexcept { return params[index]; }

    ParamSmoother cutoffSmoother, volumeSmoother, attackSmoother, decaySmoother, sustainSmoother,
                  fmIntensitySmoother, keyFollowSmoother;
    bool cutoffSmootherPrimed = false;

    double params[Param::Count] {};

    double lfoOut = 0.0, lfoTriangle = 0.0, lfoSine = 0.0;
    bool lfoWrapped = false;
    double pitchBend = 0.0;
    double transposeSemis = 0.0;
    double attack = 0.0, decay = 0.0, sustain = 0.0, release = 0.0;
    double attackSmoothed = 0.0, decaySmoothed = 0.0, sustainSmoothed = 0.0;
    double keyFollowSmoothed = 0.0, fmIntensitySmoothed = 0.0;
    double resonance = 0.0;
    int subOscMode = 0;
    double subOscPulseWidth = 0.5;
    double rangeSemis = 0.0;
    bool volumeCompensation = false;
    double filterEnvAmount = 0.0;
    double modWheel = 0.0;
    double tempoBpm = 120.0;
    double vcoModDepth = 0.0;

    EngineRandom random;

    // Last, so the fields read every sample keep their places.
    KeyTuning tuning;
};

/** Integer powers by repeated multiplication, so every C library gives the same bits. */
inline double square (double x) noexcept { return x * x; }
inline double cube (double x) noexcept { return (x * x) * x; }
inline double pow4 (double x) noexcept { return (x * x) * (x * x); }
inline double pow5 (double x) noexcept { return ((x * x) * (x * x)) * x; }
inline double pow6 (double x) noexcept { return ((x * x) * x) * ((x * x) * x); }

/** A switch with n positions reads v as floor((n - 1) * v + 0.5); a reading past either end is one
    past that end (-1 or n), since the engine takes any finite value and one beyond an int's range
    has no defined conversion. */
inline int switchPosition (double v, int positions) noexcept
{
    const double position = std::floor ((positions - 1) * v + 0.5);
    if (! (position >= 0.0))
        return -1;
    if (position > positions - 1)
        return positions;
    return (int) position;
}
