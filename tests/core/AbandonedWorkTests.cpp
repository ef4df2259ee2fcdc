// The start-up clean-up of abandoned work: it removes only what a killed install or save of ours
// left, never through a link, never into another mount, and nothing that merely looks like ours.
#include "PresetTestSupport.h"
#include "SafeFile.h"

#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using test::FreshConfig;

namespace
{
const auto anHourAgo = [] { return juce::Time::getCurrentTime() - juce::RelativeTime::hours (1); };

int countFiles (const juce::File& folder)
{
    return folder.getNumberOfChildFiles (juce::File::findFiles | juce::File::ignoreHiddenFiles);
}

void fill (const juce::File& folder, int files)
{
    ASSERT_TRUE (folder.createDirectory().wasOk());
    for (int i = 0; i < files; ++i)
        ASSERT_TRUE (folder.getChildFile ("f" + juce::String (i)).replaceWithText ("x"));
}

/** A child process that runs body and then waits to be killed; its pid. Only system calls in the
    child: the parent has threads. */
template <typename Body>
pid_t child (Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        body();
        for (;;)
            ::pause();
    }
    return pid;
}

void stop (pid_t pid)
{
    ::kill (pid, SIGKILL);
    ::waitpid (pid, nullptr, 0);
}
} // namespace

TEST (AbandonedWork, ALinkSwappedInDuringTheRemovalIsNeverFollowed)
{
    // Someone who can write beside the preset folder leaves a staging folder of our naming and,
    // inside it, keeps exchanging a real subfolder with a link to a folder of the user's.
    const auto root = juce::File::createTempFile ("vro-race");
    const auto shared = root.getChildFile ("shared"), victim = root.getChildFile ("victim");
    fill (victim, 200);
    int removedFolders = 0;
    for (int round = 0; round < 200; ++round)
    {
        const auto staging = shared.getChildFile (".presets-installing-0000abcd");
        fill (staging.getChildFile ("sub"), 20);
        ASSERT_TRUE (victim.createSymbolicLink (staging.getChildFile ("link"), true));
        ASSERT_TRUE (staging.setLastModificationTime (anHourAgo()));

        const auto sub = staging.getChildFile ("sub").getFullPathName().toStdString();
        const auto link = staging.getChildFile ("link").getFullPathName().toStdString();
        const pid_t swapper = child ([&]
        {
            for (;;)
                ::renameat2 (AT_FDCWD, sub.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
        });
        ASSERT_GT (swapper, 0);
        juce::Thread::sleep (round % 3); // the removal meets the swap at different moments
        removedFolders += SafeFile::removeAbandonedWork (shared, true);
        stop (swapper);
        shared.deleteRecursively (false);
        ASSERT_EQ (countFiles (victim), 200) << "after round " << round;
    }
    EXPECT_EQ (countFiles (victim), 200);
    // The link is not the clean-up's to remove, so the staging folder around it stays too.
    EXPECT_EQ (removedFolders, 0);
    root.deleteRecursively (false);
}

TEST (AbandonedWork, LookAlikesOfOurNamesSurviveAStart)
{
    FreshConfig config;
    const auto presets = config.installedPresets(), beside = presets.getParentDirectory();
    const auto make = [] (const juce::File& f)
    {
        EXPECT_TRUE (f.getParentDirectory().createDirectory().wasOk());
        EXPECT_TRUE (f.replaceWithText ("the user's")) << f.getFullPathName();
        EXPECT_TRUE (f.setLastModificationTime (anHourAgo()));
        return f;
    };
    juce::Array<juce::File> kept;
    for (const auto& folder : { beside, presets })
    {
        kept.add (make (folder.getChildFile (".vro-tmp-notes.txt")));
        kept.add (make (folder.getChildFile (".vro-tmp-")));
        kept.add (make (folder.getChildFile (".vro-tmp-0123456789")));
        kept.add (make (folder.getChildFile (".vro-tmp-ABCDEF01")));
        for (const char* fifo : { ".vro-tmp-fifo", ".vro-tmp-00f1f0f1" })
        {
            const auto f = folder.getChildFile (fifo);
            ASSERT_EQ (::mkfifo (f.getFullPathName().toRawUTF8(), 0600), 0);
            kept.add (f);
        }
    }
    // A user's folder of a similar name, with what it holds.
    const auto backup = beside.getChildFile (".presets-installing-mybackup");
    kept.add (make (backup.getChildFile ("Bass/Mine.drubbel")));
    ASSERT_TRUE (backup.setLastModificationTime (anHourAgo()));
    // One of our naming that another program keeps open without taking a lock.
    const auto open = make (presets.getChildFile (".vro-tmp-abcd1234"));
    kept.add (open);
    const auto openPath = open.getFullPathName().toStdString();
    int opened[2];
    ASSERT_EQ (::pipe (opened), 0);
    const pid_t holder = child ([&]
    {
        const char done = ::open (openPath.c_str(), O_RDONLY) >= 0 ? 1 : 0;
        [[maybe_unused]] const auto n = ::write (opened[1], &done, 1);
    });
    ASSERT_GT (holder, 0);
    char done = 0;
    ASSERT_EQ (::read (opened[0], &done, 1), 1);
    ASSERT_EQ (done, 1) << "the holder has its file open";
    ::close (opened[0]);
    ::close (opened[1]);
    // And one that is ours and abandoned: it goes.
    const auto abandoned = make (presets.getChildFile (".vro-tmp-0badf00d"));

    { VroCore core; }
    stop (holder);
    for (const auto& f : kept)
        EXPECT_TRUE (f.exists()) << f.getFullPathName();
    EXPECT_TRUE (beside.getChildFile (".presets-installing-mybackup/Bass/Mine.drubbel").loadFileAsString() == "the user's");
    EXPECT_FALSE (abandoned.exists());
}

TEST (AbandonedWork, AMountInsideAnAbandonedStagingFolderIsNotEntered)
{
    // A folder mounted into an abandoned staging folder keeps its files; the staging folder's own
    // files go. Mounting needs a private user and mount namespace, made in a child process.
    FreshConfig config;
    const auto presets = config.installedPresets(), beside = presets.getParentDirectory();
    const auto mounted = config.folder.getChildFile ("mounted");
    fill (mounted, 30);
    const auto staging = beside.getChildFile (".presets-installing-00c0ffee");
    fill (staging.getChildFile ("Bass"), 5);
    const auto mountPoint = staging.getChildFile ("Bass/mnt");
    ASSERT_TRUE (mountPoint.createDirectory().wasOk());
    ASSERT_TRUE (staging.setLastModificationTime (anHourAgo()));

    const auto source = mounted.getFullPathName().toStdString(), target = mountPoint.getFullPathName().toStdString();
    const auto uid = ::getuid(), gid = ::getgid();
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        const auto write = [] (const char* path, const std::string& text)
        {
            const int fd = ::open (path, O_WRONLY);
            const bool ok = fd >= 0 && ::write (fd, text.data(), text.size()) == (ssize_t) text.size();
            if (fd >= 0)
                ::close (fd);
            return ok;
        };
        if (::unshare (CLONE_NEWUSER | CLONE_NEWNS) != 0 || ! write ("/proc/self/setgroups", "deny")
            || ! write ("/proc/self/uid_map", "0 " + std::to_string (uid) + " 1")
            || ! write ("/proc/self/gid_map", "0 " + std::to_string (gid) + " 1")
            || ::mount (nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount (source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
            ::_exit (77);
        SafeFile::removeAbandonedWork (juce::File (juce::String (beside.getFullPathName())), true);
        ::_exit (0);
    }
    ASSERT_GT (pid, 0);
    int status = 0;
    ASSERT_EQ (::waitpid (pid, &status, 0), pid);
    ASSERT_TRUE (WIFEXITED (status));
    if (WEXITSTATUS (status) == 77)
        GTEST_SKIP() << "cannot make a private mount namespace here (unprivileged user namespaces are off)";
    EXPECT_EQ (WEXITSTATUS (status), 0);
    EXPECT_EQ (countFiles (mounted), 30);
    EXPECT_EQ (countFiles (staging.getChildFile ("Bass")), 0) << "the staging folder's own files go";
}
