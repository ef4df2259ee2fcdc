#pragma once

/*  Who runs what in the plug-in, and what each thread may touch. Read this before changing the
    processor (VroCore), the program (VroProgram), the bridge (HostBridge) or the preset library.

    THE THREADS
    - The audio thread: processBlock, and whatever it calls (MIDI input, learned controllers,
      MIDI program changes, the re-application after a rate change). It holds the callback lock
      for the whole block (the format wrappers take it before calling; processBlock takes it again
      for callers that do not). It never allocates, never touches a file or a string, and never
      waits for anything but the callback lock.
    - The message thread: the editor, the bridges' rounds, preset files (load, save, menus, the
      default preset), the settings.
    - Host threads: any thread of the host, the message and audio threads included, may set and
      get parameters, save and restore the state, choose the program, prepare and release, and
      create and delete the processor.
    - The preset library's scanner: one thread per process that keeps the listing of the preset
      folder; it touches files and its own data only (and wakes the bridges' hub after it
      publishes a snapshot).
    - The bridges' hub: one thread per process that sleeps until a bridge is woken, then asks the
      message thread for one round of the woken bridges, at most once every 20 ms. It touches its
      own word and list only, and ends inside the last processor's deletion (a host may unload
      the library as soon as that returns). While every instance is idle, no thread of ours wakes but the
      scanner's slow look.

    WHAT BELONGS TO WHOM
    - The engine (SynthEngine and everything in it, the MIDI output, the pending events) belongs
      to whoever holds the callback lock: the audio thread during a block. Another thread applies a
      value to the engine only if it gets the lock by trying (it never waits for it); otherwise the
      value waits, marked, and the next block applies it before its first sample.
    - Parameter values and the controller map: atomics (VroProgram); any thread reads or writes one
      value at a time.
    - A whole program (restore, save, preset load, MIDI program change) and the program's names:
      under VroProgram::lock. Threads other than the audio thread take it; the audio thread only
      tries it, and a program change that finds it held is made at the next block.
    - The step pattern: shared without a lock, every field read and written whole (SharedValue);
      the editor edits steps while the players read them.
    - The notifier's slots: atomics; any thread puts a change in (which wakes the bridge), only the
      bridge takes them out.
    - Waking a bridge (HostBridge::wake): an atomic exchange and, when the hub sleeps, one futex
      wake (std::atomic::notify_one); any thread, the audio thread included. Whatever a round
      handles wakes it: the notifier, a change notice for the editor, a MIDI program change's
      names, a library snapshot, and a block that ends after a snapshot was retired.
    - Preset snapshots: built by the library, handed to the audio thread by the bridge through an
      atomic pointer; the bridge frees an old one only after a block that began after the swap
      has ended (the audio thread wakes it when that block ends).
    - The session's tuning: its files and installed table under the processor's tuningLock, which
      the audio thread never takes. A table reaches the engine at once when the callback lock is
      got by trying, else through a handover the next block takes before its first sample. The
      audio thread's MIDI retunings are published through a sequence lock for the state to save.
    - Texts for the editor (rates) are formatted on the message thread from atomic numbers.
    - The settings: one object per process and file (PluginSettings::shared), like the preset
      library, changed on the message thread and written at once; no timer or message of theirs
      outlives an instance, whichever thread deletes it. The audio thread reads only the MIDI
      program change switch, a SharedValue.

    LOCK ORDER
    VroProgram::lock, then the callback lock, which is only ever tried while another is held. The
    bridge's mutex is held alone, and only for its own fields; so is the hub's, for its list. The
    audio thread holds the callback lock and only tries the others. Nothing is ever posted to the
    processor: the hub's rounds are the only callback that reaches it, and the processor's deletion
    detaches the bridge (leaving the hub's list, and waiting for a round under way on another
    thread) before anything else goes.

    CALLS INTO THE HOST
    No lock of the plug-in's is held while it calls the host (parameter announcements, display
    refreshes) or the editor: collect under the lock, let go, then call. Hosts take locks of their
    own where they hear of changes and hold them while they run blocks or activate the plug-in, so
    a call out under one of ours would wait for theirs while they wait for ours. For the same
    reason activation (prepareToPlay, releaseResources) never waits for anything.
*/

#include <juce_events/juce_events.h>

/** For functions that must run on the message thread (or, where the processor is driven without
    one, on the thread that drives it offline). */
#define VRO_ASSERT_MESSAGE_THREAD jassert (juce::MessageManager::getInstanceWithoutCreating() == nullptr \
                                           || juce::MessageManager::existsAndIsCurrentThread());
