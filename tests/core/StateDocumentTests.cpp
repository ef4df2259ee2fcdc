// The program document as hosts, preset files and older versions hand it over.
#include "PresetTestSupport.h"
#include "../CommaLocale.h"

#include <clocale>
#include <thread>

using namespace Param;

namespace
{
/** A program that uses every field the document holds, with values a text form keeps exactly. */
void fillEverything (VroCore& core)
{
    auto& program = core.getProgram();
    for (int k = 0; k < 58; ++k)
        program.parameters[presetKeyOrder[k]] = (float) ((k * 37 % 58) + 1) / 64.0f;
    // One member of each exclusive group, or re-applying the program would clear the others.
    program.parameters[SeqEnabled] = 0.0f;
    for (int index : { FmPulse, FmSubOsc, FmNoise })
        program.parameters[index] = 0.0f;
    program.parameters[SeqSteps] = 0.5f;
    program.setNames ({ "R\xc3\xb6hre & <Sub> \"1\"", "/presets/Bass/Acid/Roehre.drubbel", "Bass\\Acid" });

    auto& pattern = core.getPattern();
    pattern.numberOfSteps = 48;
    for (int i = 0; i < StepPattern::maxSteps; ++i)
    {
        auto& s = pattern.steps[i];
        s.noteOffset = (i * 5) % 49 - 24;
        s.pause = i % 3 == 0;
        s.slide = i % 4 == 1;
        s.slideAdsr = i % 5 == 2;
        s.velocity = (i % 10) / 10.0;
        s.length = ((i * 3) % 20) / 20.0;
    }
    program.controllerMap[1] = 26;
    program.controllerMap[74] = 27;
    program.controllerMap[255] = 65;
}

void expectSameProgram (VroCore& a, VroCore& b)
{
    for (int k = 0; k < 58; ++k)
        EXPECT_EQ (a.getParameter (presetKeyOrder[k]), b.getParameter (presetKeyOrder[k])) << parameterTable[presetKeyOrder[k]].presetKey;
    EXPECT_EQ (a.getProgram().getNames().category, b.getProgram().getNames().category);
    EXPECT_EQ (a.getPattern().numberOfSteps, b.getPattern().numberOfSteps);
    for (int i = 0; i < StepPattern::maxSteps; ++i)
    {
        const auto& x = a.getPattern().steps[i];
        const auto& y = b.getPattern().steps[i];
        EXPECT_TRUE (x.noteOffset == y.noteOffset && x.pause == y.pause && x.slide == y.slide && x.slideAdsr == y.slideAdsr
                     && x.velocity == y.velocity && x.length == y.length)
            << "step " << i;
    }
    for (int cc = 0; cc < 256; ++cc)
        EXPECT_EQ (a.getProgram().controllerMap[cc], b.getProgram().controllerMap[cc]) << cc;
}

TEST (StateDocument, RoundTripThroughChunkAndFile)
{
    VroCore source;
    fillEverything (source);
    const auto chunk = test::state (source);

    VroCore fromChunk;
    fromChunk.setStateInformation (chunk.getData(), (int) chunk.getSize());
    expectSameProgram (source, fromChunk);
    EXPECT_EQ (fromChunk.getProgram().getProgramName(), source.getProgram().getProgramName());
    EXPECT_EQ (fromChunk.getProgram().getPath(), source.getProgram().getPath()); // taken because the target's was empty

    const auto file = juce::File::createTempFile ("drubbel");
    ASSERT_TRUE (source.savePresetFile (file));
    EXPECT_EQ (source.getProgram().getProgramName(), file.getFileNameWithoutExtension());
    VroCore fromFile;
    fromFile.loadPresetFile (file, true, false);
    expectSameProgram (source, fromFile);
    EXPECT_EQ (fromFile.getProgram().getProgramName(), file.getFileNameWithoutExtension());
    EXPECT_EQ (fromFile.getProgram().getPath(), file.getFullPathName()); // the file's real place wins
    file.deleteFile();
}

TEST (StateDocument, ChunkFormat)
{
    VroCore core;
    fillEverything (core);
    const auto a = test::state (core), b = test::state (core);
    EXPECT_EQ (a, b);

    const auto* bytes = static_cast<const juce::uint8*> (a.getData());
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes), 0x21324356u);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes + 4), (juce::uint32) a.getSize() - 9);
    EXPECT_EQ (bytes[a.getSize() - 1], 0);
    const auto text = juce::String::fromUTF8 ((const char*) bytes + 8, (int) a.getSize() - 9);
    EXPECT_TRUE (text.startsWith ("<vro curprogram=\"0\" version=\"1.3\"><programs><program path=")) << text.substring (0, 80);
    EXPECT_FALSE (text.containsAnyOf ("\r\n"));

    // What the framework's reader and older hosts' chunks (with a declaration) agree on.
    EXPECT_NE (juce::AudioProcessor::getXmlFromBinary (a.getData(), (int) a.getSize()), nullptr);
    juce::MemoryBlock framework;
    juce::AudioProcessor::copyXmlToBinary (*core.createProgramXml ({}), framework);
    VroCore other;
    other.setStateInformation (framework.getData(), (int) framework.getSize());
    expectSameProgram (core, other);
}

