#include "SynthEngine.h"
#include "ExactMath.h"
#include "IeeeArithmetic.h"

#include <cmath>

SynthEngine::SynthEngine (float rate, MidiOutCollector& midiOut)
    : sampleRate (rate),
      midiOutput (midiOut),
      settings (rate > 0.0f ? rate : 44100.0f),
      lfo (rate > 0.0f ? rate : 44100.0f, settings),
      router (rate > 0.0f ? rate : 44100.0f, settings, lfo, midiOut)
{
    setSampleRate (rate);
}

void SynthEngine::setSampleRate (float rate) noexcept
{
    const ScopedIeeeArithmetic engineArithmetic;
    if (! (rate > 0.0f)) // also catches NaN
        rate = 44100.0f;
    sampleRate = rate;
    const double r = rate;

    settings.cutoffSmoother.setSampleRate (r);
    settings.volumeSmoother.setSampleRate (r);
    settings.attackSmoother.setSampleRate (r);
    settings.decaySmoother.setSampleRate (r);
    settings.sustainSmoother.setSampleRate (r);

    lfo.setSampleRate (r);
    router.voices.setSampleRate (r);
    router.arpSeq.setSampleRate (r);
    outputBlocker.setSampleRate (r);
}

inline void SynthEngine::tickVoiceSmoothers() noexcept
{
    auto& s = settings;
    const auto& p = s.params;
    s.attackSmoothed = s.attackSmoother.tick (s.attack);
    s.decaySmoothed = s.decaySmoother.tick (s.decay);
    s.sustainSmoothed = s.sustainSmoother.tick (s.sustain);
    s.fmIntensitySmoothed = s.fmIntensitySmoother.tick (p[Param::FmIntensity]);
    s.keyFollowSmoothed = s.keyFollowSmoother.tick (p[Param::VcfKeyboard]);
}

void SynthEngine::renderSample (double& left, double& right) noexcept
{
    auto& s = settings;
    const auto& p = s.params;

    tickVoiceSmoothers();

    const Player player = currentPlayer();
    releaseStoppedPlayer (player);
    if (player != Player::none)
        router.arpSeq.render (left, right);
    else
        router.voices.render (left, right);

    lfo.tick();

    left = outputBlocker.process (left);
    left *= s.volumeSmoother.tick (p[Param::Volume]);
    right = left;
}

SynthEngine::Player SynthEngine::currentPlayer() const noexcept
{
    if (! usesArpSeq())
        return Player::none;
    return settings.params[Param::SeqEnabled] > 0.5 ? Player::sequencer : Player::arpeggiator;
}

// A player that is no longer rendered ("ARP Enabled" off, "SEQ Enabled" on, recording) would
// leave its note hanging in the host's track: its voice lets go, here on the audio thread, so
// the note-off lands in the block's MIDI at this sample.
void SynthEngine::releaseStoppedPlayer (Player now) noexcept
{
    if (now == lastPlayer)
        return;
    if (lastPlayer == Player::arpeggiator)
        router.arpSeq.arpeggiator.voice.release();
    else if (lastPlayer == Player::sequencer)
        router.arpSeq.sequencer.voice.release();
    lastPlayer = now;
}

bool SynthEngine::silentAndSettled() const noexcept
{
    const auto& s = settings;
    const auto& p = s.params;
    return router.voices.isQuiet() && ! usesArpSeq()
        && s.attackSmoother.settled (s.attack) && s.decaySmoother.settled (s.decay)
        && s.sustainSmoother.settled (s.sustain)
        && s.fmIntensitySmoother.settled (p[Param::FmIntensity])
        && s.keyFollowSmoother.settled (p[Param::VcfKeyboard])
        && s.volumeSmoother.settled (p[Param::Volume]);
}

