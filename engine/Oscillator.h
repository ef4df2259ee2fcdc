#pragma once

#include "EngineSettings.h"
#include "ExactMath.h"
#include "NoiseSource.h"

#include <limits>

/** The shared band-limited step, 16 samples at 128 phases. Built once, on first use, by
    buildBlepTable. */
const double* blepTable() noexcept;

constexpr int kBlepOversampling = 128;
constexpr int kBlepTaps = 16;
constexpr int kBlepTableLength = kBlepOversampling * kBlepTaps;

/** A Blackman-windowed integrated sinc step of height 1.1 minus one of height 0.1 two samples
    earlier, under one window, normalised to end at 1. The small pre-step gives the dip before the
    transition that a symmetric windowed sinc lacks. Each entry is rounded to single precision.
    The sine and cosine are the engine's own (a reference can be put in their place). */
using RealFunction = double (*) (double) noexcept;
void buildBlepTable (double (&table)[kBlepTableLength], RealFunction sine = exactmath::sin,
                     RealFunction cosine = exactmath::cos) noexcept;

/** Band-limited pulse (also the sub-oscillator): -0.5 from the wrap to the width threshold, +0.5
    after it; both edges are corrected from the step table through a 16-sample ring. */
class BlepOscillator
{
public:
    void setSampleRate (double rate) noexcept;
    double process (double frequencyHz, double width, double newPhase) noexcept;

    double phase = 0.0, level = 1.0, lastCorrection = 0.0;

private:
    void addCorrection (double offsetSamples) noexcept;

    const double* table = blepTable();
    double sampleRate = 44100.0, inverseRate = 1.0 / 44100.0;
    double ring[kBlepTaps] {};
    int ringPosition = 0;
};

/** Band-limited rising sawtooth; its corrections always have amplitude +1. */
class BlepSaw
{
public:
    void setSampleRate (double rate) noexcept;
    double process (double frequencyHz, double newPhase, double increment) noexcept;

    double phase = 0.0, lastCorrection = 0.0;

private:
    void addCorrection (double offsetSamples) noexcept;

    const double* table = blepTable();
    double sampleRate = 44100.0, inverseRate = 1.0 / 44100.0;
    double ring[kBlepTaps] {};
    int ringPosition = 0;
};

/** One voice's oscillators: pulse with PWM, saw, sub-oscillator and noise, mixed. */
class OscillatorSection
{
public:
    explicit OscillatorSection (EngineSettings& s) noexcept;

    void setSampleRate (double rate) noexcept;

    /** Phases, outputs and correction rings back to rest. */
    void rest() noexcept;

    /** Adds the mixed sample to out. pitch = portamento output x detune (semitones, 69 = 440 Hz);
        envelope = filter envelope level, for envelope PWM. */
    void render (double& out, double pitch, double envelope) noexcept;

    // Setters behind the oscillator parameters; they write the shared settings.
    static void setVcoModulation (EngineSettings& s) noexcept;
    static void setSubOscMode (EngineSettings& s, double v) noexcept;
    static void setRange (EngineSettings& s, double v) noexcept;
    static void setTranspose (EngineSettings& s, double v) noexcept;

    /** The pulse width before the 0.992 squeeze, for PWM setting u, mode and inputs. */
    static double pulseWidth (double u, int mode, double envelope, double lfoTriangle) noexcept;

    double phase = 0.0, halfPhase = 0.0, quarterPhase = 0.0;
    double drift = 0.0;
    // NaN, so the first sample after a rate change always computes the frequency, whatever the pitch.
    double lastPitch = std::numeric_limits<double>::quiet_NaN();
    double frequency = 0.0;
    double keyPitch = 60.0;
    double pulseOut = 0.0, sawOut = 0.0, subOut = 0.0, noiseOut = 0.0;

private:
    EngineSettings& settings;
    BlepOscillator pulse, sub;
    BlepSaw saw;
    NoiseSource noise;
    double sampleRate = 44100.0, inverseRate = 1.0 / 44100.0;

    // Switch positions and the bend range change only with their parameters; the cache keeps
    // floor() out of the per-sample path.
    double pwmModeSlot = std::numeric_limits<double>::quiet_NaN(), bendSlot = std::numeric_limits<double>::quiet_NaN();
    int pwmMode = 0;
    double bendRangeSemis = 0.0;
};
