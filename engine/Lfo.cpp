#include "Lfo.h"

// Placeholder until the LFO lands.
LfoWavetable::LfoWavetable (double rate) noexcept : sampleRate (rate > 0.0 ? rate : 44100.0) {}
Lfo::Lfo (double rate, EngineSettings& s) noexcept : table (rate), sampleRate (rate), settings (s) { updateRate(); }
void Lfo::setSampleRate (double rate) noexcept { sampleRate = rate; table.sampleRate = rate > 0.0 ? rate : 44100.0; updateRate(); }
void Lfo::updateRate() noexcept {}
void Lfo::setWaveform (double v) noexcept { waveform = switchPosition (v, 4); }
void Lfo::setInvert (double v) noexcept { invert = v >= 0.5 ? -1.0f : 1.0f; }
void Lfo::restart() noexcept { table.phase = 0.0; }
void Lfo::tick() noexcept {}