TEST (StateDocument, WrittenOrderAndNumberForms)
{
    VroCore core;
    const struct { float value; const char* text; } forms[] = {
        { 0.5f, "0.5" }, { 1.0f, "1" }, { 0.812f, "0.812" }, { 1.0e-5f, "1e-05" }, { 0.3f, "0.3" },
        { 0.16666667f, "0.166667" }, { 0.0f, "0" }, { 0.123456789f, "0.123457" },
    };
    for (const auto& f : forms)
    {
        core.getProgram().parameters[VcfCutoff] = f.value;
        const auto xml = core.createProgramXml ({});
        EXPECT_EQ (xml->getChildByName ("programs")->getChildByName ("program")->getStringAttribute ("filtercutoff"), f.text);
    }

    const auto xml = core.createProgramXml ("Named");
    EXPECT_EQ (core.getProgram().getProgramName(), "Named");
    const auto* program = xml->getChildByName ("programs")->getFirstChildElement();
    ASSERT_EQ (program->getNumAttributes(), 61);
    EXPECT_EQ (program->getAttributeName (0), "path");
    EXPECT_EQ (program->getAttributeName (1), "programname");
    EXPECT_EQ (program->getAttributeName (2), "category");
    const char* firstKeys[] = { "dcolfovalue", "dcopwmvalue", "dcopwmmode" };
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ (program->getAttributeName (3 + k), firstKeys[k]);
    EXPECT_EQ (program->getAttributeName (60), "noisefloor");

    const auto* sequencer = program->getChildByName ("sequencer");
    EXPECT_EQ (sequencer->getNumChildElements(), 96);
    const juce::StringArray stepKeys { "noteoffset", "pause", "slide", "slideadsr", "velocity", "length" };
    for (int k = 0; k < stepKeys.size(); ++k)
        EXPECT_EQ (sequencer->getFirstChildElement()->getAttributeName (k), stepKeys[k]);
    EXPECT_EQ (xml->getChildElement (1)->getTagName(), "midimap");

    const auto text = ProgramDocument::toFileText (*xml);
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<vro")) << text.substring (0, 60);
}

TEST (StateDocument, NumbersIgnoreTheHostLocale)
{
    const char* chosen = test::useCommaLocale();
    ASSERT_NE (chosen, nullptr) << "no locale with a decimal comma installed: run scripts/install-deps.sh";

    VroCore core;
    core.getProgram().parameters[VcfCutoff] = 0.25f;
    const auto xml = core.createProgramXml ({});
    VroCore other;
    other.readProgramXml (xml.get(), {}, false);
    std::setlocale (LC_NUMERIC, "C");
    EXPECT_EQ (xml->getChildByName ("programs")->getFirstChildElement()->getStringAttribute ("filtercutoff"), "0.25");
    EXPECT_EQ (other.getParameter (VcfCutoff), 0.25f);
}

