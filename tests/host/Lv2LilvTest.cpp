// The LV2 form as LV2 hosts read it through lilv: the parameters offered for automation, and the
// factory bank's preset bundle, whose presets restored through lilv's state API give the plug-in
// their program.
#include "ProgramDocument.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "../FrameworkTestMain.h"
#include "BankProgram.h"
#include "PluginPaths.h"

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
/** The host side of the features the plug-in requires. */
struct Host
{
    static LV2_URID map (LV2_URID_Map_Handle handle, const char* uri)
    {
        auto& uris = static_cast<Host*> (handle)->uris;
        const auto found = uris.find (uri);
        if (found != uris.end())
            return found->second;
        const auto id = (LV2_URID) uris.size() + 1;
        uris.emplace (uri, id);
        return id;
    }

    std::map<std::string, LV2_URID> uris;
    LV2_URID_Map mapFeature { this, map };
    int32_t maxBlock = 512;
    LV2_Options_Option options[2] {
        { LV2_OPTIONS_INSTANCE, 0, map (this, LV2_BUF_SIZE__maxBlockLength), sizeof (int32_t), map (this, LV2_ATOM__Int), &maxBlock },
        { LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr },
    };
    LV2_Feature mapping { LV2_URID__map, &mapFeature };
    LV2_Feature optionsFeature { LV2_OPTIONS__options, options };
    LV2_Feature bounded { LV2_BUF_SIZE__boundedBlockLength, nullptr };
    const LV2_Feature* features[4] { &mapping, &optionsFeature, &bounded, nullptr };
};

/** What the plug-in saves, by property. */
struct SavedState
{
    static LV2_State_Status store (LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t, uint32_t)
    {
        static_cast<SavedState*> (handle)->properties[key] = std::string (static_cast<const char*> (value), size);
        return LV2_STATE_SUCCESS;
    }
    std::map<uint32_t, std::string> properties;
};

class Lv2Form : public testing::Test
{
protected:
    void SetUp() override
    {
        // Our two bundles only, not whatever the machine has installed.
        setenv ("LV2_PATH", VRO_PATH (VRO_LV2_FOLDER), 1);
        world = lilv_world_new();
        lilv_world_load_all (world);
        auto* uri = lilv_new_uri (world, VRO_LV2_URI);
        plugin = lilv_plugins_get_by_uri (lilv_world_get_all_plugins (world), uri);
        lilv_node_free (uri);
        ASSERT_NE (plugin, nullptr);

        auto* presetClass = lilv_new_uri (world, LV2_PRESETS__Preset);
        auto* labelUri = lilv_new_uri (world, "http://www.w3.org/2000/01/rdf-schema#label");
        auto* presets = lilv_plugin_get_related (plugin, presetClass);
        LILV_FOREACH (nodes, i, presets)
        {
            const auto* preset = lilv_nodes_get (presets, i);
            lilv_world_load_resource (world, preset);
            auto* label = lilv_world_get (world, preset, labelUri, nullptr);
            labels.push_back (label != nullptr ? lilv_node_as_string (label) : "");
            presetUris[labels.back()] = lilv_node_as_uri (preset);
            lilv_node_free (label);
        }
        lilv_nodes_free (presets);
        lilv_node_free (labelUri);
        lilv_node_free (presetClass);
    }

    void TearDown() override
    {
        lilv_world_free (world);
    }

    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    std::vector<std::string> labels;
    std::map<std::string, std::string> presetUris;
};

TEST_F (Lv2Form, TheSessionsSwitchesAreReadableButNotWritable)
{
    // Hosts offer writable parameters as automation lanes and save them with a project; the
    // session's switches and actions are only shown.
    auto identifiers = [this] (const char* property)
    {
        std::set<std::string> result;
        auto* subject = lilv_new_uri (world, VRO_LV2_URI);
        auto* predicate = lilv_new_uri (world, property);
        auto* nodes = lilv_world_find_nodes (world, subject, predicate, nullptr);
        LILV_FOREACH (nodes, i, nodes)
            result.insert (juce::String (lilv_node_as_uri (lilv_nodes_get (nodes, i))).fromLastOccurrenceOf (":", false, false).toStdString());
        lilv_nodes_free (nodes);
        lilv_node_free (predicate);
        lilv_node_free (subject);
        return result;
    };
    const auto writable = identifiers (LV2_PATCH__writable), readable = identifiers (LV2_PATCH__readable);
    EXPECT_EQ (readable.size(), 66u);
    EXPECT_EQ (writable.size(), 58u);
    for (const auto* session : { "param00", "param06", "param07", "param09", "param44", "param53", "param55", "param58" })
    {
        EXPECT_EQ (writable.count (session), 0u) << session;
        EXPECT_EQ (readable.count (session), 1u) << session;
    }
    EXPECT_EQ (writable.count ("param01"), 1u);
    EXPECT_EQ (writable.count ("param52"), 1u);
}

