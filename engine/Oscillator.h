#pragma once

#include "EngineSettings.h"
#include "NoiseSource.h"

/** The shared band-limited step: 16 samples at 128 phases. Built once, on first use. */
const double* blepTable() noexcept;

/** Band-limited pulse (also the sub-oscillator). */
class BlepOscillator
{
public:
    void setSampleRate (double rate) noexcept;
    double process (double frequency, double width, double phase) noexcept;

    double phase = 0.0, level = 1.0, lastCorrection = 0.0;

private:
    void addCorrection (double offset) noexcept;

    const double* table = blepTable();
    double sampleRate = 44100.0, inverseRate = 1.0 / 44100.0;
    double ring[16] {};
    int ringPosition = 0;
};

/** Band-limited sawtooth; its corrections always have amplitude +1. */
class BlepSaw
{
public:
    void setSampleRate (double rate) noexcept;
    double process (double frequency, double phase, double increment) noexcept;

    double phase = 0.0, lastCorrection = 0.0;

private:
    void addCorrection (double offset) noexcept;

    const double* table = blepTable();
    double sampleRate = 44100.0, inverseRate = 1.0 / 44100.0;
    double ring[16] {};
    int ringPosition = 0;
};

/** One voice's oscillators: pulse with PWM, saw, sub-oscillator and noise, mixed. */
class OscillatorSection
{
public:
    explicit OscillatorSection (EngineSettings& s) noexcept;

    void setSampleRate (double rate) noexcept;

    /** Adds the mixed sample to out. pitch = portamento output x detune; envelope = filter envelope. */
    void render (double& out, double pitch, double envelope) noexcept;

    // Setters behind the oscillator parameters; they write the shared settings.
    static void setVcoModulation (EngineSettings& s) noexcept;
    static void setSubOscMode (EngineSettings& s, double v) noexcept;
    static void setRange (EngineSettings& s, double v) noexcept;
    static void setTranspose (EngineSettings& s, double v) noexcept;

    double phase = 0.0, halfPhase = 0.0, quarterPhase = 0.0;
    double drift = 0.0, lastPitch = -1.0, frequency = 0.0;
    double keyPitch = 60.0;
    double pulseOut = 0.0, sawOut = 0.0, subOut = 0.0, noiseOut = 0.0;

private:
    EngineSettings& settings;
    BlepOscillator pulse, sub;
    BlepSaw saw;
    NoiseSource noise;
    double sampleRate = 44100.0, inverseRate = 1.0 / 44100.0;
};