// renderSample with what cannot change inside the stretch taken out of the loop: no voice can
// wake without an event, and settled smoothers stay put until a parameter moves. Same samples.
void SynthEngine::renderSilence (float* left, float* right, int from, int to) noexcept
{
    tickVoiceSmoothers(); // settled: once publishes what every tick of the stretch would
    const double volume = settings.volumeSmoother.tick (settings.params[Param::Volume]);
    auto& voices = router.voices;

    // Without the LFO gate nothing reads the LFO inside the stretch.
    if (settings.params[Param::AdsrMode] >= 0.25 && lfo.drawsNothing())
    {
        lfo.skip (to - from);
        for (int i = from; i < to; ++i)
        {
            const double out = outputBlocker.process (0.0) * volume;
            left[i] = (float) out;
            right[i] = (float) out;
        }
        midiOutput.samplePosition += to - from;
        return;
    }

    for (int i = from; i < to; ++i)
    {
        voices.trackLfoGateIfUsed();
        lfo.tick();
        const double out = outputBlocker.process (0.0) * volume;
        left[i] = (float) out;
        right[i] = (float) out;
    }
    midiOutput.samplePosition += to - from;
}

void SynthEngine::renderSamples (float* left, float* right, int from, int to) noexcept
{
    releaseStoppedPlayer (currentPlayer()); // the silent stretch below does not look
    if (silentAndSettled())
        return renderSilence (left, right, from, to);

    for (int i = from; i < to; ++i)
    {
        double l = 0.0, r = 0.0;
        renderSample (l, r);
        left[i] = (float) l;
        right[i] = (float) r;
        midiOutput.samplePosition += 1;
    }
}

void SynthEngine::noteOn (int note, double velocity) noexcept
{
    if (! settings.tuning.isMapped (note))
        return;
    router.voices.noteOn (note, velocity);
    router.arpSeq.noteOn (note);
    if (settings.params[Param::SeqRecord] > 0.5)
        router.arpSeq.recordStep ((float) velocity, note);
    if (settings.params[Param::LfoTrigger] >= 0.5)
        lfo.restart();
}

bool SynthEngine::applyTuningMessage (const uint8_t* data, int size) noexcept
{
    const auto result = MidiTuning::apply (data, size, settings.tuning);
    if (result == MidiTuning::Result::soundingNotes)
    {
        for (int i = 0; i < VoiceManager::numVoices; ++i)
            router.voices.voice (i).retune();
        router.arpSeq.arpeggiator.voice.retune();
        router.arpSeq.sequencer.voice.retune();
    }
    return result != MidiTuning::Result::ignored;
}

void SynthEngine::noteOff (int note) noexcept
{
    router.voices.noteOff (note);
    router.arpSeq.noteOff (note);
}

void SynthEngine::allNotesOff() noexcept
{
    router.voices.reset();
    router.arpSeq.reset();
}

void SynthEngine::setSustain (bool on) noexcept
{
    router.voices.setSustain (on);
}

void SynthEngine::setHold (bool on) noexcept
{
    // The pedal holds too; "SEQ Hold" holds at any value but 0 (automation and documents can leave
    // it between the toggle's two positions).
    router.arpSeq.setHold (on || settings.params[Param::SeqHold] != 0.0);
}

void SynthEngine::setTempo (double bpm) noexcept
{
    settings.tempoBpm = bpm;
    updateClockRate (settings.params[Param::SeqTempo]);
    lfo.updateRate();
}

void SynthEngine::syncToHost (const HostPosition& position) noexcept { router.arpSeq.clock.syncToHost (position); }
void SynthEngine::midiStart() noexcept { router.arpSeq.clock.midiStart(); }
void SynthEngine::midiClockTick() noexcept { router.arpSeq.clock.midiClockTick(); }

void SynthEngine::externalTrigger() noexcept
{
    router.arpSeq.clock.externalTick();
    router.arpSeq.pattern.changed = true;
}

