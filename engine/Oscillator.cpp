#include "Oscillator.h"
#include "FastMath.h"
#include <cmath>

// Placeholder: a naive sawtooth until the band-limited section lands.
const double* blepTable() noexcept
{
    static double table[2048] {};
    return table;
}

void BlepOscillator::setSampleRate (double rate) noexcept { sampleRate = rate; inverseRate = 1.0 / rate; }
double BlepOscillator::process (double, double, double p) noexcept { phase = p; return 0.0; }
void BlepOscillator::addCorrection (double) noexcept {}
void BlepSaw::setSampleRate (double rate) noexcept { sampleRate = rate; inverseRate = 1.0 / rate; }
double BlepSaw::process (double, double p, double) noexcept { phase = p; return p - 0.5; }
void BlepSaw::addCorrection (double) noexcept {}

OscillatorSection::OscillatorSection (EngineSettings& s) noexcept : settings (s) {}

void OscillatorSection::setSampleRate (double rate) noexcept
{
    sampleRate = rate;
    inverseRate = 1.0 / rate;
    lastPitch = -1.0;
    frequency = 0.0;
}

void OscillatorSection::render (double& out, double pitch, double) noexcept
{
    keyPitch = pitch + settings.transposeSemis;
    const double total = keyPitch + settings.rangeSemis;
    frequency = 440.0 * std::pow (2.0, (total - 69.0) / 12.0);
    phase += inverseRate * frequency;
    if (phase >= 1.0)
        phase -= 1.0;
    sawOut = phase - 0.5;
    out += settings.params[Param::Saw] * sawOut * 1.2;
}

void OscillatorSection::setVcoModulation (EngineSettings&) noexcept {}
void OscillatorSection::setSubOscMode (EngineSettings& s, double v) noexcept
{
    const int mode = switchPosition (v, 3);
    s.subOscMode = mode;
    s.subOscPulseWidth = mode == 0 ? 0.25 : 0.5;
}
void OscillatorSection::setRange (EngineSettings& s, double v) noexcept
{
    const int r = switchPosition (v, 4);
    if (r >= 0 && r <= 3)
        s.rangeSemis = -24.0 + 12.0 * r;
}
void OscillatorSection::setTranspose (EngineSettings& s, double v) noexcept
{
    const int t = (int) std::trunc (2.0 * v + 0.5);
    if (t >= 0 && t <= 2)
        s.transposeSemis = -12.0 + 12.0 * t;
}
