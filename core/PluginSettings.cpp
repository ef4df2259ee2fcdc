#include "PluginSettings.h"
#include "ProgramDocument.h"
#include "SafeFile.h"

SettingsFile::SettingsFile (const juce::File& f, const Options& o)
    : juce::PropertiesFile (juce::File(), o), file (f), saveDelay (o.millisecondsBeforeSaving)
{
    if (! file.exists() && ! SafeFile::isLink (file))
        return;
    juce::MemoryBlock bytes;
    const auto xml = SafeFile::readRegularFile (file, maxBytes, bytes) ? ProgramDocument::parseBytes (bytes.getData(), bytes.getSize())
                                                                       : nullptr;
    if (xml == nullptr || ! xml->hasTagName ("PROPERTIES"))
    {
        writable = false;
        return;
    }
    // The framework's layout: a value is its "val" attribute, or an XML element inside.
    for (auto* e : xml->getChildWithTagNameIterator ("VALUE"))
    {
        const auto name = e->getStringAttribute ("name");
        if (name.isEmpty())
            continue;
        const auto* inner = e->getFirstChildElement();
        getAllProperties().set (name, inner != nullptr ? inner->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
                                                       : e->getStringAttribute ("val"));
    }
}

SettingsFile::~SettingsFile()
{
    saveIfNeeded();
}

bool SettingsFile::save()
{
    if (! writable || file == juce::File())
        return false;
    juce::XmlElement doc ("PROPERTIES");
    {
        const juce::ScopedLock held (getLock());
        const auto& all = getAllProperties();
        for (int i = 0; i < all.size(); ++i)
        {
            auto* e = doc.createNewChildElement ("VALUE");
            e->setAttribute ("name", all.getAllKeys()[i]);
            e->setAttribute ("val", all.getAllValues()[i]);
        }
    }
    if (! file.getParentDirectory().createDirectory() || ! SafeFile::replaceWithText (file, doc.toString()))
        return false;
    changed = false;
    return true;
}

bool SettingsFile::saveIfNeeded()
{
    return ! changed || save();
}

void SettingsFile::propertyChanged()
{
    changed = true;
    sendChangeMessage();
    if (saveDelay == 0)
        saveIfNeeded();
    else if (saveDelay > 0)
        saveLater.startTimer (saveDelay);
}

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
