// Preset files and folders, the factory installation, the settings file and MIDI program change.
#include "PresetTestSupport.h"
#include "SafeFile.h"

#include <future>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

using namespace Param;
using test::FreshConfig;

namespace
{
int countFiles (const juce::File& folder, const juce::String& pattern = "*.drubbel")
{
    return folder.getNumberOfChildFiles (juce::File::findFiles, pattern)
         + [&]
           {
               int n = 0;
               for (const auto& d : folder.findChildFiles (juce::File::findDirectories, false))
                   n += countFiles (d, pattern);
               return n;
           }();
}

/** The category folders that hold presets, relative to the preset folder. */
std::set<juce::String> presetFolders (const juce::File& dir)
{
    std::set<juce::String> folders;
    for (const auto& f : dir.findChildFiles (juce::File::findFiles, true, "*.drubbel"))
        folders.insert (f.getParentDirectory().getRelativePathFrom (dir));
    return folders;
}

juce::Array<juce::File> everything (const juce::File& dir)
{
    return dir.findChildFiles (juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles, true);
}

TEST (FactoryInstall, FirstStartInstallsTheBankOnceAndNeverTouchesItAgain)
{
    FreshConfig config;
    if (VroCore::parseFactoryBank() == nullptr)
        GTEST_SKIP() << "built without the factory bank";
    {
        VroCore core;
        EXPECT_EQ (juce::File (core.getPresetDirectory()), config.presets());
    }
    const auto dir = config.presets();
    EXPECT_EQ (countFiles (dir), 321);
    const auto folders = presetFolders (dir);
    EXPECT_EQ (folders.size(), 25u);
    EXPECT_EQ (dir.getNumberOfChildFiles (juce::File::findDirectories), 5);
    EXPECT_EQ (dir.getNumberOfChildFiles (juce::File::findFiles | juce::File::ignoreHiddenFiles), 0);
    EXPECT_TRUE (dir.getChildFile (".factory-presets-complete").existsAsFile());

    // Each file: the bank's root with its midimap, then one program.
    const auto one = dir.findChildFiles (juce::File::findFiles, true, "*.drubbel")[0];
    const auto text = one.loadFileAsString();
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<vro")) << text.substring (0, 60);
    const auto xml = ProgramDocument::parse (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getStringAttribute ("version"), "1.1");
    EXPECT_EQ (xml->getChildElement (0)->getTagName(), "midimap");
    EXPECT_EQ (xml->getChildElement (1)->getTagName(), "programs");
    EXPECT_EQ (xml->getChildElement (1)->getNumChildElements(), 1);

    // A second start writes nothing, not even over a file the user changed.
    one.replaceWithText ("mine");
    const auto before = everything (dir);
    {
        VroCore core;
        EXPECT_EQ (core.installFactoryPresets (*VroCore::parseFactoryBank()), 0);
    }
    EXPECT_EQ (one.loadFileAsString(), "mine");
    EXPECT_EQ (everything (dir), before);
}

TEST (FactoryInstall, MovedLocationInstallsThereAndSurvivesARestart)
{
    FreshConfig config;
    if (VroCore::parseFactoryBank() == nullptr)
        GTEST_SKIP() << "built without the factory bank";
    const auto moved = config.folder.getChildFile ("Elsewhere");
    moved.createDirectory();
    {
        VroCore core;
        core.movePresetsLocation (moved.getFullPathName());
        EXPECT_EQ (juce::File (core.getPresetDirectory()), moved.getChildFile ("presets"));
    }
    EXPECT_EQ (countFiles (moved.getChildFile ("presets")), 321);
    VroCore restarted;
    EXPECT_EQ (restarted.getPresetDirectory(), moved.getChildFile ("presets").getFullPathName() + "/");

    // A stored folder that has gone falls back to the default location.
    moved.deleteRecursively();
    VroCore again;
    EXPECT_EQ (juce::File (again.getPresetDirectory()), config.presets());
}

TEST (FactoryInstall, PortableFolderNextToTheLibraryWins)
{
    // Run in a copy of this test program, so the folder next to it concerns no other test.
    const auto probe = juce::SystemStats::getEnvironmentVariable ("VRO_PORTABLE_PROBE", {});
    if (probe.isNotEmpty())
    {
        // Settings that name a moved folder, which the portable folder overrides.
        {
            PluginSettings settings;
            settings.user()->setValue ("presetDirectory", juce::File (probe).getParentDirectory().getFullPathName());
            settings.user()->saveIfNeeded();
        }
        VroCore core;
        juce::File (probe).replaceWithText (core.getPresetDirectory());
        return;
    }

    FreshConfig config;
    const auto stage = config.folder.getChildFile ("stage");
    const auto portable = stage.getChildFile ("VRO-Drubbel/presets");
    ASSERT_TRUE (portable.createDirectory());
    const auto copy = stage.getChildFile ("core_tests");
    ASSERT_TRUE (juce::File::getSpecialLocation (juce::File::currentExecutableFile).copyFileTo (copy));
    copy.setExecutePermission (true);

    const auto answer = config.folder.getChildFile ("answer.txt");
    setenv ("VRO_PORTABLE_PROBE", answer.getFullPathName().toRawUTF8(), 1);
    juce::ChildProcess child;
    ASSERT_TRUE (child.start (juce::StringArray { copy.getFullPathName(), "--gtest_filter=FactoryInstall.PortableFolderNextToTheLibraryWins" }));
    child.waitForProcessToFinish (60000);
    unsetenv ("VRO_PORTABLE_PROBE");

    EXPECT_EQ (answer.loadFileAsString(), portable.getFullPathName() + "/");
    EXPECT_EQ (countFiles (portable), 0) << "an existing folder is never filled";
    EXPECT_FALSE (config.folder.getChildFile ("presets").exists());
}

TEST (FactoryInstall, NamesStayInsideThePresetFolder)
{
    FreshConfig config;
    VroCore core;
    const auto dir = juce::File (core.getPresetDirectory());
    dir.deleteRecursively(); // so the bank below installs

    // Names that climb out, name nothing, are rejected by a file system, or clean to the same file.
    const std::vector<std::pair<juce::String, juce::String>> names {
        { "Bass\\Acid", "../../../escaped" }, { "..\\..\\up", "x" }, { "Lead", "a/b\\c" }, { "Lead", "a_b_c" },
        { "Lead", "A_B_C" }, { "Lead", ".." }, { "Lead", "" }, { "Lead", "CON" }, { "Lead", "what? *now*: <yes>|\"no\"" },
        { "Lead", "trailing dots..." }, { "Lead", ".hidden" }, { "", "no category" }, { "\\\\Bass\\\\", "empty levels" },
        { "Lead", juce::String::repeatedString ("long", 100) }, { "Lead", "tab\tand\nnewline" },
    };
    juce::XmlElement bank ("vro");
    bank.setAttribute ("version", "1.1");
    auto* programs = bank.createNewChildElement ("programs");
    for (const auto& [category, name] : names)
    {
        auto* p = programs->createNewChildElement ("program");
        p->setAttribute ("programname", name);
        p->setAttribute ("category", category);
        p->setAttribute ("filtercutoff", 0.5);
    }
    bank.createNewChildElement ("midimap");

    EXPECT_EQ (core.installFactoryPresets (bank), (int) names.size());
    auto files = dir.findChildFiles (juce::File::findFiles, true, "*");
    // The one hidden file: the note that the install finished.
    EXPECT_EQ (files.removeAllInstancesOf (dir.getChildFile (".factory-presets-complete")), 1);
    EXPECT_EQ (files.size(), (int) names.size());
    for (const auto& f : files)
    {
        EXPECT_TRUE (f.isAChildOf (dir)) << f.getFullPathName();
        EXPECT_FALSE (f.getFileName().startsWithChar ('.')) << f.getFullPathName();
        EXPECT_LE (f.getFileName().getNumBytesAsUTF8(), 255);
        EXPECT_EQ (VroCore::presetFileName (f.getFileNameWithoutExtension()), f.getFileNameWithoutExtension());
    }
    EXPECT_EQ (config.folder.findChildFiles (juce::File::findFiles, true, "*.drubbel").size(), (int) names.size());
    EXPECT_EQ (core.presetList().size(), (int) names.size());

    const struct { const char* name; const char* file; } cleaned[] = {
        { "../../../escaped", "___.._.._escaped" }, { "..", "_" }, { "", "_" }, { "CON", "CON_" }, { "a/b\\c", "a_b_c" },
        { "what? *now*: <yes>|\"no\"", "what_ _now__ _yes___no_" }, { "trailing dots...", "trailing dots" },
        { ".hidden", "_hidden" }, { "Acid 2", "Acid 2" }, { "R\xc3\xb6hre", "R\xc3\xb6hre" },
    };
    for (const auto& c : cleaned)
        EXPECT_EQ (VroCore::presetFileName (juce::String::fromUTF8 (c.name)), juce::String::fromUTF8 (c.file)) << c.name;
}

TEST (PresetFiles, ListOrderIsTheSameOnEveryDisk)
{
    FreshConfig config;
    VroCore core;
    const auto dir = juce::File (core.getPresetDirectory());
    dir.deleteRecursively();
    for (const char* path : { "b/x.drubbel", "a/Bass 10.drubbel", "a/bass 2.drubbel", "a/sub/z.drubbel", "Top.drubbel",
                              "a/.hidden.drubbel", "a/notes.txt", "a/A.drubbel" })
    {
        dir.getChildFile (path).getParentDirectory().createDirectory();
        dir.getChildFile (path).replaceWithText ("<vro/>");
    }
    // A link back up the tree must not make the walk endless.
    ASSERT_TRUE (dir.getChildFile ("a").createSymbolicLink (dir.getChildFile ("a/sub/loop"), false));

    // Written by hand a moment ago: a caller that must see the folder as it is now asks for that.
    core.refreshPresetSnapshot();
    juce::StringArray listed;
    for (const auto& f : core.presetList())
        listed.add (f.getRelativePathFrom (dir));
    EXPECT_EQ (listed.joinIntoString (" "), "Top.drubbel a/A.drubbel a/bass 2.drubbel a/Bass 10.drubbel a/sub/z.drubbel b/x.drubbel");
}

TEST (PresetFiles, SaveLoadAndTheDefaultPreset)
{
    FreshConfig config;
    VroCore core;
    const auto dir = juce::File (core.getPresetDirectory());
    dir.createDirectory();

    // Saving names the program after the file; loading through the browser does the same.
    core.getProgram().parameters[VcfCutoff] = 0.25f;
    const auto file = dir.getChildFile ("Acid 2.drubbel");
    ASSERT_TRUE (core.savePresetFile (file));
    EXPECT_EQ (core.getProgram().getProgramName(), "Acid 2");
    file.replaceWithText (file.loadFileAsString().replace ("programname=\"Acid 2\"", "programname=\"Stored\""));
    VroCore other;
    other.loadPresetFile (file, true, false);
    EXPECT_EQ (other.getProgram().getProgramName(), "Acid 2");
    EXPECT_EQ (other.getParameter (VcfCutoff), 0.25f);
    other.loadPresetFile (file, false, false);
    EXPECT_EQ (other.getProgram().getProgramName(), "Stored");

    // A failed write says so and leaves what was there.
    const auto folderInTheWay = dir.getChildFile ("Folder.drubbel");
    folderInTheWay.getChildFile ("inside").createDirectory();
    EXPECT_FALSE (core.savePresetFile (folderInTheWay));
    EXPECT_TRUE (folderInTheWay.getChildFile ("inside").isDirectory());
    core.changeProgramName (0, "Acid 2"); // saving renames first, whether the write succeeds or not

    // Without a default preset, the start values come back; name, category and map stay.
    core.getProgram().controllerMap[74] = VcfCutoff;
    core.getProgram().setNames ([&] { auto n = core.getProgram().getNames(); n.category = "Mine"; return n; }());
    core.loadDefaultPreset();
    EXPECT_EQ (core.getParameter (VcfCutoff), parameterTable[VcfCutoff].startValue);
    EXPECT_EQ (core.getProgram().getProgramName(), "Acid 2");
    EXPECT_EQ (core.getProgram().getNames().category, "Mine");
    EXPECT_EQ (core.getProgram().controllerMap[74], VcfCutoff);

    // With one, it is loaded under its stored name.
    core.getProgram().parameters[VcfResonance] = 0.5f;
    core.getProgram().setProgramName ("Home");
    ASSERT_TRUE (core.saveDefaultPreset());
    EXPECT_TRUE (core.getDefaultPresetFile().existsAsFile());
    core.getProgram().parameters[VcfResonance] = 0.0f;
    core.getProgram().setProgramName ("Changed");
    core.loadDefaultPreset();
    EXPECT_EQ (core.getParameter (VcfResonance), 0.5f);
    EXPECT_EQ (core.getProgram().getProgramName(), "Home");
    EXPECT_EQ (core.getProgram().getPath(), core.getDefaultPresetFile().getFullPathName());
}

TEST (PresetFiles, SavingTheDefaultFirstInstallsTheFactoryPresets)
{
    FreshConfig config;
    if (VroCore::parseFactoryBank() == nullptr)
        GTEST_SKIP() << "built without the factory bank";
    VroCore core;
    juce::File (core.getPresetDirectory()).deleteRecursively();
    ASSERT_TRUE (core.saveDefaultPreset());
    EXPECT_EQ (countFiles (config.presets()), 322);
}

TEST (FactoryInstall, AStartRemovesOnlyAbandonedWorkOfItsOwn)
{
    // A killed install, save or repair leaves its staging folder or temporary behind; the next
    // start removes those that no live process holds, and nothing else.
    FreshConfig config;
    { VroCore core; }
    const auto presets = config.presets(), beside = presets.getParentDirectory(), settings = beside.getParentDirectory();
    const auto anHourAgo = juce::Time::getCurrentTime() - juce::RelativeTime::hours (1);
    const auto make = [&] (const juce::File& f, bool folder)
    {
        EXPECT_TRUE (folder ? f.getChildFile ("Bass/A.drubbel").create().wasOk() : f.create().wasOk()) << f.getFullPathName();
        f.setLastModificationTime (anHourAgo);
        return f;
    };
    const juce::File abandoned[] = {
        make (beside.getChildFile (".presets-installing-1234abcd"), true),
        make (presets.getChildFile (".vro-tmp-0badf00d"), false),
        make (presets.getChildFile ("Mine/Deeper/.vro-tmp-12345678"), false),
        make (beside.getChildFile (".vro-tmp-9abcdef0"), false),
        make (settings.getChildFile (".vro-tmp-00c0ffee"), false),
    };
    const juce::File kept[] = {
        make (presets.getChildFile ("Mine/.notes"), false),
        make (beside.getChildFile (".presets-mine"), true),
        make (presets.getChildFile ("Mine/vro-tmp-visible"), false),
        presets.getChildFile (".vro-tmp-00000000"), // just created by a process that is about to lock it
    };
    ASSERT_TRUE (kept[3].create().wasOk());
    // One that a live process holds.
    const auto held = make (presets.getChildFile (".vro-tmp-11111111"), false);
    const int fd = ::open (held.getFullPathName().toRawUTF8(), O_RDONLY);
    ASSERT_EQ (::flock (fd, LOCK_EX), 0);
    // A link of our naming, and what it points to.
    const auto outside = make (config.folder.getChildFile ("outside"), false);
    const auto link = presets.getChildFile (".vro-tmp-22222222");
    ASSERT_TRUE (outside.createSymbolicLink (link, true));

    { VroCore core; }
    for (const auto& f : abandoned)
        EXPECT_FALSE (f.exists()) << f.getFullPathName();
    for (const auto& f : kept)
        EXPECT_TRUE (f.exists()) << f.getFullPathName();
    EXPECT_TRUE (held.exists());
    EXPECT_TRUE (link.isSymbolicLink());
    EXPECT_TRUE (outside.existsAsFile());
    EXPECT_EQ (countFiles (presets), 321);
    ::close (fd);
}

TEST (Settings, FileKeysAndTheProgramChangeSwitch)
{
    const struct { const char* stored; bool disabled; } cases[] = {
        { "true", true }, { "TRUE", true }, { "True", true }, { "yes", false }, { "1", false }, { "", false }, { "false", false },
    };
    // Each start finds the factory bank installed: the settings are what this is about.
    for (const auto& c : cases)
    {
        FreshConfig config;
        config.installedPresets();
        {
            PluginSettings settings;
            settings.user()->setValue ("midiprogramchangedisabled", juce::String (c.stored));
            settings.user()->saveIfNeeded();
        }
        VroCore core;
        EXPECT_EQ (core.isMidiProgramChangeDisabled(), c.disabled) << c.stored;
    }

    FreshConfig config;
    config.installedPresets();
    const auto file = config.folder.getChildFile ("Velmora/VRO-Drubbel.xml");
    {
        VroCore core;
        core.setMidiProgramChangeDisabled (true);
        EXPECT_TRUE (file.existsAsFile()); // saved at once
        core.setBackgroundColourType (2);
        EXPECT_TRUE (file.loadFileAsString().contains ("backgroundColourType")); // at once too
    }
    const auto xml = juce::parseXML (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (file.loadFileAsString().contains ("midiprogramchangedisabled"));
    VroCore core;
    EXPECT_TRUE (core.isMidiProgramChangeDisabled());
    EXPECT_EQ (core.getBackgroundColourType(), 2);
}

TEST (Settings, ABrokenFileGivesTheDefaultsAndIsLeftAlone)
{
    // Read at every start of the plug-in and the renderer: a file that is not settings must neither
    // crash nor hang a start, and is never written over.
    std::string deep = "<PROPERTIES>";
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    const struct { const char* name; std::string bytes; bool fifo; } cases[] = {
        { "deep nesting", deep, false },
        { "a FIFO", {}, true },
        { "too large", "<PROPERTIES>" + std::string (2 << 20, ' ') + "</PROPERTIES>", false },
        { "not XML", "\x01\x02garbage", false },
        { "another document", "<vro><VALUE name=\"midiprogramchangedisabled\" val=\"true\"/></vro>", false },
    };
    for (const auto& c : cases)
    {
        FreshConfig config;
        config.installedPresets();
        const auto file = config.folder.getChildFile ("Velmora/VRO-Drubbel.xml");
        ASSERT_TRUE (file.getParentDirectory().createDirectory());
        if (c.fifo)
            ASSERT_EQ (mkfifo (file.getFullPathName().toRawUTF8(), 0600), 0);
        else
            ASSERT_TRUE (file.replaceWithData (c.bytes.data(), c.bytes.size()));

        auto start = std::async (std::launch::async, [&]
        {
            VroCore core;
            EXPECT_FALSE (core.isMidiProgramChangeDisabled()) << c.name;
            EXPECT_EQ (core.getBackgroundColourType(), 0) << c.name;
            core.setMidiProgramChangeDisabled (true);
            core.setBackgroundColourType (1);
        });
        if (start.wait_for (std::chrono::seconds (20)) != std::future_status::ready)
        {
            ADD_FAILURE() << c.name << ": the start hangs";
            // A writer lets the reader go.
            juce::FileOutputStream (file).flush();
        }
        start.wait();
        if (c.fifo)
            EXPECT_FALSE (SafeFile::isRegularFile (file)) << c.name;
        else
        {
            juce::MemoryBlock after;
            ASSERT_TRUE (file.loadFileAsData (after));
            EXPECT_TRUE (after.matches (c.bytes.data(), c.bytes.size())) << c.name;
        }
    }
}

TEST (ProgramChange, LoadsTheListedFileAtItsPosition)
{
    FreshConfig config;
    const auto moved = config.folder.getChildFile ("small");
    const auto dir = moved.getChildFile ("presets");
    dir.createDirectory();
    VroCore core;
    core.movePresetsLocation (moved.getFullPathName()); // an existing folder: nothing installed
    dir.getChildFile ("Cat").createDirectory();
    const float cutoffs[] = { 0.1f, 0.2f, 0.3f };
    for (int i = 0; i < 3; ++i)
    {
        core.getProgram().parameters[VcfCutoff] = cutoffs[i];
        ASSERT_TRUE (core.savePresetFile (dir.getChildFile ("Cat/P" + juce::String (i) + ".drubbel")));
    }
    core.getProgram().parameters[VcfCutoff] = 0.9f;
    core.getProgram().setProgramName ("Before");

    test::Render (core).at (5, juce::MidiMessage::programChange (1, 1)).run (64);
    EXPECT_EQ (core.getProgram().getProgramName(), "P1");
    EXPECT_EQ (core.getParameter (VcfCutoff), 0.2f);
    EXPECT_EQ (core.getProgram().getPath(), dir.getChildFile ("Cat/P1.drubbel").getFullPathName());

    // A number without a file re-applies the program and changes nothing else.
    test::Render (core).at (5, juce::MidiMessage::programChange (1, 77)).run (64);
    EXPECT_EQ (core.getProgram().getProgramName(), "P1");

    // Switched off: skipped, and an event at the same position still acts there.
    core.setMidiProgramChangeDisabled (true);
    test::Render r (core);
    r.at (5, juce::MidiMessage::programChange (1, 2)).at (5, test::noteOn (48)).run (64);
    EXPECT_EQ (core.getProgram().getProgramName(), "P1");
    EXPECT_GE (r.firstSoundAfter (0, 1.0e-3f), 5);
    EXPECT_GT (r.peak (0, 64), 1.0e-3f);
}
TEST (ProgramChange, TheFirstBlockAfterAStartKnowsTheFolder)
{
    // A project or an offline bounce that opens with a program change, before the message thread
    // has run at all.
    FreshConfig config;
    if (VroCore::parseFactoryBank() == nullptr)
        GTEST_SKIP() << "built without the factory bank";
    { VroCore firstStart; } // installs the bank
    VroCore core;
    const auto list = core.presetList();
    ASSERT_GT (list.size(), 2);
    VroCore reference;
    reference.loadPresetFile (list[2], true, false);
    ASSERT_NE (reference.getParameter (VcfCutoff), core.getParameter (VcfCutoff));

    RenderSession session (core, 44100.0, 64, 120.0);
    core.setNonRealtime (false);
    std::thread audio ([&core]
    {
        juce::AudioBuffer<float> block (2, 64);
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::programChange (1, 2), 0);
        core.processBlock (block, midi);
    });
    audio.join();
    for (int i = 0; i < Count; ++i)
    {
        if (isSessionParameter (i))
            continue;
        EXPECT_EQ (core.getParameter (i), reference.getParameter (i)) << parameterTable[i].name;
    }
}

TEST (ProgramChange, TheAudioThreadAppliesItFromMemoryAndTheNamesFollow)
{
    FreshConfig config;
    const auto moved = config.folder.getChildFile ("small");
    const auto dir = moved.getChildFile ("presets");
    dir.getChildFile ("Cat").createDirectory();
    VroCore core;
    core.movePresetsLocation (moved.getFullPathName());
    for (int i = 0; i < 3; ++i)
    {
        core.getProgram().parameters[VcfCutoff] = 0.1f * (float) (i + 1);
        ASSERT_TRUE (core.savePresetFile (dir.getChildFile ("Cat/P" + juce::String (i) + ".drubbel")));
    }
    core.getProgram().setProgramName ("Before");
    core.setParameter (VcfCutoff, 0.9f);

    RenderSession session (core, 44100.0, 64, 120.0);
    core.setNonRealtime (false);
    auto changeOnTheAudioThread = [&core] (int number) { test::programChangeOnTheAudioThread (core, number, 5); };

    changeOnTheAudioThread (1);
    EXPECT_EQ (core.getParameter (VcfCutoff), 0.2f);
    EXPECT_EQ (core.getEngine().getSettings().params[VcfCutoff], (double) 0.2f); // at its sample, not later
    EXPECT_TRUE (test::deliverMessagesUntil ([&] { return core.getProgram().getProgramName() == "P1"; }));
    EXPECT_EQ (core.getProgram().getPath(), dir.getChildFile ("Cat/P1.drubbel").getFullPathName());

    // A preset added by hand counts once the folder has been looked at again.
    ASSERT_TRUE (dir.getChildFile ("Cat/P3.drubbel").replaceWithText (test::programDocument ("1.3", R"(filtercutoff="0.75")")));
    core.refreshPresetSnapshot();
    changeOnTheAudioThread (3);
    EXPECT_EQ (core.getEngine().getSettings().params[VcfCutoff], 0.75);
    EXPECT_TRUE (test::deliverMessagesUntil ([&] { return core.getProgram().getProgramName() == "P3"; }));
}
} // namespace

