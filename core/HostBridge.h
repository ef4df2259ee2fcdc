#pragma once

#include "AutomationNotifier.h"
#include "PresetSnapshot.h"
#include <juce_events/juce_events.h>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class VroCore;

/** The processor's one way to the host and the editor, on the message thread: every 20 ms it tells
    the host of the changes the notifier holds, gives a MIDI program change its names, hands the
    audio thread the newest preset snapshot and frees the ones no block can still be reading, and
    tells the editor that something changed.

    Hosts delete the processor on threads of their own. No message is ever posted to the processor:
    the timer is the only callback, it runs under a mutex that the processor's deletion takes to
    detach it, and the bridge itself is deleted on the message thread. */
class HostBridge : private juce::Timer
{
public:
    explicit HostBridge (VroCore& owner);
    ~HostBridge() override;

    /** Starts the rounds, once the processor is whole. */
    void start() { startTimer (20); }
    /** After this returns no callback touches the processor again. Any thread. */
    void detach();

    /** Whether the host may be told of changes: off between releaseResources and prepareToPlay.
        Waits for a delivery under way, so the host hears nothing once this returns false. */
    void setHostListening (bool on);

    /** The editor's registration for change notices (message thread). */
    void addListener (juce::ChangeListener* listener) { listeners.addIfNotAlreadyThere (listener); }
    void removeListener (juce::ChangeListener* listener) { listeners.removeFirstMatchingValue (listener); }

    /** Makes snapshot the audio thread's (message thread, or the constructing thread). */
    void publish (std::shared_ptr<const PresetSnapshot> snapshot);

    /** One round of the work above; the timer calls it, tests and offline tools may too. */
    void deliver();
    /** True inside a round: a processor deleted from a host's or editor's answer to it must leave
        the bridge alive until the round has returned. */
    bool isDelivering() const noexcept { return delivering; }

private:
    void timerCallback() override { deliver(); }
    void deliverLocked();

    std::recursive_mutex mutex;
    VroCore* core;
    std::atomic<bool> hostListening { true };
    bool delivering = false; // message thread only
    juce::Array<juce::ChangeListener*> listeners;

    struct Retired
    {
        std::shared_ptr<const PresetSnapshot> snapshot;
        std::uint64_t freeAfterBlock; // a block still running at the swap may be reading it
    };
    std::shared_ptr<const PresetSnapshot> newestSnapshot;
    std::vector<Retired> retired;
};
