// Garbage, truncated and hostile chunks and preset files: nothing changes, nothing crashes, and no
// document gets NaN, infinity or out-of-range data into the program or the engine.
#include "../../fuzz/FuzzDocument.h"
#include "PresetTestSupport.h"

#include <sys/stat.h>

using namespace Param;

namespace
{
juce::MemoryBlock chunkOf (const juce::String& text, int lengthField = -1)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out (block, false);
    out.writeInt (0x21324356);
    out.writeInt (lengthField >= 0 ? lengthField : (int) text.getNumBytesAsUTF8());
    out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
    out.writeByte (0);
    return block;
}

/** Deep enough to overflow the stack of the framework's recursive parser. */
juce::String nested (int depth)
{
    std::string s ("<vro><programs><program filtercutoff=\"0.5\"><sequencer>");
    for (int i = 0; i < depth; ++i)
        s += "<step>";
    return s;
}

TEST (StateHostile, ChunksThatChangeNothing)
{
    VroCore core;
    core.getProgram().parameters[VcfCutoff] = 0.125f;
    core.getPattern().steps[3].noteOffset = 5;
    const auto before = test::state (core);

    juce::MemoryBlock random (3000);
    juce::Random rng (7);
    for (size_t i = 0; i < random.getSize(); ++i)
        random[i] = (char) rng.nextInt (256);

    juce::MemoryBlock truncated (before.getData(), before.getSize() / 2);
    juce::MemoryBlock wrongMagic (before);
    wrongMagic[0] = 0x11;

    // A trailing UTF-8 lead byte whose continuation bytes lie past the end of the host's buffer.
    juce::MemoryBlock leadByteAtEnd = chunkOf ("<vro/>");
    leadByteAtEnd.setSize (leadByteAtEnd.getSize() - 1);
    leadByteAtEnd[leadByteAtEnd.getSize() - 1] = (char) 0xf4;

    const std::vector<std::pair<const char*, juce::MemoryBlock>> cases = {
        { "empty", juce::MemoryBlock() },
        { "four bytes", juce::MemoryBlock (before.getData(), 4) },
        { "header only", juce::MemoryBlock (before.getData(), 8) },
        { "truncated", truncated },
        { "wrong magic", wrongMagic },
        { "random bytes", random },
        { "length past the end", chunkOf ("<vro><programs>", 100000000) },
        { "negative length", chunkOf ("<vro/>", -5) },
        { "not XML", chunkOf ("vro programs program") },
        { "wrong root", chunkOf (R"(<preset><programs><program filtercutoff="1"/></programs></preset>)") },
        { "deeply nested", chunkOf (nested (200000)) },
        // The framework's parser expands this entity into itself until the stack runs out.
        { "recursive entity", chunkOf (R"(<!DOCTYPE vro [<!ENTITY a "x&a;">]><vro><programs><program programname="&a;"/></programs></vro>)") },
        { "lead byte at the end", leadByteAtEnd },
        // Found by the fuzzer: the framework's parser loops for ever on a processing instruction
        // followed by text inside an element.
        { "instruction inside", chunkOf ("<vro><programs><?x?>t<program/></programs></vro>") },
    };
    for (const auto& [name, chunk] : cases)
    {
        core.setStateInformation (chunk.getData(), (int) chunk.getSize());
        EXPECT_EQ (test::state (core), before) << name;
    }
    core.setStateInformation (nullptr, 100);
    EXPECT_EQ (test::state (core), before);
}

