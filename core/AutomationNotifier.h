#pragma once

#include <juce_events/juce_events.h>
#include <atomic>

class VroCore;

/** Carries parameter changes that start off the message thread to the message thread, where the
    host is told: learned controller values, which are applied there, and values that were already
    applied elsewhere (a program re-applied on the audio thread or a host's thread), which only
    need announcing. */
class AutomationNotifier : public juce::Thread
{
public:
    static constexpr int capacity = 200;

    explicit AutomationNotifier (VroCore& owner);

    /** Appends a change; drops it when the queue is full. Never allocates. */
    void enqueue (int parameterIndex, float value) noexcept;
    /** Appends an announcement: the host is told the value stored at delivery time. */
    void announce (int parameterIndex) noexcept;
    /** Forgets every change queued or posted so far (a host restoring its state wins over them).
        Called with the callback lock held. */
    void discardPending() noexcept;
    /** False for a message posted before the last discardPending. */
    bool isCurrent (juce::uint32 generationOfMessage) const noexcept { return generationOfMessage == generation.load(); }
    void run() override;
    void flush();

    int getCount() const noexcept { return count; }

private:
    struct Entry { int parameterIndex; float value; bool announceOnly; };

    void append (Entry entry) noexcept;

    VroCore& processor;
    Entry entries[capacity] {};
    std::atomic<int> count { 0 };
    std::atomic<juce::uint32> generation { 0 };
};

/** One queued change, delivered to the processor on the message thread. */
struct ParameterChangedMessage : public juce::Message
{
    ParameterChangedMessage (int index, float v, bool announce = false, juce::uint32 gen = 0)
        : parameterIndex (index), value (v), announceOnly (announce), generation (gen) {}
    int parameterIndex;
    float value;
    bool announceOnly;        // already applied: the host is told the stored value
    juce::uint32 generation;  // messages of an older generation are dropped
};
