#include "AutomationNotifier.h"

#include <algorithm>
#include <cstring>

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
    if (auto* w = waker.load())
        w->wake();
}

void AutomationNotifier::discardPending() noexcept
{
    for (auto& slot : slots)
        slot.store (0);
}

int AutomationNotifier::getPendingCount() const noexcept
{
    int n = 0;
    for (const auto& slot : slots)
        n += slot.load() != 0 ? 1 : 0;
    return n;
}

int AutomationNotifier::takePending (Change (&changes)[Param::Count]) noexcept
{
    std::uint32_t orderOf[Param::Count];
    int n = 0;
    for (int i = 0; i < Param::Count; ++i)
    {
        const auto slot = slots[i].exchange (0);
        if (slot == 0)
            continue;
        const auto bits = (std::uint32_t) slot;
        float value;
        std::memcpy (&value, &bits, sizeof (value));
        const auto tag = (std::uint32_t) (slot >> 32);
        orderOf[i] = tag >> 1;
        changes[n++] = { i, value, (tag & 1u) != 0 };
    }
    std::sort (changes, changes + n, [&orderOf] (const Change& a, const Change& b) { return orderOf[a.index] < orderOf[b.index]; });
    return n;
}
