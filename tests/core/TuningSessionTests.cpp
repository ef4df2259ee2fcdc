// The session's tuning: Scala files loaded by the musician, MIDI Tuning Standard messages in the
// block, and the host's state that carries both; programs and presets leave it alone.
#include "PresetTestSupport.h"
#include "engine/TuningFixtures.h"

#include <atomic>
#include <thread>

using namespace Param;
namespace mts = tuningfixtures::mts;

namespace
{
struct TuningFiles
{
    juce::File write (const juce::String& name, const juce::String& text) const
    {
        auto file = folder.getChildFile (name);
        EXPECT_TRUE (file.replaceWithText (text, false, false, "\n"));
        return file;
    }

    juce::File folder = juce::File::createTempFile ("vro-tuning");
    TuningFiles() { folder.createDirectory(); }
    ~TuningFiles() { folder.deleteRecursively(); }
};

juce::MidiMessage sysex (const std::vector<uint8_t>& bytes)
{
    return juce::MidiMessage (bytes.data(), (int) bytes.size());
}

/** Key 70 held for a while, through the processor in blocks. */
std::vector<float> renderKey (VroCore& core, const std::vector<std::pair<int, juce::MidiMessage>>& extra = {}, int samples = 4096)
{
    test::Render r (core, 44100.0, 512);
    r.at (0, test::noteOn (70));
    for (const auto& [at, m] : extra)
        r.at (at, m);
    r.run (samples);
    const auto* d = r.session.audio.getReadPointer (0);
    return { d, d + samples };
}

void loadFiles (VroCore& core, const TuningFiles& files, const char* scl, const char* kbm)
{
    juce::String error;
    if (scl != nullptr)
    {
        ASSERT_TRUE (core.loadScaleFile (files.write ("scale.scl", scl), error)) << error;
    }
    if (kbm != nullptr)
    {
        ASSERT_TRUE (core.loadKeyboardMappingFile (files.write ("keys.kbm", kbm), error)) << error;
    }
}
} // namespace

TEST (TuningSession, RefusedFilesNameFileAndLineAndChangeNothing)
{
    TuningFiles files;
    VroCore core, reference;
    loadFiles (core, files, tuningfixtures::edo19, nullptr);
    loadFiles (reference, files, tuningfixtures::edo19, nullptr);
    const auto before = core.getTuning();

    struct Case
    {
        bool mapping;
        juce::String name, text, message;
    };
    const Case cases[] = {
        { false, "big.scl", juce::String::repeatedString ("!", (int) Scala::maxFileBytes + 1), "big.scl: the file is larger than 1 MB" },
        { false, "ratio.scl", "x\n2\n3/0\n2/1\n", "ratio.scl, line 3: the ratio 3/0 has a zero or negative part" },
        { false, "words.scl", "x\n1\none octave\n", "words.scl, line 3: 'one' is not a ratio or a number of cents" },
        { false, "count.scl", "x\n3\n3/2\n2/1\n", "count.scl: announces 3 notes but lists 2" },
        { true, "degree.kbm", "1\n0\n127\n60\n69\n440.0\n19\n25\n", "degree.kbm, line 8: degree 25 is beyond the scale's 19 notes" },
        { true, "hot.kbm", "0\n0\n127\n60\n69\n19999.0\n19\n", "hot.kbm, line 6: key 70 would sound at" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name.toStdString());
        juce::String error;
        const auto file = files.write (c.name, c.text);
        EXPECT_FALSE (c.mapping ? core.loadKeyboardMappingFile (file, error) : core.loadScaleFile (file, error));
        EXPECT_TRUE (error.startsWith (c.message)) << error;
        const auto after = core.getTuning();
        EXPECT_TRUE (after.table == before.table && after.scale == before.scale && after.mapping == before.mapping);
    }
    juce::String error;
    EXPECT_FALSE (core.loadScaleFile (files.folder, error));
    EXPECT_FALSE (core.loadScaleFile (files.folder.getChildFile ("missing.scl"), error));
    EXPECT_EQ (renderKey (core), renderKey (reference));
}

