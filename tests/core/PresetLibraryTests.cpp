// The preset folder as the process sees it: one scanner for every instance, links that neither
// multiply the walk nor lead out of the tree, and files added by hand that arrive without a restart.
#include "PresetTestSupport.h"
#include "SafeFile.h"

#include <filesystem>
#include <set>
#include <thread>

using namespace Param;
using test::FreshConfig;

namespace
{
/** A preset folder without the factory presets, and the processor's view of it. */
struct EmptyTree
{
    EmptyTree() { presets.createDirectory(); }

    void write (const juce::String& path, float cutoff) const
    {
        const auto file = presets.getChildFile (path);
        file.getParentDirectory().createDirectory();
        EXPECT_TRUE (file.replaceWithText (test::programDocument ("1.3", "filtercutoff=\"" + juce::String (cutoff) + "\"")));
    }

    FreshConfig config;
    juce::File presets = config.presets();
};


TEST (PresetLibrary, LinksNeitherMultiplyTheWalkNorLeaveTheTree)
{
    EmptyTree tree;
    // A chain of 15 folders, each with two links to the next: 2^14 ways down to the last one.
    const auto pack = tree.presets.getChildFile ("Pack");
    for (int i = 0; i < 15; ++i)
    {
        tree.write ("Pack/f" + juce::String (i) + "/A.drubbel", 0.5f);
        for (const char* name : { "left", "right" })
        {
            if (i > 0)
            {
                const auto next = pack.getChildFile ("f" + juce::String (i)), link = pack.getChildFile ("f" + juce::String (i - 1)).getChildFile (name);
                ASSERT_TRUE (next.createSymbolicLink (link, false));
            }
        }
    }
    // A cycle back to the top, and links out of the tree: to a folder with a preset, and to /sys.
    ASSERT_TRUE (tree.presets.createSymbolicLink (pack.getChildFile ("f14/up"), false));
    const auto outside = tree.config.folder.getChildFile ("outside");
    outside.createDirectory();
    ASSERT_TRUE (outside.getChildFile ("Stranger.drubbel").replaceWithText (test::programDocument ("1.3", "")));
    ASSERT_TRUE (outside.createSymbolicLink (tree.presets.getChildFile ("Outside"), false));
    if (juce::File ("/sys").isDirectory())
    {
        ASSERT_TRUE (juce::File ("/sys").createSymbolicLink (tree.presets.getChildFile ("System"), false));
    }

    VroCore core;
    const auto list = core.presetList();
    std::set<std::filesystem::path> real;
    for (const auto& f : list)
        real.insert (std::filesystem::canonical (f.getFullPathName().toStdString()));
    EXPECT_EQ (list.size(), 15);
    EXPECT_EQ (real.size(), 15u) << "each real file once";
    for (const auto& f : real)
        EXPECT_EQ (f.parent_path().parent_path(), std::filesystem::canonical (pack.getFullPathName().toStdString())) << f;
}

TEST (PresetLibrary, OneScannerServesEveryInstanceAndFilesAddedByHandArrive)
{
    EmptyTree tree;
    tree.write ("Bass/A.drubbel", 0.25f);
    tree.write ("Bass/B.drubbel", 0.5f);

    std::vector<std::unique_ptr<VroCore>> instances;
    for (int i = 0; i < 20; ++i)
        instances.push_back (std::make_unique<VroCore>());
    auto& library = instances[0]->getPresetLibrary();
    for (auto& core : instances)
        EXPECT_EQ (&core->getPresetLibrary(), &library);
    EXPECT_EQ (instances[19]->presetList().size(), 2);

    // Nothing changes on disk: the message thread walks nothing, whatever the number of instances.
    const int looksBefore = library.looks(), onMessageThreadBefore = library.looksOnMessageThread();
    test::deliverMessages (2500); // longer than the instances' old two-second rescans
    EXPECT_EQ (library.looksOnMessageThread(), onMessageThreadBefore);

    // A file arrives by hand, as one rename: one look for all twenty instances, off the message
    // thread, and a MIDI program change on the audio thread finds it.
    const auto staged = tree.config.folder.getChildFile ("C.drubbel");
    ASSERT_TRUE (staged.replaceWithText (test::programDocument ("1.3", R"(filtercutoff="0.75")")));
    ASSERT_TRUE (staged.moveFileTo (tree.presets.getChildFile ("Bass/C.drubbel")));
    auto& last = *instances[19];
    RenderSession session (last, 44100.0, 64, 120.0);
    last.setNonRealtime (false);
    EXPECT_TRUE (test::deliverMessagesUntil ([&]
    {
        test::programChangeOnTheAudioThread (last, 2);
        return last.getEngine().getSettings().params[VcfCutoff] == 0.75;
    }));
    EXPECT_EQ (last.presetList().size(), 3);
    EXPECT_LE (library.looks() - looksBefore, 2);
    EXPECT_EQ (library.looksOnMessageThread(), onMessageThreadBefore);
}

TEST (PresetLibrary, AMoveAndASaveReachEveryInstanceAtOnce)
{
    EmptyTree tree;
    VroCore mover, other;
    const auto moved = tree.config.folder.getChildFile ("Moved");
    ASSERT_TRUE (moved.getChildFile ("presets").createDirectory()); // existing: nothing installed
    mover.movePresetsLocation (moved.getFullPathName());
    EXPECT_EQ (juce::File (other.getPresetDirectory()), moved.getChildFile ("presets"));

    ASSERT_TRUE (mover.savePresetFile (moved.getChildFile ("presets/Mine.drubbel")));
    EXPECT_EQ (other.presetList(), juce::Array<juce::File> { moved.getChildFile ("presets/Mine.drubbel") });
}

TEST (PresetLibrary, TheLastInstanceToCloseStopsTheScanner)
{
    // Each round makes and ends a library; one that did not stop its thread, or waited on it for
    // its poll's time-out, would show here.
    EmptyTree tree;
    tree.write ("A.drubbel", 0.5f);
    const auto start = juce::Time::getMillisecondCounter();
    for (int i = 0; i < 20; ++i)
    {
        auto core = std::make_unique<VroCore>();
        std::thread ([&core] { core.reset(); }).join(); // hosts delete on their own thread
    }
    EXPECT_LT (juce::Time::getMillisecondCounter() - start, 10000u);
}

TEST (PresetLibrary, ALinkOutOfTheTreeIsNeitherListedNorWrittenThrough)
{
    EmptyTree tree;
    tree.write ("Bass/A.drubbel", 0.25f);
    // A pack that ships links: one up and out to a dotfile, one to a folder outside, one to a preset
    // of the tree, one to a file of the tree that is not a preset.
    const auto bashrc = tree.config.folder.getChildFile ("home/.bashrc");
    ASSERT_TRUE (bashrc.getParentDirectory().createDirectory().wasOk());
    ASSERT_TRUE (bashrc.replaceWithText ("export PATH\n"));
    const auto outside = tree.config.folder.getChildFile ("outside");
    ASSERT_TRUE (outside.getChildFile ("Stranger.drubbel").create().wasOk());
    ASSERT_TRUE (outside.getChildFile ("Stranger.drubbel").replaceWithText ("not mine"));
    const auto pack = tree.presets.getChildFile ("Pack");
    ASSERT_TRUE (pack.createDirectory().wasOk());
    const auto up = pack.getChildFile ("Init.drubbel").getFullPathName().toStdString();
    const auto relative = std::filesystem::relative (bashrc.getFullPathName().toStdString(), pack.getFullPathName().toStdString());
    std::filesystem::create_symlink (relative, up);
    ASSERT_TRUE (outside.createSymbolicLink (tree.presets.getChildFile ("Elsewhere"), false));
    std::filesystem::create_symlink ("../Bass/A.drubbel", pack.getChildFile ("Alias.drubbel").getFullPathName().toStdString());
    ASSERT_TRUE (tree.presets.getChildFile ("notes.txt").replaceWithText ("notes"));
    std::filesystem::create_symlink ("../notes.txt", pack.getChildFile ("Notes.drubbel").getFullPathName().toStdString());

    VroCore core;
    EXPECT_EQ (core.presetList(), (juce::Array<juce::File> { tree.presets.getChildFile ("Bass/A.drubbel"), pack.getChildFile ("Alias.drubbel") }));

    const auto before = bashrc.loadFileAsString();
    for (const char* path : { "Pack/Init.drubbel", "Elsewhere/Stranger.drubbel", "Elsewhere/New.drubbel", "Pack/Notes.drubbel" })
        EXPECT_FALSE (core.savePresetFile (tree.presets.getChildFile (path))) << path;
    EXPECT_EQ (bashrc.loadFileAsString(), before);
    EXPECT_EQ (outside.getChildFile ("Stranger.drubbel").loadFileAsString(), "not mine");
    EXPECT_FALSE (outside.getChildFile ("New.drubbel").exists());
    EXPECT_EQ (tree.presets.getChildFile ("notes.txt").loadFileAsString(), "notes");
    EXPECT_TRUE (SafeFile::isLink (pack.getChildFile ("Init.drubbel")));

    // A link to a preset of the tree is saved into that preset, and stays a link.
    core.setParameter (VcfCutoff, 0.875f);
    ASSERT_TRUE (core.savePresetFile (pack.getChildFile ("Alias.drubbel")));
    EXPECT_TRUE (SafeFile::isLink (pack.getChildFile ("Alias.drubbel")));
    EXPECT_TRUE (tree.presets.getChildFile ("Bass/A.drubbel").loadFileAsString().contains ("filtercutoff=\"0.875\""));
}

} // namespace
