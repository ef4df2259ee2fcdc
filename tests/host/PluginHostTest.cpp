// Loads the built VST2, VST3 and LV2 plug-ins through the framework's own hosting, as a DAW built
// on it would: scan, instantiate, check identity and parameters, render a note, save and restore.
#include <JuceHeader.h>
#include <gtest/gtest.h>

#include "../FrameworkTestMain.h"
#include "BankProgram.h"
#include "PluginPaths.h"
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

/** Scans a form's file as a host does and makes an instance of it. */
std::unique_ptr<juce::AudioPluginInstance> loadForm (const FormatCase& form, std::unique_ptr<juce::AudioPluginFormat>& format,
                                                     juce::PluginDescription& description)
{
    format = makeFormat (form.name);
    const juce::File file (form.path);
    juce::StringArray identifiers;
    if (juce::String (form.name) == "LV2")
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

class PluginHost : public testing::TestWithParam<FormatCase>
{
protected:
    std::unique_ptr<juce::AudioPluginInstance> load() { return loadForm (GetParam(), format, description); }

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

/** The plug-in's own session document inside each form's state: VST2 hosts keep it as the chunk
    of a bank file, VST3 hosts in the component's state, LV2 hosts as a state property. Taken out
    of one form's state and put into another's, a session moves between forms. */
namespace sessionDocument
{
const juce::String lv2Property = "StateString>";

size_t vstChunkAt (const juce::MemoryBlock& state)
{
    const char magic[] = { 0x56, 0x43, 0x32, 0x21 };
    const std::string_view bytes ((const char*) state.getData(), state.getSize());
    return bytes.find (std::string_view (magic, 4));
}

juce::uint32 bigEndianAt (const juce::MemoryBlock& b, size_t at)
{
    return juce::ByteOrder::bigEndianInt (static_cast<const char*> (b.getData()) + at);
}

void setBigEndianAt (juce::MemoryBlock& b, size_t at, juce::uint32 v)
{
    juce::uint8 bytes[4] = { (juce::uint8) (v >> 24), (juce::uint8) (v >> 16), (juce::uint8) (v >> 8), (juce::uint8) v };
    b.copyFrom (bytes, (int) at, 4);
}

/** Where the LV2 state's literal of our document starts and ends. */
std::pair<int, int> lv2Literal (const juce::String& text)
{
    const int property = text.indexOf (lv2Property);
    const int open = property < 0 ? -1 : text.indexOfChar (property, '"');
    const int close = open < 0 ? -1 : text.indexOfChar (open + 1, '"');
    return { open + 1, close };
}

juce::MemoryBlock from (const juce::String& form, const juce::MemoryBlock& state)
{
    juce::MemoryBlock document;
    if (form == "VST")
    {
        const auto at = vstChunkAt (state);
        if (at != std::string_view::npos && at >= 4)
            document.append (static_cast<const char*> (state.getData()) + at, bigEndianAt (state, at - 4));
    }
    else if (form == "VST3")
    {
        if (const auto head = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize()))
            if (auto* component = head->getChildByName ("IComponent"))
                document.fromBase64Encoding (component->getAllSubText());
    }
    else
    {
        const auto text = state.toString();
        const auto [begin, end] = lv2Literal (text);
        if (begin > 0 && end > begin)
            document.fromBase64Encoding (text.substring (begin, end));
    }
    // The document's own length (magic, text length, text, zero): VST3 adds the framework's
    // private data after it.
    if (document.getSize() > 8)
        document.setSize (std::min (document.getSize(), 9 + (size_t) juce::ByteOrder::littleEndianInt (static_cast<const char*> (document.getData()) + 4)));
    return document;
}

/** The form's own state (of any session) with the document in place of its own. */
juce::MemoryBlock into (const juce::String& form, const juce::MemoryBlock& state, const juce::MemoryBlock& document)
{
    juce::MemoryBlock result;
    if (form == "VST")
    {
        const auto at = vstChunkAt (state);
        result.append (state.getData(), at);
        result.append (document.getData(), document.getSize());
        setBigEndianAt (result, at - 4, (juce::uint32) document.getSize());
        setBigEndianAt (result, 4, (juce::uint32) result.getSize() - 8);
    }
    else if (form == "VST3")
    {
        auto head = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize());
        auto* component = head->getChildByName ("IComponent");
        component->deleteAllTextElements();
        component->addTextElement (document.toBase64Encoding());
        juce::AudioProcessor::copyXmlToBinary (*head, result);
    }
    else
    {
        const auto text = state.toString();
        const auto [begin, end] = lv2Literal (text);
        const auto replaced = text.substring (0, begin) + document.toBase64Encoding() + text.substring (end);
        result.append (replaced.toRawUTF8(), replaced.getNumBytesAsUTF8());
    }
    return result;
}
} // namespace sessionDocument

