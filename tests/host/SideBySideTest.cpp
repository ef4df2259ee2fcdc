// Every form of the plug-in alive in one host process, as in a session with an LV2 track beside a
// VST3 track: each binary keeps its own framework code and statics, so none runs the other's.
#include <JuceHeader.h>
#include <gtest/gtest.h>
#include "RenderNote.h"

namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); // the framework's own loop step
}

void announceWindowManagerAtoms(); // DesktopAtoms.cpp

namespace
{
struct Form
{
    const char* format;
    const char* path;
};

const Form vst2 { "VST", VRO_VST2_PATH };
const Form vst3 { "VST3", VRO_VST3_PATH };
const Form lv2 { "LV2", VRO_LV2_PATH };

struct Session
{
    const char* name;
    std::vector<Form> loadOrder;
    bool deleteInLoadOrder;
};

void PrintTo (const Session& session, std::ostream* out)
{
    *out << session.name;
}

std::unique_ptr<juce::AudioPluginFormat> makeFormat (const juce::String& name)
{
    if (name == "VST")  return std::make_unique<juce::VSTPluginFormat>();
    if (name == "VST3") return std::make_unique<juce::VST3PluginFormat>();
    return std::make_unique<juce::LV2PluginFormat>();
}

void pump (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

struct Loaded
{
    std::unique_ptr<juce::AudioPluginFormat> format;
    std::unique_ptr<juce::AudioPluginInstance> plugin;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
};

Loaded load (const Form& form)
{
    Loaded loaded;
    loaded.format = makeFormat (form.format);
    const juce::File file (form.path);
    // LV2 plug-ins are found by URI once their bundle's folder has been scanned.
    juce::String identifier = file.getFullPathName();
    if (juce::String (form.format) == "LV2")
    {
        loaded.format->searchPathsForPlugins (juce::FileSearchPath (file.getParentDirectory().getFullPathName()), false, false);
        identifier = VRO_LV2_URI;
    }
    juce::OwnedArray<juce::PluginDescription> found;
    loaded.format->findAllTypesForFile (found, identifier);
    if (found.size() != 1)
    {
        ADD_FAILURE() << form.format << ": " << found.size() << " plug-ins found";
        return loaded;
    }
    juce::String error;
    loaded.plugin = loaded.format->createInstanceFromDescription (*found[0], 44100.0, 512, error);
    EXPECT_NE (loaded.plugin, nullptr) << form.format << ": " << error;
    return loaded;
}

/** A note's energy, with the plug-in released again afterwards. */
double renderNote (juce::AudioPluginInstance& plugin)
{
    const double energy = renderNoteEnergy (plugin);
    plugin.releaseResources();
    return energy;
}

class SideBySide : public testing::TestWithParam<Session>
{
};

TEST_P (SideBySide, EveryFormOpensPlaysAndCloses)
{
    announceWindowManagerAtoms();
    std::vector<Loaded> forms;
    for (const auto& form : GetParam().loadOrder)
    {
        forms.push_back (load (form));
        ASSERT_NE (forms.back().plugin, nullptr);
    }

    // Each editor shown on screen while the others are open, so its window is really built.
    for (auto& loaded : forms)
    {
        loaded.editor.reset (loaded.plugin->createEditorIfNeeded());
        ASSERT_NE (loaded.editor, nullptr) << loaded.plugin->getPluginDescription().pluginFormatName;
        loaded.editor->addToDesktop (0);
        loaded.editor->setVisible (true);
        pump (300);
        // The host's window takes the size the plug-in's own editor reports, so the editor was built.
        EXPECT_EQ (loaded.editor->getLocalBounds(), juce::Rectangle<int> (1062, 517))
            << loaded.plugin->getPluginDescription().pluginFormatName;
    }

    for (auto& loaded : forms)
        EXPECT_GT (renderNote (*loaded.plugin), 1.0e-3) << loaded.plugin->getPluginDescription().pluginFormatName;

    if (! GetParam().deleteInLoadOrder)
        std::reverse (forms.begin(), forms.end());
    for (auto& loaded : forms)
    {
        loaded.editor.reset();
        pump (50);
        loaded.plugin.reset();
        loaded.format.reset();
        pump (50);
    }
}

INSTANTIATE_TEST_SUITE_P (Sessions, SideBySide,
    testing::Values (Session { "Lv2FirstClosedInLoadOrder", { lv2, vst3, vst2 }, true },
                     Session { "Lv2FirstClosedInReverse", { lv2, vst3, vst2 }, false },
                     Session { "Vst2FirstClosedInLoadOrder", { vst2, vst3, lv2 }, true },
                     Session { "Vst2FirstClosedInReverse", { vst2, vst3, lv2 }, false }),
    [] (const auto& info) { return std::string (info.param.name); });
} // namespace
