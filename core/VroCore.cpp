#include "VroCore.h"

#include <memory>

using namespace Param;

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

    installFactoryPresetsIfMissing();
    // A program change in the very first block (a project or a bounce that opens with one) must find
    // the folder's programs, before the message thread has had a chance to look.
    refreshPresetSnapshot();

    applyCurrentProgram();
    program.parameters[MidiLearnActivated] = 0.0f;
    lastChangedParameter = 0;
    hostTempo = 120.0f;

    program.setPath ({});
    constructing = false;
}

VroCore::~VroCore()
{
    closing = true;
    bridge->detach();
    if (juce::MessageManager::existsAndIsCurrentThread())
        bridge.reset();
    else
    {
        // Deleted where its timer runs; if the message loop is already gone, here.
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
    JUCE_ASSERT_MESSAGE_THREAD
    bridge->addListener (listener);
}

void VroCore::removeChangeListener (juce::ChangeListener* listener)
{
    JUCE_ASSERT_MESSAGE_THREAD
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
    setParameterNotifyingHost (index, value);
}

void VroCore::beginEditorGesture (int index)
{
    beginParameterChangeGesture (index);
}

void VroCore::endEditorGesture (int index)
{
    endParameterChangeGesture (index);
}

juce::AudioProcessorEditor* VroCore::createEditor()
{
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

void VroCore::clearExclusiveGroup (int index)
{
    static constexpr int fmSources[] = { FmPulse, FmSaw, FmSubOsc, FmNoise };
    const auto others = [index] (std::initializer_list<int> group, auto&& action)
    {
        if (std::find (group.begin(), group.end(), index) != group.end())
            for (int o : group)
                if (o != index)
                    action (o);
    };
    const auto off = [this] (int o) { setParameter (o, 0.0f); };
    others ({ ArpEnabled, SeqEnabled }, off);
    others ({ fmSources[0], fmSources[1], fmSources[2], fmSources[3] }, off);
}

void VroCore::normaliseExclusiveGroups()
{
    const auto normalise = [this] (std::initializer_list<int> group)
    {
        for (int i : group)
            if (program.parameters[i] > 0.0f)
                for (int o : group)
                    if (o > i)
                        program.parameters[o] = 0.0f;
    };
    normalise ({ ArpEnabled, SeqEnabled });
    normalise ({ FmPulse, FmSaw, FmSubOsc, FmNoise });
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
    // The engine takes the program at once when no block holds it, as host automation does;
    // telling the host waits for the message thread. Values handed over later could land after a
    // newer change (a host's restore, the next program) and undo it.
    const bool direct = onMessageThreadOrOffline();
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
        if (! tellHost)
            continue;
        if (direct)
            sendParamChangeMessageToListeners (i, program.parameters[i]);
        else
            notifier.announce (i);
    }
    engine->getPattern().changed = true;
    notifyChange();
    if (! tellHost && ! constructing && juce::MessageManager::existsAndIsCurrentThread())
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

