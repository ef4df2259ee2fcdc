#pragma once

#include "EngineSettings.h"

/** The host's transport as the clock needs it (filled by the processor from the play head). */
struct HostPosition
{
    double bpm = 120.0;
    int numerator = 4, denominator = 4;
    double ppqPosition = 0.0;
    bool isPlaying = false;
};

/** Fires the steps of the arpeggiator and sequencer: free, tempo-synced, host-locked, MIDI clock
    or channel-16 triggers, with swing and step length. */
class StepClock
{
public:
    StepClock (double sampleRate, EngineSettings& s) noexcept;

    void setSampleRate (double rate) noexcept;
    bool tick (double swingDelay) noexcept;

    void setFreeRate (double v) noexcept;
    void setSyncedRate (double v, double bpm) noexcept;
    void updateClockRate (double tempoValue) noexcept;
    void setSyncMode (double v) noexcept;
    void setMainSyncMode (double v) noexcept;
    void syncToHost (const HostPosition& position) noexcept;
    void midiStart() noexcept;
    void midiClockTick() noexcept;
    void externalTick() noexcept { externalTickPending = true; }
    void startPhrase() noexcept;

    const char* getRateText() const noexcept { return rateText; }

    double phase = 1.0, increment = 0.0, sampleRate = 44100.0;
    double rateMultiplier = 1.0, syncModeFactor = 1.0, bpm = 120.0, stepsPerBeat = 4.0;
    bool externalMode = false, externalTickPending = false, hostWrapPending = false;
    bool synced = false, hostMode = false, skipNextWrap = false;
    int midiClockCounter = 0;
    char rateText[16] = "-";
    bool gateReleased = false, stepPending = false;
    double sinceWrap = 0.0, sinceStep = 0.0;

private:
    EngineSettings& settings;
};
