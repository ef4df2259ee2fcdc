#include "VroCore.h"
#include "IeeeArithmetic.h"
#include "PresetLibrary.h"
#include "ProgramDocument.h"
#include "SafeFile.h"
#include "Threading.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

using namespace Param;

namespace
{
constexpr bool hasFactoryBank()
{
#if VRO_HAS_FACTORY_BANK
    return true;
#else
    return false;
#endif
}
} // namespace

/** One parameter as the format wrappers see it. The value lives in the program and every change
    takes setParameter's path; the object adds what only hosts ask for: the default, whether a
    lane is offered, and the text of a value other than the current one. */
struct VroCore::HostParameter final : juce::AudioProcessorParameterWithID
{
    HostParameter (VroCore& owner, int i)
        : juce::AudioProcessorParameterWithID (owner.getParameterID (i), parameterTable[i].name), core (owner), index (i) {}

    float getValue() const override { return core.program.parameters[index]; }
    void setValue (float value) override { core.setParameter (index, value); }
    float getDefaultValue() const override { return parameterTable[index].startValue; }
    juce::String getText (float value, int maximumLength) const override { return formatTwoDecimals (value).substring (0, maximumLength); }
    float getValueForText (const juce::String& text) const override
    {
        // Only a number counts; it is held to the range as a host's value is.
        const auto trimmed = text.trim();
        if (! trimmed.containsOnly ("0123456789.-+eE") || ! trimmed.containsAnyOf ("0123456789"))
            return getValue();
        const float value = trimmed.getFloatValue();
        return std::isfinite (value) ? juce::jlimit (0.0f, 1.0f, value) : getValue();
    }
    bool isAutomatable() const override { return ! isSessionParameter (index); }
    bool isMetaParameter() const override { return isMetaParameterIndex (index); }

    VroCore& core;
    const int index;
};

VroCore::VroCore (VroEditorFactory factory)
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      editorFactory (factory)
{
    // An instrument has no audio input to offer. The Standalone window would mute it and say so in
    // a banner above the editor; hosts keep the stereo pair they have always seen.
    if (wrapperType == wrapperType_Standalone)
        removeBus (true);

    for (int i = 0; i < Count; ++i)
        addParameter (new HostParameter (*this, i));

    constructing = true;
    hostSampleRate = getSampleRate();
    sampleRate = engineRateFor (hostSampleRate, 44100.0f);

    midiOut = std::make_unique<MidiOutCollector>();
    engine = std::make_unique<SynthEngine> (sampleRate, *midiOut);
    bridge = std::make_unique<HostBridge> (*this);
    notifier.setWaker (bridge.get());

    // The first instance of the process installs the factory presets if needed and looks at the
    // folder: a program change in the very first block (a project or a bounce that opens with one)
    // must find the folder's programs, before the message thread has had a chance to look.
    if (auto* u = settings->user())
        library = PresetLibrary::forSettings (u->getFile().getParentDirectory(), u->getValue ("presetDirectory"));
    else
        library = PresetLibrary::forSettings ({}, {});
    takeNewestPresetSnapshot();

    applyCurrentProgram();
    program.parameters[MidiLearnActivated] = 0.0f;
    lastChangedParameter = 0;
    hostTempo = 120.0f;

    program.setPath ({});
    constructing = false;
    bridge->start();
}

VroCore::~VroCore()
{
    closing = true;
    notifier.setWaker (nullptr);
    bridge->detach();
    if (juce::MessageManager::existsAndIsCurrentThread() && ! bridge->isDelivering())
        bridge.reset();
    else
    {
        // Deleted where its rounds run; if the message loop is already gone, here.
        std::shared_ptr<HostBridge> lastOwner (bridge.release());
        juce::MessageManager::callAsync ([lastOwner] {});
    }
    engine.reset();
    midiOut.reset();
}

void VroCore::prepareToPlay (double, int)
{
    bridge->setHostListening (true);
}

void VroCore::releaseResources()
{
    bridge->setHostListening (false);
}

void VroCore::addChangeListener (juce::ChangeListener* listener)
{
    VRO_ASSERT_MESSAGE_THREAD
    bridge->addListener (listener);
}

void VroCore::removeChangeListener (juce::ChangeListener* listener)
{
    VRO_ASSERT_MESSAGE_THREAD
    bridge->removeListener (listener);
}

