// What the editor costs the host: opening it (construction and first paint), one refresh after a
// change message, and the CPU an open, idle window takes with its timers running.
// Needs an X display (tests/editor/with-display.sh provides one).
#include "VroComponent.h"
#include "VroCore.h"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <sys/resource.h>
#include <vector>

namespace juce
{
// The framework's message pump step; the build has no modal loops, so runDispatchLoopUntil is absent.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
void pump (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

double cpuSeconds()
{
    rusage usage {};
    getrusage (RUSAGE_SELF, &usage);
    return (double) usage.ru_utime.tv_sec + (double) usage.ru_stime.tv_sec
         + 1.0e-6 * ((double) usage.ru_utime.tv_usec + (double) usage.ru_stime.tv_usec);
}

/** Hosts keep X errors from ending the process (a bare Xvfb lacks the window manager's atoms); the
    framework only does so itself inside an application of its own. */
void tolerateXErrors()
{
    using Handler = int (*) (void*, void*);
    if (auto* x11 = dlopen ("libX11.so.6", RTLD_LAZY))
        if (auto* setHandler = reinterpret_cast<Handler (*) (Handler)> (dlsym (x11, "XSetErrorHandler")))
            setHandler ([] (void*, void*) { return 0; });
}

double median (std::vector<double> v)
{
    std::sort (v.begin(), v.end());
    return v[v.size() / 2];
}

/** CPU share of this process while the message loop runs for the given time. */
double idleCpuPercent (int milliseconds)
{
    const double cpu0 = cpuSeconds();
    const auto wall0 = juce::Time::getMillisecondCounterHiRes();
    pump (milliseconds);
    return 100.0 * (cpuSeconds() - cpu0) / ((juce::Time::getMillisecondCounterHiRes() - wall0) / 1000.0);
}
} // namespace

int main()
{
    const auto home = juce::File::createTempFile ("vro-bench-home");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);
    {
        juce::ScopedJuceInitialiser_GUI gui;
        VroCore core;

        std::vector<double> openMs;
        double firstOpenMs = 0.0;
        for (int i = 0; i < 21; ++i)
        {
            const auto t0 = juce::Time::getMillisecondCounterHiRes();
            std::unique_ptr<juce::AudioProcessorEditor> editor (createVroEditor (core));
            editor->createComponentSnapshot (editor->getLocalBounds());
            const double ms = juce::Time::getMillisecondCounterHiRes() - t0;
            if (i == 0)
                firstOpenMs = ms; // includes decoding the images into the cache
            else
                openMs.push_back (ms);
        }

        std::unique_ptr<VroComponent> editor (dynamic_cast<VroComponent*> (createVroEditor (core)));
        std::vector<double> refreshUs;
        for (int i = 0; i < 200; ++i)
        {
            core.setParameter (26, (float) (i % 100) / 100.0f); // the value changes, as after automation
            const auto t0 = juce::Time::getMillisecondCounterHiRes();
            editor->refreshControls();
            refreshUs.push_back (1000.0 * (juce::Time::getMillisecondCounterHiRes() - t0));
        }

        const double baseline = idleCpuPercent (2000);
        tolerateXErrors();
        editor->addToDesktop (juce::ComponentPeer::windowHasTitleBar);
        editor->setVisible (true);
        pump (500); // first paint on screen
        const double idle = idleCpuPercent (5000);
        editor->removeFromDesktop();

        std::printf ("editor open (construct + first paint): first %.1f ms, then median %.1f ms\n", firstOpenMs, median (openMs));
        std::printf ("editor refresh after a change message: median %.1f us\n", median (refreshUs));
        std::printf ("open idle editor: %.2f %% of one core over 5 s (message loop alone: %.2f %%)\n", idle, baseline);
    }
    home.deleteRecursively();
    return 0;
}
