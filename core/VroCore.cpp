#include "VroCore.h"
#include "VroEditorFactory.h"

#include <optional>

using namespace Param;

VroCore::VroCore()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
{
    constructing = true;
    const double hostRate = getSampleRate();
    sampleRate = hostRate > 0.0 ? (float) hostRate : 44100.0f;

    midiOut = std::make_unique<MidiOutCollector>();
    engine = std::make_unique<SynthEngine> (sampleRate, *midiOut);

    if (auto bank = parseFactoryBank())
        installFactoryPresets (*bank);

    applyCurrentProgram();
    program.parameters[MidiLearnActivated] = 0.0f;
    lastChangedParameter = 0;
    hostTempo = 120.0f;

    notifier = std::make_unique<AutomationNotifier> (*this);
    notifier->startThread();

    program.path = {};
    constructing = false;
}

VroCore::~VroCore()
{
    engine.reset();
    midiOut.reset();
    if (notifier != nullptr)
        notifier->stopThread (30);
    notifier.reset();
}

bool VroCore::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    // Exactly stereo in and out; accepting anything makes hosts see 64 outputs.
    return layouts.getMainInputChannelSet() == juce::AudioChannelSet::stereo()
        && layouts.getMainOutputChannelSet() == juce::AudioChannelSet::stereo();
}

juce::AudioProcessorEditor* VroCore::createEditor()
{
    return createVroEditor (*this);
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
    // such a value is ignored as a whole, the stored value stays.
    if (! std::isfinite (value))
        return;

    program.parameters[index] = value;
    dispatchParameter (index, value);
    lastChangedParameter = index;
    sendChangeMessage();
}

void VroCore::dispatchParameter (int index, float value)
{
    auto& s = engine->getSettings();
    auto& slot = s.params;
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
        case Volume:            slot[Volume] = (std::pow (20.0, v) - 1.0) * 7.2; break;
        case Transpose:         OscillatorSection::setTranspose (s, v); break;
        case MidiLearnDelete:   std::fill (std::begin (program.controllerMap), std::end (program.controllerMap), 0); break;
        case Poly:              engine->getVoices().setVoiceCount (v > 0.0 ? 6 : 1); slot[Poly] = v; break;
        case Panic:             engine->allNotesOff(); break;
        case LfoRate:
        case LfoTrigger:
        case LfoSync:           slot[index] = v; engine->getLfo().updateRate(); break;
        case LfoWaveform:       engine->getLfo().setWaveform (v); break;
        case LfoInverted:       engine->getLfo().setInvert (v); break;
        case VcoModulation:
        case VcoModSnap:        slot[index] = v; OscillatorSection::setVcoModulation (s); break;
        case VcoPwm:            slot[VcoPwm] = v < 0.25 ? 4.0 * square (v) : v; break;
        case VcoRange:          OscillatorSection::setRange (s, v); break;
        case SubOscMode:        OscillatorSection::setSubOscMode (s, v); break;
        case VcfResonance:      s.resonance = std::pow (2.0, v) - 1.0; break;
        case VcfEnvelope:       slot[VcfEnvelope] = v; VoiceFilter::setFilterEnvelopeAmount (s, v); break;
        case VcfModulation:     slot[VcfModulation] = (std::pow (20.0, v) - 1.0) / 19.0 * 0.5; break;
        case VcfEnvelopeRange:  slot[VcfEnvelopeRange] = v; VoiceFilter::setFilterEnvelopeAmount (s, slot[VcfEnvelope]); break;
        case VcfVolumeComp:     s.volumeCompensation = v > 0.5; break;
        case Attack:            s.attack = 0.1 * v + 0.9 * cube (v); break;
        case Decay:             s.decay = 0.1 * v + 0.9 * cube (v); break;
        case Sustain:           s.sustain = v; break;
        case Release:           s.release = 0.9 * square (v) + 0.1 * cube (v); slot[Release] = v; break;
        case SeqHold:           slot[SeqHold] = v; engine->setHold (v >= 0.5); break;
        case SeqSync:           slot[SeqSync] = v; engine->updateClockRate (program.parameters[SeqTempo]); break;
        case SeqTempo:          slot[SeqTempo] = v; engine->updateClockRate (v); break;
        case SeqSteps:          engine->setStepCount (v); break;
        case ArpEnabled:        clearOthers ({ SeqEnabled }); slot[ArpEnabled] = v; break;
        case ArpMode:           engine->getArpSeq().arpeggiator.setMode (v); slot[ArpMode] = v; break;
        case ArpSeqSyncMode:    engine->setSyncMode (v); engine->updateClockRate (program.parameters[SeqTempo]); break;
        case SeqEnabled:        clearOthers ({ ArpEnabled }); slot[SeqEnabled] = v; break;
        case SeqRecord:         slot[SeqRecord] = v; if (v > 0.5) engine->getArpSeq().recordChanged(); break;
        case SeqReset:          engine->resetPattern(); break;
        case MainSyncMode:      slot[MainSyncMode] = v; engine->setMainSyncMode (v); break;
        case FmPulse:           clearOthers ({ FmSaw, FmSubOsc, FmNoise }); slot[FmPulse] = v; break;
        case FmSaw:             clearOthers ({ FmPulse, FmSubOsc, FmNoise }); slot[FmSaw] = v; break;
        case FmSubOsc:          clearOthers ({ FmPulse, FmSaw, FmNoise }); slot[FmSubOsc] = v; break;
        case FmNoise:           clearOthers ({ FmPulse, FmSaw, FmSubOsc }); slot[FmNoise] = v; break;
        default:                slot[index] = v; break;
    }
}

bool VroCore::onMessageThreadOrOffline() const noexcept
{
    return juce::MessageManager::existsAndIsCurrentThread() || isNonRealtime() || constructing;
}

void VroCore::applyCurrentProgram()
{
    const bool direct = onMessageThreadOrOffline();
    for (int i = 0; i < Count; ++i)
    {
        if (isMomentaryParameter (i))
            continue;
        const float value = program.parameters[i];
        if (direct)
        {
            setParameter (i, value);
            sendParamChangeMessageToListeners (i, value);
        }
        else if (notifier != nullptr)
        {
            notifier->enqueue (i, value);
        }
    }
    engine->getPattern().changed = true;
    sendChangeMessage();
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
        setParameter (m->parameterIndex, m->value);
        sendParamChangeMessageToListeners (m->parameterIndex, m->value);
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
        if (isNonRealtime())
            setParameter (p, x);
        else
            notifier->enqueue (p, x);
    }

    if (controller == 1)
        engine->getSettings().modWheel = x;
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VroCore();
}
