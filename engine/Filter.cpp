#include "Filter.h"
#include "Oscillator.h"
#include <cmath>

// Placeholder: pass-through until the ladder lands.
double Decimator::process (double x) noexcept { last = x; return x; }
void FilterCore::setSampleRate (double rate) noexcept { sampleRate = rate; maxFrequency = (rate * 0.5 + 1000.0) / 4.0; s1 = s2 = s3 = s4 = 0.0; }
double FilterCore::process (double x, bool, double, double, double) noexcept { return x; }
VoiceFilter::VoiceFilter (EngineSettings& s) noexcept : settings (s) {}
void VoiceFilter::setSampleRate (double rate) noexcept { core.setSampleRate (rate); keySmoother.setSampleRate (rate); }
void VoiceFilter::process (double&, double, double, const OscillatorSection&) noexcept {}
void VoiceFilter::setFilterEnvelopeAmount (EngineSettings& s, double envelope) noexcept
{
    s.filterEnvAmount = (std::pow (2.0, envelope) - 1.0) * (s.params[Param::VcfEnvelopeRange] != 0.0 ? 1.0 : 0.63);
}
