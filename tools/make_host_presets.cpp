// Writes the factory bank as the preset files hosts list themselves: an LV2 preset bundle and one
// VST3 preset per program. Each preset holds the state the plug-in itself saves after loading that
// program, so a host's restore of it is the plug-in's own restore.
//
//   make_host_presets LV2_URI VST3_CLASS_ID LV2_BUNDLE_FOLDER VST3_PRESET_FOLDER
//
// Both folders are written beside their place and replace it only when complete. Runs at build time.
#include "ProgramDocument.h"
#include "VroCore.h"

#include <cstdio>
#include <cstdlib>
#include <set>

namespace
{
struct Program
{
    juce::String label;    // "Bass/Acid: Classic Squelch"
    juce::String fileName; // "Bass - Acid - Classic Squelch"
    juce::String slug;     // "bass-acid-classic-squelch"
    juce::MemoryBlock state;
};

juce::StringArray categoryLevels (const juce::String& category)
{
    juce::StringArray levels;
    for (const auto& level : juce::StringArray::fromTokens (category, "\\", ""))
        if (level.trim().isNotEmpty())
            levels.add (level.trim());
    return levels;
}

juce::String slugOf (const juce::String& text)
{
    juce::String slug;
    bool dash = false;
    for (auto c : text.toLowerCase())
    {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        {
            if (dash && slug.isNotEmpty())
                slug << '-';
            slug << juce::String::charToString (c);
            dash = false;
        }
        else
            dash = true;
    }
    return slug.isEmpty() ? juce::String ("preset") : slug;
}

/** A text as a Turtle string literal's contents. */
juce::String ttlEscaped (const juce::String& text)
{
    return text.replace ("\\", "\\\\").replace ("\"", "\\\"").replace ("\n", "\\n").replace ("\r", "\\r");
}

/** Every program of the bank with the state a fresh processor saves after a host loads it. */
std::vector<Program> readBank (const juce::XmlElement& bank)
{
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
        return {};

    std::vector<Program> result;
    std::set<juce::String> files, slugs;
    for (auto* p : programs->getChildIterator())
    {
        if (p->isTextElement())
            continue;
        const auto name = p->getStringAttribute ("programname", "Not Saved").trim();
        const auto levels = categoryLevels (p->getStringAttribute ("category"));

        Program program;
        program.label = levels.isEmpty() ? name : levels.joinIntoString ("/") + ": " + name;

        // Flat names: some hosts do not look into subfolders of the preset folder.
        juce::StringArray parts;
        for (const auto& level : levels)
            parts.add (VroCore::presetFileName (level));
        parts.add (VroCore::presetFileName (name));
        const auto base = parts.joinIntoString (" - ");
        program.fileName = base;
        for (int n = 2; ! files.insert (program.fileName.toLowerCase()).second; ++n)
            program.fileName = base + " (" + juce::String (n) + ")";
        const auto slugBase = slugOf (parts.joinIntoString (" "));
        program.slug = slugBase;
        for (int n = 2; ! slugs.insert (program.slug).second; ++n)
            program.slug = slugBase + "-" + juce::String (n);

        juce::XmlElement document (skeleton);
        document.createNewChildElement ("programs")->addChildElement (new juce::XmlElement (*p));
        // A fresh processor for each: no value, step or controller of another program stays.
        VroCore core;
        core.readProgramXml (&document, {}, false, false);
        core.getCurrentProgramStateInformation (program.state); // a program: the tuning is the session's
        result.push_back (std::move (program));
    }
    return result;
}

bool writeText (const juce::File& file, const juce::String& text)
{
    return file.replaceWithText (text, false, false, "\n") && file.getSize() == (juce::int64) text.getNumBytesAsUTF8();
}

bool writeLv2Bundle (const std::vector<Program>& programs, const juce::String& pluginUri, const juce::File& folder)
{
    const juce::String prefixes = "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
                                  "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
                                  "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
                                  "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n\n";
    // The property under which the framework's LV2 form keeps its whole state, as base64 text.
    const auto stateProperty = pluginUri + ":StateString";

    juce::String manifest = prefixes;
    for (const auto& p : programs)
    {
        const auto uri = pluginUri + "/presets/" + p.slug;
        manifest << "<" << uri << ">\n"
                 << "\ta pset:Preset ;\n"
                 << "\tlv2:appliesTo <" << pluginUri << "> ;\n"
                 << "\trdfs:label \"" << ttlEscaped (p.label) << "\" ;\n"
                 << "\trdfs:seeAlso <" << p.slug << ".ttl> .\n\n";

        juce::String preset = prefixes;
        preset << "<" << uri << ">\n"
               << "\ta pset:Preset ;\n"
               << "\tlv2:appliesTo <" << pluginUri << "> ;\n"
               << "\trdfs:label \"" << ttlEscaped (p.label) << "\" ;\n"
               << "\tstate:state [\n"
               << "\t\t<" << stateProperty << "> \"" << p.state.toBase64Encoding() << "\"\n"
               << "\t] .\n";
        if (! writeText (folder.getChildFile (p.slug + ".ttl"), preset))
            return false;
    }
    return writeText (folder.getChildFile ("manifest.ttl"), manifest);
}

/** The VST3 preset container: header, the component state as the one chunk, the chunk list. */
juce::MemoryBlock vstPreset (const juce::String& classId, const juce::MemoryBlock& state)
{
    constexpr juce::int64 headerSize = 4 + 4 + 32 + 8;
    juce::MemoryOutputStream out;
    out.write ("VST3", 4);
    out.writeInt (1); // format version
    out.write (classId.toRawUTF8(), 32);
    out.writeInt64 (headerSize + (juce::int64) state.getSize()); // where the chunk list starts
    out.write (state.getData(), state.getSize());
    out.write ("List", 4);
    out.writeInt (1);
    out.write ("Comp", 4);
    out.writeInt64 (headerSize);
    out.writeInt64 ((juce::int64) state.getSize());
    return out.getMemoryBlock();
}

bool writeVst3Presets (const std::vector<Program>& programs, const juce::String& classId, const juce::File& folder)
{
    for (const auto& p : programs)
    {
        const auto data = vstPreset (classId, p.state);
        const auto file = folder.getChildFile (p.fileName + ".vstpreset");
        if (! file.replaceWithData (data.getData(), data.getSize()) || file.getSize() != (juce::int64) data.getSize())
            return false;
    }
    return true;
}

/** Fills a fresh folder beside the target and puts it in the target's place once complete. */
template <typename Fill>
bool replaceFolder (const juce::File& target, Fill&& fill)
{
    const auto staging = target.getSiblingFile (target.getFileName() + ".partial");
    staging.deleteRecursively();
    if (! staging.createDirectory() || ! fill (staging))
    {
        staging.deleteRecursively();
        return false;
    }
    target.deleteRecursively();
    return target.getParentDirectory().createDirectory() && staging.moveFileTo (target);
}

int fail (const juce::String& message)
{
    std::fprintf (stderr, "make_host_presets: %s\n", message.toRawUTF8());
    return 2;
}
} // namespace

