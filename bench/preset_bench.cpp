// preset_bench: what the preset side costs a host. The factory installation runs inside the first
// construction of the plug-in, the list scan and the file load inside a MIDI program change on the
// audio thread, the state calls whenever a host saves or restores a project.
//
// Runs in a temporary HOME and XDG_CONFIG_HOME, never in the real user's folders.
#include "ProgramDocument.h"
#include "VroCore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace
{
/** Median and fastest of several runs, in microseconds. */
struct Timing
{
    double median, fastest;
};

Timing measure (int runs, const std::function<void()>& setup, const std::function<void()>& work)
{
    std::vector<double> us;
    for (int i = 0; i < runs; ++i)
    {
        setup();
        const auto start = std::chrono::steady_clock::now();
        work();
        us.push_back (std::chrono::duration<double, std::micro> (std::chrono::steady_clock::now() - start).count());
    }
    std::sort (us.begin(), us.end());
    return { us[us.size() / 2], us.front() };
}

void print (const char* what, Timing t, const char* unit = "us", double scale = 1.0)
{
    std::printf ("  %-46s %10.1f %s (fastest %.1f)\n", what, t.median / scale, unit, t.fastest / scale);
}
} // namespace

int main()
{
    const auto home = juce::File::createTempFile ("preset-bench");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);

    {
        juce::ScopedJuceInitialiser_GUI juce;
        const auto nothing = [] {};

        std::printf ("VRO Drubbel preset bench (temporary folder %s)\n", home.getFullPathName().toRawUTF8());

        const auto bank = VroCore::parseFactoryBank();
        if (bank == nullptr)
        {
            std::printf ("  built without the factory bank\n");
            return 1;
        }
        std::printf ("  factory bank: %d programs\n", bank->getChildByName ("programs")->getNumChildElements());

        // First start: the constructor installs the bank; a second start only checks one path.
        const auto presets = home.getChildFile (".config/Velmora/VRO-Drubbel/presets");
        print ("first start (construction with installation)", measure (5, [&] { presets.deleteRecursively(); },
                                                                         [] { VroCore core; }),
               "ms", 1000.0);
        print ("later start (construction, folder exists)", measure (5, nothing, [] { VroCore core; }), "ms", 1000.0);

        VroCore core;
        print ("parse the embedded bank", measure (5, nothing, [] { VroCore::parseFactoryBank(); }), "ms", 1000.0);
        print ("install 321 preset files", measure (5, [&] { presets.deleteRecursively(); },
                                                    [&] { core.installFactoryPresets (*bank); }),
               "ms", 1000.0);

        int listed = 0;
        print ("preset list scan of the factory tree", measure (50, nothing, [&] { listed = core.presetList().size(); }));
        std::printf ("  (%d files listed)\n", listed);

        const auto list = core.presetList();
        print ("load one preset file", measure (200, nothing, [&] { core.loadPresetFile (list[100], true, false); }));
        print ("MIDI program change (scan and load)", measure (50, nothing, [&]
                                                              {
                                                                  const auto l = core.presetList();
                                                                  core.loadPresetFile (l[200], true, false);
                                                              }));

        juce::MemoryBlock state;
        core.getStateInformation (state);
        std::printf ("  state chunk: %d bytes\n", (int) state.getSize());
        print ("state save (getStateInformation)", measure (500, nothing, [&]
                                                           {
                                                               juce::MemoryBlock block;
                                                               core.getStateInformation (block);
                                                           }));
        print ("state load (setStateInformation)", measure (500, nothing, [&] { core.setStateInformation (state.getData(), (int) state.getSize()); }));
    }
    home.deleteRecursively();
    return 0;
}
