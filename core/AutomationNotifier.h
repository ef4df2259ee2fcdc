#pragma once

#include "Params.h"
#include <atomic>
#include <cstdint>

/** Parameter changes that start off the message thread and that the host must hear of there:
    values already applied elsewhere (a learned controller's or a program's on the audio thread, a
    program re-applied on a host's thread), which only need announcing, and new values to be
    applied there. The host bridge drains it on the message thread.

    Lossless: one slot per parameter holds its newest change, so a burst of changes (a program
    change queues one per parameter) can never push another one out; a parameter changed twice
    before the next drain is delivered once, with the newer value. */
class AutomationNotifier
{
public:
    /** Told each time a change is put in; must never wait or allocate. */
    struct Waker
    {
        virtual void wake() noexcept = 0;

    protected:
        ~Waker() = default;
    };
    /** Set before any change can be put in and cleared before the waker goes. */
    void setWaker (Waker* w) noexcept { waker = w; }

    /** A new value, to be applied on the message thread and told to the host. Never allocates
        and never waits: callable from the audio thread and any other. */
    void enqueue (int parameterIndex, float value) noexcept;
    /** An announcement: the host is told the value stored at delivery time. */
    void announce (int parameterIndex) noexcept;
    /** Forgets every change pending so far (a host restoring its state wins over them). */
    void discardPending() noexcept;

    struct Change
    {
        int index;
        float value;
        bool announceOnly; // already applied: the host is told the stored value
    };
    /** Takes every pending change, oldest first, so the last of an exclusive group still wins.
        Returns how many were written to changes. */
    int takePending (Change (&changes)[Param::Count]) noexcept;

    int getPendingCount() const noexcept;

private:
    void store (int parameterIndex, float value, bool announceOnly) noexcept;

    // Per parameter: 0 when nothing is pending; otherwise the change's order number (upper half,
    // shifted by one with the announce flag in the lowest bit) and the value's bits (lower half).
    // One word, so a change is never torn between value and kind.
    std::atomic<std::uint64_t> slots[Param::Count] {};
    std::atomic<std::uint32_t> order { 0 };
    std::atomic<Waker*> waker { nullptr };
};