bool VroCore::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    // Stereo out, with a stereo input or none (the input is never read); accepting anything
    // makes hosts see 64 outputs.
    const auto input = layouts.getMainInputChannelSet();
    return (input == juce::AudioChannelSet::stereo() || input.isDisabled())
        && layouts.getMainOutputChannelSet() == juce::AudioChannelSet::stereo();
}

bool VroCore::canRemoveBus (bool isInput) const
{
    return isInput && wrapperType == wrapperType_Standalone;
}

bool VroCore::producesMidi() const
{
    // The arpeggiator's and sequencer's notes go to the host. The VST2 and VST3 wrappers decide
    // that when they are compiled, but the LV2 bundle's description is written from this answer:
    // with false its output port carried no MIDI events and hosts dropped the notes.
    return true;
}

void VroCore::setParameterFromEditor (int index, float value)
{
    VRO_ASSERT_MESSAGE_THREAD
    setParameterNotifyingHost (index, value);
}

void VroCore::beginEditorGesture (int index)
{
    VRO_ASSERT_MESSAGE_THREAD
    beginParameterChangeGesture (index);
}

void VroCore::endEditorGesture (int index)
{
    VRO_ASSERT_MESSAGE_THREAD
    endParameterChangeGesture (index);
}

juce::AudioProcessorEditor* VroCore::createEditor()
{
    VRO_ASSERT_MESSAGE_THREAD
    return editorFactory != nullptr ? editorFactory (*this) : nullptr;
}

//==============================================================================
juce::String formatTwoDecimals (float value)
{
    // Ties round away from zero (0.125 reads 0.13), unlike printf's round-half-even.
    const double hundredths = std::round ((double) value * 100.0);
    return juce::String (hundredths / 100.0, 2);
}

const juce::String VroCore::getParameterName (int index)
{
    if (index < 0 || index >= Count)
        return {};
    return parameterTable[index].name;
}

float VroCore::getParameter (int index)
{
    if (index < 0 || index >= Count)
        return 0.0f;
    return program.parameters[index];
}

const juce::String VroCore::getParameterText (int index)
{
    if (index < 0 || index >= Count)
        return {};
    return formatTwoDecimals (program.parameters[index]);
}

void VroCore::setParameter (int index, float value)
{
    if (index < 0 || index >= Count)
        return;

    // A host that sends NaN or infinity would poison filter and blocker states for good:
    // such a value is ignored as a whole, the stored value stays. Anything else is held to the
    // normalised range, which every door (host, learned controller, document) promises: through
    // the 20^v conversions a host's 1.5 would otherwise become a gain of 637.
    if (! std::isfinite (value))
        return;
    value = juce::jlimit (0.0f, 1.0f, value) + 0.0f; // a host's -0 would read back as "-0.00"

    program.parameters[index] = value;
    if (index == MidiLearnDelete)
        for (auto& entry : program.controllerMap)
            entry = 0;
    if (value > 0.0f)
        clearExclusiveGroup (index);

    {
        // The engine is the block's: a value that arrives while a block runs waits for the next.
        const juce::ScopedTryLock engineLock (getCallbackLock());
        if (engineLock.isLocked())
        {
            applyPendingToEngine();
            applyToEngine (index, value);
        }
        else
            enginePending[index / 64].fetch_or (std::uint64_t (1) << (index % 64));
    }
    lastChangedParameter = index;
    notifyChange();
}

namespace
{
// Switching one member on switches the others off; each group in index order.
constexpr std::initializer_list<int> exclusiveGroups[] = { { ArpEnabled, SeqEnabled }, { FmPulse, FmSaw, FmSubOsc, FmNoise } };
} // namespace

void VroCore::clearExclusiveGroup (int index)
{
    for (const auto& group : exclusiveGroups)
        if (std::find (group.begin(), group.end(), index) != group.end())
            for (int other : group)
                if (other != index)
                    setParameter (other, 0.0f);
}

void VroCore::normaliseExclusiveGroups()
{
    for (const auto& group : exclusiveGroups)
        for (int i : group)
            if (program.parameters[i] > 0.0f)
                for (int later : group)
                    if (later > i)
                        program.parameters[later] = 0.0f;
}

void VroCore::applyToEngine (int index, float value)
{
    const double v = value;
    switch (index)
    {
        case MidiLearnDelete:   return;
        case SeqSync:           engine->getSettings().params[SeqSync] = v; engine->updateClockRate (program.parameters[SeqTempo]); return;
        case ArpSeqSyncMode:    engine->setSyncMode (v); engine->updateClockRate (program.parameters[SeqTempo]); return;
        default:                engine->setParameter (index, v); return;
    }
}

