// Loads the built VST2, VST3 and LV2 plug-ins through the framework's own hosting, as a DAW built
// on it would: scan, instantiate, check identity and parameters, render a note, save and restore.
#include <JuceHeader.h>
#include <gtest/gtest.h>

#include "../FrameworkTestMain.h"
#include "BankProgram.h"
#include "RenderNote.h"

#include <mutex>

namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); // the framework's own loop step
}

namespace
{
struct FormatCase
{
    const char* name;
    const char* path;
};

std::unique_ptr<juce::AudioPluginFormat> makeFormat (const juce::String& name)
{
    if (name == "VST")  return std::make_unique<juce::VSTPluginFormat>();
    if (name == "VST3") return std::make_unique<juce::VST3PluginFormat>();
    if (name == "LV2")  return std::make_unique<juce::LV2PluginFormat>();
    return {};
}

class PluginHost : public testing::TestWithParam<FormatCase>
{
protected:
    std::unique_ptr<juce::AudioPluginInstance> load()
    {
        format = makeFormat (GetParam().name);
        const juce::File file (GetParam().path);
        juce::StringArray identifiers;
        if (juce::String (GetParam().name) == "LV2")
        {
            // The scan also lists every LV2 plug-in installed on the machine: ours is the one
            // with our URI.
            const auto all = format->searchPathsForPlugins (juce::FileSearchPath (file.getParentDirectory().getFullPathName()), false, false);
            EXPECT_TRUE (all.contains (VRO_LV2_URI)) << all.joinIntoString (", ");
            identifiers.add (VRO_LV2_URI);
        }
        else
            identifiers.add (file.getFullPathName());

        juce::OwnedArray<juce::PluginDescription> found;
        for (const auto& id : identifiers)
            format->findAllTypesForFile (found, id);
        EXPECT_EQ (found.size(), 1);
        if (found.isEmpty())
            return {};

        description = *found[0];
        juce::String error;
        auto instance = format->createInstanceFromDescription (description, 44100.0, 512, error);
        EXPECT_NE (instance, nullptr) << error;
        return instance;
    }

    std::unique_ptr<juce::AudioPluginFormat> format;
    juce::PluginDescription description;
};

TEST_P (PluginHost, LoadsRendersAndRestoresState)
{
    auto plugin = load();
    ASSERT_NE (plugin, nullptr);

    EXPECT_EQ (plugin->getName(), "VRO Drubbel");
    EXPECT_EQ (description.manufacturerName, "VRO-Velmora");
    EXPECT_TRUE (description.isInstrument);
    auto& params = plugin->getParameters();
    // VST3 adds the framework's MIDI-controller stand-ins and a bypass after the plug-in's own,
    // LV2 the host's enable switch.
    const juce::String formatName (GetParam().name);
    // LV2 hosts see only the writable parameters: the 58 that programs store.
    const int expected = formatName == "VST3" ? 66 + 16 * 130 + 1 : (formatName == "LV2" ? 58 + 1 : 66);
    ASSERT_EQ (params.size(), expected) << params.getLast()->getName (64);

    // Some hosts order parameters by name, so they are found by name.
    auto named = [&params] (const juce::String& name) -> juce::AudioProcessorParameter*
    {
        for (auto* p : params)
            if (p->getName (64) == name)
                return p;
        return nullptr;
    };
    auto* cutoff = named ("VCF Cutoff");
    auto* resonance = named ("VCF Resonance");
    ASSERT_NE (cutoff, nullptr);
    ASSERT_NE (resonance, nullptr);
    EXPECT_NE (named ("Volume"), nullptr);
    EXPECT_NE (named ("FM Intensity"), nullptr);
    EXPECT_EQ (plugin->getTotalNumOutputChannels(), 2);

    const double energy = renderNoteEnergy (*plugin);
    EXPECT_GT (energy, 1.0e-3) << "silent, or not finite (-1)";

    cutoff->setValueNotifyingHost (0.25f);
    resonance->setValueNotifyingHost (0.75f);
    juce::MemoryBlock state;
    plugin->getStateInformation (state);
    ASSERT_GT (state.getSize(), 8u);

    cutoff->setValueNotifyingHost (0.9f);
    resonance->setValueNotifyingHost (0.1f);
    plugin->setStateInformation (state.getData(), (int) state.getSize());
    juce::MemoryBlock restored;
    plugin->getStateInformation (restored);
    EXPECT_EQ (restored, state);

    // The framework's LV2 host keeps its own copy of the values and does not re-read it here.
    if (formatName != "LV2")
    {
        EXPECT_NEAR (cutoff->getValue(), 0.25f, 1.0e-6f);
        EXPECT_NEAR (resonance->getValue(), 0.75f, 1.0e-6f);
    }

    plugin->releaseResources();
}

TEST_P (PluginHost, SequencerNotesReachTheHost)
{
    auto plugin = load();
    ASSERT_NE (plugin, nullptr);
    EXPECT_TRUE (plugin->producesMidi());

    auto named = [&plugin] (const juce::String& name) -> juce::AudioProcessorParameter*
    {
        for (auto* p : plugin->getParameters())
            if (p->getName (64) == name)
                return p;
        return nullptr;
    };
    auto* sequencer = named ("SEQ Enabled");
    auto* sync = named ("SEQ Sync");
    ASSERT_NE (sequencer, nullptr);
    ASSERT_NE (sync, nullptr);
    sequencer->setValueNotifyingHost (1.0f);
    sync->setValueNotifyingHost (0.0f); // its own clock, no transport needed

    plugin->prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    int noteOns = 0, noteOffs = 0;
    for (int b = 0; b < 100; ++b)
    {
        buffer.clear();
        midi.clear();
        if (b == 1)
            midi.addEvent (juce::MidiMessage::noteOn (1, 48, (juce::uint8) 100), 0);
        plugin->processBlock (buffer, midi);
        for (const auto meta : midi)
        {
            const auto m = meta.getMessage();
            noteOns += m.isNoteOn() ? 1 : 0;
            noteOffs += m.isNoteOff() ? 1 : 0;
        }
    }
    // Over a second at the start-up tempo the sequencer plays several steps of the held key.
    EXPECT_GE (noteOns, 3);
    EXPECT_GE (noteOffs, 2);
    plugin->releaseResources();
}

/** The parameter changes the plug-in tells its host as edits. A host's own display refresh (the
    framework's VST3 host re-reads every value when asked to, then updates its display, all in one
    message) is not an edit. */
struct EditCounter : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        pending.push_back (index);
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        pending.clear();
    }
    void forgetPending()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        pending.clear();
    }
    /** Whatever arrived since the last call and was no refresh counts. */
    void settle()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        edits.insert (edits.end(), pending.begin(), pending.end());
        pending.clear();
    }
    void runMessageLoop (int milliseconds)
    {
        settle();
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
        while (juce::Time::getMillisecondCounter() < end)
        {
            if (! juce::dispatchNextMessageOnSystemQueue (true))
                juce::Thread::sleep (1);
            settle();
        }
    }

    std::mutex mutex;
    std::vector<int> pending, edits;
};

