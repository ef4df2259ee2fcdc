#include "HostBridge.h"
#include "Threading.h"
#include "VroCore.h"

HostBridge::HostBridge (VroCore& owner) : core (&owner)
{
}

HostBridge::~HostBridge()
{
    stopTimer();
}

void HostBridge::detach()
{
    stopTimer();
    const std::lock_guard<std::recursive_mutex> lock (mutex);
    core = nullptr;
}

void HostBridge::setHostListening (bool on)
{
    const std::lock_guard<std::recursive_mutex> lock (mutex);
    hostListening = on;
}

void HostBridge::publish (std::shared_ptr<const PresetSnapshot> snapshot)
{
    const std::lock_guard<std::recursive_mutex> lock (mutex);
    if (core == nullptr || snapshot == newestSnapshot)
        return;
    if (newestSnapshot != nullptr)
        retired.push_back ({ std::move (newestSnapshot), core->blocksDone.load() + 1 });
    newestSnapshot = std::move (snapshot);
    core->audioSnapshot.store (newestSnapshot.get());
}

void HostBridge::deliver()
{
    VRO_ASSERT_MESSAGE_THREAD
    const std::lock_guard<std::recursive_mutex> lock (mutex);
    if (core == nullptr || core->closing || delivering)
        return;
    delivering = true;
    deliverLocked();
    delivering = false;
}

void HostBridge::deliverLocked()
{
    // A host or an editor told of a change may delete the processor before it returns (on this
    // thread: the mutex is re-entrant): after each call out, core is checked again.
    AutomationNotifier::Change changes[Param::Count];
    const int n = core->notifier.takePending (changes);
    for (int i = 0; i < n; ++i)
    {
        const auto& c = changes[i];
        if (! c.announceOnly)
            core->setParameter (c.index, c.value);
        if (hostListening)
            core->sendParamChangeMessageToListeners (c.index, core->program.parameters[c.index]);
        if (core == nullptr)
            return;
    }
    auto& p = *core;

    // Read before the names are taken: a program change's names point into a snapshot that the
    // block which made the change may have retired, and that block has ended by this count.
    const auto blocksEnded = p.blocksDone.load();
    p.applyPendingProgramNames();

    // The library's scanner looks at the folder when it can have changed; its new snapshot is
    // handed on here, so a preset added or changed by hand reaches MIDI program changes without a
    // restart.
    if (p.library->generation() != p.heldSnapshotGeneration)
        p.takeNewestPresetSnapshot();

    retired.erase (std::remove_if (retired.begin(), retired.end(),
                                   [blocksEnded] (const Retired& r) { return r.freeAfterBlock <= blocksEnded; }),
                   retired.end());

    if (p.changePending.exchange (false))
    {
        // A listener may remove itself or another one while it is told.
        const auto toldNow = listeners;
        for (auto* listener : toldNow)
            if (core != nullptr && listeners.contains (listener))
                listener->changeListenerCallback (nullptr);
    }
}
