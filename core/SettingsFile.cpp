#include "SettingsFile.h"
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
    if (saveDelay >= 0)
        saveIfNeeded();
}
