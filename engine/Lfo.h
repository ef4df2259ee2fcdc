#pragma once

#include "EngineSettings.h"
#include "RateReadout.h"
#include "NoiseSource.h"

/** The LFO's tables and phase: one cycle spans 255 phase units over 256-interval tables. */
struct LfoWavetable
{
    explicit LfoWavetable (double rate) noexcept;

    double phase = 0.0, output = 0.0, triangleValue = 0.0, sineValue = 0.0;
    bool wrapped = false;
    double increment = 0.0, sampleRate = 44100.0, holdValue = 0.0;
    NoiseSource noise;
    // Single-precision values, held widened so the per-sample lookup needs no conversion.
    double sine[257], triangle[257], square[257];
    int index = 0;
    double fraction = 0.0;
};

/** The global LFO: free or tempo-synced, four waveforms, publishes its values each sample. */
class Lfo
{
public:
    Lfo (double sampleRate, EngineSettings& s) noexcept;

    void setSampleRate (double rate) noexcept;
    void updateRate() noexcept;
    void setWaveform (double v) noexcept;
    void setInvert (double v) noexcept;
    void restart() noexcept;

    /** Advances one sample and publishes lfoOut, lfoTriangle, lfoSine and lfoWrapped. Inline: it
        runs every sample even in silence, where a call costs as much as the work. */
    void tick() noexcept
    {
        auto& t = table;
        bool wrapped = false;
        if (! (t.phase <= 255.0 && t.phase >= 0.0)) // once a cycle, or a runaway rate
        {
            wrapPhase();
            wrapped = true;
        }

        const int i = (int) t.phase;
        const double fraction = t.phase - i;
        t.index = i;
        t.fraction = fraction;
        t.wrapped = wrapped;
        t.phase += t.increment;

        const double triangle = t.triangle[i] * (1.0 - fraction) + t.triangle[i + 1] * fraction;
        const double sine = t.sine[i] * (1.0 - fraction) + t.sine[i + 1] * fraction;
        t.triangleValue = triangle;
        t.sineValue = sine;
        t.output = waveform == 0 ? triangle : otherWaveform();

        output = t.output * invert;
        settings.lfoOut = output;
        settings.lfoTriangle = triangle;
        settings.lfoSine = sine;
        settings.lfoWrapped = wrapped;
    }

    /** n ticks in a row where nothing reads the LFO until after the last: only the last one
        publishes. Same state afterwards, as long as the waveform draws nothing per tick. */
    void skip (int n) noexcept
    {
        if (n <= 0)
            return;
        auto& t = table;
        for (int i = 1; i < n; ++i)
        {
            if (! (t.phase <= 255.0 && t.phase >= 0.0))
                wrapPhase();
            t.phase += t.increment;
        }
        tick();
    }

    /** Triangle and square only look up tables; sample-and-hold and noise draw numbers. */
    bool drawsNothing() const noexcept { return waveform == 0 || waveform == 1; }

    /** Text of the current rate ("0.50", "1/16T"), for the thread that shows it. */
    std::string getRateText() const { return rateReadout.text(); }

    /** The free-running rate for an "LFO Rate" value: 0.02 Hz at 0 to 30 Hz at 1. */
    static double freeRateHz (double v) noexcept;

    /** The tempo-synced rate for an "LFO Rate" value; false (and nothing written) when the value
        reads outside the 32 note values. */
    static bool syncedRate (double v, double bpm, double& rateHz, const char*& name) noexcept;

    LfoWavetable table;
    double output = 0.0;
    int waveform = 0;
    float invert = 1.0f;
    double sampleRate = 44100.0;
    double rateHz = 1.0;
    RateReadout rateReadout;

private:
    double randomHold() noexcept;
    void wrapPhase() noexcept;
    double otherWaveform() noexcept;

    EngineSettings& settings;
};
