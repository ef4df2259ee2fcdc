#pragma once

#include "AutomationNotifier.h"
#include "HostBridge.h"
#include "PluginSettings.h"
#include "PresetLibrary.h"
#include "PresetSnapshot.h"
#include "SessionTuning.h"
#include "SynthEngine.h"
#include "VroEditorFactory.h"
#include "VroProgram.h"
#include <juce_audio_processors/juce_audio_processors.h>
#include <array>
#include <memory>

/** A parameter value as hosts show it: two decimals. */
juce::String formatTwoDecimals (float value);

/** The plug-in's audio processor: blocks, parameters and the state's entry points, over the
    engine, the current program, the settings and the bridge to the host and the editor. Hosts see
    66 parameters (objects that forward to the index-based operations) and one program named
    "default". Which thread may call what is written in Threading.h. */
class VroCore : public juce::AudioProcessor
{
public:
    explicit VroCore (VroEditorFactory editorFactory = nullptr);
    ~VroCore() override;

    // juce::AudioProcessor
    const juce::String getName() const override { return "VRO Drubbel"; }
    void prepareToPlay (double, int) override;
    /** Stops telling the host of changes until the next prepareToPlay. Never waits: hosts release
        a plug-in holding locks of their own, which their automation callbacks take. */
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;
    bool canRemoveBus (bool isInput) const override;
    const juce::String getInputChannelName (int channelIndex) const override { return juce::String (channelIndex + 1); }
    const juce::String getOutputChannelName (int channelIndex) const override { return juce::String (channelIndex + 1); }
    bool isInputChannelStereoPair (int) const override { return true; }
    bool isOutputChannelStereoPair (int) const override { return true; }
    bool silenceInProducesSilenceOut() const override { return false; }
    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return true; }
    bool producesMidi() const override;
    void reset() override {}
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return editorFactory != nullptr; }

    int getNumParameters() override { return Param::Count; }
    /** Stable identifiers for hosts that key automation by name (LV2 writes them into its
        manifest, where a bare index would collapse to one identifier); zero-padded so that
        hosts sorting them by name keep the index order. Never change them. */
    juce::String getParameterID (int index) override { return "param" + juce::String (index).paddedLeft ('0', 2); }
    const juce::String getParameterName (int index) override;
    using juce::AudioProcessor::getParameterName;
    float getParameter (int index) override;
    const juce::String getParameterText (int index) override;
    using juce::AudioProcessor::getParameterText;
    juce::String getParameterLabel (int) const override { return {}; }
    void setParameter (int index, float value) override;
    bool isParameterAutomatable (int index) const override { return index >= 0 && index < Param::Count && ! isSessionParameter (index); }
    bool isMetaParameter (int index) const override { return isMetaParameterIndex (index); }

    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    /** The host's own choice of its one program: applied, and not told back to the host. */
    void setCurrentProgram (int) override { applyCurrentProgram (false); }
    const juce::String getProgramName (int) override { return "default"; }
    void changeProgramName (int, const juce::String& name) override { program.setProgramName (name); }

    /** The session: the program and the tuning. */
    void getStateInformation (juce::MemoryBlock& dest) override;
    void setStateInformation (const void* data, int size) override;
    /** The program alone, which hosts keep as presets: the tuning is the session's. */
    void getCurrentProgramStateInformation (juce::MemoryBlock& dest) override;
    void setCurrentProgramStateInformation (const void* data, int size) override;
    void numChannelsChanged() override {}

    /** The editor hears of every change through this, on the message thread, within 20 ms. */
    void addChangeListener (juce::ChangeListener* listener);
    void removeChangeListener (juce::ChangeListener* listener);
    /** Something the editor shows changed. Any thread; never waits or allocates. */
    void notifyChange() noexcept
    {
        changePending.store (true);
        if (bridge != nullptr)
            bridge->wake();
    }

    /** Pushes every stored value (but the momentary ones) into the engine and, unless the host
        itself asked for it (a restore, an activation), tells the host. A host that writes
        automation would record the echo of its own restore as edits; it only hears that its
        display may need a refresh. */
    void applyCurrentProgram (bool tellHost = true);
    /** Every value back to its start value; name, path, category and controller map stay. */
    void resetToDefaults();

    // The program document.
    std::unique_ptr<juce::XmlElement> createProgramXml (const juce::String& name);
    /** honourSeqLock: "SEQ Lock" keeps the pattern and the arpeggiator/sequencer values, as it
        does for the player's browsing (preset files, MIDI program changes); a host's restore
        passes false and gets back everything it saved, without an echo to the host. */
    void readProgramXml (const juce::XmlElement* root, const juce::String& name, bool sequencerOnly,
                         bool honourSeqLock = true);

    /** The editor's edits, told to the host as the host's own automation would be. */
    void setParameterFromEditor (int index, float value);
    void beginEditorGesture (int index);
    void endEditorGesture (int index);

    // MIDI learn and controllers.
    void handleController (int controller, int value);

    // Preset files.
    juce::String getPresetDirectory();
    juce::File getDefaultPresetFile();
    juce::Array<juce::File> presetList();
    void loadPresetFile (const juce::File& file, bool nameFromFile, bool sequencerOnly);
    bool savePresetFile (const juce::File& file);
    void loadDefaultPreset();
    bool saveDefaultPreset();
    void movePresetsLocation (const juce::String& folder);
    /** Writes the bank's programs as preset files when the preset folder does not exist yet;
        returns the number of files written. */
    int installFactoryPresets (const juce::XmlElement& bank);
    /** The same with the embedded bank, parsed only when the folder is missing. */
    void installFactoryPresetsIfMissing();
    /** Brings the preset library up to date (cheap when nothing changed) and takes its newest
        snapshot for MIDI program changes (message thread). changedPath: a file just written, read
        again even if its size and time look the same. */
    void refreshPresetSnapshot (const juce::String& changedPath = {});
    /** A program or category name as a file or folder name that stays inside its folder. */
    static juce::String presetFileName (const juce::String& name);
    void setMidiProgramChangeDisabled (bool on) { settings->setMidiProgramChangeDisabled (on); }
    bool isMidiProgramChangeDisabled() const noexcept { return settings->isMidiProgramChangeDisabled(); }
    void setBackgroundColourType (int value) { settings->setBackgroundColourType (value); }
    int getBackgroundColourType() { return settings->getBackgroundColourType(); }

    // The session's tuning: part of the host's state, never of a program or a preset file.
    /** A Scala scale (.scl) or keyboard mapping (.kbm) file as the session's tuning, with the
        other file of the tuning kept; MIDI retunings since are dropped. False with a message
        naming the file and the line, and the tuning as it was. */
    bool loadScaleFile (const juce::File& file, juce::String& error);
    bool loadKeyboardMappingFile (const juce::File& file, juce::String& error);
    /** The same with the files' texts (the renderer, tests); an empty source is no file. */
    bool setTuningFiles (const SessionTuning::Source& scale, const SessionTuning::Source& mapping, juce::String& error);
    void setStandardTuning();
    /** The tuning as the state would save it now, MIDI retunings included. */
    SessionTuning::Tuning getTuning();
    /** What the editor shows: the scale's description, the mapping's name, or that MIDI retuned it. */
    juce::String getTuningDescription();

    /** The rates the engine is built for. A host's rate outside is held to the nearer end; zero,
        negative and non-finite rates are ignored. */
    static constexpr double minSampleRate = 8000.0, maxSampleRate = 384000.0;
    static float engineRateFor (double hostRate, float current) noexcept;

    /** Events of 0-sample blocks kept for the next block's start. */
    static constexpr int maxPendingEvents = 256;

    // Access for the editor and tests.
    VroProgram& getProgram() noexcept { return program; }
    SynthEngine& getEngine() noexcept { return *engine; }
    StepPattern& getPattern() noexcept { return engine->getPattern(); }
    juce::String getLfoRateText() const { return engine->getLfo().getRateText(); }
    juce::String getClockRateText() const { return engine->getClock().getRateText(); }
    const StepClock& getClock() const noexcept { return engine->getClock(); }
    /** The tempo light: on in the LFO's rising half, and steadily on above 8 Hz, where blinking
        would only flicker. */
    bool isTempoLightOn() const noexcept { return lfoRising.load (std::memory_order_relaxed) || engine->getLfo().rateReadout.value() > 8.0; }
    int getLastChangedParameter() const noexcept { return lastChangedParameter; }
    AutomationNotifier& getNotifier() noexcept { return notifier; }
    HostBridge& getBridge() noexcept { return *bridge; }
    PluginSettings& getSettings() noexcept { return *settings; }
    /** The preset folder, shared with every other instance of the process. */
    PresetLibrary& getPresetLibrary() noexcept { return *library; }

    /** The embedded factory bank document (parsed on demand). */
    static std::unique_ptr<juce::XmlElement> parseFactoryBank();

