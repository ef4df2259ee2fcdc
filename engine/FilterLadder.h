#pragma once

// The 4x ladder run and the decimator, the engine's innermost loop. Compiled once for the baseline
// instruction set and once for AVX (three-operand forms, no fused multiply-add), so every helper
// here is a template or forced inline: no out-of-line copy built for one set may serve the other.
// The operations and their order are the same in both, so are the bits.

#include "Filter.h"

#include <immintrin.h>

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

double runBaseline (FilterCore& core, Decimator& decimator, double x) noexcept;
double runAvx (FilterCore& core, Decimator& decimator, double x) noexcept;
/** True when runAvx was built with AVX and this processor (and its system) can run it. */
bool avxAvailable() noexcept;
} // namespace ladder
