// MIDI learn, learned controllers and the notifier that carries their changes to the host.
#include "PresetTestSupport.h"

#include <atomic>
#include <mutex>
#include <thread>

using namespace Param;
using test::Render;

namespace
{
/** What the host is told, in order. */
struct HostListener : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        changes.push_back ({ index, value });
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override { ++refreshes; }

    std::vector<std::pair<int, float>> taken()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return changes;
    }

    std::mutex mutex;
    std::vector<std::pair<int, float>> changes;
    std::atomic<int> refreshes { 0 };
};

constexpr float cc (int value) { return (float) value * 0.007874016f; }

TEST (Learn, LearnsRebindsAndDeliversThroughTheNotifier)
{
    VroCore core;
    HostListener host;
    core.addListener (&host);
    core.setParameter (MidiLearnActivated, 1.0f);
    core.setParameter (VcfCutoff, 0.3f); // the control the user touched

    Render (core, 44100.0, 64, 120.0, false).at (10, test::controller (74, 64)).run (64);
    EXPECT_EQ (core.getProgram().controllerMap[74], VcfCutoff);
    EXPECT_EQ (core.getParameter (VcfCutoff), cc (64));
    EXPECT_TRUE (test::deliverMessagesUntil ([&] { return ! host.taken().empty(); }));
    ASSERT_FALSE (host.taken().empty());
    EXPECT_EQ (host.taken().back(), std::make_pair ((int) VcfCutoff, cc (64)));

    // Still armed: another controller takes the binding over, a parameter has one controller.
    Render (core, 44100.0, 64, 120.0, false).at (0, test::controller (71, 127)).run (64);
    EXPECT_EQ (core.getProgram().controllerMap[74], 0);
    EXPECT_EQ (core.getProgram().controllerMap[71], VcfCutoff);
    EXPECT_TRUE (test::deliverMessagesUntil ([&] { return core.getParameter (VcfCutoff) == 1.0f; }));

    // Disarmed: the controller drives its parameter and learns nothing new.
    core.setParameter (MidiLearnActivated, 0.0f);
    core.setParameter (VcfResonance, 0.2f);
    Render (core, 44100.0, 64, 120.0, false).at (0, test::controller (71, 0)).at (1, test::controller (20, 50)).run (64);
    EXPECT_EQ (core.getProgram().controllerMap[20], 0);
    EXPECT_TRUE (test::deliverMessagesUntil ([&] { return core.getParameter (VcfCutoff) == 0.0f; }));
    EXPECT_EQ (core.getParameter (VcfResonance), 0.2f);
    core.removeListener (&host);
}

TEST (Learn, ArmingAloneBindsTheSwitchItself)
{
    VroCore core;
    core.setParameter (MidiLearnActivated, 1.0f);
    Render (core, 44100.0, 64, 120.0, false).at (0, test::controller (20, 0)).run (64);
    EXPECT_EQ (core.getProgram().controllerMap[20], MidiLearnActivated);
    // Moving it to 0 disarmed learning.
    EXPECT_TRUE (test::deliverMessagesUntil ([&] { return core.getParameter (MidiLearnActivated) == 0.0f; }));
    Render (core, 44100.0, 64, 120.0, false).at (0, test::controller (21, 10)).run (64);
    EXPECT_EQ (core.getProgram().controllerMap[21], 0);
}

TEST (Learn, ReservedControllersAreNeverLearned)
{
    VroCore core;
    core.setParameter (MidiLearnActivated, 1.0f);
    core.setParameter (VcfCutoff, 0.3f);
    Render (core, 44100.0, 64, 120.0, false)
        .at (0, test::controller (64, 100))
        .at (1, test::controller (120, 0))
        .at (2, test::controller (123, 0))
        .run (64);
    for (int entry : core.getProgram().controllerMap)
        EXPECT_EQ (entry, 0);
}

TEST (Learn, ModWheelActsWhetherMappedOrNot)
{
    VroCore core;
    auto& settings = core.getEngine().getSettings();
    Render (core).at (0, test::controller (1, 127)).run (64);
    EXPECT_EQ (settings.modWheel, 1.0);

    core.getProgram().controllerMap[1] = VcfCutoff;
    Render (core).at (0, test::controller (1, 32)).run (64);
    EXPECT_EQ (settings.modWheel, (double) cc (32));
    EXPECT_EQ (core.getParameter (VcfCutoff), cc (32));
}

