#pragma once

#include <juce_data_structures/juce_data_structures.h>

/** The settings as the framework's properties, read and written by our own file code: the
    framework's reader would follow a nesting of any depth and wait on a FIFO at every start.
    A change is written at once (millisecondsBeforeSaving 0) or when asked (negative), never from
    a timer, and sends no change message: the object may go on any thread. */
class SettingsFile : public juce::PropertiesFile
{
public:
    SettingsFile (const juce::File& file, const Options& options);
    ~SettingsFile() override;

    /** A file that is there but cannot be read as settings is never written over: its values are
        the defaults, and changes last as long as the instance. */
    bool isWritable() const noexcept { return writable; }

    // These hide the framework's own, which would write through its own file.
    const juce::File& getFile() const noexcept { return file; }
    bool save();
    bool saveIfNeeded();

    /** Settings files are a few hundred bytes; anything beyond this is not one of ours. */
    static constexpr size_t maxBytes = 1 << 20;

private:
    void propertyChanged() override;

    juce::File file;
    int saveDelay;
    bool writable = true, changed = false;
};
