// Tunings as a musician hears them: Scala scales and keyboard mappings, and the MIDI Tuning
// Standard, measured from renders.

#include "SoundFixture.h"
#include "TuningFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
constexpr double kRate = 44100.0;

/** The mean frequency of the upward zero crossings from `from` on, each placed between its two
    samples; a crossing counts only after the signal went well below zero, so ripple cannot add one. */
double zeroCrossingHz (const std::vector<double>& x, size_t from)
{
    double peak = 0.0;
    for (size_t i = from; i < x.size(); ++i)
        peak = std::max (peak, std::abs (x[i]));
    double first = -1.0, last = -1.0;
    int cycles = -1;
    bool armed = false;
    for (size_t i = from + 1; i < x.size(); ++i)
    {
        if (x[i] < -0.2 * peak)
            armed = true;
        if (armed && x[i - 1] < 0.0 && x[i] >= 0.0)
        {
            const double at = (double) (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0.0)
                first = at;
            last = at;
            ++cycles;
            armed = false;
        }
    }
    return cycles > 0 ? kRate * cycles / (last - first) : 0.0;
}

double cents (double hz, double reference) { return 1200.0 * std::log2 (hz / reference); }

/** A plain saw, filter open, at the key's own octave: nothing but the pitch terms of the voice. */
struct PlainSaw : sound::Synth
{
    PlainSaw()
    {
        set (Param::Poly, 0.0);
        set (Param::SubOsc, 0.0);
        set (Param::VcoRange, 0.67); // no octave shift
        set (Param::Transpose, 0.5);
        set (Param::VcfKeyboard, 0.0);
    }

    void load (const char* scl, const char* kbm)
    {
        KeyTuning t;
        ASSERT_TRUE (tuningfixtures::build (scl, kbm, t));
        engine->setTuning (t);
    }

    /** The voice detunes every pitch by a factor near 1, as an analogue one would. */
    double expectedHz (double pitch, const Voice& v) const { return 440.0 * std::exp2 ((pitch * v.detune - 69.0) / 12.0); }
};

Scala::Scale scaleOf (const char* text)
{
    Scala::Scale s;
    Scala::Error e;
    EXPECT_TRUE (Scala::parseScale (text, s, e)) << e.message;
    return s;
}
} // namespace

TEST (Tuning, KeysSoundAtTheirScalesPitches)
{
    struct Case
    {
        const char* scl;
        const char* kbm;
        int key;
        double pitch; // semitones, 69 = 440 Hz
    };
    const double c4 = 69.0 + 12.0 * std::log2 (261.6256 / 440.0);
    const Case cases[] = {
        { tuningfixtures::edo19, nullptr, 70, 69.0 + 12.0 / 19.0 },
        { tuningfixtures::edo19, nullptr, 88, 81.0 },
        { tuningfixtures::edo19, nullptr, 50, 69.0 - 19.0 * 12.0 / 19.0 },
        { tuningfixtures::just7, tuningfixtures::whiteKeys, 60, c4 },
        { tuningfixtures::just7, tuningfixtures::whiteKeys, 64, c4 + 12.0 * std::log2 (5.0 / 4.0) },
        { tuningfixtures::just7, tuningfixtures::whiteKeys, 69, c4 + 12.0 * std::log2 (5.0 / 3.0) },
        { tuningfixtures::just7, tuningfixtures::whiteKeys, 84, c4 + 24.0 },
        { nullptr, tuningfixtures::whiteKeys12, 62, c4 + 1.0 }, // a mapping over equal temperament
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE ("key " + std::to_string (c.key));
        PlainSaw synth;
        synth.load (c.scl, c.kbm);
        synth.engine->noteOn (c.key, 1.0);
        const auto x = synth.render ((int) kRate * 2);
        const double measured = zeroCrossingHz (x, 4410);
        EXPECT_NEAR (cents (measured, synth.expectedHz (c.pitch, synth.engine->getVoices().voice (0))), 0.0, 0.1)
            << measured << " Hz";
    }
}

