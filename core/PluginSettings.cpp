#include "PluginSettings.h"

PluginSettings::PluginSettings()
{
    options.applicationName = "VRO-Drubbel";
    options.filenameSuffix = "xml";
    options.folderName = "Velmora";
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = true;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    properties.setStorageParameters (options);

    if (auto* u = user())
        midiProgramChangeDisabled = u->getValue ("midiprogramchangedisabled").equalsIgnoreCase ("true");
}

void PluginSettings::setMidiProgramChangeDisabled (bool on)
{
    midiProgramChangeDisabled = on;
    if (auto* u = user())
    {
        u->setValue ("midiprogramchangedisabled", on ? "true" : "false");
        u->saveIfNeeded();
    }
}

void PluginSettings::setBackgroundColourType (int value)
{
    if (auto* u = user())
        u->setValue ("backgroundColourType", value);
}

int PluginSettings::getBackgroundColourType()
{
    if (auto* u = user())
        return u->getIntValue ("backgroundColourType", 0);
    return 0;
}