TEST (Settings, OneInstanceMovesThePresetsAnotherChangesTheSkinAndTheMoveStays)
{
    // Every instance of the process shares one settings object: a change in one is never undone
    // by another's next save.
    FreshConfig config;
    config.installedPresets();
    const auto moved = config.folder.getChildFile ("moved");
    ASSERT_TRUE (moved.createDirectory());
    const auto file = config.folder.getChildFile ("Velmora/VRO-Drubbel.xml");
    {
        VroCore first, second;
        first.movePresetsLocation (moved.getFullPathName());
        second.setBackgroundColourType (1);
        for (auto* core : { &first, &second })
        {
            EXPECT_EQ (juce::File (core->getPresetDirectory()).getParentDirectory(), moved);
            EXPECT_EQ (core->getBackgroundColourType(), 1);
        }
        // On disk already: a host that is killed now loses neither.
        const auto text = file.loadFileAsString();
        EXPECT_TRUE (text.contains (moved.getFullPathName())) << text;
        EXPECT_TRUE (text.contains ("backgroundColourType")) << text;
    }
    const auto text = file.loadFileAsString();
    EXPECT_TRUE (text.contains (moved.getFullPathName())) << text;
    VroCore next;
    EXPECT_EQ (juce::File (next.getPresetDirectory()).getParentDirectory(), moved);
    EXPECT_EQ (next.getBackgroundColourType(), 1);
}

TEST (Settings, AProcessorDeletedOnAHostThreadRightAfterASettingsChange)
{
    // VST3 and LV2 hosts delete the processor on a thread of their own; a settings change just
    // before must neither reach freed memory nor be lost.
    FreshConfig config;
    config.installedPresets();
    const auto file = config.folder.getChildFile ("Velmora/VRO-Drubbel.xml");
    constexpr int rounds = 40;
    for (int round = 0; round < rounds; ++round)
    {
        auto core = std::make_unique<VroCore>();
        core->setBackgroundColourType (round % 3);
        if (round % 2 == 0)
            core->setMidiProgramChangeDisabled (round % 4 == 0);
        test::onAHostThreadWhileMessagesRun ([&] { core.reset(); });
        ASSERT_TRUE (test::deliverPostedMessages());
        EXPECT_TRUE (file.loadFileAsString().contains ("val=\"" + juce::String (round % 3) + "\"")) << "round " << round;
    }
}
