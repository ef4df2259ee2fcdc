#include "HostBridge.h"
#include "Threading.h"
#include "VroCore.h"

#include <chrono>

/** The process's one thread for every bridge's rounds. It sleeps on an atomic word (a futex on
    Linux) until a bridge is woken, then asks the message thread for a round of the woken bridges,
    at most once per interval so that a burst of changes (a learned controller turned) reaches the
    host in batches. Made with the first bridge; destroyed when the last one detaches, on the
    thread that deletes the last processor, so its thread never outlives the library's code. */
class HostBridge::Hub : public std::enable_shared_from_this<Hub>
{
public:
    static std::shared_ptr<Hub> get()
    {
        const std::lock_guard<std::mutex> lock (registryMutex());
        if (auto hub = registry().lock())
            return hub;
        std::shared_ptr<Hub> hub (new Hub());
        registry() = hub;
        return hub;
    }

    ~Hub()
    {
        {
            const std::lock_guard<std::mutex> lock (registryMutex());
            if (live() == this) // a newer hub may have been made while this one was going
                live() = nullptr;
        }
        word.fetch_or (stopBit);
        word.notify_one();
        thread.join();
    }

    void add (HostBridge* b)
    {
        const std::lock_guard<std::mutex> lock (mutex);
        bridges.push_back (b);
    }

    void remove (HostBridge* b)
    {
        const std::lock_guard<std::mutex> lock (mutex);
        bridges.erase (std::remove (bridges.begin(), bridges.end(), b), bridges.end());
    }

    /** Never waits or allocates. all: every bridge looks (a library published a snapshot). */
    void signal (bool all) noexcept
    {
        if (all)
            everyBridge = true;
        if (word.fetch_or (wakeBit) == 0)
            word.notify_one();
    }

    static int count()
    {
        const std::lock_guard<std::mutex> lock (registryMutex());
        return live() != nullptr ? 1 : 0;
    }

private:
    static constexpr std::uint32_t wakeBit = 1, stopBit = 2;
    static constexpr auto interval = std::chrono::milliseconds (20);

    Hub()
    {
        live() = this;
        thread = std::thread ([this] { run(); });
        PresetLibrary::setPublishedHook (libraryPublished);
    }

    static std::mutex& registryMutex()
    {
        static std::mutex m;
        return m;
    }
    static std::weak_ptr<Hub>& registry()
    {
        static auto* hub = new std::weak_ptr<Hub>(); // never destroyed: a hub may outlive statics
        return *hub;
    }
    static Hub*& live()
    {
        static Hub* hub = nullptr;
        return hub;
    }

    /** The library's scanner thread, after a new snapshot: the live hub, if any, under the lock
        that its destruction takes. */
    static void libraryPublished()
    {
        const std::lock_guard<std::mutex> lock (registryMutex());
        if (auto* hub = live())
            hub->signal (true);
    }

    void run()
    {
        auto lastRound = std::chrono::steady_clock::now() - interval;
        for (;;)
        {
            word.wait (0);
            if ((word.exchange (0) & stopBit) != 0)
                return;
            const auto due = lastRound + interval;
            if (std::chrono::steady_clock::now() < due)
            {
                std::this_thread::sleep_until (due);
                if ((word.load() & stopBit) != 0)
                    return;
            }
            lastRound = std::chrono::steady_clock::now();
            // The message holds the hub weakly: one deleted meanwhile, on whatever thread, is let be.
            juce::MessageManager::callAsync ([weak = weak_from_this()]
            {
                if (auto hub = weak.lock())
                    hub->runRounds();
            });
        }
    }

    /** Message thread; the caller holds the hub, which a processor deleted from a round may
        otherwise take with it. */
    void runRounds()
    {
        const bool all = everyBridge.exchange (false);
        std::vector<HostBridge*> now;
        {
            const std::lock_guard<std::mutex> lock (mutex);
            now = bridges;
        }
        for (auto* b : now)
        {
            {
                // Gone already if an earlier round's host or editor deleted its processor.
                const std::lock_guard<std::mutex> lock (mutex);
                if (std::find (bridges.begin(), bridges.end(), b) == bridges.end())
                    continue;
            }
            if (b->pending.exchange (false) || all)
                b->deliver();
        }
    }

    std::atomic<std::uint32_t> word { 0 };
    std::atomic<bool> everyBridge { false };
    std::mutex mutex; // guards bridges only
    std::vector<HostBridge*> bridges;
    std::thread thread;
};

HostBridge::HostBridge (VroCore& owner) : hub (Hub::get()), wakeTarget (hub.get()), core (&owner)
{
}

HostBridge::~HostBridge()
{
    if (hub != nullptr)
        hub->remove (this);
}

int HostBridge::hubs()
{
    return Hub::count();
}

void HostBridge::start()
{
    hub->add (this);
    wake(); // whatever the construction left pending
}

void HostBridge::wake() noexcept
{
    if (auto* h = wakeTarget.load())
        if (! pending.exchange (true))
            h->signal (false);
}

void HostBridge::armRetiredLocked (std::uint64_t blocksEnded)
{
    auto next = noRetired;
    for (const auto& r : retired)
        next = std::min (next, r.freeAfterBlock);
    freeRetiredAt = next;
    // A block that ended before this store did not see it.
    if (next != noRetired && next <= std::max (blocksEnded, core.load() != nullptr ? core.load()->blocksDone.load() : 0))
        wake();
}

void HostBridge::detach()
{
    wakeTarget = nullptr;
    hub->remove (this);
    {
        std::unique_lock<std::mutex> lock (mutex);
        core = nullptr;
        // Deleted from a host's or editor's answer to this round: the round sees it and stops.
        if (! (delivering && roundThread == std::this_thread::get_id()))
            roundEnded.wait (lock, [this] { return ! delivering; });
    }
    // The last processor's deletion ends the hub's thread here, not later on the message thread:
    // a host may unload the library as soon as the deletion returns.
    hub.reset();
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
    armRetiredLocked (0);
}

void HostBridge::deliver()
{
    VRO_ASSERT_MESSAGE_THREAD
    {
        const std::lock_guard<std::mutex> lock (mutex);
        if (core == nullptr || core.load()->closing)
            return;
        if (delivering)
        {
            // A round asked for from inside this one (a host that runs the message loop from its
            // answer): it is not lost, it runs after.
            pending = false;
            wake();
            return;
        }
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
        armRetiredLocked (blocksEnded);
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