TEST (StateDocument, ReadingConvertsOlderVersionsAndDefaults)
{
    const float third = 1.0f / 3.0f;
    const struct Case { const char* version; const char* attributes; int index; float expected; } cases[] = {
        // Synced LFO rates: both table changes before 1.19, the second one before 1.29, none after.
        { "1.1", R"(lfosync="1" lforate="0.5")", LfoRate, 21.0f * (1.0f / 31.0f) },
        { "1.2", R"(lfosync="1" lforate="0.4117647")", LfoRate, 21.0f * (1.0f / 31.0f) },
        { "1.1", R"(lfosync="0" lforate="0.5")", LfoRate, 0.5f },
        { "1.3", R"(lfosync="1" lforate="0.5")", LfoRate, 0.5f },
        // Six arpeggiator modes before 1.19.
        { "1.1", R"(arpmode="0.6")", ArpMode, 3.0f * (1.0f / 6.0f) },
        { "1.19", R"(arpmode="0.6")", ArpMode, 0.6f },
        // The 64-step scale before 1.09: a quarter of 64 steps stays 16 steps.
        { nullptr, R"(arpseqlength="0.25")", SeqSteps, 0.25f * (1.0f / 96.0f) * 64.0f },
        { "1.09", R"(arpseqlength="0.25")", SeqSteps, 0.25f },
        // Missing attributes take the reader's defaults, not the start values.
        { "1.3", "", NoiseFloor, 1.0f },
        { "1.3", "", FmPulse, 0.0f },
        { "1.3", "", Volume, 0.5f },
        { "1.3", "", SeqTempo, 0.5f },
        { "1.3", "", Saw, 0.0f },
        // Names without regard to case; any decimal notation; unparsable reads 0.
        { "1.3", R"(FilterCutoff="0.25")", VcfCutoff, 0.25f },
        { "1.3", R"(FILTERCUTOFF="0.25" filtercutoff="0.75")", VcfCutoff, 0.25f }, // the first of two such names
        { "1.3", R"(filtercutoff="0.75" FilterCutoff="0.25")", VcfCutoff, 0.75f },
        { "1.3", R"(filtercutoff=" +2.5e-1 ")", VcfCutoff, 0.25f },
        { "1.3", R"(filtercutoff="0.5abc")", VcfCutoff, 0.5f },
        { "1.3", R"(filtercutoff="abc")", VcfCutoff, 0.0f },
        { "1.3", R"(filtercutoff="0,75")", VcfCutoff, 0.0f },
        { "1.3", R"(filtercutoff="")", VcfCutoff, 0.0f },
        // Nothing that is not finite, or outside 0..1, gets in.
        { "1.3", R"(filtercutoff="nan")", VcfCutoff, 1.0f },
        { "1.3", R"(filtercutoff="-inf")", VcfCutoff, 1.0f },
        { "1.3", R"(filtercutoff="1e999")", VcfCutoff, 1.0f },
        { "1.3", R"(volume="infinity")", Volume, 0.5f },
        { "1.3", R"(filtercutoff="1e-999")", VcfCutoff, 0.0f },
        { "1.3", R"(volume="300")", Volume, 1.0f },
        { "1.3", R"(volume="-2")", Volume, 0.0f },
        // An unreadable version is 0, so every conversion applies.
        { "abc", R"(arpmode="0.6")", ArpMode, 3.0f * (1.0f / 6.0f) },
        { "nan", R"(lfosync="1" lforate="0.5")", LfoRate, 21.0f * (1.0f / 31.0f) },
        { "1.3", R"(arpmode=")" "0.333333" R"(")", ArpMode, third },
    };
    for (const auto& c : cases)
    {
        VroCore core;
        const auto xml = test::document (test::programDocument (c.version != nullptr ? c.version : "", c.attributes));
        core.readProgramXml (xml.get(), {}, false);
        EXPECT_NEAR (core.getParameter (c.index), c.expected, 1.0e-6f) << (c.version != nullptr ? c.version : "none") << " " << c.attributes;
    }

    VroCore core;
    core.readProgramXml (test::document (test::programDocument ({}, R"(arpseqlength="0.25")")).get(), {}, false);
    EXPECT_EQ (core.getPattern().numberOfSteps, 16);
}