void VroCore::applyPendingToEngine()
{
    for (int word = 0; word < (int) std::size (enginePending); ++word)
    {
        auto bits = enginePending[word].exchange (0);
        for (int bit = 0; bits != 0; ++bit, bits >>= 1)
            if ((bits & 1u) != 0)
                applyToEngine (word * 64 + bit, program.parameters[word * 64 + bit]);
    }
}

bool VroCore::onMessageThreadOrOffline() const noexcept
{
    return juce::MessageManager::existsAndIsCurrentThread() || isNonRealtime() || constructing;
}

void VroCore::applyCurrentProgram (bool tellHost)
{
    applyProgram (tellHost, false);
}

void VroCore::applyProgram (bool tellHost, bool inBlock)
{
    // The engine takes the program at once when no block holds it, as host automation does;
    // telling the host waits for the message thread. Values handed over later could land after a
    // newer change (a host's restore, the next program) and undo it. The host is told only once
    // the engine's lock is let go: a host may take a lock of its own where it hears of changes,
    // and hold that one while it waits for a block.
    const bool direct = onMessageThreadOrOffline() && ! inBlock;
    {
        const juce::ScopedTryLock engineLock (getCallbackLock());
        if (engineLock.isLocked())
            applyPendingToEngine();
        for (int i = 0; i < Count; ++i)
        {
            if (isMomentaryParameter (i))
                continue;
            if (engineLock.isLocked())
                applyToEngine (i, program.parameters[i]);
            else
                enginePending[i / 64].fetch_or (std::uint64_t (1) << (i % 64));
            lastChangedParameter = i;
        }
    }
    if (tellHost)
        for (int i = 0; i < Count; ++i)
        {
            if (isMomentaryParameter (i))
                continue;
            if (direct)
                sendParamChangeMessageToListeners (i, program.parameters[i]);
            else
                notifier.announce (i);
        }
    engine->getPattern().changed = true;
    notifyChange();
    if (! tellHost && ! constructing && ! inBlock && juce::MessageManager::existsAndIsCurrentThread())
        updateHostDisplay();
}

void VroCore::resetToDefaults()
{
    {
        const juce::ScopedLock programLock (program.lock);
        for (int i = 0; i < Count; ++i)
            program.parameters[i] = parameterTable[i].startValue;
    }
    applyCurrentProgram();
}

//==============================================================================
void VroCore::handleController (int controller, int value)
{
    if (controller < 0 || controller > 255)
        return;

    auto& map = program.controllerMap;
    if (program.parameters[MidiLearnActivated] > 0.0f)
    {
        const int learned = lastChangedParameter;
        for (auto& entry : map)
            if (entry == learned)
                entry = 0;
        map[controller] = learned;
    }

    const int p = map[controller];
    const float x = (float) value * 0.007874016f;
    if (p > 0)
    {
        // At its sample, on the audio thread, so a controller keeps working while the host's
        // message thread is busy; the host hears of it afterwards (offline, not at all).
        setParameter (p, x);
        if (! isNonRealtime())
            notifier.announce (p);
    }

    if (controller == 1)
        engine->getSettings().modWheel = x;
}

//==============================================================================
// Blocks

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
    takeWaitingTuning();
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
            applyProgram (false, true); // the values are the host's as they were
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
    bridge->blockEnded (blocksDone.fetch_add (1) + 1);

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
        {
            // A tuning message has no sample to wait for: it applies now, ahead of the kept notes.
            handleSystemExclusive (meta.data, meta.numBytes);
            continue;
        }
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
    if (data[0] == 0xf0)
        return handleSystemExclusive (data, size);
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
        if (settings->isMidiProgramChangeDisabled())
            return;
        applyProgramChange (data1);
    }
}

//==============================================================================
// The state as documents

