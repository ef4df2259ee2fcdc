// The processor used from several threads at once, as hosts use it: a host thread, the audio thread
// and the message thread (the test's main thread). Each test is a bounded stress, counted in loops,
// whose assertions hold on every run; AddressSanitizer and ThreadSanitizer builds see the rest.
#include "PresetTestSupport.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

using namespace Param;

namespace
{
/** What the host hears, and whether any of it arrived after the processor was deleted. */
struct HostListener final : juce::AudioProcessorListener
{
    void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { heard(); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override { heard(); }
    void heard()
    {
        ++deliveries;
        if (deleted)
            ++afterDeletion;
    }

    std::atomic<int> deliveries { 0 }, afterDeletion { 0 };
    std::atomic<bool> deleted { false };
};

/** An open editor's view of the processor: it redraws on every change message. */
struct EditorListener final : juce::ChangeListener
{
    explicit EditorListener (const HostListener& h) : host (h) {}
    void changeListenerCallback (juce::ChangeBroadcaster*) override
    {
        ++calls;
        if (host.deleted)
            ++afterDeletion;
    }

    const HostListener& host;
    std::atomic<int> calls { 0 }, afterDeletion { 0 };
};

/** Continuous values outside every exclusive group: applied in any order, they give one program. */
constexpr int distinctParameters[] = { Volume, FineTune, PortamentoValue, LfoRate, VcoModulation, VcoPwm, Pulse, Saw,
                                       SubOsc, Noise, VcfCutoff, VcfResonance, VcfEnvelope, VcfModulation, VcfKeyboard,
                                       Attack, Decay, Sustain, Release, SeqTempo, Swing, FmIntensity };
constexpr int patternStepsSet = 16;

/** A few programs that differ in every distinct value and in every step they set, as preset
    files in the preset folder of a fresh configuration, and each one's host state. */
struct KnownPrograms
{
    static constexpr int count = 3;

    KnownPrograms()
    {
        const auto dir = config.installedPresets();
        VroCore maker;
        for (int k = 0; k < count; ++k)
        {
            for (int j = 0; j < (int) std::size (distinctParameters); ++j)
                maker.setParameter (distinctParameters[j], 0.2f + 0.3f * (float) k + 0.001f * (float) j);
            for (int i = 0; i < patternStepsSet; ++i)
            {
                maker.getPattern().steps[i].noteOffset = (k + 1) * (i % 5 + 1);
                maker.getPattern().steps[i].velocity = 0.1 + 0.3 * k + 0.01 * (i % 7);
            }
            files[k] = dir.getChildFile ("P" + juce::String (k) + ".drubbel");
            EXPECT_TRUE (maker.savePresetFile (files[k]));
        }
        // The host states, as a processor that loaded each file saves them.
        VroCore reader;
        EXPECT_EQ (reader.presetList().size(), count);
        for (int k = 0; k < count; ++k)
        {
            reader.loadPresetFile (files[k], true, false);
            states[k] = test::state (reader);
            ProgramDocument::read (ProgramDocument::readChunk (states[k].getData(), (int) states[k].getSize()).get(), readings[k]);
        }
    }

    /** Which known program a saved state is, whole: values, pattern and (when asked) name; -1 when
        it is none of them, a mix or not a state at all. */
    int whichProgram (const juce::MemoryBlock& saved, bool withName) const
    {
        ProgramReading reading;
        ProgramDocument::read (ProgramDocument::readChunk (saved.getData(), (int) saved.getSize()).get(), reading);
        if (reading.status != ProgramReading::Status::program)
            return -1;
        for (int k = 0; k < count; ++k)
            if (sameProgram (reading, readings[k], withName))
                return k;
        return -1;
    }

    /** Which program each distinct value and each set step came from: a mix shows as mixed digits. */
    juce::String describe (const juce::MemoryBlock& saved) const
    {
        ProgramReading reading;
        ProgramDocument::read (ProgramDocument::readChunk (saved.getData(), (int) saved.getSize()).get(), reading);
        auto origin = [this] (auto matches)
        {
            for (int k = 0; k < count; ++k)
                if (matches (readings[k]))
                    return juce::String (k);
            return juce::String ("?");
        };
        juce::String values, steps;
        for (int index : distinctParameters)
            values << origin ([&] (const ProgramReading& r) { return r.values[index] == reading.values[index]; });
        for (int i = 0; i < patternStepsSet; ++i)
            steps << origin ([&] (const ProgramReading& r)
                             { return r.steps[i].noteOffset == reading.steps[i].noteOffset && r.steps[i].velocity == reading.steps[i].velocity; });
        return "values from programs " + values + ", steps from " + steps + ", name \"" + reading.programName + "\"";
    }

