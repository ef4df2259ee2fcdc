#pragma once

#include "ProgramDocument.h"
#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); // the framework's own loop step
}

namespace test
{
/** A fresh, empty application-data folder for one test: its own settings file and preset tree. */
struct FreshConfig
{
    FreshConfig()
        : previous (juce::SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {}))
    {
        folder.createDirectory();
        setenv ("XDG_CONFIG_HOME", folder.getFullPathName().toRawUTF8(), 1);
    }

    ~FreshConfig()
    {
        setenv ("XDG_CONFIG_HOME", previous.toRawUTF8(), 1);
        folder.deleteRecursively();
    }

    juce::File presets() const { return folder.getChildFile ("Velmora/VRO-Drubbel/presets"); }

    /** The preset folder as a finished factory install leaves it, without the bank's files: a
        start finds the bank installed and neither parses nor writes hundreds of files. */
    juce::File installedPresets() const
    {
        const auto dir = presets();
        EXPECT_TRUE (dir.createDirectory());
        EXPECT_TRUE (dir.getChildFile (".factory-presets-complete").replaceWithText ("321\n"));
        return dir;
    }

    juce::String previous;
    juce::File folder { juce::File::createTempFile ("vro-config") };
};

/** Runs the message loop for a while, so posted messages are delivered. */
inline void deliverMessages (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

/** Delivers messages until the condition holds (true) or ten seconds pass (false): a loaded machine
    can take long, and a fixed wait would then fail. */
template <typename Condition>
bool deliverMessagesUntil (Condition condition)
{
    const auto end = juce::Time::getMillisecondCounter() + 10000u;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
    }
    return true;
}

/** Waits until every message posted before the call has been delivered (the queue is first in,
    first out), so that what a test asserts did not happen has had its chance to. On the message
    thread it delivers them itself; elsewhere it waits for the message thread. False after ten
    seconds. */
inline bool deliverPostedMessages()
{
    auto delivered = std::make_shared<std::atomic<bool>> (false);
    juce::MessageManager::callAsync ([delivered] { *delivered = true; });
    if (juce::MessageManager::existsAndIsCurrentThread())
        return deliverMessagesUntil ([&] { return delivered->load(); });
    const auto end = juce::Time::getMillisecondCounter() + 10000u;
    while (! delivered->load())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        juce::Thread::sleep (1);
    }
    return true;
}

/** One round of the processor's bridge on the message thread, waited for: what the notifier held
    has then reached the host and the editor. Callable from any thread. */
inline bool deliverThroughBridge (VroCore& core)
{
    if (juce::MessageManager::existsAndIsCurrentThread())
    {
        core.getBridge().deliver();
        return true;
    }
    auto delivered = std::make_shared<std::atomic<bool>> (false);
    juce::MessageManager::callAsync ([&core, delivered] { core.getBridge().deliver(); *delivered = true; });
    return deliverPostedMessages() && delivered->load();
}

/** Runs work on a host thread of its own while this (the message) thread keeps delivering
    messages, as a host that deletes a processor on its own thread does; returns once it ended. */
inline void onAHostThreadWhileMessagesRun (const std::function<void()>& work)
{
    std::atomic<bool> done { false };
    std::thread host ([&]
    {
        work();
        done = true;
    });
    while (! done)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            std::this_thread::yield();
    host.join();
}

/** A MIDI program change at the given sample of one block rendered on a thread of its own, as an
    audio thread plays it. */
inline void programChangeOnTheAudioThread (juce::AudioProcessor& core, int number, int sample = 0)
{
    std::thread audio ([&core, number, sample]
    {
        juce::AudioBuffer<float> block (2, 64);
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::programChange (1, number), sample);
        core.processBlock (block, midi);
    });
    audio.join();
}

inline std::unique_ptr<juce::XmlElement> document (const juce::String& text)
{
    auto xml = ProgramDocument::parse (text);
    EXPECT_NE (xml, nullptr) << text;
    return xml;
}

/** A document of one program with the given attributes and inner elements. */
inline juce::String programDocument (const juce::String& version, const juce::String& attributes, const juce::String& inner = {},
                                     const juce::String& afterPrograms = {})
{
    const auto versionAttribute = version.isEmpty() ? juce::String() : " version=\"" + version + "\"";
    return "<vro" + versionAttribute + "><programs><program " + attributes + ">" + inner + "</program></programs>" + afterPrograms
           + "</vro>";
}

inline juce::MemoryBlock state (VroCore& core)
{
    juce::MemoryBlock block;
    core.getStateInformation (block);
    return block;
}

/** Every value a document can reach is finite, in range, and the engine's output stays finite. */
inline void expectSane (VroCore& core)
{
    for (int k = 0; k < 58; ++k)
    {
        const float v = core.getParameter (presetKeyOrder[k]);
        EXPECT_TRUE (v >= 0.0f && v <= 1.0f) << presetKeyOrder[k] << " = " << v;
    }
    const auto& pattern = core.getPattern();
    EXPECT_GE (pattern.numberOfSteps, 1);
    EXPECT_LE (pattern.numberOfSteps, 96);
    for (const auto& step : pattern.steps)
    {
        EXPECT_TRUE (step.velocity >= 0.0 && step.velocity <= 1.0);
        EXPECT_TRUE (step.length >= 0.0 && step.length <= 1.0);
        EXPECT_LE (std::abs (step.noteOffset), 127);
    }
}
} // namespace test
