// The pattern as a Standard MIDI File: exact bytes, timing at every rate, and where the file goes.
#include "TestSupport.h"
#include "MidiPatternExport.h"

#include <cstdlib>
#include <unistd.h>

namespace
{
std::vector<int> bytesOf (const juce::MemoryBlock& block)
{
    std::vector<int> out;
    for (size_t i = 0; i < block.getSize(); ++i)
        out.push_back ((int) (juce::uint8) block[i]);
    return out;
}

std::vector<int> hex (const char* text)
{
    std::vector<int> out;
    for (const auto& t : juce::StringArray::fromTokens (text, " ", ""))
        out.push_back (t.getHexValue32());
    return out;
}

std::vector<int> trackData (const juce::MemoryBlock& file)
{
    const auto all = bytesOf (file);
    return std::vector<int> (all.begin() + 22, all.end());
}

void twoSteps (StepPattern& p, double velocity1, double length1, int offset2, double velocity2, double length2)
{
    p.numberOfSteps = 2;
    p.steps[0].velocity = velocity1;
    p.steps[0].length = length1;
    p.steps[1].noteOffset = offset2;
    p.steps[1].velocity = velocity2;
    p.steps[1].length = length2;
}

/** (tick, note, velocity or -1 for a note off) of every event, as a reader of the file sees it. */
std::vector<std::tuple<int, int, int>> readBack (const juce::MemoryBlock& bytes)
{
    juce::MemoryInputStream in (bytes, false);
    juce::MidiFile file;
    EXPECT_TRUE (file.readFrom (in));
    EXPECT_EQ (file.getNumTracks(), 1);
    EXPECT_EQ (file.getTimeFormat(), 960);
    std::vector<std::tuple<int, int, int>> events;
    for (auto* e : *file.getTrack (0))
        if (e->message.isNoteOnOrOff())
            events.emplace_back ((int) e->message.getTimeStamp(), e->message.getNoteNumber(),
                                 e->message.isNoteOn (true) ? e->message.getVelocity() : -1);
    return events;
}
} // namespace

TEST (MidiExport, WritesTheTwoReferenceFilesByteForByte)
{
    auto settings = std::make_unique<EngineSettings> (44100.0);
    StepClock clock { 44100.0, *settings };
    EXPECT_EQ (MidiPatternExport::stepTicks (clock), 240.0);

    StepPattern plain;
    twoSteps (plain, 0.5, 0.5, 12, 1.0, 1.0);
    EXPECT_EQ (bytesOf (MidiPatternExport::fileBytes (plain, 240.0)),
               hex ("4D 54 68 64 00 00 00 06 00 01 00 01 03 C0 4D 54 72 6B 00 00 00 15 00 90 3C 40 78 80 3C 01 "
                    "78 90 48 7F 81 70 80 48 01 00 FF 2F 00"));

    // A full step into a sliding one ends 24 ticks into it; running status on both pairs.
    StepPattern legato;
    twoSteps (legato, 0.8, 1.0, 12, 0.8, 1.0);
    legato.steps[1].slide = true;
    EXPECT_EQ (trackData (MidiPatternExport::fileBytes (legato, 240.0)),
               hex ("00 90 3C 66 81 70 48 66 18 80 3C 01 81 58 48 01 00 FF 2F 00"));
}

TEST (MidiExport, StepLengthFollowsRateAndSyncMode)
{
    auto settings = std::make_unique<EngineSettings> (44100.0);
    StepClock clock { 44100.0, *settings };
    struct Case { double multiplier, factor, ticks; };
    for (auto c : { Case { 1, 1, 240 }, Case { 2, 1, 120 }, Case { 0.5, 1, 480 }, Case { 3, 1, 80 },
                    Case { 1, 2.0 / 3.0, 360 }, Case { 1, 0.75, 320 } })
    {
        clock.rateMultiplier = c.multiplier;
        clock.syncModeFactor = c.factor;
        SCOPED_TRACE (c.multiplier);
        SCOPED_TRACE (c.factor);
        const double s = MidiPatternExport::stepTicks (clock);
        EXPECT_NEAR (s, c.ticks, 1e-9);
        StepPattern p;
        p.numberOfSteps = 2;
        const auto events = readBack (MidiPatternExport::fileBytes (p, s));
        ASSERT_EQ (events.size(), 4u);
        EXPECT_EQ (std::get<0> (events[2]), (int) c.ticks); // the second note on
    }
}

