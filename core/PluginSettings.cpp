#include "PluginSettings.h"
#include "SafeFile.h"

#include <map>
#include <mutex>

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

juce::PropertiesFile::Options PluginSettings::defaultOptions()
{
    juce::PropertiesFile::Options options;
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
    options.millisecondsBeforeSaving = 0; // at once: a few hundred bytes, after a click
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    return options;
}

PluginSettings::PluginSettings() : options (defaultOptions())
{
    userSettings = std::make_unique<SettingsFile> (options.getDefaultFile(), options);

    if (auto* u = user())
        midiProgramChangeDisabled = u->getValue ("midiprogramchangedisabled").equalsIgnoreCase ("true");
}

std::shared_ptr<PluginSettings> PluginSettings::shared()
{
    static std::mutex mutex;
    static auto* registry = new std::map<juce::String, std::weak_ptr<PluginSettings>>(); // never destroyed
    const std::lock_guard<std::mutex> lock (mutex);
    auto& slot = (*registry)[defaultOptions().getDefaultFile().getFullPathName()];
    if (auto existing = slot.lock())
        return existing;
    auto settings = std::make_shared<PluginSettings>();
    slot = settings;
    return settings;
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
