#include "Lfo.h"
#include "ExactMath.h"
#include "IeeeArithmetic.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr int kTableSize = 256;
constexpr double kPhasePerCycle = 255.0;
constexpr double kNoiseScale = 1.7;

struct NoteValue
{
    const char* name;
    double factor, modifier; // rate = sixteenths per second x factor x modifier
};

constexpr double kTriplet = 1.3333333333;
constexpr double kDotted = 1.5;

constexpr NoteValue kNoteValues[32] = {
    { "16/1", 1.0 / 16.0, 1.0 / 16.0 },
    { "15/1", 1.0 / 16.0, 1.0 / 15.0 },
    { "14/1", 1.0 / 16.0, 1.0 / 14.0 },
    { "13/1", 1.0 / 16.0, 1.0 / 13.0 },
    { "12/1", 1.0 / 16.0, 1.0 / 12.0 },
    { "11/1", 1.0 / 16.0, 1.0 / 11.0 },
    { "10/1", 1.0 / 16.0, 1.0 / 10.0 },
    { "9/1", 1.0 / 16.0, 1.0 / 9.0 },
    { "8/1", 1.0 / 16.0, 1.0 / 8.0 },
    { "7/1", 1.0 / 16.0, 1.0 / 7.0 },
    { "6/1", 1.0 / 16.0, 1.0 / 6.0 },
    { "5/1", 1.0 / 16.0, 1.0 / 5.0 },
    { "4/1", 1.0 / 16.0, 1.0 / 4.0 },
    { "3/1", 1.0 / 16.0, 1.0 / 3.0 },
    { "2/1", 1.0 / 32.0, 1.0 },
    { "2/1T", 1.0 / 32.0, kTriplet },
    { "2/1.", 1.0 / 32.0, kDotted },
    { "1/1", 1.0 / 16.0, 1.0 },
    { "1/1T", 1.0 / 16.0, kTriplet },
    { "1/1.", 1.0 / 16.0, kDotted },
    { "1/2", 1.0 / 8.0, 1.0 },
    { "1/2T", 1.0 / 8.0, kTriplet },
    { "1/2.", 1.0 / 8.0, kDotted },
    { "1/4", 1.0 / 4.0, 1.0 },
    { "1/4T", 1.0 / 4.0, kTriplet },
    { "1/4.", 1.0 / 4.0, kDotted },
    { "1/8", 1.0 / 2.0, 1.0 },
    { "1/8T", 1.0 / 2.0, kTriplet },
    { "1/8.", 1.0 / 2.0, kDotted },
    { "1/16", 1.0, 1.0 },
    { "1/16T", 1.0, kTriplet },
    { "1/16.", 1.0, kDotted },
};
} // namespace

LfoWavetable::LfoWavetable (double rate) noexcept : sampleRate (rate > 0.0 ? rate : 44100.0)
{
    const ScopedIeeeArithmetic arithmetic; // built on the host's thread, in its mode
    noise.setSampleRate (sampleRate);

    // pi in single precision: 4 atan(1) as a float.
    constexpr double piSingle = 0x1.921fb6p+1;
    for (int i = 0; i <= kTableSize; ++i)
        sine[i] = (double) (float) exactmath::sin ((i / 256.0) * 2.0 * piSingle);

    constexpr int quarter = kTableSize / 4;
    for (int i = 0; i < quarter; ++i)
    {
        triangle[i] = (double) ((float) i / 64.0f);
        triangle[quarter + i] = (double) ((float) (quarter - i) / 64.0f);
        triangle[2 * quarter + i] = (double) ((float) -i / 64.0f);
        triangle[3 * quarter + i] = (double) ((float) (i - quarter) / 64.0f);
    }
    triangle[kTableSize] = 0.0;

    for (int i = 0; i <= kTableSize; ++i)
        square[i] = (i < kTableSize / 2 || i == kTableSize) ? 1.0 : -1.0;
}

//==============================================================================
Lfo::Lfo (double rate, EngineSettings& s) noexcept : table (rate), sampleRate (rate), settings (s)
{
    updateRate();
}

void Lfo::setSampleRate (double rate) noexcept
{
    sampleRate = rate;
    table.sampleRate = rate > 0.0 ? rate : 44100.0;
    updateRate();
}

double Lfo::freeRateHz (double v) noexcept
{
    return (exactmath::pow (exactmath::kBase30, v) - 1.0) * 29.98 * 0.034482758620689655 + 0.02;
}

bool Lfo::syncedRate (double v, double bpm, double& hz, const char*& name) noexcept
{
    const double position = 31.0 * v + 0.5;
    if (! (position >= 0.0 && position < 32.0))
        return false;
    const auto& note = kNoteValues[(int) position];
    const double sixteenthsPerSecond = bpm * 4.0 * 0.016666666666666666;
    hz = sixteenthsPerSecond * note.factor * note.modifier;
    name = note.name;
    return true;
}

void Lfo::updateRate() noexcept
{
    const auto& p = settings.params;
    if (p[Param::LfoSync] > 0.0)
    {
        const char* name = nullptr;
        if (syncedRate (p[Param::LfoRate], settings.tempoBpm, rateHz, name))
            rateReadout.set (rateHz, name);
    }
    else
    {
        rateHz = freeRateHz (p[Param::LfoRate]);
        rateReadout.set (rateHz);
    }

    table.increment = rateHz * 255.0 / table.sampleRate;
    // A runaway rate would make the phase infinite; a rate beyond one cycle per sample is noise.
    if (! std::isfinite (table.increment))
        table.increment = 0.0;
}

void Lfo::setWaveform (double v) noexcept
{
    const double position = 3.0 * v + 0.5;
    waveform = (position >= 0.0 && position < 4.0) ? (int) position : -1;
}

void Lfo::setInvert (double v) noexcept { invert = v >= 0.5 ? -1.0f : 1.0f; }

double Lfo::randomHold() noexcept
{
    // Uniform in -1..+1, in single precision.
    const float r = (float) settings.random.next();
    return (double) ((r * 3.0518509447574615e-05f - 0.5f) * 2.0f);
}

void Lfo::restart() noexcept
{
    table.phase = 0.0;
    table.holdValue = randomHold();
}

void Lfo::wrapPhase() noexcept
{
    auto& t = table;
    if (t.phase > kPhasePerCycle)
        t.phase -= kPhasePerCycle;
    // Only rates beyond one cycle per sample, or negative ones, need more than one step.
    if (! (t.phase <= kPhasePerCycle && t.phase >= 0.0))
    {
        t.phase -= kPhasePerCycle * std::floor (t.phase / kPhasePerCycle);
        if (! (t.phase <= kPhasePerCycle && t.phase >= 0.0))
            t.phase = 0.0;
    }
}

double Lfo::otherWaveform() noexcept
{
    auto& t = table;
    switch (waveform)
    {
        case 1: return t.square[t.index] * (1.0 - t.fraction) + t.square[t.index + 1] * t.fraction;
        case 2:
            if (t.wrapped)
                t.holdValue = randomHold();
            return t.holdValue;
        default: return t.noise.nextColoured() * kNoiseScale;
    }
}