std::unique_ptr<juce::XmlElement> VroCore::createProgramXml (const juce::String& name)
{
    using ProgramDocument::formatNumber;

    auto root = std::make_unique<juce::XmlElement> ("vro");
    root->setAttribute ("curprogram", 0);
    root->setAttribute ("version", "1.3");

    // One program, whole: a program change or a restore elsewhere waits for this.
    const juce::ScopedLock programLock (program.lock);
    if (name.isNotEmpty())
        changeProgramName (0, name);
    const auto names = program.getNames();

    auto* programs = new juce::XmlElement ("programs");
    auto* p = programs->createNewChildElement ("program");
    p->setAttribute ("path", names.path);
    p->setAttribute ("programname", names.programName);
    p->setAttribute ("category", names.category);
    for (int index : presetKeyOrder)
        p->setAttribute (parameterTable[index].presetKey, formatNumber ((double) program.parameters[index]));

    auto& pattern = engine->getPattern();
    auto* seq = p->createNewChildElement ("sequencer");
    seq->setAttribute ("numberofsteps", pattern.numberOfSteps);
    for (const auto& step : pattern.steps)
    {
        auto* st = seq->createNewChildElement ("step");
        st->setAttribute ("noteoffset", step.noteOffset);
        st->setAttribute ("pause", step.pause ? 1 : 0);
        st->setAttribute ("slide", step.slide ? 1 : 0);
        st->setAttribute ("slideadsr", step.slideAdsr ? 1 : 0);
        st->setAttribute ("velocity", formatNumber ((double) (float) step.velocity));
        st->setAttribute ("length", formatNumber ((double) (float) step.length));
    }
    root->addChildElement (programs);

    auto* midimap = root->createNewChildElement ("midimap");
    for (int cc = 0; cc < 256; ++cc)
    {
        if (const int mapped = program.controllerMap[cc]; mapped != 0)
        {
            auto* m = midimap->createNewChildElement ("map");
            m->setAttribute ("param", mapped);
            m->setAttribute ("controllernumber", cc);
        }
    }
    return root;
}

void VroCore::readProgramXml (const juce::XmlElement* root, const juce::String& name, bool sequencerOnly, bool honourSeqLock)
{
    readDocument (root, name, sequencerOnly, honourSeqLock, nullptr);
}

void VroCore::readDocument (const juce::XmlElement* root, const juce::String& name, bool sequencerOnly, bool honourSeqLock,
                            const juce::String* path)
{
    // A program change's names still on their way are older than this load.
    applyPendingProgramNames();

    auto reading = std::make_unique<ProgramReading>();
    ProgramDocument::read (root, *reading);
    const bool readable = reading->status == ProgramReading::Status::program;
    {
        const juce::ScopedLock programLock (program.lock);
        if (path != nullptr)
            program.setPath (*path);
        if (readable)
        {
            if (! sequencerOnly)
                applyReadingNames (*reading, name);
            applyReading (*reading, sequencerOnly, honourSeqLock);
        }
    }
    if (reading->status == ProgramReading::Status::noProgram)
        return;
    if (readable)
        applyCurrentProgram (honourSeqLock);
    notifyChange();
}

void VroCore::applyReadingNames (const ProgramReading& r, const juce::String& name)
{
    auto names = program.getNames();
    if (r.isProgram)
    {
        names.programName = r.programName;
        names.category = r.category;
        if (names.path.isEmpty())
            names.path = r.path;
    }
    if (name.isNotEmpty())
        names.programName = name;
    program.setNames (names);
}

void VroCore::applyReading (const ProgramReading& r, bool sequencerOnly, bool honourSeqLock)
{
    // No text, no allocation: a MIDI program change runs this on the audio thread.
    const bool locked = honourSeqLock && program.parameters[SeqLock] >= 0.5f;
    if (! sequencerOnly)
    {
        if (r.isProgram)
        {
            for (int i = 0; i < 47; ++i)
                program.parameters[presetKeyOrder[i]] = r.values[presetKeyOrder[i]];
            if (! locked)
                for (int index : ProgramDocument::arpSeqValues)
                    program.parameters[index] = r.values[index];
            program.parameters[MainSyncMode] = r.values[MainSyncMode];
            program.parameters[Panic] = 0.0f;
            program.parameters[NoiseFloor] = r.values[NoiseFloor];
            normaliseExclusiveGroups();
        }
        for (int n = 0; n < 256; ++n)
            if (r.mapped[n])
                program.controllerMap[n] = r.controllerMap[n];
    }

    if ((! locked || sequencerOnly) && r.hasSequencer)
    {
        auto& pattern = engine->getPattern();
        pattern.numberOfSteps = r.numberOfSteps;
        for (int k = 0; k < r.stepsRead; ++k)
            pattern.steps[k].copyUserFieldsFrom (r.steps[k]);
        pattern.changed = true;
    }
}

void VroCore::getStateInformation (juce::MemoryBlock& dest)
{
    if (auto xml = createProgramXml ({}))
    {
        SessionTuning::write (*xml, getTuning());
        ProgramDocument::writeChunk (*xml, dest);
    }
}