TEST (TuningSession, TheHostStateCarriesItAndPresetsLeaveIt)
{
    test::FreshConfig config;
    TuningFiles files;
    VroCore a;
    loadFiles (a, files, tuningfixtures::just7, tuningfixtures::whiteKeys);
    EXPECT_EQ (a.getTuningDescription(), "Just major, seven notes (keys.kbm)");
    const auto saved = test::state (a);

    VroCore b;
    b.setStateInformation (saved.getData(), (int) saved.getSize());
    EXPECT_TRUE (b.getTuning().table == a.getTuning().table);
    EXPECT_EQ (b.getTuningDescription(), a.getTuningDescription());
    EXPECT_EQ (test::state (b), saved);

    // The program is the preset's; the tuning stays the session's.
    const auto preset = config.installedPresets().getChildFile ("Other.drubbel");
    VroCore other;
    ASSERT_TRUE (other.savePresetFile (preset));
    EXPECT_FALSE (preset.loadFileAsString().containsIgnoreCase ("tuning"));
    ASSERT_TRUE (a.savePresetFile (config.installedPresets().getChildFile ("Tuned.drubbel")));
    EXPECT_FALSE (config.installedPresets().getChildFile ("Tuned.drubbel").loadFileAsString().containsIgnoreCase ("tuning"));
    b.loadPresetFile (preset, true, false);
    test::programChangeOnTheAudioThread (b, 0);
    EXPECT_TRUE (b.getTuning().table == a.getTuning().table);

    // A host's preset is a program without a tuning, and so is a session from before tunings,
    // which a new instance opens in standard tuning.
    juce::MemoryBlock program;
    other.getCurrentProgramStateInformation (program);
    a.getCurrentProgramStateInformation (program);
    EXPECT_EQ (std::string_view ((const char*) program.getData(), program.getSize()).find ("tuning"), std::string_view::npos);
    EXPECT_NE (std::string_view ((const char*) saved.getData(), saved.getSize()).find ("<tuning"), std::string_view::npos);
    b.setStateInformation (program.getData(), (int) program.getSize());
    b.setCurrentProgramStateInformation (saved.getData(), (int) saved.getSize());
    EXPECT_TRUE (b.getTuning().table == a.getTuning().table);
    VroCore fresh;
    fresh.setStateInformation (program.getData(), (int) program.getSize());
    EXPECT_TRUE (fresh.getTuning().table.standard);
    EXPECT_EQ (fresh.getTuningDescription(), "Standard Tuning");

    // A session saved in standard tuning says so.
    const auto standard = test::state (other);
    b.setStateInformation (standard.getData(), (int) standard.getSize());
    EXPECT_TRUE (b.getTuning().table.standard);
    EXPECT_TRUE (b.getTuning().scale.isEmpty());
}

TEST (TuningSession, ReadersWithoutTuningsReadTheSameProgram)
{
    TuningFiles files;
    VroCore core;
    core.getProgram().parameters[VcfCutoff] = 0.25f;
    const auto plain = test::state (core);
    loadFiles (core, files, tuningfixtures::edo19, nullptr);
    const auto tuned = test::state (core);
    ASSERT_NE (plain, tuned);

    // The program reader that older builds run passes over the element.
    auto readingOf = [] (const juce::MemoryBlock& block)
    {
        auto reading = std::make_unique<ProgramReading>();
        auto xml = ProgramDocument::readChunk (block.getData(), (int) block.getSize());
        EXPECT_NE (xml, nullptr);
        ProgramDocument::read (xml.get(), *reading);
        return reading;
    };
    const auto p = readingOf (plain), t = readingOf (tuned);
    EXPECT_EQ (t->status, ProgramReading::Status::program);
    EXPECT_EQ (std::memcmp (p->values, t->values, sizeof (p->values)), 0);
    EXPECT_EQ (p->programName, t->programName);
    EXPECT_EQ (std::memcmp (p->controllerMap, t->controllerMap, sizeof (p->controllerMap)), 0);
}

TEST (TuningSession, MidiTuningInTheBlockActsAtItsSample)
{
    TuningFiles files;
    KeyTuning edo24;
    ASSERT_TRUE (tuningfixtures::build (tuningfixtures::edo24, nullptr, edo24));

    // A real-time change in the middle of a block moves the held note from that sample on, as the
    // same change at the start of a block that begins there does.
    const auto change = sysex (mts::noteChange ({ { 70, 70.5 } }));
    VroCore inBlock, atBlockStart;
    const auto x = renderKey (inBlock, { { 300, change } });
    std::vector<float> y;
    {
        test::Render r (atBlockStart, 44100.0, 300);
        r.at (0, test::noteOn (70)).at (300, change).run (4096);
        const auto* d = r.session.audio.getReadPointer (0);
        y.assign (d, d + 4096);
    }
    EXPECT_EQ (x, y);
    VroCore plain;
    const auto z = renderKey (plain);
    EXPECT_TRUE (std::equal (x.begin(), x.begin() + 300, z.begin()));
    EXPECT_FALSE (std::equal (x.begin() + 300, x.end(), z.begin() + 300));

    // A bulk dump of a tuning plays the next note as the tuning loaded from its file does.
    VroCore dumped, fromFile;
    loadFiles (fromFile, files, tuningfixtures::edo24, nullptr);
    test::Render r (dumped, 44100.0, 512);
    r.at (100, sysex (mts::bulkDump (edo24))).at (200, test::noteOn (70)).run (4096);
    test::Render f (fromFile, 44100.0, 512);
    f.at (200, test::noteOn (70)).run (4096);
    EXPECT_EQ (0, std::memcmp (r.session.audio.getReadPointer (0), f.session.audio.getReadPointer (0), 4096 * sizeof (float)));
    EXPECT_TRUE (dumped.getTuning().table == edo24);
    EXPECT_EQ (dumped.getTuningDescription(), "MIDI Tuning Standard");

    // A spoilt dump changes nothing.
    VroCore spoilt;
    EXPECT_EQ (renderKey (spoilt, { { 100, sysex (mts::bulkDump (edo24, false, 3)) } }), z);
    EXPECT_TRUE (spoilt.getTuning().table.standard);
}