TEST (Tuning, UnmappedKeysAreSilentAndStealNothing)
{
    PlainSaw synth, untouched;
    synth.load (tuningfixtures::just7, tuningfixtures::whiteKeys);
    untouched.load (tuningfixtures::just7, tuningfixtures::whiteKeys);
    synth.engine->noteOn (61, 1.0);
    EXPECT_EQ (synth.render (4410), untouched.render (4410));

    // Mono: a black key pressed over a held white key leaves it sounding at its pitch.
    synth.engine->noteOn (60, 1.0);
    synth.render (4410);
    synth.engine->noteOn (63, 1.0);
    synth.engine->noteOff (63);
    const auto& v = synth.engine->getVoices().voice (0);
    EXPECT_EQ (v.note, 60);
    EXPECT_GT (sound::rms (synth.render (4410)), 0.01);
}

TEST (Tuning, ArpeggiatorAndSequencerPlayTunedPitches)
{
    struct Case
    {
        const char* name;
        int enable;
        int key, noteOffset;
    };
    for (const auto& c : { Case { "arpeggiator", Param::ArpEnabled, 70, 0 }, Case { "sequencer", Param::SeqEnabled, 69, 1 } })
    {
        SCOPED_TRACE (c.name);
        PlainSaw synth;
        synth.load (tuningfixtures::edo19, nullptr);
        for (auto& step : synth.engine->getPattern().steps)
            step.noteOffset = c.noteOffset;
        synth.set (c.enable, 1.0);
        synth.engine->noteOn (c.key, 1.0);
        const auto x = synth.render ((int) kRate * 2);
        const auto& voice = c.enable == Param::ArpEnabled ? synth.engine->getArpSeq().arpeggiator.voice
                                                          : synth.engine->getArpSeq().sequencer.voice;
        EXPECT_EQ (voice.note, 70);
        EXPECT_NEAR (cents (zeroCrossingHz (x, 4410), synth.expectedHz (69.0 + 12.0 / 19.0, voice)), 0.0, 0.1);
    }
}

TEST (Tuning, PortamentoGlidesBetweenTunedPitches)
{
    PlainSaw synth;
    synth.load (tuningfixtures::edo19, nullptr);
    synth.set (Param::PortamentoMode, 0.0); // glides between overlapping notes
    synth.set (Param::PortamentoValue, 0.3);
    const double from = 69.0, to = 69.0 + 5.0 * 12.0 / 19.0;
    synth.engine->noteOn (69, 1.0);
    synth.render (100);
    synth.engine->noteOn (74, 1.0);
    const auto& p = synth.engine->getVoices().voice (0).portamento;
    double previous = p.current;
    EXPECT_EQ (previous, from);
    for (int i = 0; i < 20000; ++i)
    {
        synth.render (1);
        ASSERT_GE (p.current, previous);
        ASSERT_LE (p.current, to);
        previous = p.current;
    }
    EXPECT_GT (p.current, from + 0.5 * (to - from));
    EXPECT_NEAR (p.current, to, 1e-3);
}

TEST (Tuning, StandardTablesKeepTheStandardPath)
{
    KeyTuning t;
    Scala::Error e;
    // Twelve equal, written out, with the default mapping: the same table as no files at all.
    ASSERT_TRUE (Scala::buildKeyTuning (nullptr, nullptr, t, e));
    EXPECT_TRUE (t.standard);
    auto edo12 = scaleOf ("12 equal\n12\n100.0\n200.\n300.0\n400.0\n500.0\n600.0\n700.0\n800.0\n900.0\n1000.0\n1100.0\n2/1\n");
    ASSERT_TRUE (Scala::buildKeyTuning (&edo12, nullptr, t, e));
    EXPECT_TRUE (t.standard);
    for (int key : { -20, 0, 69, 127, 200 })
        EXPECT_EQ (t.pitchOf (key), (double) key);
}