TEST (StateDocument, NamesPathAndStructure)
{
    // Tags and attributes in any case.
    VroCore core;
    core.readProgramXml (test::document (R"(<VRO VERSION="1.3"><PROGRAMS><PROGRAM PROGRAMNAME="Loud" CATEGORY="Lead" PATH="/x.drubbel">)"
                                         R"(<SEQUENCER NUMBEROFSTEPS="8"><STEP NOTEOFFSET="3" PAUSE="Yes" SLIDE="true" SLIDEADSR="0"/></SEQUENCER>)"
                                         R"(</PROGRAM></PROGRAMS><MIDIMAP><MAP PARAM="26" CONTROLLERNUMBER="74"/></MIDIMAP></VRO>)")
                             .get(),
                         {}, false);
    EXPECT_EQ (core.getProgram().getProgramName(), "Loud");
    EXPECT_EQ (core.getProgram().getNames().category, "Lead");
    EXPECT_EQ (core.getProgram().getPath(), "/x.drubbel");
    EXPECT_EQ (core.getPattern().steps[0].noteOffset, 3);
    EXPECT_TRUE (core.getPattern().steps[0].pause);
    EXPECT_TRUE (core.getPattern().steps[0].slide);
    EXPECT_FALSE (core.getPattern().steps[0].slideAdsr);
    EXPECT_EQ (core.getProgram().controllerMap[74], 26);

    // A path of its own is kept; a name argument wins over the stored one; defaults for names.
    core.readProgramXml (test::document (test::programDocument ("1.3", R"(path="/other.drubbel")")).get(), "Given", false);
    EXPECT_EQ (core.getProgram().getPath(), "/x.drubbel");
    EXPECT_EQ (core.getProgram().getProgramName(), "Given");
    EXPECT_EQ (core.getProgram().getNames().category, "No category");
    core.readProgramXml (test::document (test::programDocument ("1.3", "")).get(), {}, false);
    EXPECT_EQ (core.getProgram().getProgramName(), "Not Saved");

    // Documents that change nothing.
    core.getProgram().parameters[VcfCutoff] = 0.125f;
    const auto before = test::state (core);
    for (const char* text : { R"(<preset><programs><program filtercutoff="0.5"/></programs></preset>)",
                              R"(<vro><program filtercutoff="0.5"/></vro>)", R"(<vro><programs/></vro>)",
                              R"(<vro><programs>text first</programs></vro>)" })
    {
        core.readProgramXml (test::document (text).get(), {}, false);
        EXPECT_EQ (test::state (core), before) << text;
    }
    core.readProgramXml (nullptr, {}, false);
    EXPECT_EQ (test::state (core), before);

    // A first element that is not a program leaves the values, but its steps are read.
    core.readProgramXml (test::document (R"(<vro><programs>text<preset filtercutoff="0.5"><sequencer numberofsteps="4">)"
                                         R"(<step noteoffset="-7"/></sequencer></preset></programs></vro>)")
                             .get(),
                         {}, false);
    EXPECT_EQ (core.getParameter (VcfCutoff), 0.125f);
    EXPECT_EQ (core.getPattern().steps[0].noteOffset, -7);
}

/** What the framework's parser accepted, and old files may hold, still reads. */
TEST (StateDocument, ReaderAcceptsWhatOlderFilesHold)
{
    const struct { const char* text; const char* name; } cases[] = {
        { "\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<vro>\r\n  <programs>\r\n"
          "    <program programname=\"A\"/>\r\n  </programs>\r\n</vro>\r\n", "A" },
        { "<!-- saved --><vro><!-- x --><programs><program programname=\"B\"><![CDATA[<not an element>]]></program></programs></vro>", "B" },
        { "<vro><programs><program programname='C'></PROGRAM></Programs></VRO>", "C" },
        { "<vro><programs><program programname=\"&#82;&#xf6;hre &AMP; &lt;Sub&gt; &quot;1&quot;&#10;\"/></programs></vro>",
          "R\xc3\xb6hre & <Sub> \"1\"\n" },
        { "< vro ><programs ><program programname = \"E\" programname=\"second\" /></programs></vro> trailing", "E" },
    };
    for (const auto& c : cases)
    {
        VroCore core;
        const auto xml = ProgramDocument::parse (juce::String::fromUTF8 (c.text));
        ASSERT_NE (xml, nullptr) << c.text;
        core.readProgramXml (xml.get(), {}, false);
        EXPECT_EQ (core.getProgram().getProgramName(), juce::String::fromUTF8 (c.name)) << c.text;
    }

    // A name saved by an editor in Latin-1, and bytes that are no UTF-8 at all: read as Latin-1.
    for (const auto& [bytes, name] : { std::pair { "<vro><programs><program programname=\"R\xf6hre\"/></programs></vro>", "R\xc3\xb6hre" },
                                       std::pair { "<vro><programs><program programname=\"\xc0\x80\xf4\"/></programs></vro>",
                                                   "\xc3\x80\xc2\x80\xc3\xb4" } })
    {
        VroCore core;
        core.readProgramXml (ProgramDocument::parseBytes (bytes, std::strlen (bytes)).get(), {}, false);
        EXPECT_EQ (core.getProgram().getProgramName(), juce::String::fromUTF8 (name));
    }

    for (const char* broken : { "<vro><programs>", "<vro a=1/>", "<vro a=\"&unknown;\"/>", "<vro a=\"&#0;\"/>",
                                "<vro a=\"&#xD800;\"/>", "<?xml?><?again?><vro/>", "<!DOCTYPE vro><vro/>", "" })
        EXPECT_EQ (ProgramDocument::parse (broken), nullptr) << broken;
}

