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
    std::unique_lock<std::mutex> lock (mutex);
    core = nullptr;
    // Deleted from a host's or editor's answer to this round: the round sees it and stops.
    if (delivering && roundThread == std::this_thread::get_id())
        return;
    roundEnded.wait (lock, [this] { return ! delivering; });
}

void HostBridge::publish (std::shared_ptr<const PresetSnapshot> snapshot)
{
    const std::lock_guard<std::mutex> lock (mutex);
    auto* p = core.load();
    if (p == nullptr || snapshot == newestSnapshot)
        return;
    // Swapped before the count is read: a block that starts between the two still takes the old
    // one, and must be among those the count waits for.
    p->audioSnapshot.store (snapshot.get());
    if (newestSnapshot != nullptr)
        retired.push_back ({ std::move (newestSnapshot), p->blocksDone.load() + 1 });
    newestSnapshot = std::move (snapshot);
}

void HostBridge::deliver()
{
    VRO_ASSERT_MESSAGE_THREAD
    {
        const std::lock_guard<std::mutex> lock (mutex);
        if (core == nullptr || core.load()->closing || delivering)
            return;
        delivering = true;
        roundThread = std::this_thread::get_id();
    }
    runRound();
    {
        const std::lock_guard<std::mutex> lock (mutex);
        delivering = false;
    }
    roundEnded.notify_all();
}

void HostBridge::runRound()
{
    // Deletion on another thread waits for this round to end, so owner stays alive. A host or an
    // editor told of a change may delete the processor before it returns (on this thread, which
    // detach does not make wait): after each call out, core is checked again.
    auto* const owner = core.load();
    if (owner == nullptr)
        return;
    AutomationNotifier::Change changes[Param::Count];
    const int n = owner->notifier.takePending (changes);
    for (int i = 0; i < n; ++i)
    {
        const auto& c = changes[i];
        if (! c.announceOnly)
            owner->setParameter (c.index, c.value);
        if (hostListening)
            owner->sendParamChangeMessageToListeners (c.index, owner->program.parameters[c.index]);
        if (core == nullptr)
            return;
    }
    auto& p = *owner;

    // Read before the names are taken: a program change's names point into a snapshot that the
    // block which made the change may have retired, and that block has ended by this count.
    const auto blocksEnded = p.blocksDone.load();
    p.applyPendingProgramNames();

    // The library's scanner looks at the folder when it can have changed; its new snapshot is
    // handed on here, so a preset added or changed by hand reaches MIDI program changes without a
    // restart.
    if (p.library->generation() != p.heldSnapshotGeneration)
        p.takeNewestPresetSnapshot();

    {
        const std::lock_guard<std::mutex> lock (mutex);
        retired.erase (std::remove_if (retired.begin(), retired.end(),
                                       [blocksEnded] (const Retired& r) { return r.freeAfterBlock <= blocksEnded; }),
                       retired.end());
    }

    if (p.changePending.exchange (false))
    {
        // A listener may remove itself or another one while it is told.
        const auto toldNow = listeners;
        for (auto* listener : toldNow)
            if (core != nullptr && listeners.contains (listener))
                listener->changeListenerCallback (nullptr);
    }
}
