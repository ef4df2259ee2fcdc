#include "FastMath.h"
#include <cmath>

// Placeholder bodies until the exact approximations land.
float fastPow2 (float p) noexcept { return std::exp2 (p); }
float fastLog2 (float x) noexcept { return std::log2 (x); }
float fastTan (float x) noexcept { return std::tan (x); }
