#include "VroCore.h"

#if VRO_HAS_RESOURCES
 #include "BinaryData.h"
#endif

namespace
{
const char* const presetExtension = "drubbel";

juce::String withSeparator (const juce::String& path)
{
    const auto sep = juce::File::getSeparatorString();
    return path.endsWith (sep) ? path : path + sep;
}

/** A name the file system accepts that cannot climb out of its folder. */
juce::String safeName (const juce::String& name)
{
    auto legal = juce::File::createLegalFileName (name.replaceCharacters ("/\\", "__")).trim();
    if (legal.isEmpty() || legal.containsOnly ("."))
        legal = "_" + legal.replaceCharacters (".", "_");
    return legal;
}

/** Writes text next to the target first, then replaces the target; a failure leaves it intact. */
bool safeWrite (const juce::File& target, const juce::String& text)
{
    juce::TemporaryFile temp (target, juce::TemporaryFile::useHiddenFile);
    if (! temp.getFile().replaceWithText (text, false, false, "\n"))
        return false;
    return temp.overwriteTargetFileWithTemporary();
}

juce::String multiLineDocument (const juce::XmlElement& xml)
{
    juce::XmlElement::TextFormat format;
    format.customEncoding = "UTF-8";
    return xml.toString (format);
}
} // namespace

std::unique_ptr<juce::XmlElement> VroCore::parseFactoryBank()
{
#if VRO_HAS_RESOURCES && defined (VRO_HAS_FACTORY_BANK)
    return juce::parseXML (juce::String::fromUTF8 (BinaryData::FactoryBank_xml, BinaryData::FactoryBank_xmlSize));
#else
    return {};
#endif
}

juce::String VroCore::getPresetDirectory()
{
    const auto library = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
    const auto portable = library.getChildFile ("VRO-Drubbel").getChildFile ("presets");
    if (portable.isDirectory())
        return withSeparator (portable.getFullPathName());

    if (auto* u = settings.user())
    {
        const auto moved = u->getValue ("presetDirectory");
        if (moved.isNotEmpty() && juce::File::isAbsolutePath (moved) && juce::File (moved).exists())
            return withSeparator (withSeparator (moved) + "presets");

        const auto folder = u->getFile().getParentDirectory();
        return withSeparator (withSeparator (withSeparator (folder.getFullPathName()) + "VRO-Drubbel") + "presets");
    }
    return {};
}

juce::File VroCore::getDefaultPresetFile()
{
    return juce::File (getPresetDirectory() + "Default." + presetExtension);
}

juce::Array<juce::File> VroCore::presetList()
{
    const juce::File dir (getPresetDirectory());
    if (! dir.isDirectory())
        return {};
    return dir.findChildFiles (juce::File::findFiles, true, juce::String ("*.") + presetExtension);
}

void VroCore::loadPresetFile (const juce::File& file, bool nameFromFile, bool sequencerOnly)
{
    auto xml = juce::parseXML (file);
    program.path = file.getFullPathName();
    if (xml != nullptr)
        readProgramXml (xml.get(), nameFromFile ? file.getFileNameWithoutExtension() : juce::String(), sequencerOnly);
}

bool VroCore::savePresetFile (const juce::File& file)
{
    auto xml = createProgramXml (file.getFileNameWithoutExtension());
    return safeWrite (file, multiLineDocument (*xml));
}

void VroCore::loadDefaultPreset()
{
    const auto file = getDefaultPresetFile();
    if (file.existsAsFile())
        loadPresetFile (file, false, false);
    else
        resetToDefaults();
}

bool VroCore::saveDefaultPreset()
{
    auto xml = createProgramXml ({});
    const auto file = getDefaultPresetFile();
    file.getParentDirectory().createDirectory();
    return safeWrite (file, multiLineDocument (*xml));
}

void VroCore::movePresetsLocation (const juce::String& folder)
{
    if (auto* u = settings.user())
    {
        u->setValue ("presetDirectory", folder);
        u->saveIfNeeded();
    }
    if (auto bank = parseFactoryBank())
        installFactoryPresets (*bank);
}

void VroCore::installFactoryPresets (const juce::XmlElement& bank)
{
    const juce::File dir (getPresetDirectory());
    if (dir.getFullPathName().isEmpty() || dir.exists())
        return;
    if (! dir.createDirectory())
        return;

    juce::XmlElement skeleton (bank);
    const juce::XmlElement* programs = nullptr;
    for (auto* c : bank.getChildIterator())
        if (c->getTagName().equalsIgnoreCase ("programs"))
            programs = c;
    for (auto* c : skeleton.getChildIterator())
        if (c->getTagName().equalsIgnoreCase ("programs"))
        {
            skeleton.removeChildElement (c, true);
            break;
        }
    if (programs == nullptr)
        return;

    for (auto* p : programs->getChildIterator())
    {
        const auto name = p->getStringAttribute ("programname", "Not Saved");
        const auto category = p->getStringAttribute ("category", "Not Saved");

        auto folder = dir;
        for (const auto& level : juce::StringArray::fromTokens (category, "\\", ""))
            if (level.trim().isNotEmpty())
                folder = folder.getChildFile (safeName (level));
        folder.createDirectory();

        juce::XmlElement document (skeleton);
        auto* newPrograms = document.createNewChildElement ("programs");
        newPrograms->addChildElement (new juce::XmlElement (*p));
        safeWrite (folder.getChildFile (safeName (name) + "." + presetExtension), multiLineDocument (document));
    }
}