    static bool sameProgram (const ProgramReading& a, const ProgramReading& b, bool withName)
    {
        for (int index : presetKeyOrder)
            if (a.values[index] != b.values[index])
                return false;
        if (a.stepsRead != b.stepsRead || a.numberOfSteps != b.numberOfSteps)
            return false;
        for (int i = 0; i < a.stepsRead; ++i)
            if (a.steps[i].noteOffset != b.steps[i].noteOffset || a.steps[i].velocity != b.steps[i].velocity
                || a.steps[i].length != b.steps[i].length || a.steps[i].pause != b.steps[i].pause)
                return false;
        return ! withName || a.programName == b.programName;
    }

    test::FreshConfig config;
    juce::File files[count];
    juce::MemoryBlock states[count];
    ProgramReading readings[count];
};

/** A host's audio thread: blocks with notes, plus what the test adds to each, until stopped. */
struct AudioThread
{
    using Events = std::function<void (int block, juce::MidiBuffer&)>;

    AudioThread (VroCore& c, Events e) : core (c), events (std::move (e)), thread ([this] { run(); }) {}
    ~AudioThread() { stop(); }

    void stop()
    {
        running = false;
        if (thread.joinable())
            thread.join();
    }

    void run()
    {
        juce::AudioBuffer<float> block (2, blockSize);
        juce::MidiBuffer midi;
        midi.ensureSize (1024);
        for (int b = 0; running; ++b)
        {
            midi.clear();
            block.clear();
            if (b % 8 == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 40 + b % 24, (juce::uint8) 100), 3);
            if (b % 8 == 5)
                midi.addEvent (juce::MidiMessage::allNotesOff (1), 9);
            if (events)
                events (b, midi);
            core.processBlock (block, midi);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < blockSize; ++i)
                    if (! std::isfinite (block.getSample (ch, i)))
                        ++nonFinite;
            ++blocks;
        }
    }

    static constexpr int blockSize = 64;
    VroCore& core;
    Events events;
    std::atomic<bool> running { true };
    std::atomic<int> blocks { 0 }, nonFinite { 0 };
    std::thread thread;
};

/** Saves made on a host thread that were not one whole known program, with the first of them. */
struct SaveChecks
{
    void check (const KnownPrograms& known, const juce::MemoryBlock& saved, bool withName)
    {
        ++saves;
        if (known.whichProgram (saved, withName) >= 0)
            return;
        if (mixed++ == 0)
            firstMixed = known.describe (saved);
    }

    std::atomic<int> saves { 0 }, mixed { 0 };
    juce::String firstMixed; // written once, by the one checking thread
};

TEST (Threads, ProcessorsDeletedOffTheMessageThreadWithDeliveriesInFlight)
{
    // VST3 and LV2 hosts delete the processor on their own thread while the message thread is
    // delivering its announcements and change messages: none of them may reach a freed processor.
    test::FreshConfig config;
    config.installedPresets(); // so that a start is quick
    constexpr int rounds = 200;
    int heard = 0;
    for (int round = 0; round < rounds; ++round)
    {
        HostListener host;
        EditorListener editor (host);
        auto core = std::make_unique<VroCore>();
        core->addListener (&host);
        core->addChangeListener (&editor);
        core->setParameter (VcfCutoff, 0.25f); // a change message on its way

        test::onAHostThreadWhileMessagesRun ([&]
        {
            juce::Random random (round);
            for (int i = 1; i < Count; ++i)
                if (! isMomentaryParameter (i) && i != MidiLearnActivated)
                    core->setParameter (i, random.nextFloat()); // change notices for the editor
            // Announcements of every value, for the message thread's rounds to deliver while the
            // deletion goes on.
            for (int burst = 0; burst < (round % 2 == 0 ? 8 : 1); ++burst)
                for (int i = 0; i < Count; ++i)
                    core->getNotifier().announce (i);
            // Every other round, deleted once the deliveries have begun rather than before them.
            if (round % 4 < 2)
                for (int spin = 0; host.deliveries == 0 && spin < 200000; ++spin)
                    std::this_thread::yield();
            core.reset();
            host.deleted = true;
        });
        ASSERT_TRUE (test::deliverPostedMessages());

        EXPECT_EQ (host.afterDeletion, 0) << "round " << round;
        EXPECT_EQ (editor.afterDeletion, 0) << "round " << round;
        heard += host.deliveries;
    }
    EXPECT_GT (heard, 0) << "no round ever reached the host's listener";
}

