// preset_bench: what the preset side costs a host. The factory installation runs inside the first
// construction of the plug-in, the list scan and the file loads when the message thread reads the
// preset list for MIDI program changes, the state calls whenever a host saves or restores a project.
//
// Runs in a temporary HOME and XDG_CONFIG_HOME, never in the real user's folders.
#include "ProgramDocument.h"
#include "VroCore.h"
#if __has_include("PresetLibrary.h")
 #include "PresetLibrary.h"
 #define VRO_BENCH_LIBRARY 1
#endif

#include <algorithm>
#include <chrono>
#include <ctime>
#include <time.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); // the framework's own loop step
}

namespace
{
/** Median and fastest of several runs, in microseconds of wall time, and the median processor
    time of this process, which a busy machine does not inflate. */
struct Timing
{
    double median, fastest, cpu;
};

Timing measure (int runs, const std::function<void()>& setup, const std::function<void()>& work)
{
    std::vector<double> us, cpu;
    for (int i = 0; i < runs; ++i)
    {
        setup();
        const auto start = std::chrono::steady_clock::now();
        const auto startCpu = std::clock();
        work();
        cpu.push_back ((double) (std::clock() - startCpu) * 1.0e6 / CLOCKS_PER_SEC);
        us.push_back (std::chrono::duration<double, std::micro> (std::chrono::steady_clock::now() - start).count());
    }
    std::sort (us.begin(), us.end());
    std::sort (cpu.begin(), cpu.end());
    return { us[us.size() / 2], us.front(), cpu[cpu.size() / 2] };
}

/** Delivers messages for a while, as a host's message loop would. */
void runMessages (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

void print (const char* what, Timing t, const char* unit = "us", double scale = 1.0)
{
    std::printf ("  %-46s %9.1f %s (fastest %.1f, processor %.1f)\n", what, t.median / scale, unit, t.fastest / scale,
                 t.cpu / scale);
}

double threadCpuMs()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec * 1.0e3 + (double) t.tv_nsec / 1.0e6;
}

/** The message thread's own processor time while it runs its loop for a while, per two seconds:
    what the host's UI thread gives the instances in the steady state (nothing changes on disk). */
double messageThreadMsPerTwoSeconds (int milliseconds)
{
    const double start = threadCpuMs();
    runMessages (milliseconds);
    return (threadCpuMs() - start) * 2000.0 / milliseconds;
}

/** One unchanged look at the folder as an instance takes it: before, a walk on the message thread;
    now, the one scanner's forced look (the backstop's), on whichever thread calls it. */
void look (VroCore& core)
{
#if VRO_BENCH_LIBRARY
    core.getPresetLibrary().look();
#else
    core.refreshPresetSnapshot();
#endif
}

/** 5,000 presets in 50 category folders of 100, each a copy of one factory file. */
void makeLargeLibrary (const juce::File& presets, const juce::String& text)
{
    for (int c = 0; c < 50; ++c)
    {
        const auto folder = presets.getChildFile ("Category " + juce::String (c));
        folder.createDirectory();
        for (int i = 0; i < 100; ++i)
            folder.getChildFile ("Preset " + juce::String (i) + ".drubbel").replaceWithText (text);
    }
}

/** A pack of 15 folders in a chain, each holding two presets and two links to the next one: 28
    links, 2^14 ways down to the last folder. */
void makeLinkPack (const juce::File& presets, const juce::String& text)
{
    const auto pack = presets.getChildFile ("Pack");
    for (int i = 0; i < 15; ++i)
    {
        const auto folder = pack.getChildFile ("f" + juce::String (i));
        folder.createDirectory();
        folder.getChildFile ("A.drubbel").replaceWithText (text);
        folder.getChildFile ("B.drubbel").replaceWithText (text);
        if (i > 0)
            for (const char* name : { "left", "right" })
                folder.createSymbolicLink (pack.getChildFile ("f" + juce::String (i - 1)).getChildFile (name), true);
    }
}

/** A program change as drubbel-render plays one: offline, on the message thread. */
double rendererProgramChangeMs (VroCore& core, int number)
{
    core.setNonRealtime (true);
    core.setPlayConfigDetails (2, 2, 44100.0, 64);
    core.prepareToPlay (44100.0, 64);
    juce::AudioBuffer<float> buffer (2, 64);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::programChange (1, number), 0);
    const auto start = std::chrono::steady_clock::now();
    core.processBlock (buffer, midi);
    return std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - start).count();
}

