// The engine's own pow, sin and cos against MPFR's correctly rounded values. The sample size can be
// raised for a long run: VRO_EXACT_MATH_SAMPLES=<inputs per function and range>.

#include "ExactMath.h"
#include "IeeeArithmetic.h"
#include "Lfo.h"
#include "Oscillator.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
/** Correctly rounded double results of MPFR, one reusable set of registers. */
class Mpfr
{
public:
    Mpfr()
    {
        mpfr_inits2 (53, base, x, result, (mpfr_ptr) nullptr);
    }
    ~Mpfr() { mpfr_clears (base, x, result, (mpfr_ptr) nullptr); }

    double pow (double b, double e)
    {
        mpfr_set_d (base, b, MPFR_RNDN);
        mpfr_set_d (x, e, MPFR_RNDN);
        mpfr_pow (result, base, x, MPFR_RNDN);
        return mpfr_get_d (result, MPFR_RNDN);
    }

    double sin (double e)
    {
        mpfr_set_d (x, e, MPFR_RNDN);
        mpfr_sin (result, x, MPFR_RNDN);
        return mpfr_get_d (result, MPFR_RNDN);
    }

    double cos (double e)
    {
        mpfr_set_d (x, e, MPFR_RNDN);
        mpfr_cos (result, x, MPFR_RNDN);
        return mpfr_get_d (result, MPFR_RNDN);
    }

private:
    mpfr_t base, x, result;
};

int samplesPerRange()
{
    const char* text = std::getenv ("VRO_EXACT_MATH_SAMPLES");
    const long n = text != nullptr ? std::strtol (text, nullptr, 10) : 0;
    return n > 0 ? (int) n : 100000;
}

/** n floats evenly spread over the bit patterns from lo to hi (both ends included), widened. */
std::vector<double> floatsBetween (float lo, float hi, int n)
{
    const auto first = std::bit_cast<uint32_t> (lo), last = std::bit_cast<uint32_t> (hi);
    const uint64_t span = last - first;
    std::vector<double> values;
    for (int i = 0; i < n; ++i)
        values.push_back ((double) std::bit_cast<float> ((uint32_t) (first + span * (uint64_t) i / (uint64_t) (n - 1))));
    return values;
}

std::vector<double> randomDoubles (double lo, double hi, int n, uint64_t seed)
{
    std::mt19937_64 random (seed);
    std::uniform_real_distribution<double> distribution (lo, hi);
    std::vector<double> values;
    for (int i = 0; i < n; ++i)
        values.push_back (distribution (random));
    return values;
}

/** The exponents the setters reach for a normalised value v: v itself, and the vibrato depth's chain
    (5 v^2 below 0.2, then 2x into pow(10, .), then its result into pow(2, .)). */
struct SetterExponents
{
    std::vector<double> direct, vibratoTen, vibratoTwo;
};

SetterExponents setterExponents (const std::vector<double>& values)
{
    SetterExponents e;
    for (double v : values)
    {
        e.direct.push_back (v);
        double x = v < 0.2 ? 5.0 * (v * v) : v;
        if (x < 0.5)
        {
            e.vibratoTen.push_back (2.0 * x);
            x = (exactmath::pow (exactmath::kBase10, 2.0 * x) - 1.0) / 9.0 * 0.5;
        }
        e.vibratoTwo.push_back (x);
    }
    return e;
}

struct Mismatch
{
    int count = 0;
    double firstInput = 0.0, expected = 0.0, got = 0.0;
};

template <typename Ours, typename Reference>
Mismatch compare (const std::vector<double>& inputs, Ours ours, Reference reference)
{
    Mismatch m;
    for (double x : inputs)
    {
        const double a = ours (x), b = reference (x);
        if (std::bit_cast<uint64_t> (a) != std::bit_cast<uint64_t> (b) && ! (a != a && b != b))
        {
            if (m.count++ == 0)
            {
                m.firstInput = x;
                m.expected = b;
                m.got = a;
            }
        }
    }
    return m;
}

std::string describe (const Mismatch& m)
{
    char text[200];
    std::snprintf (text, sizeof text, "%d mismatches, first at %a: MPFR %a, ours %a", m.count, m.firstInput, m.expected, m.got);
    return text;
}
} // namespace

TEST (ExactMath, PowIsCorrectlyRoundedOverTheSettersDomain)
{
    const int n = samplesPerRange();
    std::vector<double> normalised = floatsBetween (0.0f, 1.0f, n);
    for (double v : randomDoubles (0.0, 1.0, n, 22))
        normalised.push_back (v);
    const SetterExponents setter = setterExponents (normalised);

    std::vector<double> wide = randomDoubles (-2.0, 2.0, n, 7); // beyond what a parameter can send
    for (double x : { 0.0, 0.5, 1.0, 1.5, 2.0, -1.0, -0x1p-30, 0x1p-60, 0x1.fffffffffffffp-1 })
        wide.push_back (x);

    Mpfr mpfr;
    const struct
    {
        const char* name;
        const exactmath::PowBase& base;
        const std::vector<double>& inputs;
    } cases[] = {
        { "2^v", exactmath::kBase2, setter.direct },
        { "20^v", exactmath::kBase20, setter.direct },
        { "30^v", exactmath::kBase30, setter.direct },
        { "10^(2x), vibrato", exactmath::kBase10, setter.vibratoTen },
        { "2^x, vibrato", exactmath::kBase2, setter.vibratoTwo },
        { "2^x, wide", exactmath::kBase2, wide },
        { "10^x, wide", exactmath::kBase10, wide },
        { "20^x, wide", exactmath::kBase20, wide },
        { "30^x, wide", exactmath::kBase30, wide },
    };
    for (const auto& c : cases)
    {
        const Mismatch m = compare (
            c.inputs, [&] (double x) { return exactmath::pow (c.base, x); },
            [&] (double x) { return mpfr.pow (c.base.value, x); });
        EXPECT_EQ (m.count, 0) << c.name << " over " << c.inputs.size() << " inputs: " << describe (m);
    }
}

