// The preset folder as the process sees it: one scanner for every instance, links that neither
// multiply the walk nor lead out of the tree, and files added by hand that arrive without a restart.
#include "PresetTestSupport.h"
#include "SafeFile.h"

#include <dirent.h>
#include <filesystem>
#include <fstream>
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

/** Whether the library lists the file within the time, looking as the editor does (no refresh). */
bool listedWithin (VroCore& core, const juce::File& file, int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    do
    {
        if (core.presetList().contains (file))
            return true;
        juce::Thread::sleep (10);
    } while (juce::Time::getMillisecondCounter() < end);
    return false;
}

/** The inotify watches this process holds, as the kernel counts them. */
int inotifyWatches()
{
    int watches = 0;
    DIR* fds = ::opendir ("/proc/self/fdinfo");
    if (fds == nullptr)
        return -1;
    while (const auto* e = ::readdir (fds))
    {
        std::ifstream info (std::string ("/proc/self/fdinfo/") + e->d_name);
        for (std::string line; std::getline (info, line);)
            watches += line.rfind ("inotify wd:", 0) == 0 ? 1 : 0;
    }
    ::closedir (fds);
    return watches;
}


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

TEST (PresetLibrary, AFolderReplacedByARenameIsWatchedAgain)
{
    EmptyTree tree;
    tree.write ("Bass/A.drubbel", 0.25f);
    VroCore core;
    ASSERT_EQ (core.presetList().size(), 1);

    const auto bass = tree.presets.getChildFile ("Bass");
    for (int round = 0; round < 3; ++round)
    {
        ASSERT_TRUE (bass.moveFileTo (tree.presets.getChildFile ("Bass.old" + juce::String (round))));
        ASSERT_TRUE (bass.createDirectory().wasOk());
        juce::Thread::sleep (300); // the library has looked at the new folder before the file comes
        tree.write ("Bass/New" + juce::String (round) + ".drubbel", 0.5f);
        EXPECT_TRUE (listedWithin (core, bass.getChildFile ("New" + juce::String (round) + ".drubbel"), 1000)) << "round " << round;
    }
    // A folder that is deleted and made again, and one moved in from outside.
    ASSERT_TRUE (bass.deleteRecursively());
    ASSERT_TRUE (bass.createDirectory().wasOk());
    const auto incoming = tree.config.folder.getChildFile ("Lead");
    ASSERT_TRUE (incoming.createDirectory().wasOk());
    ASSERT_TRUE (incoming.moveFileTo (tree.presets.getChildFile ("Lead")));
    juce::Thread::sleep (300);
    tree.write ("Bass/Again.drubbel", 0.5f);
    tree.write ("Lead/Moved.drubbel", 0.5f);
    EXPECT_TRUE (listedWithin (core, bass.getChildFile ("Again.drubbel"), 1000));
    EXPECT_TRUE (listedWithin (core, tree.presets.getChildFile ("Lead/Moved.drubbel"), 1000));
}

TEST (PresetLibrary, WatchesStopAtTheCapAndTheRestIsWalked)
{
    // A tree of more folders than the cap (a sample library kept under the presets, say).
    EmptyTree tree;
    constexpr int folders = 1100, cap = PresetLibrary::maxWatches;
    for (int i = 0; i < folders; ++i)
        ASSERT_TRUE (tree.presets.getChildFile ("Samples/" + juce::String (i).paddedLeft ('0', 4)).createDirectory().wasOk());
    const int watchesBefore = inotifyWatches();
    if (watchesBefore < 0)
        GTEST_SKIP() << "no /proc/self/fdinfo here";

    VroCore core;
    auto& library = core.getPresetLibrary();
    const auto started = juce::Time::getMillisecondCounter();
    library.look();
    // The period grows with the time a walk takes (a slow machine, a sanitizer).
    const int walkMs = (int) (juce::Time::getMillisecondCounter() - started);
    const int periodMs = std::max (PresetLibrary::walkPeriodMs, 2 * PresetLibrary::walkCostFactor * walkMs);
    // The folders and the one above the tree, which tells when the tree itself goes.
    EXPECT_EQ (inotifyWatches() - watchesBefore, cap + 1);

    // A file in a watched folder arrives at once, one in a folder beyond the cap within the walk's
    // period, and the count stays.
    tree.write ("Samples/0000/Watched.drubbel", 0.5f);
    EXPECT_TRUE (listedWithin (core, tree.presets.getChildFile ("Samples/0000/Watched.drubbel"), 1000));
    tree.write ("Samples/1099/Walked.drubbel", 0.5f);
    EXPECT_TRUE (listedWithin (core, tree.presets.getChildFile ("Samples/1099/Walked.drubbel"), periodMs + 2000));
    EXPECT_EQ (inotifyWatches() - watchesBefore, cap + 1);
}
} // namespace

TEST (PresetLibrary, AHostThatDeletesItsLastInstanceAndMakesAnotherDoesNotReadEveryPresetAgain)
{
    // Plug-in scans and undo delete the last instance and create one again: the new library starts
    // from what the last one read, and reads only the files changed since.
    EmptyTree tree;
    tree.write ("A.drubbel", 0.25f);
    tree.write ("B.drubbel", 0.5f);
    std::shared_ptr<const PresetSnapshot> before;
    {
        VroCore core;
        before = core.getPresetLibrary().snapshot();
    }
    ASSERT_EQ (before->programs.size(), 2u);
    tree.write ("B.drubbel", 0.75f); // changed while no instance was alive: size and time differ
    const auto b = tree.presets.getChildFile ("B.drubbel");
    ASSERT_TRUE (b.setLastModificationTime (b.getLastModificationTime() + juce::RelativeTime::seconds (5)));

    VroCore core;
    const auto after = core.getPresetLibrary().snapshot();
    ASSERT_EQ (after->programs.size(), 2u);
    EXPECT_EQ (after->programs[0], before->programs[0]) << "an unchanged file read again";
    EXPECT_NE (after->programs[1], before->programs[1]);
    EXPECT_FLOAT_EQ (after->programs[1]->reading.values[VcfCutoff], 0.75f);
}