TEST (Threads, SavesWhileTheAudioThreadChangesProgramsAreWholePrograms)
{
    // The host saves and restores its state on its own thread while the audio thread plays MIDI
    // program changes: every save is one program, never parts of two. (A program change's name
    // follows later, on the message thread, so names are not compared.)
    KnownPrograms known;
    VroCore core;
    ASSERT_EQ (core.presetList().size(), KnownPrograms::count);
    core.setStateInformation (known.states[0].getData(), (int) known.states[0].getSize());
    RenderSession session (core, 44100.0, AudioThread::blockSize, 120.0);
    core.setNonRealtime (false);

    SaveChecks checks;
    std::atomic<bool> done { false };
    {
        AudioThread audio (core, [] (int block, juce::MidiBuffer& midi)
        {
            midi.addEvent (juce::MidiMessage::programChange (1, block % KnownPrograms::count), 1 + block % 30);
            midi.addEvent (juce::MidiMessage::programChange (1, (block + 1) % KnownPrograms::count), 33 + block % 30);
        });
        std::thread host ([&]
        {
            for (int round = 0; round < 600; ++round)
            {
                checks.check (known, test::state (core), false);
                const auto& restored = known.states[round % KnownPrograms::count];
                core.setStateInformation (restored.getData(), (int) restored.getSize());
            }
            done = true;
        });
        while (! done)
            if (! juce::dispatchNextMessageOnSystemQueue (true))
                juce::Thread::sleep (1);
        host.join();
        audio.stop();
        EXPECT_GT (audio.blocks, 0);
        EXPECT_EQ (audio.nonFinite, 0);
    }
    EXPECT_EQ (checks.mixed, 0) << "of " << checks.saves << " saves; the first: " << checks.firstMixed;
}

TEST (Threads, SavesWhileTheMessageThreadLoadsPresetFilesAreWholePrograms)
{
    // The user browses presets (the message thread loads files) while the host saves its state on
    // its own thread: the heap stays whole and every save is one program, with its name.
    KnownPrograms known;
    VroCore core;
    core.loadPresetFile (known.files[0], true, false);

    SaveChecks checks;
    std::atomic<bool> loading { true };
    std::thread host ([&]
    {
        while (loading)
            checks.check (known, test::state (core), true);
    });
    for (int load = 0; load < 800; ++load)
    {
        core.loadPresetFile (known.files[load % KnownPrograms::count], true, false);
        juce::dispatchNextMessageOnSystemQueue (true);
    }
    loading = false;
    host.join();
    EXPECT_GT (checks.saves, 0);
    EXPECT_EQ (checks.mixed, 0) << "of " << checks.saves << " saves; the first: " << checks.firstMixed;
}

