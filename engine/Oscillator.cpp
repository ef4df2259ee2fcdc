#include "Oscillator.h"
#include "ExactMath.h"
#include "FastMath.h"
#include "IeeeArithmetic.h"

#include <cmath>

namespace
{
// Any mix the parameters can ask for stays far below this; it only keeps absurd settings from
// carrying overflow into the DC blocker and the filter.
constexpr double kMixLimit = 1.0e4;

// The two samples of the step's pre-echo, and its height relative to the main step.
constexpr double kPreStepOffsetSamples = 2.0;
constexpr double kPreStepHeight = 0.1;
constexpr double kWindowHalfWidthSamples = 8.0;

double normalisedSinc (double t, RealFunction sine) noexcept
{
    if (t == 0.0)
        return 1.0;
    return sine (M_PI * t) / (M_PI * t);
}

/** floor (x) for a switch reading, with anything unreadable (NaN, huge) mapped to -1. */
int switchReading (double x) noexcept
{
    if (! (x > -1.0e9 && x < 1.0e9))
        return -1;
    return (int) std::floor (x);
}
} // namespace

void buildBlepTable (double (&table)[kBlepTableLength], RealFunction sine, RealFunction cosine) noexcept
{
    const ScopedIeeeArithmetic arithmetic; // built on whichever thread first needs it, in its mode
    double h[kBlepTableLength];
    double total = 0.0;
    for (int i = 0; i < kBlepTableLength; ++i)
    {
        const double x = (double) (i - kBlepTableLength / 2) / (double) kBlepOversampling;
        double w = 0.0;
        if (std::abs (x) < kWindowHalfWidthSamples)
            w = 0.42 + 0.5 * cosine (M_PI * x / 8.0) + 0.08 * cosine (M_PI * x / 4.0);
        h[i] = w * normalisedSinc (x, sine) - kPreStepHeight * w * normalisedSinc (x + kPreStepOffsetSamples, sine);
        total += h[i];
    }

    double running = 0.0;
    table[0] = 0.0;
    for (int i = 1; i < kBlepTableLength; ++i)
    {
        running += h[i - 1];
        table[i] = (double) (float) (running / total);
    }
}

const double* blepTable() noexcept
{
    struct Table
    {
        Table() noexcept { buildBlepTable (values); }
        double values[kBlepTableLength];
    };
    static const Table table;
    return table.values;
}

//==============================================================================
void BlepOscillator::setSampleRate (double rate) noexcept
{
    sampleRate = rate;
    inverseRate = 1.0 / rate;
}

namespace
{
/** Adds a band-limited step correction to a 16-tap ring. The saw's steps have amplitude 1, so
    its corrections are bit-identical to these with amplitude 1.0. */
void addBlepCorrection (double* ring, int ringPosition, const double* table, double offsetSamples, double amplitude) noexcept
{
    // Legitimate offsets lie in 0..1 (a hair above at most); this only stops a NaN or a huge value
    // from reaching the integer conversion.
    if (! (offsetSamples >= 0.0))
        offsetSamples = 0.0;
    else if (offsetSamples > 2.0)
        offsetSamples = 2.0;

    const double position = offsetSamples * kBlepOversampling;
    int index = (int) position;
    const double frac = position - (double) index;
    for (int i = 0; i < kBlepTaps; ++i)
    {
        if (index + 1 < kBlepTableLength)
            ring[(ringPosition + i) & (kBlepTaps - 1)]
                += (1.0 - (table[index] + frac * (table[index + 1] - table[index]))) * amplitude;
        index += kBlepOversampling;
    }
}
} // namespace

void BlepOscillator::addCorrection (double offsetSamples) noexcept
{
    addBlepCorrection (ring, ringPosition, table, offsetSamples, level);
}

