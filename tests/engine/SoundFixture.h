#pragma once

// Renders through SynthEngine with parameters converted as the processor's setter converts them,
// plus the small signal measurements the sound tests share.

#include "Filter.h"
#include "Oscillator.h"
#include "SynthEngine.h"

#include <cmath>
#include <complex>
#include <memory>
#include <vector>

namespace sound
{
/** The start-up program's values for the parameters that shape a held note. */
inline constexpr std::pair<int, double> kStartupValues[] = {
    { Param::Volume, 0.5 }, { Param::FineTune, 0.5 }, { Param::Transpose, 0.6 }, { Param::PortamentoMode, 0.6 },
    { Param::LfoRate, 0.5 }, { Param::VcoRange, 0.3 }, { Param::Saw, 1.0 }, { Param::SubOsc, 1.0 },
    { Param::VcfCutoff, 1.0 }, { Param::VcfKeyboard, 1.0 }, { Param::AdsrMode, 1.0 }, { Param::Decay, 0.5 },
    { Param::SeqSync, 1.0 }, { Param::SeqTempo, 0.3 },
};

struct Synth
{
    explicit Synth (float sampleRate = 44100.0f) : engine (std::make_unique<SynthEngine> (sampleRate, midiOut))
    {
        for (auto [index, value] : kStartupValues)
            set (index, value);
    }

    /** The engine side of the processor's parameter setter. */
    void set (int index, double v) { engine->setParameter (index, v); }

    std::vector<double> render (int numSamples)
    {
        std::vector<double> out ((size_t) numSamples);
        for (auto& x : out)
        {
            double left = 0.0, right = 0.0;
            engine->renderSample (left, right);
            x = left;
        }
        return out;
    }

    MidiOutCollector midiOut;
    std::unique_ptr<SynthEngine> engine;
};

inline double rms (const std::vector<double>& x, size_t from = 0, size_t to = 0)
{
    if (to == 0)
        to = x.size();
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += x[i] * x[i];
    return std::sqrt (sum / (double) (to - from));
}

inline double mean (const std::vector<double>& x, size_t from = 0)
{
    double sum = 0.0;
    for (size_t i = from; i < x.size(); ++i)
        sum += x[i];
    return sum / (double) (x.size() - from);
}

/** In-place radix-2 FFT; size must be a power of two. */
inline void fft (std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i)
    {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap (a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1)
    {
        const double angle = -2.0 * M_PI / (double) len;
        const std::complex<double> step (std::cos (angle), std::sin (angle));
        for (size_t i = 0; i < n; i += len)
        {
            std::complex<double> w (1.0);
            for (size_t k = 0; k < len / 2; ++k)
            {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

/** Power spectrum (Blackman-Harris windowed) of n = 2^k samples starting at from. */
inline std::vector<double> powerSpectrum (const std::vector<double>& x, size_t from, size_t n)
{
    std::vector<std::complex<double>> a (n);
    for (size_t i = 0; i < n; ++i)
    {
        const double phase = 2.0 * M_PI * (double) i / (double) n;
        const double w = 0.35875 - 0.48829 * std::cos (phase) + 0.14128 * std::cos (2.0 * phase) - 0.01168 * std::cos (3.0 * phase);
        a[i] = x[from + i] * w;
    }
    fft (a);
    std::vector<double> power (n / 2);
    for (size_t i = 0; i < n / 2; ++i)
        power[i] = std::norm (a[i]);
    return power;
}

/** The frequency of the strongest spectral line, refined by parabolic interpolation. */
inline double dominantHz (const std::vector<double>& x, size_t from, size_t n, double sampleRate)
{
    const auto power = powerSpectrum (x, from, n);
    size_t peak = 1;
    for (size_t i = 2; i + 1 < power.size(); ++i)
        if (power[i] > power[peak])
            peak = i;
    const double a = std::log (power[peak - 1] + 1e-300), b = std::log (power[peak] + 1e-300), c = std::log (power[peak + 1] + 1e-300);
    const double shift = 0.5 * (a - c) / (a - 2.0 * b + c);
    return ((double) peak + shift) * sampleRate / (double) n;
}
} // namespace sound
