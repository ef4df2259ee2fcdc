#include "VroCore.h"
#include "IeeeArithmetic.h"

#include <algorithm>
#include <limits>
#include <utility>

using namespace Param;

float VroCore::engineRateFor (double hostRate, float current) noexcept
{
    // Below 8 kHz the filter and the smoothers leave their stable range (at a few hertz every
    // state turns to infinity); 8 kHz plays an octave off at 4 kHz, but plays.
    if (! (hostRate > 0.0) || ! std::isfinite (hostRate))
        return current;
    return (float) juce::jlimit (minSampleRate, maxSampleRate, hostRate);
}

int VroCore::mainSyncPosition() const noexcept
{
    return switchPosition (engine->getSettings().params[MainSyncMode], 4);
}

void VroCore::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    // The host's flush-to-zero or rounding mode must not change the engine's bits.
    const ScopedIeeeArithmetic engineArithmetic;
    // The wrappers hold it already; a host that calls without it gets the same rule.
    const juce::ScopedLock lock (getCallbackLock());
    applyPendingToEngine();
    blockSnapshot = audioSnapshot.load();
    if (pendingProgramChange >= 0)
        applyProgramChange (std::exchange (pendingProgramChange, -1));

    for (int ch = getTotalNumInputChannels(); ch < buffer.getNumChannels(); ++ch)
        buffer.clear (ch, 0, buffer.getNumSamples());

    // Against the host's own double: rates a float cannot hold (44100.3) must not re-apply the
    // program on every block.
    if (getSampleRate() != hostSampleRate)
    {
        hostSampleRate = getSampleRate();
        const float rate = engineRateFor (hostSampleRate, sampleRate);
        if (rate != sampleRate)
        {
            sampleRate = rate;
            engine->setSampleRate (sampleRate);
            applyCurrentProgram (false); // the values are the host's as they were
        }
    }

    auto& slot = engine->getSettings().params;
    if (auto* hostPlayHead = getPlayHead())
    {
        if (auto position = hostPlayHead->getPosition())
        {
            const double bpm = position->getBpm().orFallback (0.0);
            if (bpm > 0.0)
            {
                if (mainSyncPosition() == 1)
                {
                    if (slot[SeqSync] > 0.5)
                    {
                        HostPosition host;
                        host.bpm = bpm;
                        const auto sig = position->getTimeSignature().orFallback (juce::AudioPlayHead::TimeSignature {});
                        host.numerator = sig.numerator;
                        host.denominator = sig.denominator;
                        host.ppqPosition = position->getPpqPosition().orFallback (0.0);
                        host.isPlaying = position->getIsPlaying();
                        engine->syncToHost (host);
                    }
                }
                else if ((float) bpm != hostTempo)
                {
                    hostTempo = (float) bpm;
                    engine->setTempo (hostTempo);
                }
            }
        }
    }

    auto it = midi.cbegin();
    const auto end = midi.cend();
    const int numSamples = buffer.getNumSamples();

    if (buffer.getNumChannels() == 2 && numSamples == 0)
        keepPendingEvents (it, end);
    else if (buffer.getNumChannels() == 2)
    {
        deliverPendingEvents();
        auto* outL = buffer.getWritePointer (0);
        auto* outR = buffer.getWritePointer (1);
        // Events due at a sample are handled before it renders; between events the engine
        // renders whole stretches. Events stamped past the end are due at the last sample.
        const int last = numSamples - 1;
        for (int i = 0; i < numSamples;)
        {
            handleMidiEvents (it, end, i == last ? std::numeric_limits<int>::max() : i);
            const int next = it != end ? juce::jlimit (i + 1, last, (*it).samplePosition) : numSamples;
            engine->renderSamples (outL, outR, i, next);
            i = next;
        }
        // A state gone non-finite (or far beyond any level the engine makes) would stay so for
        // good: the block is silenced and the engine brought to rest.
        for (int i = 0; i < numSamples; ++i)
            if (! (std::abs (outL[i]) <= 1.0e4f))
            {
                buffer.clear();
                engine->rest();
                break;
            }
    }

    lfoRising.store (engine->getLfo().table.triangleValue > 0.0, std::memory_order_relaxed);
    // After this, the bridge may free a snapshot this block could have read.
    blocksDone.fetch_add (1);

    midi.clear();
    // Notes owed to the host (a PANIC between blocks) wait through an empty block.
    if (numSamples == 0)
        return;

    for (int e = 0; e < midiOut->numEvents; ++e)
    {
        const auto& ev = midiOut->events[e];
        if (ev.samplePosition < midiOut->samplePosition)
            midi.addEvent (ev.bytes, 3, ev.samplePosition);
    }
    midiOut->clear();
}

