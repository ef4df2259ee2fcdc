#pragma once

// The engine's samples are computed in plain IEEE arithmetic: denormals kept, rounding to nearest.
// Hosts may run their audio threads with flush-to-zero, denormals-are-zero or another rounding mode,
// which would change the engine's bits; this scope puts the engine's mode in place for one block and
// gives the host its own back afterwards.

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
    #include <xmmintrin.h>
    #define VRO_HAS_MXCSR 1
#else
    #define VRO_HAS_MXCSR 0
#endif

class ScopedIeeeArithmetic
{
public:
#if VRO_HAS_MXCSR
    static constexpr unsigned int kFlushToZero = 0x8000u;
    static constexpr unsigned int kDenormalsAreZero = 0x0040u;
    static constexpr unsigned int kRoundingControl = 0x6000u; // 00 = to nearest

    ScopedIeeeArithmetic() noexcept : hostMode (_mm_getcsr())
    {
        const unsigned int engineMode = hostMode & ~(kFlushToZero | kDenormalsAreZero | kRoundingControl);
        changed = engineMode != hostMode;
        if (changed)
            _mm_setcsr (engineMode);
    }

    ~ScopedIeeeArithmetic()
    {
        if (changed)
            _mm_setcsr (hostMode);
    }

private:
    unsigned int hostMode;
    bool changed = false;
#else
    // Elsewhere the engine's targets default to IEEE mode and nothing here changes it.
    ScopedIeeeArithmetic() noexcept = default;
#endif

public:
    ScopedIeeeArithmetic (const ScopedIeeeArithmetic&) = delete;
    ScopedIeeeArithmetic& operator= (const ScopedIeeeArithmetic&) = delete;
};