/** Looks at the preset folder: 20 instances on the factory tree, one on 5,000 presets, one on the
    pack of linked folders. Each in a settings folder of its own. */
void presetFolderLooks (const juce::File& home)
{
    std::printf ("preset folder looks%s\n",
#if VRO_BENCH_LIBRARY
                 " (one scanner per process)"
#else
                 " (every instance walks on the message thread)"
#endif
    );
    int run = 0;
    const auto freshConfig = [&]
    {
        const auto config = home.getChildFile ("looks-" + juce::String (++run));
        setenv ("XDG_CONFIG_HOME", config.getFullPathName().toRawUTF8(), 1);
        return config.getChildFile ("Velmora/VRO-Drubbel/presets");
    };
    const auto nothing = [] {};
    // The loop's own polling costs the message thread something: the instances' share is the rest.
    std::printf ("  %-46s %9.2f ms\n", "no instance: message thread per 2 s", messageThreadMsPerTwoSeconds (6000));
    juce::String presetText;
    {
        freshConfig();
        std::vector<std::unique_ptr<VroCore>> instances;
        for (int i = 0; i < 20; ++i)
            instances.push_back (std::make_unique<VroCore>());
        presetText = instances[0]->presetList()[0].loadFileAsString();
        std::printf ("  factory tree: %d presets\n", instances[0]->presetList().size());
        print ("one unchanged look", measure (30, nothing, [&] { look (*instances[0]); }), "ms", 1000.0);
        std::printf ("  %-46s %9.2f ms\n", "20 instances: message thread per 2 s", messageThreadMsPerTwoSeconds (6000));
    }
    {
        const auto presets = freshConfig();
        presets.createDirectory();
        makeLargeLibrary (presets, presetText);
        VroCore core;
        std::printf ("  large library: %d presets\n", core.presetList().size());
        print ("one unchanged look", measure (20, nothing, [&] { look (core); }), "ms", 1000.0);
        std::printf ("  %-46s %9.2f ms\n", "1 instance: message thread per 2 s", messageThreadMsPerTwoSeconds (6000));
        print ("renderer program change", measure (5, nothing, [&] { rendererProgramChangeMs (core, 4321); }), "ms", 1000.0);
    }
    {
        const auto presets = freshConfig();
        presets.createDirectory();
        makeLinkPack (presets, presetText);
        VroCore core;
        std::printf ("  linked pack: %d presets listed (30 files)\n", core.presetList().size());
        print ("one unchanged look", measure (1, nothing, [&] { look (core); }), "ms", 1000.0);
        print ("renderer program change", measure (1, nothing, [&] { rendererProgramChangeMs (core, 3); }), "ms", 1000.0);
    }
}
} // namespace