TEST_P (PluginHost, DefaultsAutomationAndTextsAsTheFormatCarriesThem)
{
    auto plugin = load();
    ASSERT_NE (plugin, nullptr);
    const juce::String formatName (GetParam().name);
    auto named = [&plugin] (const juce::String& name) -> juce::AudioProcessorParameter*
    {
        for (auto* p : plugin->getParameters())
            if (p->getName (64) == name)
                return p;
        return nullptr;
    };

    // VST2 carries no defaults and no text for a value other than the current one.
    if (formatName != "VST")
    {
        const struct { const char* name; float value; } defaults[] = { { "Volume", 0.5f }, { "VCF Cutoff", 1.0f }, { "Transpose", 0.6f }, { "Saw", 1.0f }, { "Attack", 0.0f } };
        for (const auto& d : defaults)
        {
            auto* p = named (d.name);
            ASSERT_NE (p, nullptr) << d.name;
            EXPECT_NEAR (p->getDefaultValue(), d.value, 1.0e-6f) << d.name;
        }
    }
    if (formatName == "VST3")
    {
        // Hosts key automation and saved values by these identifiers: they never change.
        for (int i = 0; i < 66; ++i)
        {
            auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (plugin->getParameters()[i]);
            ASSERT_NE (hosted, nullptr);
            // The framework's hash of "param00".., top bit cleared for hosts that take IDs as signed.
            const auto id = (juce::uint32) ("param" + juce::String (i).paddedLeft ('0', 2)).hashCode() & 0x7fffffffu;
            EXPECT_EQ (hosted->getParameterID(), juce::String (id)) << i;
        }
        auto* cutoff = named ("VCF Cutoff");
        cutoff->setValueNotifyingHost (0.25f);
        EXPECT_EQ (cutoff->getText (0.9f, 32), "0.90");
        EXPECT_EQ (cutoff->getText (0.125f, 32), "0.13");
    }

    // The session's switches and actions are offered as no automation lanes (LV2 hosts see
    // every writable property alike).
    if (formatName != "LV2")
    {
        for (const auto* name : { "Midi Learn Activated", "Midi Learn Delete", "PANIC", "SEQ Lock", "SEQ Record", "SEQ Reset" })
        {
            auto* p = named (name);
            ASSERT_NE (p, nullptr) << name;
            EXPECT_FALSE (p->isAutomatable()) << name;
        }
        EXPECT_FALSE (plugin->getParameters()[0]->isAutomatable());
        EXPECT_FALSE (plugin->getParameters()[58]->isAutomatable());
        EXPECT_TRUE (named ("Volume")->isAutomatable());
        EXPECT_TRUE (named ("SEQ Enabled")->isAutomatable());
    }
}

