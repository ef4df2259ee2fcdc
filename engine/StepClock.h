#pragma once

#include "EngineSettings.h"
#include "RateReadout.h"

/** The host's transport as the clock needs it (filled by the processor from the play head). */
struct HostPosition
{
    double bpm = 120.0;
    int numerator = 4, denominator = 4;
    double ppqPosition = 0.0;
    bool isPlaying = false;
};

/** Fires the steps of the arpeggiator and sequencer: free, tempo-synced, host-locked, MIDI clock
    or channel-16 triggers, with swing and step length.

    phase and sinceStep/sinceWrap are measured in steps; increment is steps per sample. */
class StepClock
{
public:
    StepClock (double sampleRate, EngineSettings& s) noexcept;

    void setSampleRate (double rate) noexcept;

    /** Advances one sample; true when a step fires on it. swingDelay is in steps. */
    bool tick (double swingDelay) noexcept;

    /** v 0..1 gives 1 to 25 steps per second. */
    void setFreeRate (double v) noexcept;
    /** v picks 1/8, 1/16, 1/32 or 1/64 notes of bpm, scaled by the sync-mode factor. */
    void setSyncedRate (double v, double bpm) noexcept;
    /** "SEQ Sync" / "SEQ Tempo": synced to the engine tempo or free. */
    void updateClockRate (double tempoValue) noexcept;
    /** "ARP / SEQ Sync Mode": straight, triplet or dotted. The caller re-applies the rate. */
    void setSyncMode (double v) noexcept;
    /** "Main Sync Mode": MIDI clock and channel-16 triggers replace the internal clock. */
    void setMainSyncMode (double v) noexcept;
    /** Once per block in "Host" mode: re-locks the phase to the host's song position. */
    void syncToHost (const HostPosition& position) noexcept;
    /** MIDI Start or Continue. */
    void midiStart() noexcept;
    /** MIDI timing clock, 24 per quarter note. */
    void midiClockTick() noexcept;
    /** A channel-16 trigger note. */
    void externalTick() noexcept { externalTickPending = true; }
    /** The first key of a phrase went down. */
    void startPhrase() noexcept;

    /** Text of the current rate ("8.08", "1/16"), for the thread that shows it. */
    std::string getRateText() const { return rateReadout.text(); }

    /** Clocks per step at the current rate multiplier (12, 6, 3 or 2). */
    int midiClocksPerStep() const noexcept;

    double phase = 1.0, increment = 0.0, sampleRate = 44100.0;
    double rateMultiplier = 1.0, syncModeFactor = 1.0, bpm = 120.0, stepsPerBeat = 4.0;
    bool externalMode = false, externalTickPending = false, hostWrapPending = false;
    bool synced = false, hostMode = false, skipNextWrap = false;
    int midiClockCounter = 0;
    RateReadout rateReadout;
    bool gateReleased = false, stepPending = false;
    double sinceWrap = 0.0, sinceStep = 0.0;
    // Host mode: the clock's own count of the host position in steps, from the last re-lock on,
    // and whether that count follows on from a playing host.
    double hostSteps = 0.0;
    bool hostLocked = false;

private:
    bool isMainSyncMode (int position) const noexcept;

    EngineSettings& settings;
    // The last rate setting, so a sample-rate change can recompute the increment at once.
    double freeValue = 0.5, syncedValue = 0.0;
};
