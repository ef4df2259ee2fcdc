// Built with -mavx -mno-fma where the compiler targets x86 (see CMakeLists.txt); elsewhere this is
// the baseline once more and never chosen.
#include "FilterLadder.h"

double ladder::runAvx (FilterCore& core, Decimator& decimator, double x) noexcept
{
    return run<1> (core, decimator, x);
}

void ladder::runManyAvx (VoiceFilter* const* filters, const double* inputs, double* outputs, int count) noexcept
{
#if defined(__AVX__)
    runMany<1> (filters, inputs, outputs, count);
#else
    runMany<0> (filters, inputs, outputs, count);
#endif
}

bool ladder::avxAvailable() noexcept
{
#if defined(__AVX__) && ! defined(__FMA__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
    return __builtin_cpu_supports ("avx");
#else
    return false;
#endif
}
