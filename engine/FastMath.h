#pragma once

// Single-precision approximations used by the oscillators and the filter. Their exact bits are part
// of the sound, so they are written out operation by operation.
float fastPow2 (float p) noexcept;
float fastLog2 (float x) noexcept;
float fastTan (float x) noexcept;