TEST (StateHostile, PresetFilesThatChangeOnlyThePath)
{
    VroCore core;
    core.getProgram().parameters[VcfCutoff] = 0.125f;
    const auto dir = juce::File::createTempFile ("hostile");
    dir.createDirectory();

    // An external entity would make the parser read the named file, here one without end.
    const auto external = dir.getChildFile ("external.drubbel");
    external.replaceWithText (R"(<!DOCTYPE vro [<!ENTITY x SYSTEM "/dev/zero">]><vro><programs><program programname="&x;"/></programs></vro>)");
    const auto huge = dir.getChildFile ("huge.drubbel");
    {
        juce::FileOutputStream out (huge);
        out << R"(<vro><programs><program filtercutoff="0.5">)";
        const juce::MemoryBlock padding (1 << 20, true);
        for (int i = 0; i < 17; ++i)
            out.write (padding.getData(), padding.getSize());
    }
    const auto folder = dir.getChildFile ("folder.drubbel");
    folder.createDirectory();
    const auto deep = dir.getChildFile ("deep.drubbel");
    deep.replaceWithText (nested (100000));
    // A FIFO would block a reader that opens it for ever.
    const auto fifo = dir.getChildFile ("fifo.drubbel");
    ASSERT_EQ (mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);

    for (const auto& file : { external, huge, folder, deep, fifo, juce::File ("/dev/zero"), dir.getChildFile ("missing.drubbel") })
    {
        core.getProgram().setProgramName ("Kept");
        core.loadPresetFile (file, true, false);
        EXPECT_EQ (core.getProgram().getPath(), file.getFullPathName());
        EXPECT_EQ (core.getProgram().getProgramName(), "Kept") << file.getFileName();
        EXPECT_EQ (core.getParameter (VcfCutoff), 0.125f);
    }
    dir.deleteRecursively();
}

/** Byte-level mutations of a real chunk and a real preset file: whatever a damaged disk or a
    broken host hands over, the invariants hold. */
TEST (StateHostile, MutatedDocumentsKeepTheInvariants)
{
    VroCore core;
    core.getProgram().controllerMap[74] = 26;
    const auto chunk = test::state (core);
    const auto file = juce::File::createTempFile ("mutated.drubbel");
    juce::Random rng (20240611);

    for (int i = 0; i < 400; ++i)
    {
        juce::MemoryBlock m (chunk);
        const int edits = 1 + rng.nextInt (8);
        for (int e = 0; e < edits; ++e)
        {
            const int at = 8 + rng.nextInt ((int) m.getSize() - 8);
            switch (rng.nextInt (4))
            {
                case 0: m[(size_t) at] = (char) rng.nextInt (256); break;
                case 1: m.removeSection ((size_t) at, (size_t) rng.nextInt (64)); break;
                case 2: m.insert ("\"nan\" <step/>1e999-", (size_t) rng.nextInt (20), (size_t) at); break;
                default: m.setSize ((size_t) std::max (9, at)); break;
            }
            if (m.getSize() <= 9)
                break;
        }
        const juce::uint8 mode = (juce::uint8) rng.nextInt (12);
        juce::MemoryBlock input (&mode, 1);
        // Modes 1 and 2 take document text, not chunk bytes.
        if (mode % 3 == 0)
            input.append (m.getData(), m.getSize());
        else if (m.getSize() > 8)
            input.append (static_cast<const char*> (m.getData()) + 8, m.getSize() - 8);
        fuzz::runDocumentInput (core, static_cast<const std::uint8_t*> (input.getData()), input.getSize(), file);
        ASSERT_TRUE (fuzz::isSane (core)) << "mutation " << i;
    }
    file.deleteFile();
}

/** Seconds one call takes. The limits below are far above what a linear reader needs, even under
    a sanitizer on a busy machine, and far below what a quadratic one took (77 s to read a program
    with 20000 attributes, 28 s for 200000 siblings). */