// Inline into the section's render, which calls it twice per sample.
[[gnu::always_inline]] inline double BlepOscillator::process (double frequencyHz, double width, double newPhase) noexcept
{
    phase = newPhase;
    if (newPhase >= 1.0)
    {
        phase = newPhase - 1.0;
        level = 1.0;
        addCorrection (sampleRate / frequencyHz * (newPhase - 1.0));
    }

    // Squeeze the width so neither part of the cycle is shorter than about one sample.
    const double d = 1.0 - 2.0 * frequencyHz * inverseRate;
    const double threshold = (1.0 - d) * 0.5 + d * width;

    if (phase >= threshold && level == 1.0)
    {
        level = -1.0;
        double o = (phase - threshold) / (frequencyHz / sampleRate);
        if (o > 1.0)
            o = 1.0;
        addCorrection (o);
    }

    ring[ringPosition] = 0.0;
    ringPosition = (ringPosition + 1) & (kBlepTaps - 1);
    lastCorrection = ring[ringPosition];
    return lastCorrection - level * 0.5;
}

//==============================================================================
void BlepSaw::setSampleRate (double rate) noexcept
{
    sampleRate = rate;
    inverseRate = 1.0 / rate;
}

void BlepSaw::addCorrection (double offsetSamples) noexcept
{
    addBlepCorrection (ring, ringPosition, table, offsetSamples, 1.0);
}

[[gnu::always_inline]] inline double BlepSaw::process (double frequencyHz, double newPhase, double increment) noexcept
{
    phase = newPhase;
    if (newPhase >= 1.0)
    {
        phase = newPhase - 1.0;
        addCorrection (sampleRate / frequencyHz * (newPhase - 1.0));
    }

    ring[ringPosition] = 0.0;
    ringPosition = (ringPosition + 1) & (kBlepTaps - 1);
    lastCorrection = ring[ringPosition];
    // The offset keeps the ramp centred: the corrections lag the naive ramp.
    return phase + lastCorrection - 0.5 - 16.0 * increment * 0.45;
}

//==============================================================================
OscillatorSection::OscillatorSection (EngineSettings& s) noexcept : settings (s) {}

void OscillatorSection::setSampleRate (double rate) noexcept
{
    sampleRate = rate;
    inverseRate = 1.0 / rate;
    lastPitch = std::numeric_limits<double>::quiet_NaN();
    frequency = 0.0;
    pulse.setSampleRate (rate);
    saw.setSampleRate (rate);
    sub.setSampleRate (rate);
    noise.setSampleRate (rate);
}

double OscillatorSection::pulseWidth (double u, int mode, double envelope, double lfoTriangle) noexcept
{
    if (! (u > 0.0))
        return 0.5;
    switch (mode)
    {
        case 0: return u * envelope * 0.49 + 0.5005;
        case 1: return u * 0.47 + 0.5005;
        case 2: return (lfoTriangle + 1.0) * 0.245 * u + 0.5005;
        default: return 0.5;
    }
}

