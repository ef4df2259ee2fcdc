#pragma once

#include "PresetSnapshot.h"
#include <juce_core/juce_core.h>
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

/** The preset folder as every processor of the process sees it: where it is, the factory install,
    and the list of preset files with their programs read into memory (the snapshot).

    One per settings location and process, shared by all processor instances: the install and the
    clean-up of abandoned work run when it is created (and after a move), and one thread of its own
    looks at the tree when something can have changed (on Linux when the file system reports a
    change in one of the tree's folders, with a slow full look as a backstop; elsewhere, and for a
    tree of more folders than the process watches, every two seconds). Nothing walks the tree on
    the message thread in the steady state.

    The walk visits each real folder once and never leaves the preset folder through a link, so
    links between the tree's folders (or to /sys) cost no more than the folders themselves; a link
    to a file is listed only when it leads to a preset file of the tree.

    Every member may be called on any thread but the audio thread. */
class PresetLibrary
{
public:
    /** The library of the settings file in settingsFolder (empty when there is none: then only a
        folder next to the plug-in counts), created on first use with storedFolder, the settings'
        "presetDirectory" value. It exists with its first snapshot when this returns. */
    static std::shared_ptr<PresetLibrary> forSettings (const juce::File& settingsFolder, const juce::String& storedFolder);

    ~PresetLibrary();

    /** The folder, with a separator at the end: next to the plug-in when that exists, else the
        moved location when it exists, else beside the settings file. */
    juce::String getPresetDirectory() const;

    /** The moved location (its "presets" subfolder counts) for every instance; the caller stores
        the value in the settings. Installs the factory presets there when missing. */
    void moveTo (const juce::String& folder);

    /** Where a save to file writes: the file itself, or what it leads to through links. Invalid
        when the save is refused: a link, or a folder on the way, that leads out of the tree, or a
        link to anything but an existing preset file. */
    juce::File saveTarget (const juce::File& file) const;

    /** Writes the bank's programs as preset files when the preset folder does not exist yet;
        returns the number of files written. */
    int installFactoryPresets (const juce::XmlElement& bank);

    /** Removes abandoned work, then installs the embedded bank when the folder is missing, or
        repairs an install an older version left incomplete. */
    void installFactoryPresetsIfMissing();

    /** The newest snapshot; never null. */
    std::shared_ptr<const PresetSnapshot> snapshot() const;

    /** Moves whenever a new snapshot is published. */
    juce::uint64 generation() const noexcept { return published.load(); }

    /** Every preset file, files of a folder before its subfolders, each in natural name order. */
    juce::Array<juce::File> presetList() const;

    /** Brings the snapshot up to date now, for a caller that must see the folder as it is (a file
        just written, an offline render's program change). changedPath: a file just written, read
        again even if its size and time look the same. Cheap when the file system reports no
        change; without such reports it looks at the whole tree. */
    void refresh (const juce::String& changedPath = {});

    /** Looks at the whole tree now, whatever the file system reported (the periodic backstop). */
    void look();

    /** How many times the tree was walked, and how many of those on the message thread. */
    int looks() const noexcept { return numLooks.load(); }
    int looksOnMessageThread() const noexcept { return numLooksOnMessageThread.load(); }

    /** Called on the looking thread after any library publishes a snapshot, so that whoever hands
        snapshots on need not keep asking. Set once; never waits. */
    static void setPublishedHook (void (*hook)()) noexcept;

    /** A program or category name as a file or folder name that stays inside its folder. */
    static juce::String presetFileName (const juce::String& name);

    /** The embedded factory bank document (parsed on demand); null in a build without it. */
    static std::unique_ptr<juce::XmlElement> parseFactoryBank();

    static const char* const extension;

    /** Folders watched for changes, at most, in the whole process; the rest of a larger tree is
        walked every walkPeriodMs, or every walkCostFactor walks' time where a walk takes long. */
    static constexpr int maxWatches = 1024, walkPeriodMs = 2000, walkCostFactor = 20;

private:
    PresetLibrary (const juce::File& settingsFolder, const juce::String& storedFolder);

    struct Watcher;
    struct Walk;

    /** Walks the tree and publishes what changed; with scanMutex held. */
    void lookLocked (const juce::String& changedPath);
    bool needsLookLocked();
    void run();
    void wake();

    const juce::File settingsFolder;
    mutable std::mutex locationMutex;
    juce::String storedFolder;

    // Held by whoever walks the tree, installs or reads the change reports.
    std::mutex scanMutex;
    std::unique_ptr<Watcher> watcher;

    mutable std::mutex snapshotMutex;
    std::shared_ptr<const PresetSnapshot> current;
    std::atomic<juce::uint64> published { 0 };
    std::atomic<int> numLooks { 0 }, numLooksOnMessageThread { 0 }, lastWalkMs { 0 };

    std::atomic<bool> stopping { false };
    juce::WaitableEvent wakeUp;
    std::unique_ptr<std::thread> thread;

    JUCE_DECLARE_NON_COPYABLE (PresetLibrary)
};
