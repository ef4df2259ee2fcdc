#include "StepClock.h"
#include "ExactMath.h"

#include <cmath>

namespace
{
// Main Sync Mode positions.
constexpr int kMidiClockSync = 2;
constexpr int kExternalTriggerSync = 3;

constexpr double kMinStepsPerSecond = 1.0;
constexpr double kStepsPerSecondRange = 24.0;
constexpr const exactmath::PowBase& kFreeTempoCurveBase = exactmath::kBase20;
constexpr double kMidiClocksPerSixteenth = 6.0;

constexpr double kSyncModeFactors[3] = { 1.0, 0.6666666666666666, 0.75 };

// Between two blocks the clock's own count and the host's position differ only by rounding and
// tempo ramps within a block; anything further apart is the host jumping (loop, relocation, start).
constexpr double kContinuityWindowSteps = 0.25;
} // namespace

StepClock::StepClock (double rate, EngineSettings& s) noexcept : sampleRate (rate), settings (s)
{
    setFreeRate (0.5);
}

void StepClock::setSampleRate (double rate) noexcept
{
    sampleRate = rate;
    if (synced)
        setSyncedRate (syncedValue, bpm);
    else
        setFreeRate (freeValue);
}

bool StepClock::isMainSyncMode (int position) const noexcept
{
    return switchPosition (settings.params[Param::MainSyncMode], 4) == position;
}

bool StepClock::tick (double swingDelay) noexcept
{
    // A boundary the host crossed between two blocks counts as a wrap on this sample.
    bool wrapped = hostWrapPending;
    hostWrapPending = false;

    if (externalMode && synced)
    {
        if (! externalTickPending)
            return false;
        externalTickPending = false;
        gateReleased = true; // each note lasts until the next trigger
        return true;
    }

    sinceStep += increment;
    phase += increment;
    hostSteps += increment;
    if (phase >= 1.0)
    {
        phase -= 1.0;
        wrapped = true;
    }

    if (wrapped)
    {
        if (skipNextWrap && hostMode)
        {
            skipNextWrap = false;
        }
        else
        {
            stepPending = true;
            sinceWrap = 0.0;
        }
    }

    if (stepPending)
    {
        sinceWrap += increment;
        if (sinceWrap >= swingDelay)
        {
            gateReleased = false;
            stepPending = false;
            sinceWrap = 0.0;
            sinceStep = 0.0;
            return true;
        }
    }
    return false;
}

void StepClock::setFreeRate (double v) noexcept
{
    freeValue = v;
    synced = false;
    const double stepsPerSecond = v * kStepsPerSecondRange + kMinStepsPerSecond;
    increment = stepsPerSecond / sampleRate;
    rateReadout.set (stepsPerSecond);
}

void StepClock::setSyncedRate (double v, double newBpm) noexcept
{
    syncedValue = v;
    bpm = newBpm;
    synced = true;

    static constexpr double multipliers[4] = { 0.5, 1.0, 2.0, 3.0 };
    static constexpr const char* names[4] = { "1/8", "1/16", "1/32", "1/64" };
    const double position = std::floor (3.0 * v + 0.5);
    const int i = (position >= 1.0 && position <= 3.0) ? (int) position : 0;
    rateMultiplier = multipliers[i];
    increment = 4.0 / (60.0 / bpm * sampleRate) * (syncModeFactor * rateMultiplier);
    rateReadout.set (rateMultiplier, names[i]);
}

void StepClock::updateClockRate (double tempoValue) noexcept
{
    if (settings.params[Param::SeqSync] > 0.5)
        setSyncedRate (tempoValue, settings.tempoBpm);
    else
        setFreeRate ((exactmath::pow (kFreeTempoCurveBase, tempoValue) - 1.0) / 19.0);
}

void StepClock::setSyncMode (double v) noexcept
{
    const double position = std::floor (2.0 * v + 0.5);
    const int i = (position >= 1.0 && position <= 2.0) ? (int) position : 0;
    syncModeFactor = kSyncModeFactors[i];
}

void StepClock::setMainSyncMode (double v) noexcept
{
    const int position = switchPosition (v, 4);
    externalMode = position == kMidiClockSync || position == kExternalTriggerSync;
}

void StepClock::syncToHost (const HostPosition& position) noexcept
{
    bpm = (double) (float) position.bpm;
    if (! position.isPlaying || position.numerator <= 0 || position.denominator <= 0)
    {
        hostLocked = false; // the next start is a jump
        return;
    }
    if (! (bpm > 0.0) || ! std::isfinite (position.ppqPosition))
        return;

    const double m = syncModeFactor * rateMultiplier;
    increment = stepsPerBeat / (60.0 / bpm * sampleRate) * m;
    const double p = m * position.ppqPosition * stepsPerBeat;
    const double f = p - std::floor (p);

    // Continuous playing: the host is where the clock's own count got to, give or take rounding
    // and a tempo ramp within the block. Anything else is a jump (loop, relocation, start).
    const bool continuous = hostLocked && std::abs (p - hostSteps) < kContinuityWindowSteps;
    hostSteps = p;
    hostLocked = true;

    if (continuous)
    {
        // Re-locking by the fraction alone would play a boundary twice when rounding puts the
        // clock just past it and the host just before it, and miss one the other way round.
        double drift = f - phase;
        drift -= std::floor (drift + 0.5);
        const double hostPhase = phase + drift;
        if (hostPhase >= 1.0)
        {
            hostWrapPending = true; // the host crossed a boundary the clock had not reached
            phase = f;
        }
        else if (hostPhase < 0.0)
        {
            phase = f - 1.0; // the clock already played the boundary the host is about to reach
        }
        else
        {
            phase = f;
        }
        return;
    }

    // A jump onto a boundary (within half a sample) plays that step now, as a loop or a start at
    // a bar line should; unless the clock played one in the last half sample before the block
    // end, which is the same instant when the host splits its blocks at the loop points.
    const double halfSample = 0.5 * increment;
    const bool justPlayed = phase < halfSample;
    phase = f;
    if (f < halfSample && ! justPlayed)
        hostWrapPending = true;
}

int StepClock::midiClocksPerStep() const noexcept
{
    const int n = (int) (1.0 / rateMultiplier * kMidiClocksPerSixteenth);
    return n > 0 ? n : 1;
}

void StepClock::midiStart() noexcept
{
    // After Start or Continue the master's next clock is the downbeat: step on it.
    if (isMainSyncMode (kMidiClockSync))
        midiClockCounter = -1;
}

void StepClock::midiClockTick() noexcept
{
    if (! isMainSyncMode (kMidiClockSync))
        return;
    midiClockCounter = (midiClockCounter + 1) % midiClocksPerStep();
    if (midiClockCounter == 0)
        externalTickPending = true;
}

void StepClock::startPhrase() noexcept
{
    if (! hostMode)
    {
        phase = 1.0; // the first step fires on the next sample
        skipNextWrap = false;
    }
    else
    {
        // The section plays the first step at once; a wrap less than half a step later would
        // crowd it, so the next one is dropped.
        skipNextWrap = phase > 0.5;
    }
    sinceWrap = sinceStep = 0.0;
    gateReleased = stepPending = false;
    hostWrapPending = false;
}