int main (int argc, char** argv)
{
    // "looks": only the preset folder looks (for callgrind or a quick re-run).
    const bool looksOnly = argc > 1 && std::string (argv[1]) == "looks";
    const auto home = juce::File::createTempFile ("preset-bench");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);

    {
        juce::ScopedJuceInitialiser_GUI juce;
        const auto nothing = [] {};

        std::printf ("VRO Drubbel preset bench (temporary folder %s)\n", home.getFullPathName().toRawUTF8());
        if (looksOnly)
        {
            presetFolderLooks (home);
            home.deleteRecursively();
            return 0;
        }

        const auto bank = VroCore::parseFactoryBank();
        if (bank == nullptr)
        {
            std::printf ("  built without the factory bank\n");
            return 1;
        }
        std::printf ("  factory bank: %d programs\n", bank->getChildByName ("programs")->getNumChildElements());

        // Every run installs into a folder of its own, deleted only at the end: deleting and
        // recreating hundreds of files at once makes the file system search for free inodes, which
        // no real first start meets.
        int run = 0;
        const auto freshConfig = [&]
        {
            const auto config = home.getChildFile ("config-" + juce::String (++run));
            setenv ("XDG_CONFIG_HOME", config.getFullPathName().toRawUTF8(), 1);
        };
        print ("first start (construction with installation)", measure (5, freshConfig, [] { VroCore core; }), "ms", 1000.0);
        print ("later start (construction, folder exists)", measure (5, nothing, [] { VroCore core; }), "ms", 1000.0);

        VroCore core;
        print ("parse the embedded bank", measure (5, nothing, [] { VroCore::parseFactoryBank(); }), "ms", 1000.0);
        print ("install 321 preset files", measure (5, [&]
                                                    {
                                                        const auto folder = home.getChildFile ("moved-" + juce::String (++run));
                                                        folder.createDirectory();
                                                        // Moving installs there; the measured install starts without the folder.
                                                        core.movePresetsLocation (folder.getFullPathName());
                                                        folder.getChildFile ("presets").deleteRecursively();
                                                    },
                                                    [&] { core.installFactoryPresets (*bank); }),
               "ms", 1000.0);

        int listed = 0;
        print ("preset list scan of the factory tree", measure (50, nothing, [&] { listed = core.presetList().size(); }));
        std::printf ("  (%d files listed)\n", listed);

        const auto list = core.presetList();
        print ("load one preset file", measure (200, nothing, [&] { core.loadPresetFile (list[100], true, false); }));
        print ("preset list scan and one file load", measure (50, nothing, [&]
                                                              {
                                                                  const auto l = core.presetList();
                                                                  core.loadPresetFile (l[200], true, false);
                                                              }));

        {
            // The audio thread's longest block while MIDI program changes arrive: 128 samples at
            // 48 kHz (2.67 ms of audio) on a thread of its own, realtime, one change every 8 blocks.
            VroCore player;
            player.setNonRealtime (false);
            player.setPlayConfigDetails (2, 2, 48000.0, 128);
            player.prepareToPlay (48000.0, 128);
            player.refreshPresetSnapshot(); // as the message thread does after construction
            // Wall time, and the audio thread's own processor time, which a busy machine does not inflate.
            double longest = 0.0, longestWithout = 0.0, longestCpu = 0.0, longestCpuWithout = 0.0;
            const auto threadCpuUs = []
            {
                timespec t {};
                clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
                return (double) t.tv_sec * 1.0e6 + (double) t.tv_nsec / 1000.0;
            };
            std::thread audio ([&]
            {
                juce::AudioBuffer<float> buffer (2, 128);
                juce::MidiBuffer midi;
                for (int b = 0; b < 8 * 60; ++b)
                {
                    midi.clear();
                    const bool change = b % 8 == 4;
                    if (change)
                        midi.addEvent (juce::MidiMessage::programChange (1, (b / 8 * 37) % 300), 17);
                    else if (b % 8 == 0)
                        midi.addEvent (juce::MidiMessage::noteOn (1, 48, (juce::uint8) 100), 0);
                    const auto start = std::chrono::steady_clock::now();
                    const double startCpu = threadCpuUs();
                    player.processBlock (buffer, midi);
                    const double cpu = threadCpuUs() - startCpu;
                    const double us = std::chrono::duration<double, std::micro> (std::chrono::steady_clock::now() - start).count();
                    (change ? longest : longestWithout) = std::max (change ? longest : longestWithout, us);
                    (change ? longestCpu : longestCpuWithout) = std::max (change ? longestCpu : longestCpuWithout, cpu);
                    std::this_thread::sleep_for (std::chrono::microseconds (2667));
                }
            });
            const auto end = juce::Time::getMillisecondCounter() + 60 * 8 * 3 + 500;
            while (juce::Time::getMillisecondCounter() < end)
                runMessages (10);
            audio.join();
            std::printf ("  %-46s %9.1f us (without a change %.1f us; a block lasts 2667 us)\n",
                         "longest block with a MIDI program change", longest, longestWithout);
            std::printf ("  %-46s %9.1f us (without a change %.1f us)\n", "  the same in the audio thread's processor time",
                         longestCpu, longestCpuWithout);
        }

        juce::MemoryBlock state;
        core.getStateInformation (state);
        std::printf ("  state chunk: %d bytes\n", (int) state.getSize());
        print ("state save (getStateInformation)", measure (500, nothing, [&]
                                                           {
                                                               juce::MemoryBlock block;
                                                               core.getStateInformation (block);
                                                           }));
        print ("state load (setStateInformation)", measure (500, nothing, [&] { core.setStateInformation (state.getData(), (int) state.getSize()); }));

        presetFolderLooks (home);
    }
    home.deleteRecursively();
    return 0;
}
