#include "StepClock.h"

// Placeholder until the clock lands.
StepClock::StepClock (double rate, EngineSettings& s) noexcept : sampleRate (rate), settings (s) {}
void StepClock::setSampleRate (double rate) noexcept { sampleRate = rate; }
bool StepClock::tick (double) noexcept { return false; }
void StepClock::setFreeRate (double) noexcept {}
void StepClock::setSyncedRate (double, double) noexcept {}
void StepClock::updateClockRate (double) noexcept {}
void StepClock::setSyncMode (double) noexcept {}
void StepClock::setMainSyncMode (double) noexcept {}
void StepClock::syncToHost (const HostPosition&) noexcept {}
void StepClock::midiStart() noexcept {}
void StepClock::midiClockTick() noexcept {}
void StepClock::startPhrase() noexcept {}