TEST (StateDocument, SequencerAndMidimapLimits)
{
    VroCore core;
    core.getProgram().controllerMap[10] = 5;
    juce::String steps;
    for (int i = 0; i < 120; ++i)
        steps << "<step noteoffset=\"" << (i < 96 ? i % 12 : 99) << "\"/>";
    steps << "<step/>";
    const auto xml = test::document (test::programDocument (
        "1.3", R"(arpseqlength="1")", "<sequencer numberofsteps=\"100000\">" + steps + "</sequencer>",
        R"(<midimap><map param="26" controllernumber="0"/><map param="27" controllernumber="300"/>)"
        R"(<map param="28" controllernumber="255"/><map param="29" controllernumber="1"/><map controllernumber="2"/></midimap>)"));
    core.readProgramXml (xml.get(), {}, false);
    EXPECT_EQ (core.getPattern().numberOfSteps, 96);
    for (int i = 0; i < 96; ++i)
        EXPECT_EQ (core.getPattern().steps[i].noteOffset, i % 12);
    const auto& map = core.getProgram().controllerMap;
    EXPECT_EQ (map[0], 0);
    EXPECT_EQ (map[255], 28);
    EXPECT_EQ (map[1], 29);
    EXPECT_EQ (map[2], 0);
    EXPECT_EQ (map[10], 5); // not cleared first

    // Step fields that would overflow note arithmetic or reach the output unbounded.
    core.readProgramXml (test::document (test::programDocument (
                             "1.3", "", R"(<sequencer numberofsteps="-5"><step noteoffset="99999999999" velocity="7" length="-3"/>)"
                                        R"(<step noteoffset="-200" velocity="nan" length="inf"/><step velocity="0.25" length="0.5"/></sequencer>)"))
                             .get(),
                         {}, false);
    const auto* s = core.getPattern().steps;
    EXPECT_EQ (s[0].noteOffset, 127);
    EXPECT_EQ (s[0].velocity, 1.0);
    EXPECT_EQ (s[0].length, 0.0);
    EXPECT_EQ (s[1].noteOffset, -127);
    EXPECT_EQ (s[1].velocity, 0.5);
    EXPECT_EQ (s[1].length, 1.0);
    EXPECT_EQ (s[2].velocity, 0.25);
    EXPECT_EQ (s[2].length, 0.5);
    test::expectSane (core);
}