template <typename Function>
double secondsFor (Function&& f)
{
    const auto start = juce::Time::getMillisecondCounterHiRes();
    f();
    return (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
}

TEST (StateHostile, LargeDocumentsReadInLinearTime)
{
    // Far more attributes on one element than any document of ours has: refused, at once.
    VroCore core;
    std::string many ("<vro><programs><program");
    for (int i = 0; i < 20000; ++i)
        many += " a" + std::to_string (i) + "=\"0.5\"";
    many += "/></programs></vro>";
    std::unique_ptr<juce::XmlElement> xml;
    EXPECT_LT (secondsFor ([&]
               {
                   xml = ProgramDocument::parseBytes (many.data(), many.size());
                   core.readProgramXml (xml.get(), {}, false);
               }),
               10.0);
    EXPECT_EQ (xml, nullptr);

    // Many siblings are read, in their order.
    std::string wide ("<vro><midimap>");
    for (int i = 0; i < 200000; ++i)
        wide += "<map param=\"" + std::to_string (i % 66) + "\" controllernumber=\"" + std::to_string (i % 256) + "\"/>";
    wide += "</midimap></vro>";
    EXPECT_LT (secondsFor ([&] { xml = ProgramDocument::parseBytes (wide.data(), wide.size()); }), 10.0);
    ASSERT_NE (xml, nullptr);
    const auto* map = xml->getChildByName ("midimap");
    ASSERT_NE (map, nullptr);
    EXPECT_EQ (map->getNumChildElements(), 200000);
    EXPECT_EQ (map->getChildElement (0)->getIntAttribute ("controllernumber"), 0);
    EXPECT_EQ (map->getChildElement (199999)->getIntAttribute ("controllernumber"), 199999 % 256);

    // And a program with as many attributes as ours have, plus some, still reads.
    std::string wideProgram ("<vro><programs><program filtercutoff=\"0.25\"");
    for (int i = 0; i < 150; ++i)
        wideProgram += " extra" + std::to_string (i) + "=\"1\"";
    wideProgram += "/></programs></vro>";
    xml = ProgramDocument::parseBytes (wideProgram.data(), wideProgram.size());
    ASSERT_NE (xml, nullptr);
    core.readProgramXml (xml.get(), {}, false);
    EXPECT_EQ (core.getParameter (VcfCutoff), 0.25f);
}

TEST (StateHostile, NamesAreCutToTheirBound)
{
    // Every instance holds the names of every preset it lists, and writes the current one into
    // every host state: a megabyte of name stays a few hundred characters through every door.
    test::FreshConfig config;
    const auto text = test::programDocument ("1.3", "programname=\"" + juce::String::repeatedString ("n", 1 << 20) + "\" category=\""
                                                    + juce::String::repeatedString ("c", 1 << 20) + "\" path=\""
                                                    + juce::String::repeatedString ("p", 1 << 16) + "\" filtercutoff=\"0.25\"");
    const auto moved = config.folder.getChildFile ("long");
    const auto folder = moved.getChildFile ("presets");
    ASSERT_TRUE (folder.createDirectory());
    const auto file = folder.getChildFile ("Long.drubbel");
    ASSERT_TRUE (file.replaceWithText (text));

    const auto expectBounded = [] (const juce::String& name, const juce::String& category, const juce::String& path, const char* door)
    {
        EXPECT_EQ (name, juce::String::repeatedString ("n", ProgramDocument::maxNameLength)) << door;
        EXPECT_EQ (category, juce::String::repeatedString ("c", ProgramDocument::maxNameLength)) << door;
        EXPECT_LE (path.length(), ProgramDocument::maxPathLength) << door;
    };
    {
        VroCore core;
        const auto chunk = chunkOf (text);
        core.setStateInformation (chunk.getData(), (int) chunk.getSize());
        EXPECT_EQ (core.getParameter (VcfCutoff), 0.25f);
        expectBounded (core.getProgram().getProgramName(), core.getProgram().getNames().category, core.getProgram().getPath(), "host state");
        EXPECT_LT (test::state (core).getSize(), 64u * 1024u);
    }
    {
        VroCore core;
        core.loadPresetFile (file, false, false);
        expectBounded (core.getProgram().getProgramName(), core.getProgram().getNames().category, {}, "preset file");
    }
    VroCore core;
    core.movePresetsLocation (moved.getFullPathName());
    const auto snapshot = core.getPresetLibrary().snapshot();
    ASSERT_EQ (snapshot->programs.size(), 1u);
    const auto& reading = snapshot->programs[0]->reading;
    expectBounded (reading.programName, reading.category, reading.path, "preset list");
}

/** Every input the fuzzer ever found (fuzz/regressions), replayed. */
TEST (StateHostile, FuzzerFindingsStayFixed)
{
    const auto folder = juce::File (__FILE__).getParentDirectory().getSiblingFile ("../fuzz/regressions");
    const auto inputs = folder.findChildFiles (juce::File::findFiles, false, "*");
    const auto scratch = juce::File::createTempFile ("regression.drubbel");
    for (const auto& f : inputs)
    {
        if (f.getFileName().startsWithChar ('.') || f.getFileExtension() == ".md")
            continue;
        VroCore core;
        juce::MemoryBlock data;
        ASSERT_TRUE (f.loadFileAsData (data));
        fuzz::runDocumentInput (core, static_cast<const std::uint8_t*> (data.getData()), data.getSize(), scratch);
        EXPECT_TRUE (fuzz::isSane (core)) << f.getFileName();
    }
    scratch.deleteFile();
}
} // namespace
