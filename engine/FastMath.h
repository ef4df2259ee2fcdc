#pragma once

// Single-precision approximations used by the oscillators and the filter. Their exact bits are part
// of the sound, so they are written out operation by operation, in float throughout.
// After Paul Mineiro's "fastapprox" (fastpow2, fastlog2) and a parabolic sine refined by a
// polynomial (fastTan = sin / cos).

/** 2^p to about 1e-4 relative. Input is held to -126..127, so the result is finite and positive for
    any p, NaN included (which gives the smallest value). */
float fastPow2 (float p) noexcept;

/** log2 (x) to about 1e-4 absolute for positive normal x; finite for every bit pattern. */
float fastLog2 (float x) noexcept;

/** tan (x) for any finite x (period pi), as the ratio of two sine approximations. */
float fastTan (float x) noexcept;