void VroCore::handleMidiEvents (juce::MidiBufferIterator& it, const juce::MidiBufferIterator& end, int sampleIndex)
{
    while (it != end)
    {
        const auto meta = *it;
        if (meta.samplePosition > sampleIndex)
            return;
        ++it;
        // The raw bytes: a copy into a MidiMessage allocates for anything longer than a pointer
        // (system exclusive, for one).
        handleMidiMessage (meta.data, meta.numBytes);
    }
}

void VroCore::keepPendingEvents (juce::MidiBufferIterator& it, const juce::MidiBufferIterator& end)
{
    for (; it != end; ++it)
    {
        const auto meta = *it;
        if (meta.numBytes < 1 || meta.numBytes > 3)
            continue; // system exclusive: ignored wherever it arrives
        if (numPendingEvents == maxPendingEvents)
            deliverPendingEvents(); // early rather than lost or out of order
        auto& e = pendingEvents[(size_t) numPendingEvents++];
        e.size = (uint8_t) meta.numBytes;
        std::copy (meta.data, meta.data + meta.numBytes, e.bytes);
    }
}

void VroCore::deliverPendingEvents()
{
    for (int k = 0; k < numPendingEvents; ++k)
    {
        const auto& e = pendingEvents[(size_t) k];
        handleMidiMessage (e.bytes, e.size);
    }
    numPendingEvents = 0;
}

void VroCore::handleMidiMessage (const juce::uint8* data, int size)
{
    if (size <= 0)
        return;
    auto& s = engine->getSettings();
    const auto& slot = s.params;
    const int syncMode = mainSyncPosition();
    const int status = data[0];
    const int kind = status < 0xf0 ? (status & 0xf0) : status;
    const int channel = (status & 0x0f) + 1;
    const int data1 = size > 1 ? data[1] : 0;
    const int data2 = size > 2 ? data[2] : 0;
    const bool isController = kind == 0xb0;

    if (isController && (data1 == 123 || data1 == 120))
        engine->allNotesOff();
    else if (status == 0xFC)
        engine->allNotesOff();
    else if (status == 0xFA || status == 0xFB)
        engine->midiStart();
    else if (status == 0xF8)
    {
        if (syncMode == 2)
            engine->midiClockTick();
    }
    else if (isController && data1 == 64)
    {
        const bool on = data2 >= 64;
        if (slot[ArpEnabled] > 0.5)
            engine->setHold (on);
        else
            engine->setSustain (on);
    }
    else if (isController)
        handleController (data1, data2);
    else if (kind == 0x90 || kind == 0x80)
    {
        const bool noteOn = kind == 0x90 && data2 > 0;
        const bool trigger = syncMode == 3 && (slot[ArpEnabled] > 0.5 || slot[SeqEnabled] > 0.5)
                             && slot[SeqSync] > 0.5 && channel == 16;
        if (noteOn)
        {
            if (trigger)
                engine->externalTrigger();
            else
                engine->noteOn (data1, (double) ((float) data2 * 0.007874016f));
            if (slot[SeqRecord] > 0.5)
                notifyChange();
        }
        else if (! trigger)
            engine->noteOff (data1);
    }
    else if (kind == 0xe0)
    {
        const int b = data1 | (data2 << 7);
        s.pitchBend = (double) ((float) (b - 8192) * 0.00012207776f);
    }
    else if (kind == 0xc0)
    {
        if (settings.isMidiProgramChangeDisabled())
            return;
        applyProgramChange (data1);
    }
}
