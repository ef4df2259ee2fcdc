#pragma once

#include "EngineSettings.h"
#include "Lfo.h"
#include "MidiOutCollector.h"
#include "NoiseSource.h"
#include "StepClock.h"
#include "StepPattern.h"
#include "Voice.h"
#include "VoiceManager.h"

/** Plays the held notes in one of seven orders, one per clock step, shaped by the pattern. */
class Arpeggiator
{
public:
    static constexpr int maxOrder = 512;

    Arpeggiator (EngineSettings& s, MidiOutCollector& midiOut) noexcept;

    void setSampleRate (double rate) noexcept;
    void addNote (int note) noexcept;
    void noteOff (int note) noexcept;
    void setHold (bool on) noexcept;
    void setMode (double value) noexcept;
    /** Plays one clock step; true when the pattern should move on. */
    bool playStep (const PatternStep& step) noexcept;
    /** Forgets every note and silences the voice (its note-off goes to the host). */
    void clear() noexcept;
    /** An order of one entry: held, not re-struck each step. "U&D II" doubles a single key into
        two entries, which are struck like any other order. */
    bool playsSingleNote() const noexcept { return playCount == 1; }

    Voice voice;
    NoiseSource random;
    FixedList<int, 128> heldNotes;
    int playOrder[maxOrder] {};
    int playCount = 0, playIndex = 0;
    int work[maxOrder] {};
    int rawCount = 0;
    bool hold = false;
    int mode = 0;
    /** Set when notes arrive while none were playing: that first step restarts the envelopes. */
    bool newPhrase = true;

private:
    void rebuild() noexcept;
    void arrange() noexcept;
    EngineSettings& settings;
    // The held notes the order was last built from, most recent first. Kept apart from work so
    // a mode change under hold arranges the same notes in the same press order every time.
    int rawNotes[128] {};
};

/** Plays the pattern transposed by the most recent key. */
class SequencerPlayer
{
public:
    SequencerPlayer (EngineSettings& s, MidiOutCollector& midiOut) noexcept;

    void addNote (int note) noexcept;
    void noteOff (int note) noexcept;
    /** Plays one clock step; true when the pattern should move on. */
    bool playStep (const PatternStep& step) noexcept;
    /** Forgets every note and silences the voice (its note-off goes to the host). */
    void clear() noexcept;

    Voice voice;
    FixedList<int, 128> notes;
    bool hold = false;
    bool newPhrase = true;

private:
    EngineSettings& settings;
};

/** The pattern-driven playing: clock, pattern, arpeggiator and sequencer player. */
class ArpSeqSection
{
public:
    ArpSeqSection (double sampleRate, EngineSettings& s, Lfo& l, MidiOutCollector& midiOut) noexcept;

    void setSampleRate (double rate) noexcept;
    void noteOn (int note) noexcept;
    void noteOff (int note) noexcept;
    bool render (double& left, double& right) noexcept;
    void advance() noexcept;
    void restartPattern() noexcept;
    /** The section's half of all-notes-off: both players forget their notes and fall silent. */
    void reset() noexcept;
    /** Hold latches the players' notes; turning it off silences both. Unchanged state: nothing. */
    void setHold (bool on) noexcept;
    /** Writes a played note into the next step while "SEQ Record" is on. */
    void recordStep (float velocity, int note) noexcept;
    /** "SEQ Record" was set: recording starts again at the first step. */
    void recordChanged() noexcept;

    StepClock clock;
    StepPattern pattern;
    Arpeggiator arpeggiator;
    SequencerPlayer sequencer;
    int stepIndex = 0;
    PatternStep* nextStep = nullptr;
    PatternStep* currentStep = nullptr;

private:
    /** The step count may have been lowered below the playing position. */
    void wrapStepIndex() noexcept;

    EngineSettings& settings;
    Lfo& lfo;
    bool holdOn = false;
};