TEST (MidiExport, PausesRestOnlyActiveStepsCountAndTheLastStepLooksAtTheFirst)
{
    StepPattern p;
    p.numberOfSteps = 3;
    p.steps[1].pause = true;
    p.steps[2].noteOffset = 60;   // past the editor's range, as a random octave fill leaves it
    p.steps[0].slideAdsr = true;  // the last active step wraps to this one
    p.steps[3].noteOffset = 5;    // inactive: never written
    p.steps[0].velocity = 0.0;
    const auto events = readBack (MidiPatternExport::fileBytes (p, 240.0));
    using E = std::tuple<int, int, int>;
    // Step 1 keeps its note on even at velocity 0.
    const std::vector<E> expected { E { 0, 60, 0 }, E { 240, 60, -1 }, E { 480, 120, 64 }, E { 744, 120, -1 } };
    EXPECT_EQ (events, expected);

    for (auto& s : p.steps)
        s.pause = true;
    EXPECT_EQ (trackData (MidiPatternExport::fileBytes (p, 240.0)), hex ("00 FF 2F 00"));
}

TEST (MidiExport, VelocityBytesRoundFromSinglePrecision)
{
    struct Case { double velocity; int byte; };
    for (auto c : { Case { 0.5, 64 }, Case { 0.8, 102 }, Case { 1.0, 127 }, Case { 0.0, 0 }, Case { 0.004, 1 } })
    {
        StepPattern p;
        p.numberOfSteps = 1;
        p.steps[0].velocity = c.velocity;
        EXPECT_EQ (trackData (MidiPatternExport::fileBytes (p, 240.0))[3], c.byte) << c.velocity;
    }
}

TEST (MidiExport, FilesGoBesideTheTemporaryFolderUnderFreshNames)
{
    const auto root = juce::File::createTempFile ("vro-export");
    const auto temp = root.getChildFile ("tmp");
    temp.createDirectory();
    const juce::String previous = juce::SystemStats::getEnvironmentVariable ("TMPDIR", {});
    setenv ("TMPDIR", temp.getFullPathName().toRawUTF8(), 1);

    VroCore core;
    auto& p = core.getPattern();
    p.numberOfSteps = 2;
    const auto first = exportMidiFile (core);
    const auto second = exportMidiFile (core);
    EXPECT_EQ (first.getParentDirectory(), root);
    EXPECT_TRUE (first.existsAsFile());
    EXPECT_NE (first, second);
    EXPECT_EQ (first.getFileExtension(), ".mid");
    EXPECT_TRUE (first.getFileNameWithoutExtension().containsOnly ("0123456789abcdef"));
    EXPECT_EQ (first.getFileNameWithoutExtension().length(), 32);
    juce::MemoryBlock written;
    first.loadFileAsData (written);
    EXPECT_EQ (written, MidiPatternExport::fileBytes (p, 240.0));

    // A parent that takes no files falls back to the temporary folder instead of a missing file.
    root.setReadOnly (true, false);
    const auto fallback = exportMidiFile (core);
    root.setReadOnly (false, false);
    if (geteuid() != 0) // root writes anywhere
    {
        EXPECT_EQ (fallback.getParentDirectory(), temp);
        EXPECT_TRUE (fallback.existsAsFile());
    }

    // Nowhere to write: reported, and nothing left behind.
    const auto plainFile = root.getChildFile ("plain");
    plainFile.replaceWithText ("x");
    EXPECT_FALSE (writeMidiFileTo (p, core.getEngine().getClock(), plainFile.getChildFile ("pattern.mid")));

    // A temporary folder right below the root keeps its files: nothing is dropped into "/".
    setenv ("TMPDIR", "/tmp", 1);
    const auto underTmp = exportMidiFile (core);
    EXPECT_EQ (underTmp.getParentDirectory(), juce::File ("/tmp"));
    underTmp.deleteFile();

    if (previous.isEmpty())
        unsetenv ("TMPDIR");
    else
        setenv ("TMPDIR", previous.toRawUTF8(), 1);
    root.deleteRecursively();
}
