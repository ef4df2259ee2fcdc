#include "AutomationNotifier.h"
#include "VroCore.h"

AutomationNotifier::AutomationNotifier (VroCore& owner)
    : juce::Thread ("Midi Controller Notifications"), processor (owner)
{
}

void AutomationNotifier::enqueue (int parameterIndex, float value) noexcept
{
    append ({ parameterIndex, value, false });
}

void AutomationNotifier::announce (int parameterIndex) noexcept
{
    append ({ parameterIndex, 0.0f, true });
}

void AutomationNotifier::discardPending() noexcept
{
    count = 0;
    ++generation;
}

void AutomationNotifier::append (Entry entry) noexcept
{
    // The callback lock guards the queue. Block processing already holds it (the lock is
    // re-entrant); other callers wait at most for one block.
    const juce::ScopedLock lock (processor.getCallbackLock());
    const int n = count;
    if (n < capacity)
    {
        entries[n] = entry;
        count = n + 1;
    }
}

void AutomationNotifier::run()
{
    while (! threadShouldExit())
    {
        if (count > 0)
            flush();
        wait (20);
    }
}

void AutomationNotifier::flush()
{
    // Take the whole queue under the lock, then post outside it, so the audio thread never waits
    // for message allocation and no pair is torn, lost or delivered twice.
    Entry taken[capacity];
    int n = 0;
    juce::uint32 gen = 0;
    {
        const juce::ScopedLock lock (processor.getCallbackLock());
        n = count;
        gen = generation;
        std::copy (entries, entries + n, taken);
        count = 0;
    }
    for (int i = 0; i < n; ++i)
        processor.postMessage (new ParameterChangedMessage (taken[i].parameterIndex, taken[i].value, taken[i].announceOnly, gen));
}