TEST (Learn, OfflineAppliesAtTheEventWithoutTellingTheHost)
{
    auto render = [] (bool withController)
    {
        auto core = std::make_unique<VroCore>();
        core->getProgram().controllerMap[7] = Volume;
        HostListener host;
        core->addListener (&host);
        Render r (*core, 44100.0, 512, 120.0, true);
        r.at (0, test::noteOn (48));
        if (withController)
            r.at (3000, test::controller (7, 0));
        r.run (8192);
        core->removeListener (&host);
        EXPECT_TRUE (host.taken().empty());
        return std::vector<float> (r.session.audio.getReadPointer (0), r.session.audio.getReadPointer (0) + 8192);
    };
    const auto plain = render (false), controlled = render (true);
    ASSERT_GT (*std::max_element (plain.begin(), plain.end()), 0.01f);
    EXPECT_TRUE (std::equal (plain.begin(), plain.begin() + 3000, controlled.begin()));
    EXPECT_NE (plain[3001], controlled[3001]);
}

TEST (Notifier, NothingReachesTheHostOnceReleased)
{
    // A host restores a state off the message thread, then releases the plug-in and tears its
    // wrapper down while the announcements are still on their way.
    VroCore core;
    HostListener host;
    core.addListener (&host);
    juce::MemoryBlock state;
    core.getStateInformation (state);
    std::thread ([&] { core.setStateInformation (state.getData(), (int) state.getSize()); }).join();
    core.releaseResources();
    ASSERT_TRUE (test::deliverPostedMessages());
    EXPECT_TRUE (host.taken().empty()) << host.taken().size();

    // Prepared again, changes reach the host as before.
    core.prepareToPlay (44100.0, 64);
    core.getNotifier().enqueue (VcfCutoff, 0.5f);
    core.getBridge().deliver();
    ASSERT_EQ (host.taken().size(), 1u);
    EXPECT_EQ (host.taken().back(), std::make_pair ((int) VcfCutoff, 0.5f));
    core.removeListener (&host);
}

TEST (Lifecycle, ProcessorsMadeAndDeletedOffTheMessageThread)
{
    // Format wrappers create and delete the processor on the host's thread while the framework's
    // message thread runs the processor's timer and messages: none of them may outlive it.
    std::atomic<bool> done { false };
    std::thread host ([&]
    {
        for (int i = 0; i < 12; ++i)
        {
            auto core = std::make_unique<VroCore>();
            core->setStateInformation (nullptr, 0);
            juce::Thread::sleep (15 + 7 * (i % 4));
            core.reset();
        }
        done = true;
    });
    while (! done)
        test::deliverMessages (5);
    host.join();
    EXPECT_TRUE (test::deliverPostedMessages()); // the timers the processors left to the message thread
}

TEST (Notifier, ABurstLosesNothingAndTheNewestValueWins)
{
    VroCore core;
    HostListener host;
    core.addListener (&host);
    {
        // Held as block processing holds it, so the notifier cannot drain in between: more changes
        // than one program change queues, several per parameter.
        const juce::ScopedLock lock (core.getCallbackLock());
        for (int i = 0; i < 250; ++i)
            core.getNotifier().enqueue (10 + i % 40, (float) i / 1024.0f);
        // An exclusive group: the later change wins, as it would have at once.
        core.getNotifier().enqueue (SeqEnabled, 1.0f);
        core.getNotifier().enqueue (ArpEnabled, 1.0f);
    }
    // One delivery per parameter from 10 to 49, and SeqEnabled's.
    EXPECT_TRUE (test::deliverMessagesUntil ([&] { return host.taken().size() >= 41u; }));
    ASSERT_TRUE (test::deliverPostedMessages()); // and nothing more

    std::map<int, float> told;
    for (const auto& [index, value] : host.taken())
        told[index] = value;
    for (int index = 10; index < 50; ++index)
    {
        const int newest = 240 + (index - 10) - (index - 10 >= 10 ? 40 : 0);
        const float expected = index == ArpEnabled ? 1.0f : (float) newest / 1024.0f;
        EXPECT_EQ (core.getParameter (index), expected) << index;
        EXPECT_EQ (told[index], expected) << index;
    }
    EXPECT_EQ (core.getParameter (SeqEnabled), 0.0f);
    EXPECT_EQ (core.getNotifier().getPendingCount(), 0);
    core.removeListener (&host);
}

