#pragma once

#include <juce_events/juce_events.h>
#include <atomic>

class VroCore;

/** Carries parameter changes that start off the message thread (learned controllers, program
    re-application from the audio thread) to the message thread, where the host is told. */
class AutomationNotifier : public juce::Thread
{
public:
    static constexpr int capacity = 200;

    explicit AutomationNotifier (VroCore& owner);

    /** Appends a change; drops it when the queue is full. Never allocates. */
    void enqueue (int parameterIndex, float value) noexcept;
    void run() override;
    void flush();

    int getCount() const noexcept { return count; }

private:
    struct Entry { int parameterIndex; float value; };

    VroCore& processor;
    Entry entries[capacity] {};
    std::atomic<int> count { 0 };
};

/** One queued change, delivered to the processor on the message thread. */
struct ParameterChangedMessage : public juce::Message
{
    ParameterChangedMessage (int index, float v) : parameterIndex (index), value (v) {}
    int parameterIndex;
    float value;
};
