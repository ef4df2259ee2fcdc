#pragma once

#include "ExactMath.h"
#include "SynthEngine.h"

#include <cmath>
#include <functional>
#include <vector>

/** One note message the host received, at its sample position counted from the start. */
struct HostNote
{
    long long time;
    int note;
    int velocity;
    bool on;
};

/** Drives a SynthEngine as the processor does: parameter changes through the same engine calls,
    the transport read once per block, events dispatched before the sample they fall on, one
    renderSample per sample, and the collector's notes handed over at the end of every block. */
class ArpSeqRig
{
public:
    static constexpr double kSixteenths = 1.0 / 3.0; // "SEQ Tempo" position for 1/16

    explicit ArpSeqRig (int blockSizeSamples = 64, float sampleRate = 44100.0f)
        : blockSize (blockSizeSamples), engine (sampleRate, midiOut)
    {
        set (Param::Volume, 0.5);
        set (Param::Saw, 1.0);
        set (Param::VcfCutoff, 1.0);
        set (Param::VcaMode, 1.0); // envelope, so envelope restarts can be seen
        set (Param::AdsrMode, 1.0); // every note restarts the envelopes
        set (Param::Sustain, 1.0);
        set (Param::SeqSync, 1.0);
        set (Param::SeqTempo, kSixteenths);
        set (Param::SeqSteps, 16.0 / 96.0);
    }

    /** The processor's setParameter for the parameters this section reacts to. */
    void set (int index, double v)
    {
        auto& s = engine.getSettings();
        auto& slot = s.params;
        using namespace Param;
        switch (index)
        {
            case Volume: slot[Volume] = (exactmath::pow (exactmath::kBase20, v) - 1.0) * 7.2; break;
            case Attack: s.attack = 0.1 * v + 0.9 * cube (v); break;
            case Decay: s.decay = 0.1 * v + 0.9 * cube (v); break;
            case Sustain: s.sustain = v; break;
            case Release: s.release = 0.9 * square (v) + 0.1 * cube (v); slot[Release] = v; break;
            case Panic: engine.allNotesOff(); break;
            case SeqHold: slot[SeqHold] = v; engine.setHold (v >= 0.5); break;
            case SeqSync: slot[SeqSync] = v; engine.updateClockRate (slot[SeqTempo]); break;
            case SeqTempo: slot[SeqTempo] = v; engine.updateClockRate (v); break;
            case SeqSteps: engine.setStepCount (v); break;
            case ArpEnabled: if (v > 0.0) slot[SeqEnabled] = 0.0; slot[ArpEnabled] = v; break;
            case SeqEnabled: if (v > 0.0) slot[ArpEnabled] = 0.0; slot[SeqEnabled] = v; break;
            case ArpMode: engine.getArpSeq().arpeggiator.setMode (v); slot[ArpMode] = v; break;
            case ArpSeqSyncMode: engine.setSyncMode (v); engine.updateClockRate (slot[SeqTempo]); break;
            case SeqRecord: slot[SeqRecord] = v; if (v > 0.5) engine.getArpSeq().recordChanged(); break;
            case SeqReset: engine.resetPattern(); break;
            case MainSyncMode: slot[MainSyncMode] = v; engine.setMainSyncMode (v); break;
            default: slot[index] = v; break;
        }
    }

    /** "ARP Mode" value for mode 0..6, "Main Sync Mode" value for position 0..3. */
    static double arpMode (int mode) { return mode / 6.0; }
    static double mainSync (int position) { return position / 3.0; }

    // Events are dispatched after the block's transport step, as in processBlock.
    void noteOn (int note, int velocity = 100)
    {
        openBlock();
        engine.noteOn (note, (double) ((float) velocity * 0.007874016f));
    }
    void noteOff (int note)
    {
        openBlock();
        engine.noteOff (note);
    }

    void render (long long samples)
    {
        for (long long i = 0; i < samples; ++i)
        {
            openBlock();
            double left = 0.0, right = 0.0;
            engine.renderSample (left, right);
            peak = std::max (peak, std::abs (left));
            if (! std::isfinite (left))
                finite = false;
            midiOut.samplePosition += 1;
            if (midiOut.samplePosition == blockSize)
                endBlock();
        }
    }

    /** Renders up to (not including) the given sample. */
    void renderUntil (long long time) { render (time - now()); }
    long long now() const { return blockStart + midiOut.samplePosition; }

    /** Everything the host has received so far, including the current block's notes. */
    std::vector<HostNote> received() const
    {
        auto all = midi;
        for (int e = 0; e < midiOut.numEvents; ++e)
            all.push_back (toHostNote (midiOut.events[e]));
        return all;
    }

    std::vector<HostNote> noteOns() const { return filtered (true); }
    std::vector<HostNote> noteOffs() const { return filtered (false); }

    std::vector<int> notesPlayed() const
    {
        std::vector<int> notes;
        for (const auto& e : noteOns())
            notes.push_back (e.note);
        return notes;
    }

    /** Notes the host would still hear as held. */
    int hangingNotes() const
    {
        int held[128] {};
        for (const auto& e : received())
            held[e.note] += e.on ? 1 : -1;
        int n = 0;
        for (int h : held)
            n += h != 0 ? 1 : 0;
        return n;
    }

    int blockSize;
    MidiOutCollector midiOut;
    SynthEngine engine;
    std::vector<HostNote> midi;
    double peak = 0.0;
    bool finite = true;

    /** When set, called at each block start with the block's first sample; the transport is
        then handed to the engine as the processor does. */
    std::function<HostPosition (long long)> playHead;

private:
    void openBlock()
    {
        if (blockOpen)
            return;
        blockOpen = true;
        if (! playHead)
            return;
        const auto position = playHead (blockStart);
        auto& slot = engine.getSettings().params;
        if (! (position.bpm > 0.0))
            return;
        if (switchPosition (slot[Param::MainSyncMode], 4) == 1)
        {
            if (slot[Param::SeqSync] > 0.5)
                engine.syncToHost (position);
        }
        else if ((float) position.bpm != hostTempo)
        {
            hostTempo = (float) position.bpm;
            engine.setTempo (hostTempo);
        }
    }

    void endBlock()
    {
        for (int e = 0; e < midiOut.numEvents; ++e)
            midi.push_back (toHostNote (midiOut.events[e]));
        blockStart += midiOut.samplePosition;
        midiOut.clear();
        blockOpen = false;
    }

    HostNote toHostNote (const MidiOutCollector::Event& ev) const
    {
        const bool on = (ev.bytes[0] & 0xF0) == 0x90 && ev.bytes[2] > 0;
        return { blockStart + ev.samplePosition, ev.bytes[1], ev.bytes[2], on };
    }

    std::vector<HostNote> filtered (bool on) const
    {
        std::vector<HostNote> out;
        for (const auto& e : received())
            if (e.on == on)
                out.push_back (e);
        return out;
    }

    long long blockStart = 0;
    bool blockOpen = false;
    float hostTempo = 120.0f;
};
