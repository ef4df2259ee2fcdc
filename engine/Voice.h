#pragma once

#include "EngineSettings.h"
#include "Envelope.h"
#include "Filter.h"
#include "MidiOutCollector.h"
#include "Oscillator.h"

/** Glide in semitones: exponential, or linear at a fixed step per sample. */
class Portamento
{
public:
    void setSampleRate (double rate) noexcept { rateScale = rate / 44100.0; lastSpeed = -1.0; }
    double tick (double speed, bool linear, double target) noexcept;

    double rateScale = 1.0, current = 42.0, lastSpeed = -1.0, expCoefficient = 0.0, linearStep = 0.0;
    bool linearMode = false;
};

/** One monophonic voice: filter envelope, portamento, oscillators, DC blocker, filter, amplifier. */
class Voice
{
public:
    Voice (EngineSettings& s, MidiOutCollector* midiOutput) noexcept;

    void trigger (int newNote, bool legato, bool noRetrigger, double newVelocity) noexcept;
    bool render (double& left, double& right) noexcept;

    /** render up to the filter's 4x run, which the pool runs for several voices at once: the
        ladder's input, and for a heard voice the gain its output is added with. */
    enum LadderRun { noRun, tailRun, heardRun };
    int beginRender (double& ladderInput, double& gain) noexcept;
    void setSampleRate (double rate) noexcept;
    void randomize (int seed) noexcept;

    /** Silent, and every oscillator, filter and blocker state at rest: the way back from a state
        that went non-finite, which would otherwise stay so. */
    void rest() noexcept;

    /** A real-time retuning: the note moves to its key's new pitch through the portamento. */
    void retune() noexcept
    {
        notePitch = settings.tuning.pitchOf (note);
        muted = ! settings.tuning.isMapped (note);
    }

    /** Key up: echoes the note-off (players' voices only) and drops the gate. */
    void release() noexcept;

    bool isSounding() const noexcept { return ! ampEnvelope.isIdle(); }

    /** Never triggered, or died away: allocation may take it. A voice not yet rendered still has
        its envelopes in attack, but nothing plays on it. */
    bool isFree() const noexcept { return ampEnvelope.isIdle() || ! triggered; }

    /** Silent, its tail run over and nothing holding it: rendering it would change nothing. */
    bool isDormant() const noexcept
    {
        return ampEnvelope.isIdle() && tailCounter >= tailSamples && ! active && ! sustained;
    }

    bool active = false, sustained = false, released = false;
    bool triggered = false; // once, ever
    OscillatorSection oscillators;
    Envelope ampEnvelope, filterEnvelope;
    Portamento portamento;
    VoiceFilter filter;
    int tailCounter = 0, tailSamples = 10000;
    int portamentoMode = 0;
    double velocity = 0.0, detune = 1.0, attackFactor = 1.0, decayFactor = 1.0;
    int note = 60;
    double notePitch = 60.0; // note through the tuning: where the portamento goes
    bool muted = false;      // a key the tuning leaves unmapped sounds nothing
    DcBlocker dcBlocker { 0.0005f };

private:
    void sendNoteOn() noexcept;
    void sendNoteOff() noexcept;

    EngineSettings& settings;
    MidiOutCollector* midiOut;
};
