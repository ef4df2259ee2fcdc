#pragma once

#include <cstdint>

/** Park-Miller style noise: seed *= 16807 with 32-bit wrap; white in -1..1, or smoothed by two
    one-pole low-passes at 11025 Hz. */
struct NoiseSource
{
    void setSampleRate (double rate) noexcept
    {
        sampleRate = rate;
        k = 11025.0 / rate;
        y1 = y2 = 0.0;
    }

    int32_t nextSeed() noexcept
    {
        seed = (int32_t) ((uint32_t) seed * 16807u);
        return seed;
    }

    /** single(seed) * 2^-31, widened. */
    double nextWhite() noexcept { return (double) ((float) nextSeed() * 0x1p-31f); }

    double nextColoured() noexcept
    {
        const double x = nextWhite();
        y1 = (x - y1) * k + y1;
        y2 = (y1 - y2) * k + y2;
        return y2;
    }

    int32_t seed = 1;
    double sampleRate = 44100.0, k = 0.25, y1 = 0.0, y2 = 0.0;
};
