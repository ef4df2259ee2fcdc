// Loads the built VST2, VST3 and LV2 plug-ins through the framework's own hosting, as a DAW built
// on it would: scan, instantiate, check identity and parameters, render a note, save and restore.
#include <JuceHeader.h>
#include <gtest/gtest.h>

#include "../FrameworkTestMain.h"

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
    const int expected = formatName == "VST3" ? 66 + 16 * 130 + 1 : (formatName == "LV2" ? 67 : 66);
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

    plugin->prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    double energy = 0.0;
    bool finite = true;
    for (int b = 0; b < 20; ++b)
    {
        buffer.clear();
        midi.clear();
        if (b == 0)
            midi.addEvent (juce::MidiMessage::noteOn (1, 48, (juce::uint8) 100), 10);
        plugin->processBlock (buffer, midi);
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float s = buffer.getSample (0, i);
            finite = finite && std::isfinite (s);
            energy += s * s;
        }
    }
    EXPECT_TRUE (finite);
    EXPECT_GT (energy, 1.0e-3);

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

INSTANTIATE_TEST_SUITE_P (Formats, PluginHost,
                          testing::Values (FormatCase { "VST", VRO_VST2_PATH }, FormatCase { "VST3", VRO_VST3_PATH },
                                           FormatCase { "LV2", VRO_LV2_PATH }),
                          [] (const auto& info) { return std::string (info.param.name); });
} // namespace

int main (int argc, char** argv)
{
    return runTestsInTemporaryHome (argc, argv, "vro-host-home");
}
