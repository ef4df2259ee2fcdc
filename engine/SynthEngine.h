#pragma once

#include "ArpSeqSection.h"
#include "EngineSettings.h"
#include "Lfo.h"
#include "MidiOutCollector.h"
#include "VoiceManager.h"

/** Routes notes to the voice pool and to the arpeggiator/sequencer section. */
struct NoteRouter
{
    NoteRouter (double sampleRate, EngineSettings& s, Lfo& lfo, MidiOutCollector& midiOut)
        : voices (s), arpSeq (sampleRate, s, lfo, midiOut) {}

    VoiceManager voices;
    ArpSeqSection arpSeq;
};

/** The whole sound generator: one mono sample per call, on the audio thread. */
class SynthEngine
{
public:
    SynthEngine (float sampleRate, MidiOutCollector& midiOut);

    void setSampleRate (float rate) noexcept;

    /** After output that was not finite: every voice silent and at rest, the smoothers and the
        output blocker too. Notes held stay silent until played again. */
    void rest() noexcept;

    void renderSample (double& left, double& right) noexcept;

    /** Renders samples [from, to) of a block with no MIDI event due in between, narrowing each to
        float and advancing the collector's sample position as block processing does per sample. */
    void renderSamples (float* left, float* right, int from, int to) noexcept;

    /** A key the tuning leaves unmapped is not played at all. */
    void noteOn (int note, double velocity) noexcept;
    void noteOff (int note) noexcept;
    void allNotesOff() noexcept;
    void setSustain (bool on) noexcept;
    void setHold (bool on) noexcept;

    // Tempo and clock.
    void setTempo (double bpm) noexcept;
    void syncToHost (const HostPosition& position) noexcept;
    void midiStart() noexcept;
    void midiClockTick() noexcept;
    void externalTrigger() noexcept;
    void updateClockRate (double tempoValue) noexcept;
    void setSyncMode (double v) noexcept;
    void setMainSyncMode (double v) noexcept;

    /** A parameter value (normalised, widened) converted into the settings or the setter it drives.
        The processor adds what is not the engine's: the exclusive groups and the controller map. */
    void setParameter (int index, double v) noexcept;

    // Tuning.
    /** A whole new table; sounding notes keep their pitch, the next note-on takes it. */
    void setTuning (const KeyTuning& tuning) noexcept { settings.tuning = tuning; }
    const KeyTuning& getTuning() const noexcept { return settings.tuning; }
    /** A system exclusive message (F0 ... F7): false when it is no tuning message or a malformed
        one. A real-time change moves the sounding notes to their keys' new pitches. */
    bool applyTuningMessage (const uint8_t* data, int size) noexcept;

    // Pattern.
    void setStepCount (double v) noexcept { router.arpSeq.pattern.setStepCount (v); }
    void resetPattern() noexcept { router.arpSeq.pattern.reset(); }

    EngineSettings& getSettings() noexcept { return settings; }
    StepPattern& getPattern() noexcept { return router.arpSeq.pattern; }
    Lfo& getLfo() noexcept { return lfo; }
    StepClock& getClock() noexcept { return router.arpSeq.clock; }
    VoiceManager& getVoices() noexcept { return router.voices; }
    ArpSeqSection& getArpSeq() noexcept { return router.arpSeq; }
    float getSampleRate() const noexcept { return sampleRate; }

private:
    enum class Player { none, arpeggiator, sequencer };

    void tickVoiceSmoothers() noexcept;
    bool usesArpSeq() const noexcept
    {
        const auto& p = settings.params;
        return (p[Param::ArpEnabled] > 0.5 || p[Param::SeqEnabled] > 0.5) && ! (p[Param::SeqRecord] > 0.5);
    }
    Player currentPlayer() const noexcept;
    void releaseStoppedPlayer (Player now) noexcept;
    bool silentAndSettled() const noexcept;
    void renderSilence (float* left, float* right, int from, int to) noexcept;

    float sampleRate;
    MidiOutCollector& midiOutput;
    DcBlocker outputBlocker { 0.0015f };
    EngineSettings settings;
    Lfo lfo;
    NoteRouter router;
    Player lastPlayer = Player::none;
};