TEST (StateDocument, SeqLockKeepsPatternAndArpSettings)
{
    VroCore core;
    core.setParameter (SeqLock, 1.0f);
    core.setParameter (ArpMode, 0.5f);
    core.getPattern().steps[0].noteOffset = 7;
    const float tempo = core.getParameter (SeqTempo);

    const auto sound = test::document (test::programDocument (
        "1.3", R"(programname="Doc" filtercutoff="0.25" arpmode="1" arpseqtempo="0.9" arpseqlength="0.5")",
        R"(<sequencer numberofsteps="48"><step noteoffset="-5"/></sequencer>)"));
    core.readProgramXml (sound.get(), {}, false);
    EXPECT_EQ (core.getParameter (VcfCutoff), 0.25f);
    EXPECT_EQ (core.getParameter (ArpMode), 0.5f);
    EXPECT_EQ (core.getParameter (SeqTempo), tempo);
    EXPECT_EQ (core.getPattern().steps[0].noteOffset, 7);
    EXPECT_EQ (core.getProgram().getProgramName(), "Doc");

    // A sequencer-only load replaces the pattern even with the lock on, and nothing else.
    const auto pattern = test::document (test::programDocument (
        "1.3", R"(programname="Other" filtercutoff="0.75")", R"(<sequencer numberofsteps="8"><step noteoffset="2" slide="1"/></sequencer>)",
        R"(<midimap><map param="26" controllernumber="74"/></midimap>)"));
    core.readProgramXml (pattern.get(), {}, true);
    EXPECT_EQ (core.getPattern().steps[0].noteOffset, 2);
    EXPECT_TRUE (core.getPattern().steps[0].slide);
    EXPECT_EQ (core.getParameter (VcfCutoff), 0.25f);
    EXPECT_EQ (core.getProgram().getProgramName(), "Doc");
    EXPECT_EQ (core.getProgram().controllerMap[74], 0);

    // Unlocked, a normal load replaces the pattern.
    core.setParameter (SeqLock, 0.0f);
    core.readProgramXml (sound.get(), {}, false);
    EXPECT_EQ (core.getPattern().steps[0].noteOffset, -5);
    EXPECT_EQ (core.getParameter (ArpMode), 1.0f);
}
// A host's restore (session recall, undo, A/B compare) is not browsing: it gives back exactly what
// getStateInformation saved, whatever "SEQ Lock" says and whatever was still on its way.
TEST (HostRestore, GivesBackTheSavedStateWithSeqLockOn)
{
    VroCore core;
    core.setParameter (ArpEnabled, 1.0f);
    core.setParameter (ArpMode, 0.5f);
    core.setParameter (SeqSteps, 0.5f);
    core.getPattern().steps[3].noteOffset = 5;
    const auto saved = test::state (core);

    core.setParameter (SeqLock, 1.0f);
    core.setParameter (SeqEnabled, 1.0f);
    core.setParameter (ArpMode, 0.0f);
    core.setParameter (SeqSteps, 0.1f);
    core.getPattern().steps[3].noteOffset = -2;
    core.setStateInformation (saved.getData(), (int) saved.getSize());

    EXPECT_EQ (core.getParameter (ArpEnabled), 1.0f);
    EXPECT_EQ (core.getParameter (SeqEnabled), 0.0f);
    EXPECT_EQ (core.getParameter (ArpMode), 0.5f);
    EXPECT_EQ (core.getPattern().numberOfSteps, 48);
    EXPECT_EQ (core.getPattern().steps[3].noteOffset, 5);
    EXPECT_EQ (test::state (core), saved);
    EXPECT_EQ (core.getParameter (SeqLock), 1.0f); // not part of the state
}

TEST (HostRestore, AChangeQueuedBeforeTheRestoreNeverLandsAfterIt)
{
    VroCore core;
    core.setParameter (VcfCutoff, 0.25f);
    const auto saved = test::state (core);

    // A learned controller moved just before: its change is still queued for the message thread.
    core.getNotifier().enqueue (VcfCutoff, 0.875f);
    core.setStateInformation (saved.getData(), (int) saved.getSize());
    core.getBridge().deliver();
    EXPECT_EQ (core.getParameter (VcfCutoff), 0.25f);
    EXPECT_EQ (test::state (core), saved);
}

TEST (HostRestore, RepeatedFromAHostThreadWhileTheMessageThreadRuns)
{
    // As a validating host does it: save, set every parameter to a random value, restore, compare,
    // many times over, from a thread that is not the message thread.
    VroCore core;
    std::atomic<bool> done { false };
    std::atomic<int> failures { 0 };
    std::thread host ([&]
    {
        juce::Random random (16);
        for (int round = 0; round < 25; ++round)
        {
            for (int i = 1; i < Count; ++i)
                if (! isMomentaryParameter (i) && i != MidiLearnActivated)
                    core.setParameter (i, random.nextFloat());
            core.getNotifier().enqueue (1 + random.nextInt (64), random.nextFloat());
            const auto saved = test::state (core);

            for (int i = 1; i < Count; ++i)
                if (! isMomentaryParameter (i) && i != MidiLearnActivated)
                    core.setParameter (i, random.nextFloat());
            core.getNotifier().enqueue (ArpEnabled, 1.0f);
            core.setStateInformation (saved.getData(), (int) saved.getSize());
            if (test::state (core) != saved)
                ++failures;
            // What the notifier still holds reaches the message thread.
            if (! test::deliverThroughBridge (core))
                ++failures;
            if (test::state (core) != saved)
                ++failures;
        }
        done = true;
    });
    while (! done)
        test::deliverMessages (5);
    host.join();
    EXPECT_EQ (failures, 0);
}
} // namespace