TEST (Notifier, AppendsFromOtherThreadsAreNeverTornOrRepeated)
{
    VroCore core;
    HostListener host;
    core.addListener (&host);

    // Each thread writes its own index with values of its own parity, in rising order: a torn pair
    // shows up as the wrong parity, a repeated or reordered one as a value that does not rise.
    constexpr int perThread = 1000;
    std::atomic<int> running { 2 };
    auto writer = [&] (int index, int parity)
    {
        for (int k = 0; k < perThread; ++k)
        {
            core.getNotifier().enqueue (index, (float) (2 * k + parity) / 8192.0f);
            if (k % 2 == 0)
                juce::Thread::sleep (1); // about 80 pairs per 20 ms drain, well below the 200 slots
        }
        --running;
    };
    std::thread a (writer, 20, 0), b (writer, 21, 1);
    while (running > 0)
        test::deliverMessages (5);
    a.join();
    b.join();
    // Until each thread's newest value has arrived.
    const std::pair<int, float> newest[] = { { 20, (float) (2 * perThread - 2) / 8192.0f }, { 21, (float) (2 * perThread - 1) / 8192.0f } };
    EXPECT_TRUE (test::deliverMessagesUntil ([&]
    {
        const auto told = host.taken();
        return std::all_of (std::begin (newest), std::end (newest),
                            [&] (const auto& n) { return std::find (told.begin(), told.end(), n) != told.end(); });
    }));

    std::map<int, float> last { { 20, -1.0f }, { 21, -1.0f } };
    int delivered = 0;
    for (const auto& [index, value] : host.taken())
    {
        ASSERT_TRUE (index == 20 || index == 21);
        const int k = (int) (value * 8192.0f);
        EXPECT_EQ (k % 2, index - 20) << "torn pair";
        EXPECT_GT (value, last[index]) << "repeated or reordered";
        last[index] = value;
        ++delivered;
    }
    EXPECT_LE (delivered, 2 * perThread);
    EXPECT_GT (delivered, 0);
    core.removeListener (&host);
}
TEST (Notifier, AHostsOwnRestoreIsNotEchoedButTheUsersProgramsAre)
{
    // A host writing automation would record an echo of its own restore as the user's edits.
    test::FreshConfig config;
    VroCore core;
    core.setParameter (VcfCutoff, 0.3f);
    const auto saved = test::state (core);
    const auto presetFile = config.folder.getChildFile ("Mine.drubbel");
    ASSERT_TRUE (core.savePresetFile (presetFile));
    core.setParameter (VcfCutoff, 0.8f);

    HostListener host;
    core.addListener (&host);
    core.prepareToPlay (44100.0, 64);
    const std::function<void()> hostRestores[] = {
        [&] { core.setStateInformation (saved.getData(), (int) saved.getSize()); },
        [&] { std::thread ([&] { core.setStateInformation (saved.getData(), (int) saved.getSize()); }).join(); },
        [&] { core.setCurrentProgram (0); },
        [&] { Render (core, 48000.0, 64, 120.0, false).run (64); }, // activation at another rate
    };
    for (const auto& restore : hostRestores)
    {
        restore();
        core.getBridge().deliver();
    }
    EXPECT_EQ (core.getParameter (VcfCutoff), 0.3f);
    EXPECT_TRUE (host.taken().empty()) << host.taken().size();
    EXPECT_GT (host.refreshes.load(), 0);

    // A program the user picks reaches the host, every stored value.
    core.setParameter (VcfCutoff, 0.8f);
    core.loadPresetFile (presetFile, true, false);
    const auto told = host.taken();
    EXPECT_EQ (told.size(), 63u);
    EXPECT_NE (std::find (told.begin(), told.end(), std::make_pair ((int) VcfCutoff, 0.3f)), told.end());
    core.removeListener (&host);
}
TEST (Learn, LiveControllersApplyAtTheirSampleAndThenReachTheHost)
{
    // A learned controller must keep working while the host's message thread is busy (a dialog,
    // a project load): the value applies at its sample, the host hears of it afterwards.
    auto render = [] (bool offline, std::vector<std::pair<int, float>>& told)
    {
        VroCore core;
        core.getProgram().controllerMap[7] = Volume;
        HostListener host;
        core.addListener (&host);
        Render r (core, 44100.0, 512, 120.0, offline);
        r.at (0, test::noteOn (48)).at (3000, test::controller (7, 0)).run (8192);
        if (! offline)
        {
            EXPECT_TRUE (test::deliverMessagesUntil ([&] { return ! host.taken().empty(); }));
        }
        told = host.taken();
        core.removeListener (&host);
        return std::vector<float> (r.session.audio.getReadPointer (0), r.session.audio.getReadPointer (0) + 8192);
    };
    std::vector<std::pair<int, float>> toldLive, toldOffline;
    const auto live = render (false, toldLive);
    const auto offline = render (true, toldOffline);
    ASSERT_GT (*std::max_element (live.begin(), live.begin() + 3000), 0.01f);
    EXPECT_TRUE (live == offline) << "the live render must change at the controller's sample, as offline";
    ASSERT_FALSE (toldLive.empty());
    EXPECT_EQ (toldLive.back(), std::make_pair ((int) Volume, 0.0f));
    EXPECT_TRUE (toldOffline.empty());
}
} // namespace
