// Saves and the factory install on a disk that fills up: nothing reports success that did not
// happen, nothing that was there is lost, and a start completes what an earlier one left unfinished.
#include "PresetTestSupport.h"

#include <sys/mount.h>

using namespace Param;
using test::FreshConfig;

namespace
{
/** A small file system of its own, mounted over the test's config folder; the tests that need one
    skip where mounting is not allowed (it needs root). */
struct SmallDisk
{
    explicit SmallDisk (const juce::File& where, const char* size) : folder (where)
    {
        mounted = ::mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", 0, (juce::String ("size=") + size).toRawUTF8()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2 (folder.getFullPathName().toRawUTF8(), MNT_DETACH);
    }
    void resize (const char* size)
    {
        ::mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", MS_REMOUNT, (juce::String ("size=") + size).toRawUTF8());
    }
    /** Fills what is left with one file. */
    void fill()
    {
        juce::FileOutputStream out (folder.getChildFile ("filler"));
        const juce::MemoryBlock block (4096, true);
        while (out.write (block.getData(), block.getSize()) && out.getPosition() < (1 << 30))
            out.flush();
    }

    juce::File folder;
    bool mounted = false;
};

int countPresets (const juce::File& dir)
{
    return dir.findChildFiles (juce::File::findFiles, true, "*.drubbel").size();
}

bool hasHiddenLeftovers (const juce::File& dir)
{
    for (const auto& f : dir.findChildFiles (juce::File::findFilesAndDirectories, false, ".*"))
        if (! f.getFileName().startsWith (".factory"))
            return true;
    return false;
}

TEST (FullDisk, PresetSavesFailAndKeepThePreviousFile)
{
    FreshConfig config;
    SmallDisk disk (config.folder, "1m");
    if (! disk.mounted)
        GTEST_SKIP() << "cannot mount a small file system here";

    // A preset folder of the user's own, so no factory install takes the room first.
    config.presets().createDirectory();
    VroCore core;
    const auto dir = juce::File (core.getPresetDirectory());
    const auto file = dir.getChildFile ("Mine.drubbel");
    ASSERT_TRUE (core.savePresetFile (file));
    ASSERT_TRUE (core.saveDefaultPreset());
    const auto saved = file.loadFileAsString();
    const auto savedDefault = core.getDefaultPresetFile().loadFileAsString();
    ASSERT_GT (saved.length(), 1000);

    disk.fill();
    core.getProgram().parameters[VcfCutoff] = 0.125f;
    EXPECT_FALSE (core.savePresetFile (file));
    EXPECT_FALSE (core.saveDefaultPreset());
    EXPECT_EQ (file.loadFileAsString(), saved);
    EXPECT_EQ (core.getDefaultPresetFile().loadFileAsString(), savedDefault);
    EXPECT_FALSE (hasHiddenLeftovers (dir));
}

TEST (FullDisk, FactoryInstallIsCompleteOrAbsent)
{
    FreshConfig config;
    if (VroCore::parseFactoryBank() == nullptr)
        GTEST_SKIP() << "built without the factory bank";
    // Room for the settings and a part of the bank's 3.6 MB.
    SmallDisk disk (config.folder, "1m");
    if (! disk.mounted)
        GTEST_SKIP() << "cannot mount a small file system here";

    {
        VroCore core;
    }
    const auto presets = config.presets();
    EXPECT_FALSE (presets.exists());
    EXPECT_FALSE (hasHiddenLeftovers (presets.getParentDirectory()));

    // With room, the next start installs all of it.
    disk.resize ("64m");
    {
        VroCore core;
    }
    EXPECT_EQ (countPresets (presets), 321);
}

TEST (FactoryInstall, AStartRepairsWhatAnIncompleteInstallLeft)
{
    FreshConfig config;
    if (VroCore::parseFactoryBank() == nullptr)
        GTEST_SKIP() << "built without the factory bank";
    {
        VroCore core;
    }
    const auto dir = config.presets();
    auto files = dir.findChildFiles (juce::File::findFiles, true, "*.drubbel");
    ASSERT_EQ (files.size(), 321);
    std::sort (files.begin(), files.end());

    // What an earlier version left on a full disk: empty and cut-off files, and no note that the
    // install finished. The user had also deleted one preset and changed another.
    const auto expected = files[0].loadFileAsString();
    for (int i = 0; i < 200; ++i)
        files[i].replaceWithText ({});
    files[200].replaceWithText (expected.substring (0, 4096));
    files[201].deleteFile();
    const auto edited = files[202].loadFileAsString().replace ("programname=", "programname=\"Mine\" old=");
    files[202].replaceWithText (edited, false, false, "\n");
    for (const auto& f : dir.findChildFiles (juce::File::findFiles, false, ".*"))
        f.deleteFile();

    {
        VroCore core;
    }
    EXPECT_EQ (files[0].loadFileAsString(), expected);
    int unreadable = 0;
    for (int i = 0; i <= 200; ++i)
        unreadable += ProgramDocument::parseFile (files[i]) == nullptr;
    EXPECT_EQ (unreadable, 0);
    EXPECT_FALSE (files[201].exists()) << "a preset the user deleted came back";
    EXPECT_EQ (files[202].loadFileAsString(), edited);

    // Once repaired, later starts leave everything alone, even a file that went empty since.
    files[0].replaceWithText ({});
    {
        VroCore core;
    }
    EXPECT_EQ (files[0].getSize(), 0);
}
} // namespace