TEST_P (PluginHost, AHostsOwnRestoreAndActivationAreNotEchoedAsEdits)
{
    auto plugin = load();
    ASSERT_NE (plugin, nullptr);
    juce::MemoryBlock state;
    plugin->getStateInformation (state);

    EditCounter host;
    plugin->addListener (&host);
    // Activation at a rate other than the one the plug-in was made with, one block, then the
    // host's restore of the state it saved.
    plugin->prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    plugin->processBlock (buffer, midi);
    host.runMessageLoop (800);
    plugin->setStateInformation (state.getData(), (int) state.getSize());
    // The framework's VST3 host re-reads every value from the controller after its own restore.
    if (juce::String (GetParam().name) == "VST3")
        host.forgetPending();
    for (int b = 0; b < 4; ++b)
        plugin->processBlock (buffer, midi);
    host.runMessageLoop (800);
    // The framework's LV2 host moves its own enable switch (its "Bypass") on activation.
    std::erase_if (host.edits, [&plugin] (int index) { return plugin->getParameters()[index] == plugin->getBypassParameter(); });
    EXPECT_TRUE (host.edits.empty()) << host.edits.size() << " edits, the first of "
                                     << (host.edits.empty() ? juce::String() : plugin->getParameters()[host.edits.front()]->getName (64));
    plugin->removeListener (&host);
    plugin->releaseResources();
}

/** A bulk dump of the MIDI Tuning Standard: quarter tones, key 69 at 440 Hz. */
juce::MidiMessage quarterToneDump()
{
    std::vector<juce::uint8> m { 0xf0, 0x7e, 0x7f, 0x08, 0x01, 0x00 };
    for (char c : std::string ("quarter tones   "))
        m.push_back ((juce::uint8) c);
    for (int k = 0; k < 128; ++k)
    {
        const int halfSemitones = 138 + (k - 69);
        m.insert (m.end(), { (juce::uint8) (halfSemitones / 2), (juce::uint8) (halfSemitones % 2 != 0 ? 64 : 0), 0 });
    }
    juce::uint8 sum = 0;
    for (size_t i = 1; i < m.size(); ++i)
        sum ^= m[i];
    m.push_back (sum & 0x7f);
    m.push_back (0xf7);
    return juce::MidiMessage (m.data(), (int) m.size());
}

/** Blocks through a loaded plug-in: the dump first when asked, then a few notes; the first channel. */
std::vector<float> renderNotes (juce::AudioPluginInstance& plugin, bool dumpFirst)
{
    plugin.prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    std::vector<float> out;
    for (int b = 0; b < 12; ++b)
    {
        buffer.clear();
        midi.clear();
        if (b == 0 && dumpFirst)
            midi.addEvent (quarterToneDump(), 0);
        if (b == 1)
            midi.addEvent (juce::MidiMessage::noteOn (1, 70, (juce::uint8) 100), 10);
        if (b == 6)
            midi.addEvent (juce::MidiMessage::noteOn (1, 75, (juce::uint8) 100), 10);
        plugin.processBlock (buffer, midi);
        out.insert (out.end(), buffer.getReadPointer (0), buffer.getReadPointer (0) + 512);
    }
    return out;
}

TEST_P (PluginHost, TheSessionKeepsItsTuning)
{
    // Tuned by a dump in one instance, saved, restored into another: that one plays in the tuning
    // as an instance that got the dump itself does, and unlike one in standard tuning.
    auto tuned = load(), restored = load(), reference = load(), standard = load();
    ASSERT_TRUE (tuned != nullptr && restored != nullptr && reference != nullptr && standard != nullptr);
    renderNotes (*tuned, true);
    juce::MemoryBlock session;
    tuned->getStateInformation (session);
    restored->setStateInformation (session.getData(), (int) session.getSize());

    const auto expected = renderNotes (*reference, true);
    EXPECT_TRUE (renderNotes (*restored, false) == expected);
    EXPECT_FALSE (renderNotes (*standard, false) == expected);

    // The tuning outlives a save and restore of the restored instance, too.
    juce::MemoryBlock again;
    restored->getStateInformation (again);
    auto second = load();
    second->setStateInformation (again.getData(), (int) again.getSize());
    EXPECT_TRUE (renderNotes (*second, false) == expected);
    for (auto* p : { tuned.get(), restored.get(), reference.get(), standard.get(), second.get() })
        p->releaseResources();
}

