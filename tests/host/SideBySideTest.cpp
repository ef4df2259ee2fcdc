// Every form of the plug-in alive in one host process, as in a session with an LV2 track beside a
// VST3 track: each binary keeps its own framework code and statics, so none runs the other's. The
// same holds for two copies of one form, as a user has who installed the package and also built
// into the home folder.
#include <JuceHeader.h>
#include <gtest/gtest.h>
#include "PluginPaths.h"
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

const Form vst2 { "VST", VRO_PATH (VRO_VST2_PATH) };
const Form vst3 { "VST3", VRO_PATH (VRO_VST3_PATH) };
const Form lv2 { "LV2", VRO_PATH (VRO_LV2_PATH) };

struct Session
{
    const char* name;
    std::vector<Form> loadOrder;
    bool deleteInLoadOrder;
};

void PrintTo (const Form& form, std::ostream* out)
{
    *out << form.format << " " << form.path;
}

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

/** Loads the forms in order, shows each editor, plays a note in each and closes them all. */
void playSession (const std::vector<Form>& loadOrder, bool deleteInLoadOrder)
{
    announceWindowManagerAtoms();
    std::vector<Loaded> forms;
    for (const auto& form : loadOrder)
    {
        forms.push_back (load (form));
        ASSERT_NE (forms.back().plugin, nullptr) << form.path;
    }

    // The loader kept each file apart: every one is mapped into the process.
    const auto maps = juce::File ("/proc/self/maps").loadFileAsString();
    for (const auto& form : loadOrder)
        EXPECT_TRUE (maps.contains (juce::File (form.path).getFullPathName())) << form.path;

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

    if (! deleteInLoadOrder)
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

class SideBySide : public testing::TestWithParam<Session>
{
};

TEST_P (SideBySide, EveryFormOpensPlaysAndCloses)
{
    playSession (GetParam().loadOrder, GetParam().deleteInLoadOrder);
}

INSTANTIATE_TEST_SUITE_P (Sessions, SideBySide,
    testing::Values (Session { "Lv2FirstClosedInLoadOrder", { lv2, vst3, vst2 }, true },
                     Session { "Lv2FirstClosedInReverse", { lv2, vst3, vst2 }, false },
                     Session { "Vst2FirstClosedInLoadOrder", { vst2, vst3, lv2 }, true },
                     Session { "Vst2FirstClosedInReverse", { vst2, vst3, lv2 }, false }),
    [] (const auto& info) { return std::string (info.param.name); });

/** The form's second copy: $VRO_SECOND_<FORMAT>_PATH (the package's check names the installed one),
    else a copy in the temporary home's plug-in folder, where scripts/install-and-demo.sh puts it. */
juce::String secondCopy (const Form& form)
{
    const juce::String format (form.format);
    const auto variable = "VRO_SECOND_" + format + "_PATH";
    if (const char* other = std::getenv (variable.toRawUTF8()); other != nullptr && *other != '\0')
        return other;
    const juce::File original (form.path);
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    const auto copy = home.getChildFile (format == "VST3" ? ".vst3" : ".vst").getChildFile (original.getFileName());
    if (! copy.exists())
    {
        copy.getParentDirectory().createDirectory();
        const bool copied = original.isDirectory() ? original.copyDirectoryTo (copy) : original.copyFileTo (copy);
        EXPECT_TRUE (copied) << copy.getFullPathName();
    }
    return copy.getFullPathName();
}

class TwoCopies : public testing::TestWithParam<Form>
{
};

// LV2 has no such case: hosts find plug-ins by URI through lilv, which loads one bundle per URI.
TEST_P (TwoCopies, BothOpenPlayAndCloseInEitherOrder)
{
    const auto copyPath = secondCopy (GetParam());
    const Form copy { GetParam().format, copyPath.toRawUTF8() };
    for (bool deleteInLoadOrder : { true, false })
    {
        SCOPED_TRACE (deleteInLoadOrder ? "closed in load order" : "closed in reverse");
        playSession ({ GetParam(), copy }, deleteInLoadOrder);
    }
}

INSTANTIATE_TEST_SUITE_P (Forms, TwoCopies, testing::Values (vst3, vst2),
    [] (const auto& info) { return std::string (info.param.format); });
} // namespace