private:
    friend class HostBridge;

    /** The engine's side of a value; the caller holds the callback lock. */
    void applyToEngine (int index, float value);
    /** Values stored while a block held the engine, applied before the next block's first sample. */
    void applyPendingToEngine();
    /** "Arp"/"Seq" and the FM sources are exclusive: switching one on switches the others off. */
    void clearExclusiveGroup (int index);
    /** The same over a whole program, in index order, as setting each value in turn would. */
    void normaliseExclusiveGroups();
    void handleMidiEvents (juce::MidiBufferIterator& it, const juce::MidiBufferIterator& end, int sampleIndex);
    void handleMidiMessage (const juce::uint8* data, int size);
    void keepPendingEvents (juce::MidiBufferIterator& it, const juce::MidiBufferIterator& end);
    void deliverPendingEvents();
    int mainSyncPosition() const noexcept;
    bool onMessageThreadOrOffline() const noexcept;
    /** readProgramXml, with the path of the file it came from taken in the same hold of the program. */
    void readDocument (const juce::XmlElement* root, const juce::String& name, bool sequencerOnly, bool honourSeqLock,
                       const juce::String* path);
    void applyReading (const ProgramReading& reading, bool sequencerOnly, bool honourSeqLock);
    void applyReadingNames (const ProgramReading& reading, const juce::String& name);
    /** applyCurrentProgram; inBlock: called from a block, which holds the engine's lock, so the
        host hears of the values from the bridge and is not asked to refresh its display. */
    void applyProgram (bool tellHost, bool inBlock);
    /** A MIDI program change on the audio thread: from the snapshot, no file, lock or allocation. */
    void applyProgramChange (int number);
    /** The name, category and path of the last MIDI program change (message thread). */
    void applyPendingProgramNames();
    /** Hands the library's newest snapshot to the audio thread (message thread), no walk. */
    void takeNewestPresetSnapshot();
    void restoreState (const void* data, int size, bool withTuning);
    void installTuning (const SessionTuning::Tuning& tuning);
    /** Audio thread: a table installed while a block ran, before the next one. */
    void takeWaitingTuning() noexcept;
    void handleSystemExclusive (const juce::uint8* data, int size) noexcept;

    struct HostParameter;

    const VroEditorFactory editorFactory;
    // One per process, like the preset library.
    const std::shared_ptr<PluginSettings> settings { PluginSettings::shared() };
    bool constructing = true;
    VroProgram program;
    AutomationNotifier notifier;
    std::atomic<int> lastChangedParameter { 0 };
    std::atomic<bool> changePending { false };
    std::atomic<bool> closing { false };
    // Set per block from the LFO, for the tempo light.
    std::atomic<bool> lfoRising { false };
    // Parameters whose engine side waits for the next block, one bit per index.
    std::atomic<std::uint64_t> enginePending[(Param::Count + 63) / 64] {};

    // The audio thread's own (and the callback lock's holder's).
    float sampleRate = 44100.0f;
    double hostSampleRate = 44100.0; // as the host last reported it
    std::unique_ptr<MidiOutCollector> midiOut;
    std::unique_ptr<SynthEngine> engine;
    float hostTempo = 120.0f;
    struct PendingEvent
    {
        uint8_t bytes[3];
        uint8_t size;
    };
    std::array<PendingEvent, maxPendingEvents> pendingEvents {};
    int numPendingEvents = 0;
    int pendingProgramChange = -1; // found the program being written elsewhere: tried next block
    const PresetSnapshot* blockSnapshot = nullptr;

    // Handed between the bridge and the audio thread.
    std::atomic<const PresetSnapshot*> audioSnapshot { nullptr };
    std::atomic<std::uint64_t> blocksDone { 0 };
    std::atomic<const PresetSnapshot::Program*> pendingProgramNames { nullptr };

    // The preset folder's library, shared by the process's instances, and the generation of its
    // snapshot last handed to the audio thread (message thread).
    std::shared_ptr<PresetLibrary> library;
    juce::uint64 heldSnapshotGeneration = 0;

    std::unique_ptr<HostBridge> bridge;

    // The session's tuning as installed (files, table, its number): under tuningLock, never taken
    // on the audio thread. The engine's table (the callback lock's holder's) and the number it was
    // installed as; MIDI retunings of it are published for saving.
    juce::CriticalSection tuningLock;
    SessionTuning::Tuning installedTuning;
    juce::String installedDescription = "Standard Tuning";
    std::uint32_t installedTuningNumber = 1, engineTuningNumber = 1;
    SessionTuning::Handover tuningHandover;
    SessionTuning::Published publishedTuning;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VroCore)
};