TEST (Threads, AStormOfHostThreadsAroundTheAudioThread)
{
    // Everything a session does at once: host threads automating parameters and saving and
    // restoring state, the user saving and loading presets on the message thread, files in the
    // preset folder rewritten from outside, program changes on the audio thread. The output stays
    // finite; the real check is a ThreadSanitizer build of this test.
    KnownPrograms known;
    VroCore core;
    HostListener host;
    EditorListener editor (host);
    core.addListener (&host);
    core.addChangeListener (&editor);
    RenderSession session (core, 44100.0, AudioThread::blockSize, 120.0);
    core.setNonRealtime (false);

    constexpr int rounds = 400;
    std::atomic<int> running { 3 };
    AudioThread audio (core, [] (int block, juce::MidiBuffer& midi)
    {
        if (block % 5 == 0)
            midi.addEvent (juce::MidiMessage::programChange (1, block / 5 % KnownPrograms::count), 17);
        midi.addEvent (juce::MidiMessage::controllerEvent (1, 1, block % 128), 30);
    });
    std::thread automation ([&]
    {
        juce::Random random (8);
        for (int round = 0; round < rounds * 8; ++round)
        {
            const int index = 1 + random.nextInt (Count - 1);
            if (! isMomentaryParameter (index) && index != MidiLearnActivated)
                core.setParameter (index, random.nextFloat());
        }
        --running;
    });
    std::thread saveAndRestore ([&]
    {
        for (int round = 0; round < rounds; ++round)
        {
            const auto saved = test::state (core);
            const auto& restored = round % 2 == 0 ? saved : known.states[round % KnownPrograms::count];
            core.setStateInformation (restored.getData(), (int) restored.getSize());
            core.getNotifier().announce (VcfCutoff);
        }
        --running;
    });
    std::thread fileManager ([&]
    {
        for (int round = 0; round < rounds / 4; ++round)
        {
            const auto& state = known.states[round % KnownPrograms::count];
            const auto copy = known.files[0].getSiblingFile ("Copy.drubbel");
            copy.replaceWithText (ProgramDocument::toFileText (*ProgramDocument::readChunk (state.getData(), (int) state.getSize())));
        }
        --running;
    });
    for (int round = 0; running > 0; ++round)
    {
        if (round % 3 == 0)
            core.savePresetFile (known.files[round % KnownPrograms::count].getSiblingFile ("Saved.drubbel"));
        else
            core.loadPresetFile (known.files[round % KnownPrograms::count], true, false);
        test::deliverMessages (1);
    }
    for (auto* t : { &automation, &saveAndRestore, &fileManager })
        t->join();
    audio.stop();
    core.removeChangeListener (&editor);
    core.removeListener (&host);

    EXPECT_GT (audio.blocks, 0);
    EXPECT_EQ (audio.nonFinite, 0);
    test::expectSane (core);
}
TEST (Threads, AHostThatLocksWhereItIsToldOfChangesIsNeverLeftWaiting)
{
    // A host's own lock, held around its blocks and its activation calls and taken again where it
    // hears of changes (as VST2 hosts do in their automation callback): the plug-in must never wait
    // for one of its own locks while it tells the host, or the two wait for each other. A wait for
    // the host's lock that outlasts any sane hold is counted rather than hung on.
    struct LockingHost final : juce::AudioProcessorListener
    {
        void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override { heard(); }
        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override { heard(); }
        void heard()
        {
            ++deliveries;
            if (stuck > 0)
                return;
            // Polled rather than a timed lock, which ThreadSanitizer's runtime does not follow.
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds (3);
            while (! lock.try_lock())
            {
                if (std::chrono::steady_clock::now() > giveUp)
                {
                    ++stuck;
                    return;
                }
                std::this_thread::sleep_for (std::chrono::microseconds (100));
            }
            lock.unlock();
        }
        std::mutex lock;
        std::atomic<int> deliveries { 0 }, stuck { 0 };
    };

    KnownPrograms known;
    VroCore core;
    LockingHost host;
    core.addListener (&host);
    std::atomic<bool> running { true };
    std::thread audio ([&]
    {
        juce::AudioBuffer<float> block (2, 64);
        juce::MidiBuffer midi;
        midi.ensureSize (256);
        for (int b = 0; running; ++b)
        {
            midi.clear();
            if (b % 16 == 0)
                midi.addEvent (juce::MidiMessage::programChange (1, b / 16 % KnownPrograms::count), 0);
            const std::lock_guard<std::mutex> held (host.lock);
            core.processBlock (block, midi);
        }
    });
    std::thread activation ([&]
    {
        while (running)
        {
            {
                const std::lock_guard<std::mutex> held (host.lock);
                core.releaseResources();
                core.prepareToPlay (48000.0, 64);
            }
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 150 && host.stuck == 0; ++round)
    {
        core.loadPresetFile (known.files[round % KnownPrograms::count], true, false);
        core.getBridge().deliver();
    }
    running = false;
    audio.join();
    activation.join();
    core.removeListener (&host);
    EXPECT_EQ (host.stuck, 0) << "the plug-in held a lock of its own while it told the host";
    EXPECT_GT (host.deliveries, 0);
}
} // namespace

TEST (Threads, IdleProcessorsLeaveTheMessageThreadAsleepAndAChangeStillArrives)
{
    // Hosts keep dozens of instances open that do nothing: none may wake the process while
    // nothing is pending, and a change from any thread, the audio thread's included, must still
    // reach the host and the editor soon after, with no one calling for a round.
    test::FreshConfig config;
    config.installedPresets();
    constexpr int instances = 4;
    std::vector<std::unique_ptr<VroCore>> cores;
    for (int i = 0; i < instances; ++i)
        cores.push_back (std::make_unique<VroCore>());
    EXPECT_EQ (HostBridge::hubs(), 1);
    // The starts' own rounds first, then a second and a half in which nothing may come.
    const auto dispatchFor = [] (juce::uint32 ms)
    {
        int dispatched = 0;
        const auto until = juce::Time::getMillisecondCounter() + ms;
        while (juce::Time::getMillisecondCounter() < until)
        {
            if (juce::dispatchNextMessageOnSystemQueue (true))
                ++dispatched;
            else
                juce::Thread::sleep (1);
        }
        return dispatched;
    };
    dispatchFor (200);
    EXPECT_EQ (dispatchFor (1500), 0) << "messages while every instance was idle";

    HostListener host;
    EditorListener editor (host);
    auto& core = *cores.back();
    core.addListener (&host);
    core.addChangeListener (&editor);
    core.prepareToPlay (48000.0, 256);
    // A MIDI program change on the audio thread: the host must hear the program's values.
    test::programChangeOnTheAudioThread (core, 0);
    const auto start = juce::Time::getMillisecondCounter();
    ASSERT_TRUE (test::deliverMessagesUntil ([&] { return host.deliveries > 0 && editor.calls > 0; }));
    EXPECT_LT (juce::Time::getMillisecondCounter() - start, 1000u);
    core.removeChangeListener (&editor);
    core.removeListener (&host);

    cores.clear();
    ASSERT_TRUE (test::deliverPostedMessages());
    EXPECT_EQ (HostBridge::hubs(), 0);
}