TEST_F (Lv2Form, EveryProgramOfTheBankIsListedWithItsCategory)
{
    const auto bankRoot = bank::load();
    ASSERT_NE (bankRoot, nullptr);
    const auto programs = bank::programs (*bankRoot);
    EXPECT_EQ (programs.size(), 321);
    // The plug-in's own "default" and one per program, under the names the bank gives them.
    EXPECT_EQ (labels.size(), (size_t) programs.size() + 1);
    EXPECT_EQ (presetUris.count ("default"), 1u);
    EXPECT_EQ (presetUris.count ("Bass/Acid: Classic Squelch"), 1u);
    for (auto* p : programs)
        EXPECT_EQ (presetUris.count (bank::label (*p).toStdString()), 1u) << bank::label (*p);
}

TEST_F (Lv2Form, ARestoredPresetIsThatProgram)
{
    const auto bankRoot = bank::load();
    ASSERT_NE (bankRoot, nullptr);
    Host host;
    auto* instance = lilv_plugin_instantiate (plugin, 44100.0, host.features);
    ASSERT_NE (instance, nullptr);
    const auto* stateInterface = static_cast<const LV2_State_Interface*> (lilv_instance_get_extension_data (instance, LV2_STATE__interface));
    ASSERT_NE (stateInterface, nullptr);
    const auto stateKey = Host::map (&host, VRO_LV2_URI ":StateString");

    for (auto* program : bank::samples (*bankRoot))
    {
        const auto label = bank::label (*program).toStdString();
        ASSERT_EQ (presetUris.count (label), 1u) << label;
        auto* presetUri = lilv_new_uri (world, presetUris[label].c_str());
        auto* state = lilv_state_new_from_world (world, &host.mapFeature, presetUri);
        lilv_node_free (presetUri);
        ASSERT_NE (state, nullptr) << label;
        lilv_state_restore (state, instance, nullptr, nullptr, 0, host.features);
        lilv_state_free (state);

        // What the plug-in now saves is that program.
        SavedState saved;
        ASSERT_EQ (stateInterface->save (lilv_instance_get_handle (instance), SavedState::store, &saved, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, host.features), LV2_STATE_SUCCESS);
        ASSERT_EQ (saved.properties.count (stateKey), 1u);
        juce::MemoryBlock chunk;
        ASSERT_TRUE (chunk.fromBase64Encoding (juce::String (saved.properties[stateKey].c_str())));
        const auto document = ProgramDocument::readChunk (chunk.getData(), (int) chunk.getSize());
        ASSERT_NE (document, nullptr) << label;
        bank::expectProgram (*bankRoot, *program, *document);
    }
    lilv_instance_free (instance);
}
/** A state as a session or a preset file hands it to the plug-in: one property of the plug-in's
    state key (or another key), as Turtle that lilv reads. */
std::string hostileStateTurtle (const std::string& property, const std::string& object)
{
    return "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
           "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
           "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "<urn:vro:hostile> a pset:Preset ; lv2:appliesTo <" VRO_LV2_URI "> ;\n"
           "    state:state [ <" VRO_LV2_URI ":" + property + "> " + object + " ] .\n";
}

std::string quoted (const std::string& text)
{
    return "\"\"\"" + text + "\"\"\"";
}

