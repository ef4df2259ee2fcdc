#pragma once

#include "EngineSettings.h"

#include <limits>

class OscillatorSection;
class VoiceFilter;

/** Fixed 6th-order low-pass (three biquads) that brings the 4x filter back to the base rate. */
struct Decimator
{
    struct Section { double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0; };
    Section sections[3];
    double last = 0.0;

    // Single-precision values held as doubles; b2 = b0.
    static constexpr double b0 = 0.14321404695510864;
    static constexpr double b1[3] = { -0.08546087145805359, -0.009697183966636658, 0.2094706892967224 };
    static constexpr double a1[3] = { -1.3251558542251587, -1.3053852319717407, -1.3386529684066772 };
    static constexpr double a2[3] = { 0.8829917907714844, 0.6577697992324829, 0.48057588934898376 };

};

/** Four-stage non-linear ladder, solved without delay in the feedback loop (trapezoidal
    integrators, stage gains that fall with the stage's drive). Frequencies are kept divided by the
    oversampling factor so that tan (pi f / base rate) pre-warps for the 4x rate. */
class FilterCore
{
public:
    void setSampleRate (double rate) noexcept;

    /** Once per base-rate sample: cutoff, feedback and input gains from the control value (about
        0..1 for 3.6 Hz..20 kHz before key follow), the resonance (0..1) and the FM input. */
    void updateCutoff (double control, double resonance, double fm) noexcept;

    /** One base-rate sample: the input scaled by inputScale and three zeros through the ladder,
        the four outputs through the decimator; returns its output for the first of them. */
    double runOversampled (double x, Decimator& decimator) noexcept;

    /** The same for several voices' filters at once, side by side in vector lanes (same bits as one
        by one). */
    static void runOversampled (VoiceFilter* const* filters, const double* inputs, double* outputs, int count) noexcept;

    double sampleRate = 44100.0, oversampling = 4.0, maxFrequency = (44100.0 * 0.5 + 1000.0) / 4.0;
    double frequency = 0.0, keyPitch = 0.0, keyFollow = 0.0;
    bool volumeCompensation = false;
    double previousInput = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0;
    double g = 400.0, k = 0.0;
    double inputScale = 1.0;   // resonance and level fall as the cutoff nears the top
    double inputGain = 0.065;  // the drive into the ladder, with volume compensation
    double damping = 0.0;

    /** The ladder run uses the wider instruction set when the processor has it (same bits either
        way); tests switch it off to compare. */
    static void useWideInstructions (bool allowed) noexcept;
    static bool usesWideInstructions() noexcept;

private:
    // The inputs the coefficients were last computed from: a held note with a still cutoff skips
    // the fast-maths chain, which otherwise sits in front of every sample's ladder run.
    double lastControl = std::numeric_limits<double>::quiet_NaN(), lastResonance = 0.0, lastFm = 0.0;
    double lastKeyPitch = 0.0, lastKeyFollow = 0.0;
    bool lastVolumeCompensation = false;
};

/** A voice's filter: control value, FM, key follow, the 4x run and the decimator. */
class VoiceFilter
{
public:
    explicit VoiceFilter (EngineSettings& s) noexcept;

    void setSampleRate (double rate) noexcept;
    void process (double& sample, double velocity, double filterEnvelopeLevel, const OscillatorSection& osc) noexcept;

    /** process up to the 4x run: control value, FM, key follow and the cutoff. */
    void prepare (double velocity, double filterEnvelopeLevel, const OscillatorSection& osc) noexcept;

    static void setFilterEnvelopeAmount (EngineSettings& s, double envelope) noexcept;

    /** Input gain factor of "VCF Volume Comp": 1.75 at resonance 0.5, 1 at 0 and 1. */
    static double volumeCompensationFactor (double resonance) noexcept;

    FilterCore core;
    Decimator decimator;
    ParamSmoother keySmoother { 4.0, 44100.0 };
    double fmSmoothed = 0.0;

private:
    EngineSettings& settings;
};