void VroCore::getCurrentProgramStateInformation (juce::MemoryBlock& dest)
{
    if (auto xml = createProgramXml ({}))
        ProgramDocument::writeChunk (*xml, dest);
}

void VroCore::setStateInformation (const void* data, int size)
{
    restoreState (data, size, true);
}

void VroCore::setCurrentProgramStateInformation (const void* data, int size)
{
    restoreState (data, size, false);
}

void VroCore::restoreState (const void* data, int size, bool withTuning)
{
    auto xml = ProgramDocument::readChunk (data, size);
    // A change queued before the restore (a learned controller, an older program's announcement)
    // would otherwise land after it and undo part of it.
    notifier.discardPending();
    readProgramXml (xml.get(), {}, false, false);
    // Hosts restore their presets (the factory bank's among them) through the session's door too:
    // a document without a tuning is a program, or a session from before tunings, which a new
    // instance opens in the standard tuning it starts with.
    SessionTuning::Tuning tuning;
    if (withTuning && xml != nullptr && xml->getTagName().equalsIgnoreCase ("vro") && SessionTuning::read (*xml, tuning))
        installTuning (tuning);
}

//==============================================================================
// The session's tuning

bool VroCore::loadScaleFile (const juce::File& file, juce::String& error)
{
    SessionTuning::Source scale;
    return SessionTuning::readFile (file, scale, error) && setTuningFiles (scale, getTuning().mapping, error);
}

bool VroCore::loadKeyboardMappingFile (const juce::File& file, juce::String& error)
{
    SessionTuning::Source mapping;
    return SessionTuning::readFile (file, mapping, error) && setTuningFiles (getTuning().scale, mapping, error);
}

bool VroCore::setTuningFiles (const SessionTuning::Source& scale, const SessionTuning::Source& mapping, juce::String& error)
{
    SessionTuning::Tuning t;
    if (! SessionTuning::build (scale, mapping, t.table, error))
        return false;
    t.scale = scale;
    t.mapping = mapping;
    installTuning (t);
    return true;
}

void VroCore::setStandardTuning()
{
    installTuning ({});
}

SessionTuning::Tuning VroCore::getTuning()
{
    const juce::ScopedLock l (tuningLock);
    auto t = installedTuning;
    std::uint32_t retunedFrom = 0;
    const auto table = publishedTuning.read (retunedFrom);
    if (retunedFrom == installedTuningNumber)
    {
        t.table = table;
        t.retunedByMidi = true;
    }
    return t;
}

juce::String VroCore::getTuningDescription()
{
    const juce::ScopedLock l (tuningLock);
    return publishedTuning.retunedFrom() == installedTuningNumber ? juce::String ("MIDI Tuning Standard") : installedDescription;
}

void VroCore::installTuning (const SessionTuning::Tuning& t)
{
    const auto description = SessionTuning::describe (t);
    {
        const juce::ScopedLock l (tuningLock);
        installedTuning = t;
        installedDescription = description;
        installedTuningNumber += 1;
        const juce::ScopedTryLock engineLock (getCallbackLock());
        if (engineLock.isLocked())
        {
            takeWaitingTuning(); // older than this one
            engine->setTuning (t.table);
            engineTuningNumber = installedTuningNumber;
        }
        else
            tuningHandover.put (t.table, installedTuningNumber);
    }
    notifyChange();
}

void VroCore::takeWaitingTuning() noexcept
{
    tuningHandover.take (engine->getSettings().tuning, engineTuningNumber);
}

void VroCore::handleSystemExclusive (const juce::uint8* data, int size) noexcept
{
    if (engine->applyTuningMessage (data, size))
    {
        publishedTuning.publish (engine->getTuning(), engineTuningNumber);
        notifyChange();
    }
}

//==============================================================================
// Preset files

juce::String VroCore::presetFileName (const juce::String& name)
{
    return PresetLibrary::presetFileName (name);
}

std::unique_ptr<juce::XmlElement> VroCore::parseFactoryBank()
{
    return PresetLibrary::parseFactoryBank();
}

juce::String VroCore::getPresetDirectory()
{
    return library->getPresetDirectory();
}

juce::File VroCore::getDefaultPresetFile()
{
    return juce::File (getPresetDirectory() + "Default." + PresetLibrary::extension);
}

juce::Array<juce::File> VroCore::presetList()
{
    return library->presetList();
}

void VroCore::refreshPresetSnapshot (const juce::String& changedPath)
{
    library->refresh (changedPath);
    takeNewestPresetSnapshot();
}