TEST_F (Lv2Form, HostileStatesAreIgnoredAndTheProgramStays)
{
    Host host;
    auto* instance = lilv_plugin_instantiate (plugin, 44100.0, host.features);
    ASSERT_NE (instance, nullptr);
    const auto* stateInterface = static_cast<const LV2_State_Interface*> (lilv_instance_get_extension_data (instance, LV2_STATE__interface));
    ASSERT_NE (stateInterface, nullptr);
    const auto stateKey = Host::map (&host, VRO_LV2_URI ":StateString");
    auto saved = [&]
    {
        SavedState state;
        stateInterface->save (lilv_instance_get_handle (instance), SavedState::store, &state, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, host.features);
        return state.properties[stateKey];
    };

    const auto encoded = [] (const std::string& bytes) { return juce::MemoryBlock (bytes.data(), bytes.size()).toBase64Encoding().toStdString(); };
    const std::string fiftyMegabytes (50u * 1024u * 1024u, 'A');
    const struct
    {
        const char* what;
        std::string property, object;
    } cases[] = {
        { "negative size", "StateString", quoted ("-1.") },
        { "negative size with data", "StateString", quoted ("-1.AAAAAAAA") },
        { "most negative int", "StateString", quoted ("-2147483648.AAAA") },
        { "size past 32 bits", "StateString", quoted ("4294967295.AAAA") },
        { "twenty digits", "StateString", quoted ("99999999999999999999.AAAA") },
        { "two gigabytes declared", "StateString", quoted ("2000000000.AAAA") },
        { "more declared than the text holds", "StateString", quoted ("100.AAAA") },
        { "no dot", "StateString", quoted ("AAAAAAAA") },
        { "empty", "StateString", quoted ("") },
        { "a dot alone", "StateString", quoted (".") },
        { "space before the size", "StateString", quoted (" 12.AAAAAAAAAAAAAAAA") },
        { "plus sign", "StateString", quoted ("+12.AAAAAAAAAAAAAAAA") },
        { "not base64", "StateString", quoted ("12.!!!!!!!!!!!!!!!!") },
        { "bytes that are no chunk", "StateString", quoted (encoded ("this is not a state chunk at all")) },
        { "a document that is not ours", "StateString", quoted (encoded ("<?xml version=\"1.0\"?><other a=\"1\"/>")) },
        { "50 MB declaring little", "StateString", quoted ("1000." + fiftyMegabytes) },
        { "50 MB declaring all", "StateString", quoted (std::to_string (fiftyMegabytes.size() / 4 * 3) + "." + fiftyMegabytes) },
        { "an integer instead of text", "StateString", "5" },
        { "a program number as text", "Program", quoted ("7") },
    };

    // A program of the bank first, so that a fall back to the start-up sound shows too.
    ASSERT_FALSE (presetUris.empty());
    auto* presetUri = lilv_new_uri (world, presetUris.begin()->second.c_str());
    auto* preset = lilv_state_new_from_world (world, &host.mapFeature, presetUri);
    lilv_node_free (presetUri);
    ASSERT_NE (preset, nullptr);
    lilv_state_restore (preset, instance, nullptr, nullptr, 0, host.features);
    lilv_state_free (preset);
    const auto before = saved();
    ASSERT_FALSE (before.empty());
    for (const auto& c : cases)
    {
        auto* state = lilv_state_new_from_string (world, &host.mapFeature, hostileStateTurtle (c.property, c.object).c_str());
        ASSERT_NE (state, nullptr) << c.what;
        lilv_state_restore (state, instance, nullptr, nullptr, 0, host.features);
        lilv_state_free (state);
        EXPECT_EQ (saved(), before) << c.what;
    }
    lilv_instance_free (instance);
}
} // namespace

int main (int argc, char** argv)
{
    return runTestsInTemporaryHome (argc, argv, "vro-lv2-preset-home");
}

namespace
{
/** Voluntary context switches of every thread of this process but the calling one: how often the
    plug-in's own threads woke up. */
long wakeUpsOfOtherThreads()
{
    long total = 0;
    const auto self = juce::String (getpid());
    for (const auto& task : juce::File ("/proc/self/task").findChildFiles (juce::File::findDirectories, false))
    {
        if (task.getFileName() == self)
            continue;
        for (const auto& line : juce::StringArray::fromLines (task.getChildFile ("status").loadFileAsString()))
            if (line.startsWith ("voluntary_ctxt_switches:"))
                total += line.fromFirstOccurrenceOf (":", false, false).trim().getLargeIntValue();
    }
    return total;
}
} // namespace

TEST_F (Lv2Form, AnIdleInstanceLetsItsThreadsSleep)
{
    // A session holds dozens of instances doing nothing; the process's threads of the plug-in (the
    // framework's message thread among them) must not keep waking up the machine.
    Host host;
    auto* instance = lilv_plugin_instantiate (plugin, 48000.0, host.features);
    ASSERT_NE (instance, nullptr);
    std::this_thread::sleep_for (std::chrono::milliseconds (300)); // the start's own work
    const auto before = wakeUpsOfOtherThreads();
    std::this_thread::sleep_for (std::chrono::seconds (1));
    const auto wakeUps = wakeUpsOfOtherThreads() - before;
    // A slow look at the preset folder and the run loop's timeout remain; the framework's loop
    // used to wake a thousand times a second.
    EXPECT_LT (wakeUps, 20) << "wake-ups in one idle second";
    lilv_instance_free (instance);
}
