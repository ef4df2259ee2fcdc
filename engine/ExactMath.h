#pragma once

// Correctly rounded pow, sin and cos for the engine's parameter conversions and tables, computed from
// +, -, *, / and exact scaling alone, so every build on every processor gets the same bits. The C
// library's versions choose code paths (FMA or not) at run time and differ between C libraries in
// the last bit, which then reaches the sound.
//
// Each value is evaluated in double-double arithmetic (about 100 correct bits, see the tests against
// MPFR) and rounded once at the end. Error-free transformations after Dekker, "A floating-point
// technique for extending the available precision" (1971), and Knuth's TwoSum; no FMA, since the
// 32-bit build has none and contraction would change the bits.
//
// Domain: pow for the bases below and finite exponents whose result is a normal double (the engine's
// exponents lie in 0..2); sin and cos for |x| below 2^19 (0 beyond 2^30). Results outside that are still finite and
// deterministic but not promised to be correctly rounded.

#include <bit>
#include <cstdint>
#include <limits>

namespace exactmath
{
struct DoubleDouble
{
    double hi = 0.0, lo = 0.0;
};

/** A base for pow, carried with its natural logarithm as a double-double (hi + lo). */
struct PowBase
{
    double value, lnHi, lnLo;
};

// ln 2, ln 10, ln 20, ln 30, each rounded to 106 bits.
inline constexpr PowBase kBase2 { 2.0, 0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56 };
inline constexpr PowBase kBase10 { 10.0, 0x1.26bb1bbb55516p+1, -0x1.f48ad494ea3e9p-53 };
inline constexpr PowBase kBase20 { 20.0, 0x1.7f7427b73e391p+1, 0x1.40ee67e188c1ep-53 };
inline constexpr PowBase kBase30 { 30.0, 0x1.b35a6f90bd69bp+1, -0x1.8b6ca2c67f3bep-54 };

namespace detail
{
inline DoubleDouble twoSum (double a, double b) noexcept
{
    const double s = a + b;
    const double bb = s - a;
    return { s, (a - (s - bb)) + (b - bb) };
}

/** Needs |a| >= |b| (or a == 0). */
inline DoubleDouble quickTwoSum (double a, double b) noexcept
{
    const double s = a + b;
    return { s, b - (s - a) };
}

/** Veltkamp's split into two halves of 26 bits each (valid below about 2^996). */
inline DoubleDouble split (double a) noexcept
{
    const double t = 134217729.0 * a; // 2^27 + 1
    const double hi = t - (t - a);
    return { hi, a - hi };
}

/** a * b exactly, as hi + lo. */
inline DoubleDouble twoProd (double a, double b) noexcept
{
    const double p = a * b;
    const DoubleDouble as = split (a), bs = split (b);
    const double err = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    return { p, err };
}

inline DoubleDouble add (DoubleDouble a, DoubleDouble b) noexcept
{
    DoubleDouble s = twoSum (a.hi, b.hi);
    const DoubleDouble t = twoSum (a.lo, b.lo);
    s.lo += t.hi;
    s = quickTwoSum (s.hi, s.lo);
    s.lo += t.lo;
    return quickTwoSum (s.hi, s.lo);
}

inline DoubleDouble mul (DoubleDouble a, DoubleDouble b) noexcept
{
    DoubleDouble p = twoProd (a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return quickTwoSum (p.hi, p.lo);
}

inline DoubleDouble mul (DoubleDouble a, double b) noexcept
{
    DoubleDouble p = twoProd (a.hi, b);
    p.lo += a.lo * b;
    return quickTwoSum (p.hi, p.lo);
}

inline DoubleDouble div (DoubleDouble a, double b) noexcept
{
    const double q1 = a.hi / b;
    const DoubleDouble p = twoProd (q1, b);
    const DoubleDouble r = twoSum (a.hi, -p.hi);
    const double q2 = (r.hi + (r.lo - p.lo + a.lo)) / b;
    return quickTwoSum (q1, q2);
}

inline DoubleDouble negate (DoubleDouble a) noexcept { return { -a.hi, -a.lo }; }

/** 2^k for -1022 <= k <= 1023, built from its bits. */
inline double powerOfTwo (int k) noexcept
{
    return std::bit_cast<double> ((uint64_t) (k + 1023) << 52);
}

/** round (x) for |x| < 2^30, halves away from zero. */
inline int roundToInt (double x) noexcept
{
    return (int) (x >= 0.0 ? x + 0.5 : x - 0.5);
}

/** exp (y) for |y| <= ln(2)/2 by its Taylor series in Horner form: 1 + y (1 + y/2 (1 + y/3 (...))).
    The 27th term is below 2^-120. */
inline DoubleDouble expReduced (DoubleDouble y) noexcept
{
    DoubleDouble t { 1.0, 0.0 };
    for (int n = 27; n >= 1; --n)
        t = add ({ 1.0, 0.0 }, div (mul (y, t), (double) n));
    return t;
}

/** exp (y) rounded once to double. */
inline double exp (DoubleDouble y) noexcept
{
    if (y.hi != y.hi)
        return y.hi;
    if (y.hi > 710.0)
        return std::numeric_limits<double>::infinity();
    if (y.hi < -746.0)
        return 0.0;

    // y = k ln2 + r with |r| <= ln(2)/2. ln 2 comes in three parts; the first has 40 bits, so k times
    // it is exact and, y lying close to it, so is y.hi minus it.
    constexpr double ln2a = 0x1.62e42fefa4000p-1, ln2b = -0x1.8432a1b0e2634p-43, ln2c = 0x1.f97b57a079a19p-103;
    const int k = roundToInt (y.hi * 0x1.71547652b82fep+0);
    const double kd = (double) k;
    DoubleDouble r = twoSum (y.hi - kd * ln2a, y.lo);
    r = add (r, negate (twoProd (kd, ln2b)));
    r = add (r, { -kd * ln2c, 0.0 });

    const DoubleDouble m = expReduced (r); // within 1/sqrt(2) .. sqrt(2)
    const double rounded = m.hi;           // quickTwoSum leaves hi = round (hi + lo)

    // Exact scaling while the result is normal; below that it is rounded a second time.
    if (k > 1023)
        return rounded * powerOfTwo (1023) * powerOfTwo (k - 1023);
    if (k < -1022)
        return rounded * powerOfTwo (-1022) * powerOfTwo (k + 1022);
    return rounded * powerOfTwo (k);
}

/** sin (r) and cos (r) for |r| <= pi/4 by their Taylor series in Horner form; the last terms are
    below 2^-110. */
inline DoubleDouble sinReduced (DoubleDouble r) noexcept
{
    const DoubleDouble r2 = mul (r, r);
    DoubleDouble t { 1.0, 0.0 };
    for (int n = 28; n >= 2; n -= 2) // 1 - r^2/(2*3) (1 - r^2/(4*5) (...))
        t = add ({ 1.0, 0.0 }, negate (div (mul (r2, t), (double) (n * (n + 1)))));
    return mul (r, t);
}

inline DoubleDouble cosReduced (DoubleDouble r) noexcept
{
    const DoubleDouble r2 = mul (r, r);
    DoubleDouble t { 1.0, 0.0 };
    for (int n = 28; n >= 2; n -= 2) // 1 - r^2/(1*2) (1 - r^2/(3*4) (...))
        t = add ({ 1.0, 0.0 }, negate (div (mul (r2, t), (double) ((n - 1) * n))));
    return t;
}

/** sin (x + quarterTurns * pi/2) rounded once to double. */
inline double sinShifted (double x, int quarterTurns) noexcept
{
    if (! (x > -0x1p30 && x < 0x1p30))
        return x - x; // NaN for NaN and infinities; 0 for arguments beyond any use (no reduction there)

    // x = k pi/2 + r with |r| <= pi/4; pi/2 in four parts, the first three of 33 bits so that k times
    // each is exact for |k| < 2^20.
    constexpr double p1 = 0x1.921fb54400000p+0, p2 = 0x1.0b4611a600000p-34, p3 = 0x1.3198a2e000000p-69,
                     p4 = 0x1.b839a252049c1p-104;
    const int k = roundToInt (x * 0x1.45f306dc9c883p-1);
    const double kd = (double) k;
    DoubleDouble r = twoSum (x, -kd * p1);
    r = add (r, { -kd * p2, 0.0 });
    r = add (r, { -kd * p3, 0.0 });
    r = add (r, negate (twoProd (kd, p4)));

    switch ((unsigned) (k + quarterTurns) & 3u)
    {
        case 0:  return sinReduced (r).hi;
        case 1:  return cosReduced (r).hi;
        case 2:  return -sinReduced (r).hi;
        default: return -cosReduced (r).hi;
    }
}
} // namespace detail

/** base^x, correctly rounded. */
inline double pow (const PowBase& base, double x) noexcept
{
    if (x == 0.0)
        return 1.0;
    if (x != x)
        return x;
    if (x > 1.0e6 || x < -1.0e6) // beyond any finite result; also keeps the product below the split's limit
        return x > 0.0 ? std::numeric_limits<double>::infinity() : 0.0;
    DoubleDouble y = detail::twoProd (x, base.lnHi);
    y.lo += x * base.lnLo;
    return detail::exp (detail::quickTwoSum (y.hi, y.lo));
}

/** sin (x), correctly rounded. */
inline double sin (double x) noexcept { return x == 0.0 ? x : detail::sinShifted (x, 0); } // keeps the sign of a zero

/** cos (x), correctly rounded. */
inline double cos (double x) noexcept { return detail::sinShifted (x, 1); }
} // namespace exactmath
