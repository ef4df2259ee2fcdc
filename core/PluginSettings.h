#pragma once

#include "SharedValue.h"
#include "SettingsFile.h"
#include <juce_data_structures/juce_data_structures.h>

/** The per-user settings file: Velmora/VRO-Drubbel.xml in the application-data folder
    ($XDG_CONFIG_HOME, by default ~/.config, on Linux). */
class PluginSettings
{
public:
    PluginSettings();

    SettingsFile* user() { return userSettings.get(); }

    bool isMidiProgramChangeDisabled() const noexcept { return midiProgramChangeDisabled; }
    void setMidiProgramChangeDisabled (bool on);
    void setBackgroundColourType (int value);
    int getBackgroundColourType();

    /** The application-data folder the settings and the default preset folder live in. */
    static juce::File applicationDataFolder();

    juce::PropertiesFile::Options options;
    std::unique_ptr<SettingsFile> userSettings;
    SharedValue<bool> midiProgramChangeDisabled { false }; // read by the audio thread
};
