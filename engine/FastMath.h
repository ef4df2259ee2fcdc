#pragma once

// Single-precision approximations used by the oscillators and the filter. Their exact bits are part
// of the sound, so they are written out operation by operation, in float throughout.
// After Paul Mineiro's "fastapprox" (fastpow2, fastlog2) and a parabolic sine refined by a
// polynomial (fastTan = sin / cos).
//
// Inline: they run every sample in the filter and the oscillators, where a call costs a good part
// of the work.

#include <cstdint>
#include <cstring>

namespace fastmath_detail
{
inline float bitsToFloat (uint32_t bits) noexcept
{
    float f;
    std::memcpy (&f, &bits, sizeof f);
    return f;
}

inline uint32_t floatToBits (float f) noexcept
{
    uint32_t bits;
    std::memcpy (&bits, &f, sizeof bits);
    return bits;
}

// Above 127 the bit pattern would reach the exponent of infinity; NaN fails the first test and
// lands on the lower limit.
constexpr float kPow2Lowest = -126.0f;
constexpr float kPow2Highest = 127.0f;

/** The refined parabola: sin (x) for x in -pi..pi. */
inline float sineApprox (float x) noexcept
{
    const float absX = x < 0.0f ? -x : x;
    const float p = 1.2732394933700562f * x - 0.40528473258018494f * x * absX;
    const float sign = x < 0.0f ? -1.0f : 1.0f;
    const float k1 = sign * 0.20363937318325043f;
    const float k2 = sign * 0.015124941244721413f;
    const float k3 = sign * -0.0032225900795310736f;
    const float p2 = p * p;
    return 0.7844448685646057f * p + p2 * (k1 + p2 * (k2 + p2 * k3));
}
} // namespace fastmath_detail

/** 2^p to about 1e-4 relative. Input is held to -126..127, so the result is finite and positive for
    any p, NaN included (which gives the smallest value). */
inline float fastPow2 (float p) noexcept
{
    using namespace fastmath_detail;
    const float offset = p < 0.0f ? 1.0f : 0.0f;
    float q = p > kPow2Lowest ? p : kPow2Lowest;
    q = q < kPow2Highest ? q : kPow2Highest;
    const float w = (float) (int32_t) q;
    const float z = q - w + offset;
    const float v = 8388608.0f * (q + 121.27405548095703f + 27.728023529052734f / (4.842525482177734f - z)
                                  - 1.4901291131973267f * z);
    return bitsToFloat ((uint32_t) (int32_t) v);
}

/** log2 (x) to about 1e-4 absolute for positive normal x; finite for every bit pattern. */
inline float fastLog2 (float x) noexcept
{
    using namespace fastmath_detail;
    const uint32_t i = floatToBits (x);
    const float m = bitsToFloat ((i & 0x7FFFFFu) | 0x3F000000u);
    const float y = (float) i * 1.1920928955078125e-7f;
    return y - 124.22551727294922f - 1.4980303049087524f * m - 1.7258800268173218f / (0.35208871960639954f + m);
}

/** tan (x) for any finite x (period pi), as the ratio of two sine approximations. */
inline float fastTan (float x) noexcept
{
    using namespace fastmath_detail;
    // Shift into -pi..pi (tan has period pi, so a shift by pi changes nothing).
    const float turns = (float) (int32_t) (x * 0.15915493667125702f);
    x = x - (turns + (x < 0.0f ? -0.5f : 0.5f)) * 6.2831854820251465f;

    const float y = x <= 1.5707963705062866f ? x + 1.5707963705062866f : x - 4.71238899230957f;
    return sineApprox (x) / sineApprox (y);
}