void SynthEngine::updateClockRate (double tempoValue) noexcept { router.arpSeq.clock.updateClockRate (tempoValue); }
void SynthEngine::setSyncMode (double v) noexcept { router.arpSeq.clock.setSyncMode (v); }
void SynthEngine::setMainSyncMode (double v) noexcept { router.arpSeq.clock.setMainSyncMode (v); }

void SynthEngine::setParameter (int index, double v) noexcept
{
    // Hosts set parameters from threads running in their own floating-point mode.
    const ScopedIeeeArithmetic engineArithmetic;
    using namespace Param;
    auto& s = settings;
    auto& slot = s.params;

    switch (index)
    {
        case Volume:            slot[Volume] = (exactmath::pow (exactmath::kBase20, v) - 1.0) * 7.2; break;
        case Transpose:         OscillatorSection::setTranspose (s, v); break;
        case MidiLearnDelete:   break;
        case Poly:              router.voices.setVoiceCount (v > 0.0 ? 6 : 1); slot[Poly] = v; break;
        case Panic:             allNotesOff(); break;
        case LfoRate:
        case LfoTrigger:
        case LfoSync:           slot[index] = v; lfo.updateRate(); break;
        case LfoWaveform:       lfo.setWaveform (v); break;
        case LfoInverted:       lfo.setInvert (v); break;
        case VcoModulation:
        case VcoModSnap:        slot[index] = v; OscillatorSection::setVcoModulation (s); break;
        case VcoPwm:            slot[VcoPwm] = v < 0.25 ? 4.0 * square (v) : v; break;
        case VcoRange:          OscillatorSection::setRange (s, v); break;
        case SubOscMode:        OscillatorSection::setSubOscMode (s, v); break;
        case VcfResonance:      s.resonance = exactmath::pow (exactmath::kBase2, v) - 1.0; break;
        case VcfEnvelope:       slot[VcfEnvelope] = v; VoiceFilter::setFilterEnvelopeAmount (s, v); break;
        case VcfModulation:     slot[VcfModulation] = (exactmath::pow (exactmath::kBase20, v) - 1.0) / 19.0 * 0.5; break;
        case VcfEnvelopeRange:  slot[VcfEnvelopeRange] = v; VoiceFilter::setFilterEnvelopeAmount (s, slot[VcfEnvelope]); break;
        case VcfVolumeComp:     s.volumeCompensation = v > 0.5; break;
        case Attack:            s.attack = 0.1 * v + 0.9 * cube (v); break;
        case Decay:             s.decay = 0.1 * v + 0.9 * cube (v); break;
        case Sustain:           s.sustain = v; break;
        case Release:           s.release = 0.9 * square (v) + 0.1 * cube (v); slot[Release] = v; break;
        case SeqHold:           slot[SeqHold] = v; setHold (v >= 0.5); break;
        case SeqSync:           slot[SeqSync] = v; updateClockRate (slot[SeqTempo]); break;
        case SeqTempo:          slot[SeqTempo] = v; updateClockRate (v); break;
        case SeqSteps:          setStepCount (v); break;
        case ArpMode:           router.arpSeq.arpeggiator.setMode (v); slot[ArpMode] = v; break;
        case ArpSeqSyncMode:    setSyncMode (v); updateClockRate (slot[SeqTempo]); break;
        case SeqRecord:         slot[SeqRecord] = v; if (v > 0.5) router.arpSeq.recordChanged(); break;
        case SeqReset:          resetPattern(); break;
        case MainSyncMode:      slot[MainSyncMode] = v; setMainSyncMode (v); break;
        default:
            if (index >= 0 && index < Count)
                slot[index] = v;
            break;
    }
}

void SynthEngine::rest() noexcept
{
    router.voices.reset();
    for (int i = 0; i < VoiceManager::numVoices; ++i)
        router.voices.voice (i).rest();
    router.arpSeq.arpeggiator.voice.rest();
    router.arpSeq.sequencer.voice.rest();
    outputBlocker.output = outputBlocker.previousInput = 0.0;
    setSampleRate (sampleRate); // the smoothers
}