void OscillatorSection::render (double& out, double pitch, double envelope) noexcept
{
    const auto& s = settings;
    const auto& p = s.params;

    // Pitch and frequency.
    keyPitch = pitch + s.transposeSemis + s.modWheel * s.lfoSine * p[Param::CtrModulation] * 12.0;

    if (p[Param::CtrVco] != bendSlot)
    {
        bendSlot = p[Param::CtrVco];
        const float range = (float) (12.0 * bendSlot);
        bendRangeSemis = std::isfinite (range) ? std::floor ((double) range) : 0.0;
    }

    const double total = keyPitch + s.vcoModDepth * s.lfoOut + (p[Param::FineTune] - 0.5)
                         + bendRangeSemis * s.pitchBend + s.rangeSemis + drift;
    if (total != lastPitch)
    {
        lastPitch = total;
        const float x = ((float) total - 24.0f - 45.0f) * 0.0833333358168602f;
        frequency = (double) fastPow2 (x) * 440.0;
        if (frequency > sampleRate * 0.5)
            frequency = sampleRate * 0.5;
    }

    const double inc = inverseRate * frequency;
    phase += inc;
    halfPhase += inc * 0.5;
    quarterPhase += inc * 0.25;

    // Pulse width.
    if (p[Param::VcoPwmMode] != pwmModeSlot)
    {
        pwmModeSlot = p[Param::VcoPwmMode];
        pwmMode = switchReading (2.0 * pwmModeSlot + 0.5);
    }
    const double width = pulseWidth (p[Param::VcoPwm], pwmMode, envelope, s.lfoTriangle) * 0.992;

    // Generators.
    pulseOut = pulse.process (frequency, width, phase);
    sawOut = saw.process (frequency, phase, inc);
    if (s.subOscMode == 2)
        subOut = sub.process (frequency * 0.5, 0.5, halfPhase);
    else
        subOut = sub.process (frequency * 0.25, s.subOscPulseWidth, quarterPhase);

    // Phase wrap, with a new random pitch offset of up to +-0.007 semitone per cycle.
    if (phase >= 1.0)
    {
        drift = noise.nextWhite() * 0.007;
        phase -= 1.0;
    }
    if (halfPhase >= 1.0)
        halfPhase -= 1.0;
    if (quarterPhase >= 1.0)
        quarterPhase -= 1.0;

    // Noise.
    const double n = p[Param::WhiteNoise] > 0.5 ? noise.nextWhite() : noise.nextColoured();
    noiseOut = 2.0 * n;

    // Mix; with the noise floor on, a faint noise is always present.
    const double noiseLevel = p[Param::Noise] + (p[Param::NoiseFloor] != 0.0 ? 0.005 : 1e-9);
    double mix = p[Param::Saw] * sawOut * 1.2 + p[Param::Pulse] * pulseOut + p[Param::SubOsc] * subOut * 0.65
                 + noiseOut * noiseLevel;
    if (! (mix >= -kMixLimit))
        mix = mix != mix ? 0.0 : -kMixLimit;
    else if (mix > kMixLimit)
        mix = kMixLimit;
    out += mix;
}

//==============================================================================
void OscillatorSection::setVcoModulation (EngineSettings& s) noexcept
{
    double x = s.params[Param::VcoModulation];
    if (x < 0.2)
        x = 5.0 * square (x);
    if (x < 0.5)
        x = (exactmath::pow (exactmath::kBase10, 2.0 * x) - 1.0) / 9.0 * 0.5;
    double depth = (exactmath::pow (exactmath::kBase2, x) - 1.0) * 24.0;
    if (s.params[Param::VcoModSnap] > 0.5)
        depth = std::floor (depth + 0.5);
    s.vcoModDepth = depth;
}

void OscillatorSection::setSubOscMode (EngineSettings& s, double v) noexcept
{
    const int mode = switchReading (2.0 * v + 0.5);
    s.subOscMode = mode;
    s.subOscPulseWidth = mode == 0 ? 0.25 : 0.5;
}

void OscillatorSection::setRange (EngineSettings& s, double v) noexcept
{
    const int r = switchReading (3.0 * v + 0.5);
    if (r >= 0 && r <= 3)
        s.rangeSemis = -24.0 + 12.0 * r;
}

void OscillatorSection::setTranspose (EngineSettings& s, double v) noexcept
{
    const double y = 2.0 * v + 0.5;
    if (! (y > -1.0e9 && y < 1.0e9))
        return;
    const int t = (int) std::trunc (y);
    if (t >= 0 && t <= 2)
        s.transposeSemis = -12.0 + 12.0 * t;
}

void OscillatorSection::rest() noexcept
{
    pulse = BlepOscillator {};
    sub = BlepOscillator {};
    saw = BlepSaw {};
    phase = halfPhase = quarterPhase = 0.0;
    pulseOut = sawOut = subOut = noiseOut = 0.0;
    setSampleRate (sampleRate);
}
