#include "FastMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

// The approximations' designed accuracy, measured against the standard library over the ranges the
// oscillators and the filter use.

TEST (FastMath, Pow2FollowsExp2WithinItsDesignedError)
{
    double worst = 0.0;
    for (double p = -120.0; p < 120.0; p += 0.0013)
    {
        const float x = (float) p;
        worst = std::max (worst, std::abs ((double) fastPow2 (x) / std::exp2 ((double) x) - 1.0));
    }
    EXPECT_LT (worst, 1.0e-4);
}

TEST (FastMath, Log2FollowsLog2WithinItsDesignedError)
{
    double worst = 0.0;
    for (double x = 1.0e-6; x < 1.0e6; x *= 1.0007)
    {
        const float f = (float) x;
        worst = std::max (worst, std::abs ((double) fastLog2 (f) - std::log2 ((double) f)));
    }
    EXPECT_LT (worst, 2.0e-4);
}

TEST (FastMath, TanFollowsTanOverTheFilterRange)
{
    // Pre-warping uses up to 0.45 pi at the lowest sample rates and about 0.4 rad at 44.1 kHz; the
    // shift by pi costs absolute precision near zero, so relative error is checked from 0.01 rad on.
    double worstRelative = 0.0, worstAbsolute = 0.0;
    for (double x = 1.0e-4; x < 1.4; x += 1.0e-5)
    {
        const float f = (float) x;
        const double reference = std::tan ((double) f), approx = fastTan (f);
        if (x < 1.2)
            worstAbsolute = std::max (worstAbsolute, std::abs (approx - reference));
        if (x >= 0.01)
            worstRelative = std::max (worstRelative, std::abs (approx / reference - 1.0));
    }
    EXPECT_LT (worstAbsolute, 2.0e-4);
    EXPECT_LT (worstRelative, 2.0e-3);

    EXPECT_NEAR (fastTan (-0.3f), -std::tan (0.3), 2.0e-4); // odd
    EXPECT_NEAR (fastTan (0.3f + 3.14159265f), std::tan (0.3), 2.0e-4); // period pi
}

TEST (FastMath, Pow2StaysFiniteAndPositiveForAnyInput)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    for (float p : { -inf, -1.0e30f, -200.0f, -126.5f, -126.0f, 126.9f, 127.5f, 200.0f, 1.0e30f, inf,
                     std::numeric_limits<float>::quiet_NaN() })
    {
        const float y = fastPow2 (p);
        EXPECT_TRUE (std::isfinite (y)) << p;
        EXPECT_GT (y, 0.0f) << p;
    }
}

TEST (FastMath, Log2StaysFiniteForAnyBitPattern)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    for (float x : { 0.0f, -1.0f, 1.0e-45f, inf, -inf, std::numeric_limits<float>::quiet_NaN() })
        EXPECT_TRUE (std::isfinite (fastLog2 (x))) << x;
}