TEST (Tuning, RepeatsBeyondHearingAreHeldNotRefused)
{
    // Five notes an octave: the outer keys leave hearing, the scale's own notes do not.
    KeyTuning t;
    ASSERT_TRUE (tuningfixtures::build ("slendro\n5\n240.0\n480.0\n720.0\n960.0\n2/1\n", nullptr, t));
    EXPECT_GT (t.pitchOf (127), 135.1);
    PlainSaw synth;
    synth.engine->setTuning (t);
    synth.engine->noteOn (127, 1.0);
    for (double x : synth.render (4410))
        ASSERT_TRUE (std::isfinite (x));
}

TEST (Tuning, ScalaFilesAreRead)
{
    auto s = scaleOf ("! a comment\n!\n  Pythagorean fifth, then cents  \n 3\n 3/2  fifth\n! inside\n\n-5.5\n2 octave\n");
    EXPECT_EQ (s.description, "Pythagorean fifth, then cents");
    ASSERT_EQ (s.cents.size(), 3u);
    EXPECT_NEAR (s.cents[0], 701.955, 1e-3);
    EXPECT_EQ (s.cents[1], -5.5);
    EXPECT_EQ (s.cents[2], 1200.0);
    EXPECT_EQ (scaleOf ("\n1\n2/1\n").description, ""); // an empty description
    EXPECT_EQ (scaleOf ("crlf\r\n1\r\n1200.0\r\n").cents[0], 1200.0);
}

TEST (Tuning, BadFilesAreRefusedWithTheirLine)
{
    struct Case
    {
        bool mapping;
        std::string text;
        int line;
        const char* message;
    };
    const std::string header = "! m.kbm\n0\n0\n127\n60\n69\n440.0\n";
    const Case cases[] = {
        { false, std::string (Scala::maxFileBytes + 1, ' '), 0, "larger than 1 MB" },
        { false, "desc\n4097\n", 2, "outside 1..4096" },
        { false, "desc\n0\n", 2, "outside 1..4096" },
        { false, "desc\nthree\n", 2, "not a whole number" },
        { false, "desc\n2\n3/0\n2/1\n", 3, "zero or negative part" },
        { false, "desc\n2\n-3/2\n2/1\n", 3, "zero or negative part" },
        { false, "desc\n2\n0\n2/1\n", 3, "zero or negative part" },
        { false, "desc\n2\n3/2\nabc\n", 4, "not a ratio" },
        { false, "desc\n2\n10000.5\n2/1\n", 3, "beyond +-10000 cents" },
        { false, "desc\n2\n1.2.3\n2/1\n", 3, "not a number of cents" },
        { false, "desc\n2\nnan.\n2/1\n", 3, "not a number of cents" },
        { false, "desc\n2\n1e999.\n2/1\n", 3, "not a number of cents" },
        { false, "desc\n3\n3/2\n2/1\n", 0, "announces 3 notes but lists 2" },
        { false, "desc\n1\n3/2\n2/1\n", 4, "more pitches than the 1" },
        { false, "desc\n1\n2/1\x01\n", 3, "control character" },
        { false, "! only comments\n", 0, "no description" },
        { true, "! m.kbm\n1\n0\n", 0, "ends before its last key" },
        { true, "1\n0\n127\n60\n69\n440.0\n12\n0\n5\n", 9, "more keys than the 1" },
        { true, "2\n0\n127\n60\n69\n440.0\n12\n0\n", 0, "announces 2 keys but maps 1" },
        { true, "0\n0\n128\n60\n69\n440.0\n12\n", 3, "outside 0..127" },
        { true, "0\n100\n50\n60\n69\n440.0\n12\n", 3, "last key comes before the first" },
        { true, "0\n0\n127\n60\n69\n-440.0\n12\n", 6, "not a frequency" },
        { true, "0\n0\n127\n60\n69\nfast\n12\n", 6, "not a frequency" },
        { true, "1\n0\n127\n60\n69\n440.0\n12\ny\n", 8, "not a whole number" },
        { true, header + "4097\n", 8, "outside 0..4096" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text.substr (0, 60));
        Scala::Error e;
        bool read;
        if (c.mapping)
        {
            Scala::KeyboardMapping m;
            read = Scala::parseKeyboardMapping (c.text, m, e);
        }
        else
        {
            Scala::Scale s;
            read = Scala::parseScale (c.text, s, e);
        }
        EXPECT_FALSE (read);
        EXPECT_EQ (e.line, c.line);
        EXPECT_NE (e.message.find (c.message), std::string::npos) << e.message;
    }
}

