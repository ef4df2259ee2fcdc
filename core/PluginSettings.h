#pragma once

#include "SharedValue.h"
#include "SettingsFile.h"
#include <juce_data_structures/juce_data_structures.h>
#include <memory>

/** The per-user settings file: Velmora/VRO-Drubbel.xml in the application-data folder
    ($XDG_CONFIG_HOME, by default ~/.config, on Linux).

    One per file and process, shared by every instance (shared()), so that a change made in one is
    never undone by another's next save. Each change is written at once: no timer or message
    outlives an instance that a host deletes on a thread of its own. */
class PluginSettings
{
public:
    PluginSettings();

    /** The process's settings of the current user's file, created on first use. Any thread. */
    static std::shared_ptr<PluginSettings> shared();

    SettingsFile* user() { return userSettings.get(); }

    bool isMidiProgramChangeDisabled() const noexcept { return midiProgramChangeDisabled; }
    void setMidiProgramChangeDisabled (bool on);
    void setBackgroundColourType (int value);
    int getBackgroundColourType();

    /** Where the file is and how it is kept. */
    static juce::PropertiesFile::Options defaultOptions();

    /** The application-data folder the settings and the default preset folder live in. */
    static juce::File applicationDataFolder();

    juce::PropertiesFile::Options options;
    std::unique_ptr<SettingsFile> userSettings;
    SharedValue<bool> midiProgramChangeDisabled { false }; // read by the audio thread
};
