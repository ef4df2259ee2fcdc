#include "VroCore.h"

#include <memory>
#include <mutex>
#include <optional>

using namespace Param;

/** Finishes on the message thread what other threads could only flag.

    Hosts create and delete the processor on their own thread while the framework's message thread
    runs this timer, so the callback and the processor's deletion exclude each other, and the timer
    itself is deleted on the message thread, never under a running callback. */
struct VroCore::MessageThreadWork : private juce::Timer
{
    explicit MessageThreadWork (VroCore& owner) : core (&owner) { startTimer (20); }
    ~MessageThreadWork() override { stopTimer(); }

    /** After this returns no callback touches the processor again. */
    void detach()
    {
        stopTimer();
        const std::lock_guard<std::mutex> lock (mutex);
        core = nullptr;
    }

    void timerCallback() override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        if (core == nullptr)
            return;
        if (core->changePending.exchange (false))
            core->sendChangeMessage();
        core->applyPendingProgramNames();

        // The library's scanner looks at the folder when it can have changed; a new snapshot is
        // handed on here, so a preset added or changed by hand reaches MIDI program changes
        // without a restart.
        if (core->library->generation() != core->heldSnapshotGeneration)
            core->takeNewestPresetSnapshot();
    }

    std::mutex mutex;
    VroCore* core;
};

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

    // The first instance of the process installs the factory presets if needed and looks at the
    // folder: a program change in the very first block (a project or a bounce that opens with one)
    // must find the folder's programs, before the message thread has had a chance to look.
    if (auto* u = settings.user())
        library = PresetLibrary::forSettings (u->getFile().getParentDirectory(), u->getValue ("presetDirectory"));
    else
        library = PresetLibrary::forSettings ({}, {});
    takeNewestPresetSnapshot();

    applyCurrentProgram();
    program.parameters[MidiLearnActivated] = 0.0f;
    lastChangedParameter = 0;
    hostTempo = 120.0f;

    notifier = std::make_unique<AutomationNotifier> (*this);
    notifier->startThread();
    messageThreadWork = std::make_unique<MessageThreadWork> (*this);

    program.path = {};
    constructing = false;
}

VroCore::~VroCore()
{
    // A message the framework is delivering on another thread must not find a half-deleted
    // processor.
    closing = true;
    stopTellingTheHost();
    // The notifier wakes at once when told to stop, but on a loaded machine that can take longer
    // than a few milliseconds, and a thread killed after a short time-out crashes the process.
    // Stopped first, it never works against a half-deleted processor.
    if (notifier != nullptr)
        notifier->stopThread (10000);
    notifier.reset();
    if (messageThreadWork != nullptr)
    {
        messageThreadWork->detach();
        if (juce::MessageManager::existsAndIsCurrentThread())
            messageThreadWork.reset();
        else
        {
            // Deleted where its callbacks run; if the message loop is already gone, here.
            std::shared_ptr<MessageThreadWork> work (messageThreadWork.release());
            juce::MessageManager::callAsync ([work] {});
        }
    }
    presetSnapshot = nullptr;
    heldSnapshot.reset();
    engine.reset();
    midiOut.reset();
}

void VroCore::prepareToPlay (double, int)
{
    hostListening = true;
}

void VroCore::releaseResources()
{
    stopTellingTheHost();
}

void VroCore::stopTellingTheHost() noexcept
{
    hostListening = false;
    // On the message thread a delivery under way is our own caller; elsewhere it finishes in
    // microseconds, and the bound only guards against a host that blocks inside its callback.
    if (juce::MessageManager::existsAndIsCurrentThread())
        return;
    for (int i = 0; i < 2000 && deliveriesUnderWay.load() > 0; ++i)
        juce::Thread::sleep (1);
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
    dispatchParameter (index, value);
    lastChangedParameter = index;
    notifyChange();
}

void VroCore::dispatchParameter (int index, float value)
{
    const double v = value;

    auto clearOthers = [this, v] (std::initializer_list<int> others)
    {
        if (v > 0.0)
            for (int o : others)
                setParameter (o, 0.0f);
    };

    // These reset voices or players, which also write the note-offs they owe the host into the
    // block's MIDI: never in the middle of a block. (The lock is re-entrant for the audio thread.)
    std::optional<juce::ScopedLock> structural;
    if (index == Poly || index == Panic || index == SeqHold || index == SeqRecord || index == ArpMode)
        structural.emplace (getCallbackLock());

    switch (index)
    {
        case MidiLearnDelete:   std::fill (std::begin (program.controllerMap), std::end (program.controllerMap), 0); return;
        case SeqSync:           engine->getSettings().params[SeqSync] = v; engine->updateClockRate (program.parameters[SeqTempo]); return;
        case ArpSeqSyncMode:    engine->setSyncMode (v); engine->updateClockRate (program.parameters[SeqTempo]); return;
        case ArpEnabled:        clearOthers ({ SeqEnabled }); break;
        case SeqEnabled:        clearOthers ({ ArpEnabled }); break;
        case FmPulse:           clearOthers ({ FmSaw, FmSubOsc, FmNoise }); break;
        case FmSaw:             clearOthers ({ FmPulse, FmSubOsc, FmNoise }); break;
        case FmSubOsc:          clearOthers ({ FmPulse, FmSaw, FmNoise }); break;
        case FmNoise:           clearOthers ({ FmPulse, FmSaw, FmSubOsc }); break;
        default:                break;
    }
    engine->setParameter (index, v);
}

void VroCore::notifyChange()
{
    if (juce::MessageManager::existsAndIsCurrentThread())
        sendChangeMessage();
    else
        changePending = true;
}

bool VroCore::onMessageThreadOrOffline() const noexcept
{
    return juce::MessageManager::existsAndIsCurrentThread() || isNonRealtime() || constructing;
}

void VroCore::applyCurrentProgram (bool tellHost)
{
    // The engine takes the program at once on every thread, as host automation does; only telling
    // the host waits for the message thread. Values handed over later could land after a newer
    // change (a host's restore, the next program) and undo it.
    const bool direct = onMessageThreadOrOffline();
    for (int i = 0; i < Count; ++i)
    {
        if (isMomentaryParameter (i))
            continue;
        const float value = program.parameters[i];
        setParameter (i, value);
        if (! tellHost)
            continue;
        if (direct)
            sendParamChangeMessageToListeners (i, value);
        else if (notifier != nullptr)
            notifier->announce (i);
    }
    engine->getPattern().changed = true;
    notifyChange();
    if (! tellHost && ! constructing && juce::MessageManager::existsAndIsCurrentThread())
        updateHostDisplay();
}

void VroCore::resetToDefaults()
{
    for (int i = 0; i < Count; ++i)
        program.parameters[i] = parameterTable[i].startValue;
    applyCurrentProgram();
}

//==============================================================================
void VroCore::handleMessage (const juce::Message& message)
{
    if (auto* m = dynamic_cast<const ParameterChangedMessage*> (&message))
    {
        // Counted before the flag is read, so stopTellingTheHost either sees this delivery or this
        // delivery sees the flag down.
        ++deliveriesUnderWay;
        if (! closing && notifier != nullptr && notifier->isCurrent (m->generation))
        {
            if (! m->announceOnly)
                setParameter (m->parameterIndex, m->value);
            if (hostListening && m->parameterIndex >= 0 && m->parameterIndex < Count)
                sendParamChangeMessageToListeners (m->parameterIndex, program.parameters[m->parameterIndex]);
        }
        --deliveriesUnderWay;
    }
}

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
            notifier->announce (p);
    }

    if (controller == 1)
        engine->getSettings().modWheel = x;
}