TEST (Tuning, TablesThatCannotBeBuiltAreRefusedAndChangeNothing)
{
    struct Case
    {
        const char* scl;
        const char* kbm;
        Scala::Error::File file;
        int line;
        const char* message;
    };
    const Case cases[] = {
        { tuningfixtures::just7, "12\n0\n127\n60\n60\n261.6\n7\n0\nx\n1\nx\n2\n3\nx\n4\nx\n5\nx\n8\n", Scala::Error::File::mapping, 19,
          "degree 8 is beyond the scale's 7 notes" },
        { tuningfixtures::just7, "1\n0\n127\n60\n60\n261.6\n9\n0\n", Scala::Error::File::mapping, 7, "formal octave degree 9" },
        { tuningfixtures::just7, "2\n0\n127\n60\n61\n261.6\n7\n0\nx\n", Scala::Error::File::mapping, 6, "reference key 61 is not mapped" },
        { "falling period\n3\n100.0\n200.0\n-9000.0\n", nullptr, Scala::Error::File::scale, 5, "key 60 would sound at" },
        { nullptr, "0\n0\n127\n60\n69\n25000.0\n12\n", Scala::Error::File::mapping, 6, "reference frequency is above 20000 Hz" },
        { nullptr, "0\n0\n127\n60\n69\n19000.0\n12\n", Scala::Error::File::mapping, 6, "outside 0..20000 Hz" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.message);
        Scala::Scale s;
        Scala::KeyboardMapping m;
        Scala::Error e;
        if (c.scl != nullptr)
        {
            ASSERT_TRUE (Scala::parseScale (c.scl, s, e)) << e.message;
        }
        if (c.kbm != nullptr)
        {
            ASSERT_TRUE (Scala::parseKeyboardMapping (c.kbm, m, e)) << e.message;
        }
        KeyTuning t, before;
        ASSERT_TRUE (tuningfixtures::build (tuningfixtures::edo19, nullptr, t));
        before = t;
        EXPECT_FALSE (Scala::buildKeyTuning (c.scl != nullptr ? &s : nullptr, c.kbm != nullptr ? &m : nullptr, t, e));
        EXPECT_TRUE (t == before);
        EXPECT_EQ (e.file, c.file);
        EXPECT_EQ (e.line, c.line);
        EXPECT_NE (e.message.find (c.message), std::string::npos) << e.message;
    }
}