void VroCore::takeNewestPresetSnapshot()
{
    heldSnapshotGeneration = library->generation();
    bridge->publish (library->snapshot());
}

void VroCore::applyProgramChange (int number)
{
    // Rendering on the message thread (tests, offline tools) sees the folder as it is now, as a
    // scan at the change did.
    const bool onMessageThread = juce::MessageManager::existsAndIsCurrentThread();
    if (onMessageThread)
    {
        refreshPresetSnapshot();
        blockSnapshot = audioSnapshot.load();
    }

    const auto* snapshot = blockSnapshot;
    if (snapshot == nullptr || number < 0 || number >= (int) snapshot->programs.size())
        return applyProgram (true, true);

    {
        // A host's save or restore, or a preset load, holds the program: the change is made at
        // the next block rather than mixed into theirs.
        const juce::ScopedTryLock programLock (program.lock);
        if (! programLock.isLocked())
        {
            pendingProgramChange = number;
            return;
        }
        const auto& p = *snapshot->programs[(size_t) number];
        if (p.parsed && p.reading.status == ProgramReading::Status::program)
            applyReading (p.reading, false, true);
        pendingProgramNames = &p;
        bridge->wake();
    }
    if (onMessageThread)
        applyPendingProgramNames();
    applyProgram (true, true);
}

void VroCore::applyPendingProgramNames()
{
    // Strings are not the audio thread's: the names wait for the message thread.
    if (! juce::MessageManager::existsAndIsCurrentThread())
        return;
    const auto* p = pendingProgramNames.exchange (nullptr);
    if (p == nullptr)
        return;
    {
        const juce::ScopedLock programLock (program.lock);
        program.setPath (p->path);
        if (p->parsed && p->reading.status == ProgramReading::Status::program)
            applyReadingNames (p->reading, p->fileName);
    }
    notifyChange();
}

void VroCore::loadPresetFile (const juce::File& file, bool nameFromFile, bool sequencerOnly)
{
    VRO_ASSERT_MESSAGE_THREAD
    applyPendingProgramNames(); // an earlier program change's, before this load's path
    auto xml = ProgramDocument::parseFile (file);
    const auto path = file.getFullPathName();
    if (xml == nullptr)
        program.setPath (path);
    else
        readDocument (xml.get(), nameFromFile ? file.getFileNameWithoutExtension() : juce::String(), sequencerOnly, true, &path);
}

bool VroCore::savePresetFile (const juce::File& file)
{
    VRO_ASSERT_MESSAGE_THREAD
    auto xml = createProgramXml (file.getFileNameWithoutExtension());
    const auto target = library->saveTarget (file);
    const bool written = target != juce::File() && SafeFile::replaceWithText (target, ProgramDocument::toFileText (*xml));
    refreshPresetSnapshot (file.getFullPathName());
    return written;
}

void VroCore::loadDefaultPreset()
{
    VRO_ASSERT_MESSAGE_THREAD
    const auto file = getDefaultPresetFile();
    if (file.existsAsFile())
        loadPresetFile (file, false, false);
    else
        resetToDefaults();
}

bool VroCore::saveDefaultPreset()
{
    VRO_ASSERT_MESSAGE_THREAD
    auto xml = createProgramXml ({});
    const auto file = getDefaultPresetFile();
    // Creating the folder by hand would stop the factory presets from ever being installed there:
    // that is done only for a build without a bank, not after an install that failed.
    if (! file.getParentDirectory().isDirectory())
    {
        installFactoryPresetsIfMissing();
        if (! hasFactoryBank())
            file.getParentDirectory().createDirectory();
    }
    const auto target = library->saveTarget (file);
    const bool written = target != juce::File() && SafeFile::replaceWithText (target, ProgramDocument::toFileText (*xml));
    refreshPresetSnapshot (file.getFullPathName());
    return written;
}

void VroCore::movePresetsLocation (const juce::String& folder)
{
    VRO_ASSERT_MESSAGE_THREAD
    if (auto* u = settings->user())
    {
        u->setValue ("presetDirectory", folder);
        u->saveIfNeeded();
    }
    library->moveTo (folder);
    takeNewestPresetSnapshot();
}

void VroCore::installFactoryPresetsIfMissing()
{
    library->installFactoryPresetsIfMissing();
    takeNewestPresetSnapshot();
}

int VroCore::installFactoryPresets (const juce::XmlElement& bank)
{
    const int written = library->installFactoryPresets (bank);
    takeNewestPresetSnapshot();
    return written;
}
