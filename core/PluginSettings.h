#pragma once

#include <juce_data_structures/juce_data_structures.h>

/** The per-user settings file (Velmora/VRO-Drubbel.xml in the application-data folder). */
class PluginSettings
{
public:
    PluginSettings();

    juce::PropertiesFile* user() { return properties.getUserSettings(); }

    bool isMidiProgramChangeDisabled() const noexcept { return midiProgramChangeDisabled; }
    void setMidiProgramChangeDisabled (bool on);
    void setBackgroundColourType (int value);
    int getBackgroundColourType();

    juce::PropertiesFile::Options options;
    juce::ApplicationProperties properties;
    bool midiProgramChangeDisabled = false;
};