TEST (TuningSession, MidiRetuningsAreSavedWithTheSession)
{
    TuningFiles files;
    VroCore a;
    loadFiles (a, files, tuningfixtures::edo19, nullptr);
    renderKey (a, { { 10, sysex (mts::noteChange ({ { 70, 70.25 } })) } });
    ASSERT_EQ (a.getTuning().table.pitch[70], 70.25);
    const auto saved = test::state (a);

    VroCore b;
    b.setStateInformation (saved.getData(), (int) saved.getSize());
    const auto t = b.getTuning();
    EXPECT_TRUE (t.table == a.getTuning().table);
    EXPECT_TRUE (t.retunedByMidi);
    EXPECT_EQ (t.scale, a.getTuning().scale);

    // Loading a file starts again from the file.
    loadFiles (b, files, tuningfixtures::edo19, nullptr);
    EXPECT_FALSE (b.getTuning().retunedByMidi);
    EXPECT_NE (b.getTuning().table.pitch[70], 70.25);
}

TEST (Threads, TuningsInstalledWhileBlocksRetuneStayWhole)
{
    // The message thread installs one Scala tuning after another and reads the session's tuning
    // back, while the audio thread's blocks bring bulk dumps of a third: every table read, saved or
    // played is one of the three, whole.
    KeyTuning edo19, edo24, dumped;
    ASSERT_TRUE (tuningfixtures::build (tuningfixtures::edo19, nullptr, edo19));
    ASSERT_TRUE (tuningfixtures::build (tuningfixtures::edo24, nullptr, edo24));
    const double offsets[12] = { 0, 10, 20, 30, 40, 50, -10, -20, -30, -40, -50, 5 };
    const auto octave = mts::scaleOctave (offsets, false, false);
    MidiTuning::apply (octave.data(), (int) octave.size(), dumped);
    // What a block holds after the dump: the dump's own 14-bit fractions (and keys it can reach),
    // not the octave tuning's exact cents.
    const auto dumpBytes = mts::bulkDump (dumped);
    KeyTuning fromDump;
    MidiTuning::apply (dumpBytes.data(), (int) dumpBytes.size(), fromDump);
    const auto dump = sysex (dumpBytes);
    auto isOneOfThem = [&] (const KeyTuning& t) { return t == edo19 || t == edo24 || t == fromDump; };

    VroCore core;
    juce::String error;
    ASSERT_TRUE (core.setTuningFiles ({ "19.scl", tuningfixtures::edo19 }, {}, error));
    std::atomic<bool> stop { false };
    std::thread audio ([&]
    {
        juce::AudioBuffer<float> block (2, 64);
        for (int b = 0; ! stop; ++b)
        {
            juce::MidiBuffer midi;
            if (b % 3 == 0)
                midi.addEvent (dump, 10);
            if (b % 16 == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 60 + b % 12, (juce::uint8) 90), 20);
            core.processBlock (block, midi);
        }
    });
    int torn = 0;
    for (int i = 0; i < 300; ++i)
    {
        const bool nineteen = i % 2 == 0;
        ASSERT_TRUE (core.setTuningFiles ({ nineteen ? "19.scl" : "24.scl", nineteen ? tuningfixtures::edo19 : tuningfixtures::edo24 }, {}, error));
        torn += isOneOfThem (core.getTuning().table) ? 0 : 1;
        if (i % 50 == 0)
        {
            const auto saved = test::state (core);
            VroCore restored;
            restored.setStateInformation (saved.getData(), (int) saved.getSize());
            torn += isOneOfThem (restored.getTuning().table) ? 0 : 1;
        }
    }
    stop = true;
    audio.join();
    EXPECT_EQ (torn, 0);
    juce::AudioBuffer<float> block (2, 64);
    juce::MidiBuffer none;
    core.processBlock (block, none); // takes a table still waiting
    EXPECT_TRUE (isOneOfThem (core.getEngine().getTuning()));
}
