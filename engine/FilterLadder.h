#pragma once

// The 4x ladder run and the decimator, the engine's innermost loop. Compiled once for the baseline
// instruction set and once for AVX (three-operand forms, no fused multiply-add), so every helper
// here is a template or forced inline: no out-of-line copy built for one set may serve the other.
// The operations and their order are the same in both, so are the bits.

#include "Filter.h"

// Vector lanes on x86-64 only: its stack is always aligned for them, and SSE2 is always there.
// Elsewhere (32-bit Windows, other processors) the same arithmetic runs one value at a time.
#if ! defined(VRO_LADDER_LANES) // a build may set it to 0 to check the plain arithmetic here
#if defined(__x86_64__)
#define VRO_LADDER_LANES 1
#else
#define VRO_LADDER_LANES 0
#endif
#endif
#if VRO_LADDER_LANES
#include <immintrin.h>
#endif

namespace ladder
{
struct State { double previousInput, s1, s2, s3, s4; };

/** One 4x sub-sample. */
template <int Isa>
[[gnu::always_inline]] inline double tick (State& st, double inputGain, double g, double k, double x) noexcept
{
    const double in = inputGain * x;

    const double u = 2.0 * (in + st.previousInput) + 28.0 * k * st.s4 + 0.14;
    const double t = (u * u + 50.0) / (15.0 * (u * u) + 50.0);
    st.previousInput = in;

    // The four stages' gains are independent of each other: side by side in vector lanes, each
    // lane running the scalar operations.
    double G1, G2, G3, G4, d1, d2, d3, d4, h1, h2, h3, h4;
#if VRO_LADDER_LANES
#if defined(__AVX__)
    if constexpr (Isa == 1)
    {
        const __m256d v = _mm256_set_pd (st.s3, st.s2, st.s1, t), s = _mm256_set_pd (st.s4, st.s3, st.s2, st.s1);
        const __m256d w = _mm256_sub_pd (_mm256_set1_pd (0.14), _mm256_sub_pd (_mm256_mul_pd (_mm256_set1_pd (0.6), v), s));
        const __m256d w2 = _mm256_mul_pd (w, w);
        const __m256d a = _mm256_mul_pd (w2, w2);
        const __m256d num = _mm256_add_pd (_mm256_mul_pd (_mm256_add_pd (a, _mm256_set1_pd (105.0)), a), _mm256_set1_pd (200.0));
        const __m256d den = _mm256_add_pd (_mm256_mul_pd (_mm256_add_pd (_mm256_mul_pd (_mm256_set1_pd (6.0), a), _mm256_set1_pd (220.0)), a),
                                           _mm256_set1_pd (200.0));
        const __m256d G = _mm256_mul_pd (_mm256_set1_pd (g), _mm256_div_pd (num, den));
        const __m256d d = _mm256_div_pd (_mm256_set1_pd (1.0), _mm256_add_pd (G, _mm256_set1_pd (1.0)));
        const __m256d h = _mm256_mul_pd (G, d);
        alignas (32) double lanes[12];
        _mm256_store_pd (lanes, G);
        _mm256_store_pd (lanes + 4, d);
        _mm256_store_pd (lanes + 8, h);
        G1 = lanes[0], G2 = lanes[1], G3 = lanes[2], G4 = lanes[3];
        d1 = lanes[4], d2 = lanes[5], d3 = lanes[6], d4 = lanes[7];
        h1 = lanes[8], h2 = lanes[9], h3 = lanes[10], h4 = lanes[11];
    }
    else
#endif
    {
        const __m128d c014 = _mm_set1_pd (0.14), c06 = _mm_set1_pd (0.6), gv = _mm_set1_pd (g), one = _mm_set1_pd (1.0);
        auto pair = [&] (__m128d v, __m128d s, __m128d& G, __m128d& d, __m128d& h)
        {
            const __m128d w = _mm_sub_pd (c014, _mm_sub_pd (_mm_mul_pd (c06, v), s));
            const __m128d w2 = _mm_mul_pd (w, w);
            const __m128d a = _mm_mul_pd (w2, w2);
            const __m128d num = _mm_add_pd (_mm_mul_pd (_mm_add_pd (a, _mm_set1_pd (105.0)), a), _mm_set1_pd (200.0));
            const __m128d den = _mm_add_pd (_mm_mul_pd (_mm_add_pd (_mm_mul_pd (_mm_set1_pd (6.0), a), _mm_set1_pd (220.0)), a),
                                            _mm_set1_pd (200.0));
            G = _mm_mul_pd (gv, _mm_div_pd (num, den));
            d = _mm_div_pd (one, _mm_add_pd (G, one));
            h = _mm_mul_pd (G, d);
        };
        __m128d Ga, da, ha, Gb, db, hb;
        pair (_mm_set_pd (st.s1, t), _mm_set_pd (st.s2, st.s1), Ga, da, ha);
        pair (_mm_set_pd (st.s3, st.s2), _mm_set_pd (st.s4, st.s3), Gb, db, hb);
        alignas (16) double lanes[12];
        _mm_store_pd (lanes, Ga);
        _mm_store_pd (lanes + 2, Gb);
        _mm_store_pd (lanes + 4, da);
        _mm_store_pd (lanes + 6, db);
        _mm_store_pd (lanes + 8, ha);
        _mm_store_pd (lanes + 10, hb);
        G1 = lanes[0], G2 = lanes[1], G3 = lanes[2], G4 = lanes[3];
        d1 = lanes[4], d2 = lanes[5], d3 = lanes[6], d4 = lanes[7];
        h1 = lanes[8], h2 = lanes[9], h3 = lanes[10], h4 = lanes[11];
    }
#else
    auto gain = [g] (double v, double s)
    {
        const double w = 0.14 - (0.6 * v - s);
        const double a = (w * w) * (w * w);
        return g * (((a + 105.0) * a + 200.0) / ((6.0 * a + 220.0) * a + 200.0));
    };
    G1 = gain (t, st.s1), G2 = gain (st.s1, st.s2), G3 = gain (st.s2, st.s3), G4 = gain (st.s3, st.s4);
    d1 = 1.0 / (G1 + 1.0), d2 = 1.0 / (G2 + 1.0), d3 = 1.0 / (G3 + 1.0), d4 = 1.0 / (G4 + 1.0);
    h1 = G1 * d1, h2 = G2 * d2, h3 = G3 * d3, h4 = G4 * d4;
#endif

    // Solve the feedback loop for the output, then run the stages forward.
    const double P = t * h1 * h2 * h3 * h4;
    const double S = st.s1 * d1 * h2 * h3 * h4 + st.s2 * d2 * h3 * h4 + st.s3 * d3 * h4 + st.s4 * d4;
    const double y = (P * in + S) / (1.0 + k * P);

    const double z0 = (in - k * y) * t;
    const double z1 = (G1 * z0 + st.s1) * d1;
    const double z2 = (G2 * z1 + st.s2) * d2;
    const double z3 = (G3 * z2 + st.s3) * d3;

    st.s1 += 2.0 * G1 * (z0 - z1);
    st.s2 += 2.0 * G2 * (z1 - z2);
    st.s3 += 2.0 * G3 * (z2 - z3);
    st.s4 += 2.0 * G4 * (z3 - y);
    return y;
}

/** One input through the decimator's three sections held in d. */
template <int Isa>
[[gnu::always_inline]] inline double decimate (Decimator::Section (&d)[3], double x) noexcept
{
#pragma GCC unroll 3
    for (int i = 0; i < 3; ++i)
    {
        auto& st = d[i];
        const double y = Decimator::b0 * x + Decimator::b1[i] * st.x1 + Decimator::b0 * st.x2
                         - Decimator::a1[i] * st.y1 - Decimator::a2[i] * st.y2;
        st.x2 = st.x1;
        st.x1 = x;
        st.y2 = st.y1;
        st.y1 = y;
        x = y;
    }
    return x;
}

/** FilterCore::runOversampled for one instruction set; the states live in locals for the run. */
template <int Isa>
[[gnu::always_inline]] inline double run (FilterCore& core, Decimator& decimator, double x) noexcept
{
    State st { core.previousInput, core.s1, core.s2, core.s3, core.s4 };
    Decimator::Section d[3] = { decimator.sections[0], decimator.sections[1], decimator.sections[2] };
    const double gain = core.inputGain, g = core.g, k = core.k;
    const double out = decimate<Isa> (d, tick<Isa> (st, gain, g, k, x * core.inputScale));
    decimate<Isa> (d, tick<Isa> (st, gain, g, k, 0.0));
    decimate<Isa> (d, tick<Isa> (st, gain, g, k, 0.0));
    decimator.last = decimate<Isa> (d, tick<Isa> (st, gain, g, k, 0.0));
    core.previousInput = st.previousInput;
    core.s1 = st.s1;
    core.s2 = st.s2;
    core.s3 = st.s3;
    core.s4 = st.s4;
    for (int i = 0; i < 3; ++i)
        decimator.sections[i] = d[i];
    return out;
}

#if VRO_LADDER_LANES
//==============================================================================
// Voices side by side: Pack<Isa, Lanes> holds one double per voice and runs each operation on every lane,
// so a lane computes what the scalar code computes. The expressions below are the scalar ones.
template <int Isa, int Lanes> struct Pack;

template <int Isa>
struct Pack<Isa, 2>
{
    static constexpr int lanes = 2;
    __m128d v;
    [[gnu::always_inline]] static Pack load (const double* p) noexcept { return { _mm_load_pd (p) }; }
    [[gnu::always_inline]] void store (double* p) const noexcept { _mm_store_pd (p, v); }
    [[gnu::always_inline]] static Pack of (double x) noexcept { return { _mm_set1_pd (x) }; }
    [[gnu::always_inline]] friend Pack operator+ (Pack a, Pack b) noexcept { return { _mm_add_pd (a.v, b.v) }; }
    [[gnu::always_inline]] friend Pack operator- (Pack a, Pack b) noexcept { return { _mm_sub_pd (a.v, b.v) }; }
    [[gnu::always_inline]] friend Pack operator* (Pack a, Pack b) noexcept { return { _mm_mul_pd (a.v, b.v) }; }
    [[gnu::always_inline]] friend Pack operator/ (Pack a, Pack b) noexcept { return { _mm_div_pd (a.v, b.v) }; }
};

#if defined(__AVX__)
template <>
struct Pack<1, 4>
{
    static constexpr int lanes = 4;
    __m256d v;
    [[gnu::always_inline]] static Pack load (const double* p) noexcept { return { _mm256_load_pd (p) }; }
    [[gnu::always_inline]] void store (double* p) const noexcept { _mm256_store_pd (p, v); }
    [[gnu::always_inline]] static Pack of (double x) noexcept { return { _mm256_set1_pd (x) }; }
    [[gnu::always_inline]] friend Pack operator+ (Pack a, Pack b) noexcept { return { _mm256_add_pd (a.v, b.v) }; }
    [[gnu::always_inline]] friend Pack operator- (Pack a, Pack b) noexcept { return { _mm256_sub_pd (a.v, b.v) }; }
    [[gnu::always_inline]] friend Pack operator* (Pack a, Pack b) noexcept { return { _mm256_mul_pd (a.v, b.v) }; }
    [[gnu::always_inline]] friend Pack operator/ (Pack a, Pack b) noexcept { return { _mm256_div_pd (a.v, b.v) }; }
};
#endif

// A plain constant on either side, as in the scalar expressions.
template <int I, int L> [[gnu::always_inline]] inline Pack<I, L> operator+ (double a, Pack<I, L> b) noexcept { return Pack<I, L>::of (a) + b; }
template <int I, int L> [[gnu::always_inline]] inline Pack<I, L> operator+ (Pack<I, L> a, double b) noexcept { return a + Pack<I, L>::of (b); }
template <int I, int L> [[gnu::always_inline]] inline Pack<I, L> operator- (double a, Pack<I, L> b) noexcept { return Pack<I, L>::of (a) - b; }
template <int I, int L> [[gnu::always_inline]] inline Pack<I, L> operator* (double a, Pack<I, L> b) noexcept { return Pack<I, L>::of (a) * b; }
template <int I, int L> [[gnu::always_inline]] inline Pack<I, L> operator* (Pack<I, L> a, double b) noexcept { return a * Pack<I, L>::of (b); }
template <int I, int L> [[gnu::always_inline]] inline Pack<I, L> operator/ (double a, Pack<I, L> b) noexcept { return Pack<I, L>::of (a) / b; }

template <class V>
[[gnu::always_inline]] inline V tickLanes (V (&st)[5], V inputGain, V g, V k, V x) noexcept
{
    auto& previousInput = st[0];
    auto& s1 = st[1];
    auto& s2 = st[2];
    auto& s3 = st[3];
    auto& s4 = st[4];
    const auto in = inputGain * x;

    const auto u = 2.0 * (in + previousInput) + 28.0 * k * s4 + 0.14;
    const auto t = (u * u + 50.0) / (15.0 * (u * u) + 50.0);
    previousInput = in;

    auto gain = [&g] (V v, V s)
    {
        const auto w = 0.14 - (0.6 * v - s);
        const auto a = (w * w) * (w * w);
        return g * (((a + 105.0) * a + 200.0) / ((6.0 * a + 220.0) * a + 200.0));
    };
    const auto G1 = gain (t, s1), G2 = gain (s1, s2), G3 = gain (s2, s3), G4 = gain (s3, s4);
    const auto d1 = 1.0 / (G1 + 1.0), d2 = 1.0 / (G2 + 1.0), d3 = 1.0 / (G3 + 1.0), d4 = 1.0 / (G4 + 1.0);
    const auto h1 = G1 * d1, h2 = G2 * d2, h3 = G3 * d3, h4 = G4 * d4;

    const auto P = t * h1 * h2 * h3 * h4;
    const auto S = s1 * d1 * h2 * h3 * h4 + s2 * d2 * h3 * h4 + s3 * d3 * h4 + s4 * d4;
    const auto y = (P * in + S) / (1.0 + k * P);

    const auto z0 = (in - k * y) * t;
    const auto z1 = (G1 * z0 + s1) * d1;
    const auto z2 = (G2 * z1 + s2) * d2;
    const auto z3 = (G3 * z2 + s3) * d3;

    s1 = s1 + 2.0 * G1 * (z0 - z1);
    s2 = s2 + 2.0 * G2 * (z1 - z2);
    s3 = s3 + 2.0 * G3 * (z2 - z3);
    s4 = s4 + 2.0 * G4 * (z3 - y);
    return y;
}

template <class V>
[[gnu::always_inline]] inline V decimateLanes (V (&d)[12], V x) noexcept
{
    // Unrolled, so the coefficients are constants and the states stay in registers.
#pragma GCC unroll 3
    for (int i = 0; i < 3; ++i)
    {
        auto& x1 = d[4 * i];
        auto& x2 = d[4 * i + 1];
        auto& y1 = d[4 * i + 2];
        auto& y2 = d[4 * i + 3];
        const auto y = Decimator::b0 * x + Decimator::b1[i] * x1 + Decimator::b0 * x2 - Decimator::a1[i] * y1 - Decimator::a2[i] * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        x = y;
    }
    return x;
}

/** A group of up to L voices; missing lanes repeat the first voice and are dropped. */
template <int Isa, int L>
[[gnu::always_inline]] inline void runGroup (VoiceFilter* const* filters, const double* inputs, double* outputs, int count) noexcept
{
    using V = Pack<Isa, L>;
    FilterCore* c[L];
    Decimator* d[L];
    double x[L];
    for (int lane = 0; lane < L; ++lane)
    {
        const int i = lane < count ? lane : 0;
        c[lane] = &filters[i]->core;
        d[lane] = &filters[i]->decimator;
        x[lane] = inputs[i];
    }
    auto gather = [] (auto field)
    {
        alignas (sizeof (double) * L) double v[L];
        for (int lane = 0; lane < L; ++lane)
            v[lane] = field (lane);
        return V::load (v);
    };

    V st[5] = { gather ([&] (int i) { return c[i]->previousInput; }), gather ([&] (int i) { return c[i]->s1; }),
                gather ([&] (int i) { return c[i]->s2; }), gather ([&] (int i) { return c[i]->s3; }),
                gather ([&] (int i) { return c[i]->s4; }) };
    V dec[12];
#pragma GCC unroll 3
    for (int s = 0; s < 3; ++s)
    {
        dec[4 * s] = gather ([&] (int i) { return d[i]->sections[s].x1; });
        dec[4 * s + 1] = gather ([&] (int i) { return d[i]->sections[s].x2; });
        dec[4 * s + 2] = gather ([&] (int i) { return d[i]->sections[s].y1; });
        dec[4 * s + 3] = gather ([&] (int i) { return d[i]->sections[s].y2; });
    }
    const V gain = gather ([&] (int i) { return c[i]->inputGain; }), g = gather ([&] (int i) { return c[i]->g; }),
            k = gather ([&] (int i) { return c[i]->k; });
    const V first = gather ([&] (int i) { return x[i]; }) * gather ([&] (int i) { return c[i]->inputScale; });
    const V zero = V::of (0.0);

    const V out = decimateLanes (dec, tickLanes (st, gain, g, k, first));
    decimateLanes (dec, tickLanes (st, gain, g, k, zero));
    decimateLanes (dec, tickLanes (st, gain, g, k, zero));
    const V last = decimateLanes (dec, tickLanes (st, gain, g, k, zero));

    const int real = count < L ? count : L;
    auto scatter = [real] (V value, auto field)
    {
        alignas (sizeof (double) * L) double v[L];
        value.store (v);
        for (int lane = 0; lane < real; ++lane)
            field (lane) = v[lane];
    };
    scatter (st[0], [&] (int i) -> double& { return c[i]->previousInput; });
    scatter (st[1], [&] (int i) -> double& { return c[i]->s1; });
    scatter (st[2], [&] (int i) -> double& { return c[i]->s2; });
    scatter (st[3], [&] (int i) -> double& { return c[i]->s3; });
    scatter (st[4], [&] (int i) -> double& { return c[i]->s4; });
#pragma GCC unroll 3
    for (int s = 0; s < 3; ++s)
    {
        scatter (dec[4 * s], [&] (int i) -> double& { return d[i]->sections[s].x1; });
        scatter (dec[4 * s + 1], [&] (int i) -> double& { return d[i]->sections[s].x2; });
        scatter (dec[4 * s + 2], [&] (int i) -> double& { return d[i]->sections[s].y1; });
        scatter (dec[4 * s + 3], [&] (int i) -> double& { return d[i]->sections[s].y2; });
    }
    scatter (last, [&] (int i) -> double& { return d[i]->last; });
    scatter (out, [&] (int i) -> double& { return outputs[i]; });
}

#endif

/** FilterCore::runOversampled for count voices: four at a time where AVX runs, then two at a time,
    a last single voice alone. */
template <int Isa>
[[gnu::always_inline]] inline void runMany (VoiceFilter* const* filters, const double* inputs, double* outputs, int count) noexcept
{
#if VRO_LADDER_LANES
    if constexpr (Isa == 1)
    {
        for (; count >= 3; filters += 4, inputs += 4, outputs += 4, count -= 4)
            runGroup<1, 4> (filters, inputs, outputs, count);
    }
    for (; count >= 2; filters += 2, inputs += 2, outputs += 2, count -= 2)
        runGroup<Isa, 2> (filters, inputs, outputs, count);
#endif
    for (int i = 0; i < count; ++i)
        outputs[i] = run<Isa> (filters[i]->core, filters[i]->decimator, inputs[i]);
}

double runBaseline (FilterCore& core, Decimator& decimator, double x) noexcept;
void runManyAvx (VoiceFilter* const* filters, const double* inputs, double* outputs, int count) noexcept;
double runAvx (FilterCore& core, Decimator& decimator, double x) noexcept;
/** True when runAvx was built with AVX and this processor (and its system) can run it. */
bool avxAvailable() noexcept;
} // namespace ladder
