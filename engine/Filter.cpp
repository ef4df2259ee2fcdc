#include "Filter.h"
#include "ExactMath.h"
#include "FastMath.h"
#include "FilterLadder.h"
#include "Oscillator.h"

namespace
{
const float kLog2Of5500 = fastLog2 (5500.0f);
const float kLog2Of2 = fastLog2 (2.0f);

// Below about 770 Hz the usual ceiling would let tan () pass its pole; the cap keeps the stage gain
// positive and finite there.
constexpr double kMaxCutoffOverRate = 0.45;

// The key pitch is a note number; this far outside MIDI's range it means a broken input.
constexpr double kKeyPitchLimit = 1.0e4;

inline double clampFinite (double x, double low, double high) noexcept
{
    if (! (x >= low)) // NaN lands on the low end as well
        return low;
    return x > high ? high : x;
}
} // namespace

//==============================================================================
double ladder::runBaseline (FilterCore& core, Decimator& decimator, double x) noexcept
{
    return run<0> (core, decimator, x);
}

namespace
{
// Chosen once; the test switch only ever narrows it to the baseline.
const bool avxUsable = ladder::avxAvailable();
bool avxAllowed = true;
bool useAvx = avxUsable;
} // namespace

void FilterCore::useWideInstructions (bool allowed) noexcept
{
    avxAllowed = allowed;
    useAvx = avxUsable && avxAllowed;
}

bool FilterCore::usesWideInstructions() noexcept { return useAvx; }

void FilterCore::runOversampled (VoiceFilter* const* filters, const double* inputs, double* outputs, int count) noexcept
{
    if (useAvx)
        ladder::runManyAvx (filters, inputs, outputs, count);
    else
        ladder::runMany<0> (filters, inputs, outputs, count);
}

double FilterCore::runOversampled (double x, Decimator& decimator) noexcept
{
    return useAvx ? ladder::runAvx (*this, decimator, x) : ladder::runBaseline (*this, decimator, x);
}

//==============================================================================
void FilterCore::setSampleRate (double rate) noexcept
{
    sampleRate = rate;
    maxFrequency = (rate * 0.5 + 1000.0) / 4.0;
    if (maxFrequency > rate * kMaxCutoffOverRate)
        maxFrequency = rate * kMaxCutoffOverRate;
    s1 = s2 = s3 = s4 = 0.0;
    lastControl = std::numeric_limits<double>::quiet_NaN();
}

void FilterCore::updateCutoff (double control, double resonance, double fm) noexcept
{
    if (control == lastControl && resonance == lastResonance && fm == lastFm && keyPitch == lastKeyPitch
        && keyFollow == lastKeyFollow && volumeCompensation == lastVolumeCompensation)
        return;
    lastControl = control;
    lastResonance = resonance;
    lastFm = fm;
    lastKeyPitch = keyPitch;
    lastKeyFollow = keyFollow;
    lastVolumeCompensation = volumeCompensation;

    // fastPow2 holds its input, so a runaway control value still gives a finite, positive cutoff.
    const double f1 = (double) fastPow2 ((float) ((control + 0.15) * (double) kLog2Of5500)) / oversampling;
    const double q = 12.0 * (double) fastLog2 ((float) (f1 * 0.0022727272727272726 * 0.0625)) / (double) kLog2Of2 + 45.0;
    const double semis = (1.0 - keyFollow) * (q + 36.0) + keyFollow * (q + keyPitch) + 48.0 * fm - 33.0;
    const double f2 = 440.0 * (double) fastPow2 ((float) (semis * 0.0833333333333333 * (double) kLog2Of2));

    frequency = f2;
    const double r = f2 / maxFrequency;
    damping = r <= 0.35 ? 0.0 : ((r < 0.7 ? r : 0.7) - 0.35) * 0.6;
    if (frequency > maxFrequency)
        frequency = maxFrequency;
    if (frequency < 0.0)
        frequency = 0.0;

    g = (double) fastTan ((float) (frequency / sampleRate * 3.1415927410125732));
    k = (resonance - damping * resonance) * 5.714285714285714;
    inputScale = 1.0 - (1.0 - pow5 (1.0 - resonance)) * damping * 0.37;

    const double base = (resonance * 0.8500000238418579 + 0.550000011920929) * 0.065;
    inputGain = volumeCompensation ? VoiceFilter::volumeCompensationFactor (resonance) * base : base;
}

//==============================================================================
VoiceFilter::VoiceFilter (EngineSettings& s) noexcept : settings (s) {}

void VoiceFilter::setSampleRate (double rate) noexcept
{
    core.setSampleRate (rate);
    keySmoother.setSampleRate (rate);
}

double VoiceFilter::volumeCompensationFactor (double resonance) noexcept
{
    return 1.75 - std::abs (resonance - 0.5) * 1.5;
}

void VoiceFilter::process (double& sample, double velocity, double filterEnvelopeLevel, const OscillatorSection& osc) noexcept
{
    prepare (velocity, filterEnvelopeLevel, osc);
    // Zero-stuffed 4x run; the decimator's first output of the four is the base-rate sample.
    sample = core.runOversampled (sample, decimator);
}

void VoiceFilter::prepare (double velocity, double filterEnvelopeLevel, const OscillatorSection& osc) noexcept
{
    auto& s = settings;
    const auto& p = s.params;

    // Control value.
    const double target = p[Param::VcfCutoff] + s.pitchBend * p[Param::CtrFilter];
    double cutoff = target;
    if (s.cutoffSmootherPrimed)
        cutoff = s.cutoffSmoother.tick (target);
    else
        s.cutoffSmoother.value = target;
    s.cutoffSmootherPrimed = true;

    cutoff = cutoff + s.lfoOut * p[Param::VcfModulation];
    const double envAmount = p[Param::VelocityVcfEnvelope] * velocity + s.filterEnvAmount;
    const double control = cutoff + filterEnvelopeLevel * envAmount;

    // Audio-rate FM from one oscillator output.
    double fm = 0.0;
    if (s.fmIntensitySmoothed > 0.0)
    {
        double source = 0.0;
        if (p[Param::FmPulse] > 0.5)
            source = osc.pulseOut;
        else if (p[Param::FmSaw] > 0.5)
            source = osc.sawOut;
        else if (p[Param::FmSubOsc] > 0.5)
            source = osc.subOut;
        else if (p[Param::FmNoise] > 0.5)
            source = osc.noiseOut;
        if (source != 0.0)
            fm = source * square (s.fmIntensitySmoothed);
    }
    fmSmoothed = fm != 0.0 ? (3.0 * fm + fmSmoothed) * 0.25 : 0.0;

    core.keyPitch = keySmoother.tick (clampFinite (osc.keyPitch - 12.0, -kKeyPitchLimit, kKeyPitchLimit));
    core.keyFollow = s.keyFollowSmoothed;
    core.volumeCompensation = s.volumeCompensation;

    // Resonance outside 0..1 only comes from out-of-range values; beyond 1 the loop would run away.
    const double resonance = clampFinite (s.resonance, 0.0, 1.0);

    core.updateCutoff (control, resonance, fmSmoothed);
}

void VoiceFilter::setFilterEnvelopeAmount (EngineSettings& s, double envelope) noexcept
{
    s.filterEnvAmount = (exactmath::pow (exactmath::kBase2, envelope) - 1.0) * (s.params[Param::VcfEnvelopeRange] != 0.0 ? 1.0 : 0.63);
}