TEST (ExactMath, PowKeepsExactPowersAndTheEdgesOfItsRange)
{
    EXPECT_EQ (exactmath::pow (exactmath::kBase10, 2.0), 100.0);
    EXPECT_EQ (exactmath::pow (exactmath::kBase20, 1.0), 20.0);
    EXPECT_EQ (exactmath::pow (exactmath::kBase30, 2.0), 900.0);
    EXPECT_EQ (exactmath::pow (exactmath::kBase2, -3.0), 0.125);
    EXPECT_EQ (exactmath::pow (exactmath::kBase2, 1023.0), 0x1p1023);
    EXPECT_EQ (exactmath::pow (exactmath::kBase20, 0.0), 1.0);
    EXPECT_EQ (exactmath::pow (exactmath::kBase20, 400.0), INFINITY);
    EXPECT_EQ (exactmath::pow (exactmath::kBase20, 1.0e300), INFINITY);
    EXPECT_EQ (exactmath::pow (exactmath::kBase20, -1.0e300), 0.0);
    EXPECT_TRUE (std::isnan (exactmath::pow (exactmath::kBase2, NAN)));
}

TEST (ExactMath, SineAndCosineAreCorrectlyRoundedOnEveryTableArgumentAndBeyond)
{
    std::vector<double> arguments;
    // The step table's sinc and window arguments.
    for (int i = 0; i < kBlepTableLength; ++i)
    {
        const double x = (double) (i - kBlepTableLength / 2) / (double) kBlepOversampling;
        arguments.push_back (M_PI * x);
        arguments.push_back (M_PI * (x + 2.0));
        arguments.push_back (M_PI * x / 8.0);
        arguments.push_back (M_PI * x / 4.0);
    }
    // The LFO's sine table.
    for (int i = 0; i <= 256; ++i)
        arguments.push_back ((i / 256.0) * 2.0 * 0x1.921fb6p+1);
    // The doubles around multiples of pi/2, where the reduction cancels most bits.
    for (int k = -40; k <= 40; ++k)
    {
        const double nearest = (double) k * M_PI_2;
        for (double x = std::nextafter (nearest, -INFINITY), step = 0; step < 3; x = std::nextafter (x, INFINITY), ++step)
            arguments.push_back (x);
    }
    for (double x : randomDoubles (-40.0, 40.0, samplesPerRange(), 3))
        arguments.push_back (x);
    for (double x : randomDoubles (-0x1p-20, 0x1p-20, 1000, 4))
        arguments.push_back (x);

    Mpfr mpfr;
    const Mismatch sine = compare (arguments, exactmath::sin, [&] (double x) { return mpfr.sin (x); });
    EXPECT_EQ (sine.count, 0) << "sin over " << arguments.size() << " inputs: " << describe (sine);
    const Mismatch cosine = compare (arguments, exactmath::cos, [&] (double x) { return mpfr.cos (x); });
    EXPECT_EQ (cosine.count, 0) << "cos over " << arguments.size() << " inputs: " << describe (cosine);
}

TEST (ExactMath, TablesAreBuiltFromCorrectlyRoundedValues)
{
    static Mpfr mpfr;
    static double reference[kBlepTableLength];
    buildBlepTable (
        reference, [] (double x) noexcept { return mpfr.sin (x); }, [] (double x) noexcept { return mpfr.cos (x); });
    const double* table = blepTable();
    int differing = 0;
    for (int i = 0; i < kBlepTableLength; ++i)
        differing += std::bit_cast<uint64_t> (table[i]) != std::bit_cast<uint64_t> (reference[i]) ? 1 : 0;
    EXPECT_EQ (differing, 0) << "step table entries off the MPFR-built table";

    const LfoWavetable lfo (44100.0);
    for (int i = 0; i <= 256; ++i)
        ASSERT_EQ (lfo.sine[i], (double) (float) mpfr.sin ((i / 256.0) * 2.0 * 0x1.921fb6p+1)) << "sine entry " << i;
}

TEST (ExactMath, TablesComeOutTheSameInAHostsFloatingPointMode)
{
#if VRO_HAS_MXCSR
    // The plug-in is built on the host's thread, in whatever mode that runs: here rounding up,
    // flush-to-zero and denormals-are-zero.
    const LfoWavetable lfo (44100.0);
    static double table[kBlepTableLength];
    const unsigned int saved = _mm_getcsr();
    _mm_setcsr (saved | 0x4000u | ScopedIeeeArithmetic::kFlushToZero | ScopedIeeeArithmetic::kDenormalsAreZero);
    buildBlepTable (table);
    const LfoWavetable hostLfo (44100.0);
    _mm_setcsr (saved);

    EXPECT_EQ (std::memcmp (table, blepTable(), sizeof table), 0) << "step table";
    EXPECT_EQ (std::memcmp (hostLfo.sine, lfo.sine, sizeof lfo.sine), 0) << "LFO sine table";
#else
    GTEST_SKIP() << "no floating-point mode register to set on this processor";
#endif
}
