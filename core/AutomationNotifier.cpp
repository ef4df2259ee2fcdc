#include "AutomationNotifier.h"
#include "VroCore.h"

#include <algorithm>
#include <cstring>

AutomationNotifier::AutomationNotifier (VroCore& owner)
    : juce::Thread ("Midi Controller Notifications"), processor (owner)
{
}

void AutomationNotifier::enqueue (int parameterIndex, float value) noexcept
{
    store (parameterIndex, value, false);
}

void AutomationNotifier::announce (int parameterIndex) noexcept
{
    store (parameterIndex, 0.0f, true);
}

void AutomationNotifier::store (int parameterIndex, float value, bool announceOnly) noexcept
{
    if (parameterIndex < 0 || parameterIndex >= Param::Count)
        return;
    std::uint32_t bits;
    std::memcpy (&bits, &value, sizeof (bits));
    // Order numbers run through 31 bits and skip 0, which marks an empty slot.
    const std::uint32_t n = (order.fetch_add (1) % 0x7fffffffu) + 1u;
    const std::uint64_t tag = ((std::uint64_t) n << 1) | (announceOnly ? 1u : 0u);
    slots[parameterIndex].store ((tag << 32) | bits);
}

void AutomationNotifier::discardPending() noexcept
{
    for (auto& slot : slots)
        slot.store (0);
    ++generation;
}

int AutomationNotifier::getPendingCount() const noexcept
{
    int n = 0;
    for (const auto& slot : slots)
        n += slot.load() != 0 ? 1 : 0;
    return n;
}

void AutomationNotifier::run()
{
    while (! threadShouldExit())
    {
        if (getPendingCount() > 0)
            flush();
        wait (20);
    }
}

void AutomationNotifier::flush()
{
    // Take every pending change under the lock, then post outside it, so the audio thread never
    // waits for message allocation and no change is torn, lost or delivered twice.
    struct Taken { std::uint32_t order; int index; float value; bool announceOnly; };
    Taken taken[Param::Count];
    int n = 0;
    juce::uint32 gen = 0;
    {
        const juce::ScopedLock lock (processor.getCallbackLock());
        gen = generation;
        for (int i = 0; i < Param::Count; ++i)
        {
            const auto slot = slots[i].exchange (0);
            if (slot == 0)
                continue;
            const auto bits = (std::uint32_t) slot;
            float value;
            std::memcpy (&value, &bits, sizeof (value));
            const auto tag = (std::uint32_t) (slot >> 32);
            taken[n++] = { tag >> 1, i, value, (tag & 1u) != 0 };
        }
    }
    // In the order the changes were made, so the last of an exclusive group still wins.
    std::sort (taken, taken + n, [] (const Taken& a, const Taken& b) { return a.order < b.order; });
    for (int i = 0; i < n; ++i)
        processor.postMessage (new ParameterChangedMessage (taken[i].index, taken[i].value, taken[i].announceOnly, gen));
}
