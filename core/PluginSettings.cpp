#include "PluginSettings.h"
#include "SafeFile.h"

juce::File PluginSettings::applicationDataFolder()
{
#if JUCE_LINUX || JUCE_BSD
    // The framework only looks in user-dirs.dirs; the base-directory rule is the environment
    // variable, and only an absolute path counts.
    const auto xdg = juce::SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {});
    if (juce::File::isAbsolutePath (xdg))
        return juce::File (xdg);
    return juce::File ("~/.config");
#else
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory);
#endif
}

PluginSettings::PluginSettings()
{
    options.applicationName = "VRO-Drubbel";
    options.filenameSuffix = "xml";
#if JUCE_LINUX || JUCE_BSD
    // On these systems the framework would put the folder in the home directory itself.
    options.folderName = applicationDataFolder().getChildFile ("Velmora").getFullPathName();
#else
    options.folderName = "Velmora";
#endif
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = true;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    userSettings = std::make_unique<SettingsFile> (options.getDefaultFile(), options);

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