TEST (MidiTuning, MessagesRetuneTheirKeys)
{
    KeyTuning edo24;
    ASSERT_TRUE (tuningfixtures::build (tuningfixtures::edo24, nullptr, edo24));
    const double offsets[12] = { 0, -10, 20, -30, 40, -50, 60, -64, 63, 5, -5, 0 };
    struct Case
    {
        const char* name;
        std::vector<uint8_t> message;
        MidiTuning::Result result;
        int key;
        double pitch;
    };
    namespace m = tuningfixtures::mts;
    const Case cases[] = {
        { "bulk dump", m::bulkDump (edo24), MidiTuning::Result::nextNote, 70, edo24.pitch[70] },
        { "bulk dump, bank", m::bulkDump (edo24, true), MidiTuning::Result::nextNote, 127, edo24.pitch[127] },
        { "single note", m::noteChange ({ { 70, 70.5 }, { 12, 0.25 } }), MidiTuning::Result::soundingNotes, 12, 0.25 },
        { "single note, bank, real time", m::noteChange ({ { 71, 60.0 } }, true, true), MidiTuning::Result::soundingNotes, 71, 60.0 },
        { "single note, bank", m::noteChange ({ { 71, 60.0 } }, true, false), MidiTuning::Result::nextNote, 71, 60.0 },
        { "scale/octave, 1 byte", m::scaleOctave (offsets, false, false), MidiTuning::Result::nextNote, 67, 66.36 },
        { "scale/octave, 2 bytes, real time", m::scaleOctave (offsets, true, true), MidiTuning::Result::soundingNotes, 68, 68.63 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        KeyTuning t;
        EXPECT_EQ (MidiTuning::apply (c.message.data(), (int) c.message.size(), t), c.result);
        EXPECT_NEAR (t.pitchOf (c.key), c.pitch, 1e-4);
        EXPECT_FALSE (t.standard);
    }
}

TEST (MidiTuning, MalformedMessagesChangeNothing)
{
    KeyTuning edo24;
    ASSERT_TRUE (tuningfixtures::build (tuningfixtures::edo24, nullptr, edo24));
    namespace m = tuningfixtures::mts;
    auto truncated = m::bulkDump (edo24);
    truncated.erase (truncated.end() - 10, truncated.end() - 1);
    auto highBit = m::noteChange ({ { 70, 70.5 } });
    highBit[8] = 0x80 | 70;
    auto countTooLarge = m::noteChange ({ { 70, 70.5 } });
    countTooLarge[6] = 2;
    auto realTimeDump = m::bulkDump (edo24);
    realTimeDump[1] = 0x7f;
    auto noChannel = m::scaleOctave ({ 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10 }, false, true);
    noChannel[5] = noChannel[6] = noChannel[7] = 0;
    auto noEnd = m::noteChange ({ { 70, 70.5 } });
    noEnd.pop_back();
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        { "wrong checksum", m::bulkDump (edo24, false, 1) },
        { "truncated dump", truncated },
        { "a data byte with its high bit", highBit },
        { "more changes announced than sent", countTooLarge },
        { "a bulk dump sent as real time", realTimeDump },
        { "scale/octave for no channel", noChannel },
        { "no end of exclusive", noEnd },
        { "another device's message", { 0xf0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7f, 0x00, 0x41, 0xf7 } },
        { "a dump request", { 0xf0, 0x7e, 0x7f, 0x08, 0x00, 0x00, 0xf7 } },
    };
    for (const auto& [name, message] : cases)
    {
        SCOPED_TRACE (name);
        KeyTuning t = edo24;
        EXPECT_EQ (MidiTuning::apply (message.data(), (int) message.size(), t), MidiTuning::Result::ignored);
        EXPECT_TRUE (t == edo24);
    }
}

TEST (MidiTuning, RealTimeChangesMoveSoundingNotesOthersTheNextNote)
{
    namespace m = tuningfixtures::mts;
    struct Case
    {
        const char* name;
        std::vector<uint8_t> message;
        bool moves;
    };
    const Case cases[] = {
        { "real time", m::noteChange ({ { 70, 70.5 } }), true },
        { "non-real time", m::noteChange ({ { 70, 70.5 } }, true, false), false },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        PlainSaw synth;
        synth.engine->noteOn (70, 1.0);
        synth.render (1000);
        ASSERT_TRUE (synth.engine->applyTuningMessage (c.message.data(), (int) c.message.size()));
        const auto& voice = synth.engine->getVoices().voice (0);
        const double held = zeroCrossingHz (synth.render ((int) kRate * 2), 4410);
        EXPECT_NEAR (cents (held, synth.expectedHz (c.moves ? 70.5 : 70.0, voice)), 0.0, 0.1);

        // The next note of that key takes the new pitch either way.
        synth.engine->noteOff (70);
        synth.engine->noteOn (70, 1.0);
        EXPECT_NEAR (cents (zeroCrossingHz (synth.render ((int) kRate * 2), 4410), synth.expectedHz (70.5, voice)), 0.0, 0.1);
    }
}