#ifdef VRO_VST3_PRESET_FOLDER
/** What a VST3 host does with a .vstpreset file: the framework's hosting reads the container. */
bool loadVstPreset (juce::AudioPluginInstance& plugin, const juce::MemoryBlock& preset)
{
    struct Loader : juce::ExtensionsVisitor
    {
        void visitVST3Client (const VST3Client& client) override { loaded = client.setPreset (preset); }
        juce::MemoryBlock preset;
        bool loaded = false;
    } loader;
    loader.preset = preset;
    plugin.getExtensions (loader);
    return loader.loaded;
}

TEST (Vst3Presets, TheFolderHoldsTheBankAndEachPresetIsThatProgram)
{
    const auto bankRoot = bank::load();
    ASSERT_NE (bankRoot, nullptr);
    // Flat names: Ardour 7 does not look into subfolders of the preset folder.
    const juce::File folder (VRO_VST3_PRESET_FOLDER);
    EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false, "*.vstpreset").size(), bank::programs (*bankRoot).size());
    EXPECT_EQ (folder.findChildFiles (juce::File::findDirectories, false).size(), 0);
    EXPECT_TRUE (folder.getChildFile ("Bass - Acid - Classic Squelch.vstpreset").existsAsFile());

    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, VRO_VST3_PATH);
    ASSERT_EQ (found.size(), 1);
    juce::String error;
    auto plugin = format.createInstanceFromDescription (*found[0], 44100.0, 512, error);
    ASSERT_NE (plugin, nullptr) << error;

    for (auto* program : bank::samples (*bankRoot))
    {
        const auto name = bank::label (*program).replace ("/", " - ").replace (": ", " - ");
        juce::MemoryBlock preset;
        ASSERT_TRUE (folder.getChildFile (name + ".vstpreset").loadFileAsData (preset)) << name;
        ASSERT_TRUE (loadVstPreset (*plugin, preset)) << name;

        // The host's view of the values, and the plug-in's whole state: values, steps, controllers.
        for (auto* p : plugin->getParameters())
            if (p->getName (64) == "VCF Cutoff")
                EXPECT_NEAR (p->getValue(), program->getDoubleAttribute ("filtercutoff"), 1.0e-6) << name;
        juce::MemoryBlock hostState;
        plugin->getStateInformation (hostState);
        const auto head = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
        ASSERT_NE (head, nullptr);
        auto* component = head->getChildByName ("IComponent");
        ASSERT_NE (component, nullptr);
        juce::MemoryBlock componentState;
        ASSERT_TRUE (componentState.fromBase64Encoding (component->getAllSubText()));
        const auto document = juce::AudioProcessor::getXmlFromBinary (componentState.getData(), (int) componentState.getSize());
        ASSERT_NE (document, nullptr) << name;
        bank::expectProgram (*bankRoot, *program, *document);
    }
}

TEST (Vst3Presets, APresetKeepsTheSessionsTuning)
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, VRO_VST3_PATH);
    ASSERT_EQ (found.size(), 1);
    const auto presets = juce::File (VRO_VST3_PRESET_FOLDER).findChildFiles (juce::File::findFiles, false, "*.vstpreset");
    ASSERT_FALSE (presets.isEmpty());
    juce::MemoryBlock preset;
    ASSERT_TRUE (presets[0].loadFileAsData (preset));

    // The same silent block (with the dump, or without), then the preset, then notes: a preset
    // that dropped the tuning would sound as the untuned one does.
    auto play = [&] (bool dump)
    {
        juce::String error;
        auto plugin = format.createInstanceFromDescription (*found[0], 44100.0, 512, error);
        EXPECT_NE (plugin, nullptr) << error;
        plugin->prepareToPlay (44100.0, 512);
        juce::AudioBuffer<float> buffer (2, 512);
        buffer.clear();
        juce::MidiBuffer midi;
        if (dump)
            midi.addEvent (quarterToneDump(), 0);
        plugin->processBlock (buffer, midi);
        EXPECT_TRUE (loadVstPreset (*plugin, preset));
        auto out = renderNotes (*plugin, false);
        plugin->releaseResources();
        return out;
    };
    EXPECT_FALSE (play (true) == play (false));
}
#endif

INSTANTIATE_TEST_SUITE_P (Formats, PluginHost,
                          testing::Values (FormatCase { "VST", VRO_VST2_PATH }, FormatCase { "VST3", VRO_VST3_PATH },
                                           FormatCase { "LV2", VRO_LV2_PATH }),
                          [] (const auto& info) { return std::string (info.param.name); });
} // namespace

int main (int argc, char** argv)
{
    return runTestsInTemporaryHome (argc, argv, "vro-host-home");
}
