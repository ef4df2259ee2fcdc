#pragma once

#include "Params.h"
#include <juce_events/juce_events.h>
#include <atomic>
#include <cstdint>

class VroCore;

/** Carries parameter changes that start off the message thread to the message thread, where the
    host is told: values already applied elsewhere (a learned controller's or a program's on the
    audio thread, a program re-applied on a host's thread), which only need announcing, and new
    values to be applied there.

    Lossless: one slot per parameter holds its newest change, so a burst of changes (a program
    change queues one per parameter) can never push another one out; a parameter changed twice
    before the next drain is delivered once, with the newer value. */
class AutomationNotifier : public juce::Thread
{
public:
    explicit AutomationNotifier (VroCore& owner);

    /** A new value, to be applied on the message thread and told to the host. Never allocates
        and never waits: callable from the audio thread and any other. */
    void enqueue (int parameterIndex, float value) noexcept;
    /** An announcement: the host is told the value stored at delivery time. */
    void announce (int parameterIndex) noexcept;
    /** Forgets every change pending or posted so far (a host restoring its state wins over them).
        Called with the callback lock held. */
    void discardPending() noexcept;
    /** False for a message posted before the last discardPending. */
    bool isCurrent (juce::uint32 generationOfMessage) const noexcept { return generationOfMessage == generation.load(); }

    void run() override;
    /** Posts every pending change to the processor, oldest first. */
    void flush();

    int getPendingCount() const noexcept;

private:
    void store (int parameterIndex, float value, bool announceOnly) noexcept;

    VroCore& processor;
    // Per parameter: 0 when nothing is pending; otherwise the change's order number (upper half,
    // shifted by one with the announce flag in the lowest bit) and the value's bits (lower half).
    // One word, so a change is never torn between value and kind.
    std::atomic<std::uint64_t> slots[Param::Count] {};
    std::atomic<std::uint32_t> order { 0 };
    std::atomic<juce::uint32> generation { 0 };
};

/** One change, delivered to the processor on the message thread. */
struct ParameterChangedMessage : public juce::Message
{
    ParameterChangedMessage (int index, float v, bool announce = false, juce::uint32 gen = 0)
        : parameterIndex (index), value (v), announceOnly (announce), generation (gen) {}
    int parameterIndex;
    float value;
    bool announceOnly;        // already applied: the host is told the stored value
    juce::uint32 generation;  // messages of an older generation are dropped
};
