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
    Arpeggiator (EngineSettings& s, MidiOutCollector& midiOut) noexcept;

    void setSampleRate (double rate) noexcept;
    void addNote (int note) noexcept;
    void noteOff (int note) noexcept;
    void setHold (bool on) noexcept;
    void setMode (double value) noexcept;
    bool playStep (const PatternStep& step) noexcept;
    void clear() noexcept;

    Voice voice;
    NoiseSource random;
    FixedList<int, 128> heldNotes;
    int playOrder[512] {};
    int playCount = 0, playIndex = 0;
    int work[512] {};
    int rawCount = 0;
    bool hold = false;
    int mode = 0;

private:
    void rebuild() noexcept;
    void arrange() noexcept;
    EngineSettings& settings;
};

/** Plays the pattern transposed by the most recent key. */
class SequencerPlayer
{
public:
    SequencerPlayer (EngineSettings& s, MidiOutCollector& midiOut) noexcept;

    void addNote (int note) noexcept;
    void noteOff (int note) noexcept;
    bool playStep (const PatternStep& step) noexcept;
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
    void reset() noexcept;
    void setHold (bool on) noexcept;
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
    EngineSettings& settings;
    Lfo& lfo;
    bool holdOn = false;
};