TEST (FormsTogether, ASessionMovesBetweenFormsWithItsTuning)
{
    const FormatCase forms[] = { { "VST", VRO_VST2_PATH }, { "VST3", VRO_VST3_PATH }, { "LV2", VRO_LV2_PATH } };
    struct Loaded
    {
        std::unique_ptr<juce::AudioPluginFormat> format;
        juce::PluginDescription description;
        std::unique_ptr<juce::AudioPluginInstance> plugin;
    };
    auto load = [] (const FormatCase& form)
    {
        Loaded l;
        l.plugin = loadForm (form, l.format, l.description);
        return l;
    };

    // Each form tuned by the same dump saves the same document.
    juce::MemoryBlock documents[3];
    for (int f = 0; f < 3; ++f)
    {
        auto tuned = load (forms[f]);
        ASSERT_NE (tuned.plugin, nullptr);
        renderNotes (*tuned.plugin, true);
        juce::MemoryBlock state;
        tuned.plugin->getStateInformation (state);
        documents[f] = sessionDocument::from (forms[f].name, state);
        EXPECT_GT (documents[f].getSize(), 8u) << forms[f].name;
        EXPECT_EQ (documents[f], documents[0]) << forms[f].name;
        EXPECT_NE (std::string_view ((const char*) documents[f].getData(), documents[f].getSize()).find ("<tuning midi=\"1\" keys=\""),
                   std::string_view::npos) << forms[f].name;
        tuned.plugin->releaseResources();
    }

    // Saved in one form, restored in another: it plays as that form tuned by the dump itself.
    for (int from = 0; from < 3; ++from)
    {
        for (int to = 0; to < 3; ++to)
        {
            if (to == from)
                continue;
            SCOPED_TRACE (juce::String (forms[from].name) + " to " + forms[to].name);
            auto restored = load (forms[to]);
            auto reference = load (forms[to]);
            ASSERT_TRUE (restored.plugin != nullptr && reference.plugin != nullptr);
            juce::MemoryBlock own;
            restored.plugin->getStateInformation (own);
            const auto state = sessionDocument::into (forms[to].name, own, documents[from]);
            restored.plugin->setStateInformation (state.getData(), (int) state.getSize());
            const auto expected = renderNotes (*reference.plugin, true);
            EXPECT_TRUE (renderNotes (*restored.plugin, false) == expected);
            auto standard = load (forms[to]);
            EXPECT_FALSE (renderNotes (*standard.plugin, false) == expected);
            for (auto* p : { restored.plugin.get(), reference.plugin.get(), standard.plugin.get() })
                p->releaseResources();
        }
    }
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
    const juce::File folder (VRO_PATH (VRO_VST3_PRESET_FOLDER));
    EXPECT_EQ (folder.findChildFiles (juce::File::findFiles, false, "*.vstpreset").size(), bank::programs (*bankRoot).size());
    EXPECT_EQ (folder.findChildFiles (juce::File::findDirectories, false).size(), 0);
    EXPECT_TRUE (folder.getChildFile ("Bass - Acid - Classic Squelch.vstpreset").existsAsFile());

    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, VRO_PATH (VRO_VST3_PATH));
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

        // The host's view of the values, once the plug-in's request to re-read them (made after
        // the load has returned) has come through; and the plug-in's whole state: values, steps,
        // controllers.
        for (auto* p : plugin->getParameters())
            if (p->getName (64) == "VCF Cutoff")
            {
                const auto expected = program->getDoubleAttribute ("filtercutoff");
                const auto end = juce::Time::getMillisecondCounter() + 5000;
                while (std::abs (p->getValue() - expected) > 1.0e-6 && juce::Time::getMillisecondCounter() < end)
                    if (! juce::dispatchNextMessageOnSystemQueue (true))
                        juce::Thread::sleep (1);
                EXPECT_NEAR (p->getValue(), expected, 1.0e-6) << name;
            }
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
                          testing::Values (FormatCase { "VST", VRO_PATH (VRO_VST2_PATH) }, FormatCase { "VST3", VRO_PATH (VRO_VST3_PATH) },
                                           FormatCase { "LV2", VRO_PATH (VRO_LV2_PATH) }),
                          [] (const auto& info) { return std::string (info.param.name); });
} // namespace

int main (int argc, char** argv)
{
    return runTestsInTemporaryHome (argc, argv, "vro-host-home");
}
