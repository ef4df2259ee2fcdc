#pragma once

#include "AutomationNotifier.h"
#include "PresetSnapshot.h"
#include <juce_events/juce_events.h>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class VroCore;

/** The processor's one way to the host and the editor, on the message thread: it tells the host of
    the changes the notifier holds, gives a MIDI program change its names, hands the audio thread
    the newest preset snapshot and frees the ones no block can still be reading, and tells the
    editor that something changed.

    A round runs only when something is pending: one thread per process (the hub) sleeps until a
    bridge is woken (by the notifier, a change notice, a program change, a new library snapshot or
    a block that ends after a snapshot was retired), and then has the message thread run the
    rounds of the woken bridges, at most once every 20 ms. Waking never waits or allocates, so the
    audio thread may do it.

    Hosts delete the processor on threads of their own. No message is ever posted to the processor:
    the hub's rounds are the only callback, the processor's deletion detaches the bridge (waiting
    for a round under way on another thread, and ending the hub's thread with the last bridge),
    and the bridge itself is deleted on the message thread.
    No lock is held while a round calls the host or the editor: a host may take a lock of its own
    where it hears of changes, and hold that one while it activates or releases the plug-in. */
class HostBridge : public AutomationNotifier::Waker
{
public:
    explicit HostBridge (VroCore& owner);
    ~HostBridge();

    /** Joins the process's rounds, once the processor is whole. */
    void start();
    /** After this returns no callback touches the processor again. Any thread; waits for a round
        under way on another thread. */
    void detach();

    /** Asks for a round soon. Any thread, the audio thread included: never waits or allocates. */
    void wake() noexcept override;
    /** The audio thread's word that a block ended, blocksDone blocks in all: a retired snapshot may
        now be freed. */
    void blockEnded (std::uint64_t blocksDone) noexcept
    {
        if (blocksDone >= freeRetiredAt.load())
        {
            freeRetiredAt = noRetired;
            wake();
        }
    }

    /** Whether the host may be told of changes: off between releaseResources and prepareToPlay.
        Never waits: hosts call this holding their own locks. A round already past its check may
        still tell the host of one change. */
    void setHostListening (bool on) noexcept { hostListening = on; }

    /** The editor's registration for change notices (message thread). */
    void addListener (juce::ChangeListener* listener) { listeners.addIfNotAlreadyThere (listener); }
    void removeListener (juce::ChangeListener* listener) { listeners.removeFirstMatchingValue (listener); }

    /** Makes snapshot the audio thread's (message thread, or the constructing thread). */
    void publish (std::shared_ptr<const PresetSnapshot> snapshot);

    /** One round of the work above; the hub calls it, tests and offline tools may too. */
    void deliver();
    /** True inside a round: a processor deleted from a host's or editor's answer to it must leave
        the bridge alive until the round has returned. */
    bool isDelivering() const noexcept { return delivering; }

    /** How many hub threads the process has now (0 or 1), for tests. */
    static int hubs();

private:
    class Hub;
    friend class Hub;

    void runRound();
    /** The block after which the oldest retired snapshot may go, for blockEnded; mutex held. */
    void armRetiredLocked (std::uint64_t blocksEnded);

    static constexpr std::uint64_t noRetired = ~std::uint64_t (0);

    std::shared_ptr<Hub> hub;        // until detach
    std::atomic<Hub*> wakeTarget;    // what wake signals; null once detached
    std::atomic<bool> pending { false };
    std::atomic<std::uint64_t> freeRetiredAt { noRetired };

    // Guards core's detachment, the round's start and end, and the snapshots; never held while
    // the host or the editor is called.
    std::mutex mutex;
    std::condition_variable roundEnded;
    std::atomic<VroCore*> core;
    std::atomic<bool> hostListening { true };
    std::atomic<bool> delivering { false }; // set and cleared by the message thread
    std::thread::id roundThread;
    juce::Array<juce::ChangeListener*> listeners;

    struct Retired
    {
        std::shared_ptr<const PresetSnapshot> snapshot;
        std::uint64_t freeAfterBlock; // a block still running at the swap may be reading it
    };
    std::shared_ptr<const PresetSnapshot> newestSnapshot;
    std::vector<Retired> retired;
};