int main (int argc, char* argv[])
{
    if (argc != 5)
        return fail ("usage: make_host_presets LV2_URI VST3_CLASS_ID LV2_BUNDLE_FOLDER VST3_PRESET_FOLDER");
    const juce::String pluginUri (argv[1]), classId (argv[2]);
    const juce::File lv2Folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[3]));
    const juce::File vst3Folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[4]));
    if (classId.length() != 32 || ! classId.containsOnly ("0123456789ABCDEF"))
        return fail ("the class ID is 32 upper-case hexadecimal digits");

    // The processor installs its preset folder and settings under the home folder: a throw-away one.
    const auto home = juce::File::createTempFile ("vro-host-presets");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juce;
        const auto bank = VroCore::parseFactoryBank();
        const auto programs = bank != nullptr ? readBank (*bank) : std::vector<Program> {};
        if (programs.empty())
            result = fail ("the factory bank holds no programs");
        else if (! replaceFolder (lv2Folder, [&] (const juce::File& f) { return writeLv2Bundle (programs, pluginUri, f); }))
            result = fail ("could not write " + lv2Folder.getFullPathName());
        else if (! replaceFolder (vst3Folder, [&] (const juce::File& f) { return writeVst3Presets (programs, classId, f); }))
            result = fail ("could not write " + vst3Folder.getFullPathName());
        else
            std::printf ("%d presets\n", (int) programs.size());
    }
    home.deleteRecursively();
    return result;
}
