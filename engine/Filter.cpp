#include "Filter.h"
#include "FastMath.h"
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

struct Biquad { double b0, b1, a1, a2; }; // b2 = b0
constexpr Biquad kDecimatorSections[3] = {
    { 0.14321404695510864, -0.08546087145805359, -1.3251558542251587, 0.8829917907714844 },
    { 0.14321404695510864, -0.009697183966636658, -1.3053852319717407, 0.6577697992324829 },
    { 0.14321404695510864, 0.2094706892967224, -1.3386529684066772, 0.48057588934898376 },
};

inline double stageFactor (double a) noexcept
{
    return ((a + 105.0) * a + 200.0) / ((6.0 * a + 220.0) * a + 200.0);
}

inline double clampFinite (double x, double low, double high) noexcept
{
    if (! (x >= low)) // NaN lands on the low end as well
        return low;
    return x > high ? high : x;
}
} // namespace

double Decimator::process (double x) noexcept
{
    for (int i = 0; i < 3; ++i)
    {
        const auto& c = kDecimatorSections[i];
        auto& st = sections[i];
        const double y = c.b0 * x + c.b1 * st.x1 + c.b0 * st.x2 - c.a1 * st.y1 - c.a2 * st.y2;
        st.x2 = st.x1;
        st.x1 = x;
        st.y2 = st.y1;
        st.y1 = y;
        x = y;
    }
    last = x;
    return x;
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

double FilterCore::tick (double x) noexcept
{
    const double in = inputGain * x;

    const double u = 2.0 * (in + previousInput) + 28.0 * k * s4 + 0.14;
    const double t = (square (u) + 50.0) / (15.0 * square (u) + 50.0);
    previousInput = in;

    const double n1 = stageFactor (pow4 (0.14 - (0.6 * t - s1)));
    const double n2 = stageFactor (pow4 (0.14 - (0.6 * s1 - s2)));
    const double n3 = stageFactor (pow4 (0.14 - (0.6 * s2 - s3)));
    const double n4 = stageFactor (pow4 (0.14 - (0.6 * s3 - s4)));

    const double G1 = g * n1, G2 = g * n2, G3 = g * n3, G4 = g * n4;
    const double d1 = 1.0 / (G1 + 1.0), d2 = 1.0 / (G2 + 1.0), d3 = 1.0 / (G3 + 1.0), d4 = 1.0 / (G4 + 1.0);
    const double h1 = G1 * d1, h2 = G2 * d2, h3 = G3 * d3, h4 = G4 * d4;

    // Solve the feedback loop for the output, then run the stages forward.
    const double P = t * h1 * h2 * h3 * h4;
    const double S = s1 * d1 * h2 * h3 * h4 + s2 * d2 * h3 * h4 + s3 * d3 * h4 + s4 * d4;
    const double y = (P * in + S) / (1.0 + k * P);

    const double z0 = (in - k * y) * t;
    const double z1 = (G1 * z0 + s1) * d1;
    const double z2 = (G2 * z1 + s2) * d2;
    const double z3 = (G3 * z2 + s3) * d3;

    s1 += 2.0 * G1 * (z0 - z1);
    s2 += 2.0 * G2 * (z1 - z2);
    s3 += 2.0 * G3 * (z2 - z3);
    s4 += 2.0 * G4 * (z3 - y);
    return y;
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

    // Zero-stuffed 4x run; the decimator's first output of the four is the base-rate sample.
    const double out = decimator.process (core.process (sample, true, control, resonance, fmSmoothed));
    decimator.process (core.tick (0.0));
    decimator.process (core.tick (0.0));
    decimator.process (core.tick (0.0));
    sample = out;
}

void VoiceFilter::setFilterEnvelopeAmount (EngineSettings& s, double envelope) noexcept
{
    s.filterEnvAmount = (std::pow (2.0, envelope) - 1.0) * (s.params[Param::VcfEnvelopeRange] != 0.0 ? 1.0 : 0.63);
}
