#include "ArpSeqRig.h"

#include <gtest/gtest.h>
#include <set>

namespace
{
constexpr double kStep = 44100.0 / 8.0; // 1/16 at 120 bpm, in samples

long long stepsLong (double steps) { return (long long) std::llround (steps * kStep); }

void startArpeggiator (ArpSeqRig& rig, int mode)
{
    rig.set (Param::ArpMode, ArpSeqRig::arpMode (mode));
    rig.set (Param::ArpEnabled, 1.0);
    rig.render (100); // the section has been running before the first key
}
} // namespace

TEST (Arpeggiator, PlaysEachOrderOfAHeldChordOnTheStepGrid)
{
    struct Case
    {
        int mode;
        std::vector<int> expected;
    };
    // Keys go down in the order 64, 60, 67.
    const Case cases[] = {
        { 0, { 60, 64, 67, 60, 64, 67 } },
        { 1, { 60, 64, 67, 64, 60, 64, 67, 64 } },
        { 2, { 60, 64, 67, 67, 64, 60, 60, 64, 67 } },
        { 3, { 67, 64, 60, 67, 64, 60 } },
        { 4, { 67, 60, 64, 67, 60, 64 } },
        { 6, { 64, 60, 67, 64, 60, 67 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE ("mode " + std::to_string (c.mode));
        ArpSeqRig rig;
        startArpeggiator (rig, c.mode);
        const long long start = rig.now();
        rig.noteOn (64);
        rig.noteOn (60);
        rig.noteOn (67);
        rig.render (stepsLong ((double) c.expected.size() - 0.5));

        EXPECT_EQ (rig.notesPlayed(), c.expected);
        const auto ons = rig.noteOns();
        for (size_t i = 0; i < ons.size(); ++i)
            EXPECT_NEAR ((double) (ons[i].time - start), (double) i * kStep, 1.0) << "step " << i;
    }
}

TEST (Arpeggiator, RandomOrderNeverRepeatsAPosition)
{
    ArpSeqRig rig;
    startArpeggiator (rig, 5);
    for (int note : { 60, 62, 64, 65 })
        rig.noteOn (note);
    rig.render (stepsLong (400));

    const auto notes = rig.notesPlayed();
    ASSERT_GE (notes.size(), 400u);
    for (size_t i = 1; i < notes.size(); ++i)
        ASSERT_NE (notes[i], notes[i - 1]) << "step " << i;
    EXPECT_EQ (std::set<int> (notes.begin(), notes.end()), (std::set<int> { 60, 62, 64, 65 }));
}

TEST (Arpeggiator, OneHeldNoteIsHeldWhenTheOrderHasOneEntry)
{
    // "U&D II" doubles its end notes, so one key gives the order 60 60: struck on every step.
    const struct { int mode; bool restruck; } cases[] = { { 0, false }, { 2, true }, { 5, false }, { 6, false } };
    for (const auto& c : cases)
    {
        SCOPED_TRACE ("mode " + std::to_string (c.mode));
        ArpSeqRig rig;
        startArpeggiator (rig, c.mode);
        rig.noteOn (60);
        rig.render (stepsLong (7.5));

        const auto played = rig.notesPlayed();
        EXPECT_EQ (played, std::vector<int> (c.restruck ? 8 : 1, 60));
        EXPECT_EQ (rig.noteOffs().size(), played.size() - 1);
        EXPECT_EQ (rig.engine.getPattern().position, c.restruck ? 7 : 0);

        rig.noteOff (60);
        EXPECT_EQ (rig.noteOffs().size(), played.size());
        EXPECT_EQ (rig.hangingNotes(), 0);
    }
}

TEST (Arpeggiator, HoldKeepsPlayingReleasedKeysAndANewKeyReplacesThem)
{
    // Hold from the "SEQ Hold" switch, or from the sustain pedal while the arpeggiator is on.
    struct Case
    {
        const char* name;
        std::function<void (ArpSeqRig&, bool)> hold;
    };
    const Case cases[] = {
        { "SEQ Hold", [] (ArpSeqRig& r, bool on) { r.set (Param::SeqHold, on ? 1.0 : 0.0); } },
        // Automation or a document can leave the switch between its two positions: any value but 0 holds.
        { "SEQ Hold 0.101", [] (ArpSeqRig& r, bool on) { r.set (Param::SeqHold, on ? 0.101 : 0.0); } },
        { "pedal", [] (ArpSeqRig& r, bool on) { r.engine.setHold (on); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ArpSeqRig rig;
        startArpeggiator (rig, 0);
        c.hold (rig, true);
        rig.noteOn (60);
        rig.noteOn (64);
        rig.render (stepsLong (0.5));
        rig.noteOff (60);
        rig.noteOff (64);
        rig.render (stepsLong (4));
        EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 64, 60, 64, 60 }));

        // A new key after all were released replaces the set; alone, it is held.
        rig.noteOn (67);
        rig.render (stepsLong (4));
        EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 64, 60, 64, 60, 67 }));

        // Re-applying the same hold state changes nothing.
        c.hold (rig, true);
        rig.render (stepsLong (1));
        EXPECT_EQ (rig.hangingNotes(), 1);

        // Hold off silences the arpeggio and the host is told.
        c.hold (rig, false);
        const auto ons = rig.noteOns().size();
        rig.render (stepsLong (4));
        EXPECT_EQ (rig.noteOns().size(), ons);
        EXPECT_EQ (rig.hangingNotes(), 0);
    }
}

TEST (Arpeggiator, ReapplyingHoldOffKeepsAnArpeggioOfHeldKeys)
{
    ArpSeqRig rig;
    startArpeggiator (rig, 0);
    rig.noteOn (60);
    rig.noteOn (64);
    rig.render (stepsLong (1.5));
    rig.set (Param::SeqHold, 0.0); // a preset re-applied with hold off, as it already was
    rig.render (stepsLong (2));
    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 64, 60, 64 }));
}

TEST (Arpeggiator, PauseStepReleasesTheNoteAndKeepsItsPlaceInTheOrder)
{
    ArpSeqRig rig;
    startArpeggiator (rig, 0);
    rig.engine.getPattern().steps[1].pause = true;
    const long long start = rig.now();
    rig.noteOn (60);
    rig.noteOn (64);
    rig.noteOn (67);
    rig.render (stepsLong (4.5));

    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 64, 67, 60 }));
    const auto ons = rig.noteOns();
    EXPECT_NEAR ((double) (ons[1].time - start), 2 * kStep, 1.0); // step 1 is silent
    const auto offs = rig.noteOffs();
    ASSERT_FALSE (offs.empty());
    EXPECT_EQ (offs[0].note, 60);
    EXPECT_NEAR ((double) (offs[0].time - start), kStep, 1.0);
}

TEST (Arpeggiator, StepLengthEndsTheNoteUnlessItTies)
{
    struct Case
    {
        double length;
        double expectedOffInSteps; // 1.0: tied, released only by the next step
    };
    for (const auto c : { Case { 0.25, 0.25 }, Case { 0.94, 0.94 }, Case { 0.95, 1.0 }, Case { 1.0, 1.0 } })
    {
        SCOPED_TRACE ("length " + std::to_string (c.length));
        ArpSeqRig rig;
        startArpeggiator (rig, 0);
        for (auto& step : rig.engine.getPattern().steps)
            step.length = c.length;
        const long long start = rig.now();
        rig.noteOn (60);
        rig.noteOn (64);
        rig.render (stepsLong (1.5));

        const auto offs = rig.noteOffs();
        if (offs.empty())
        {
            ADD_FAILURE() << "no note-off";
            continue;
        }
        EXPECT_EQ (offs[0].note, 60);
        EXPECT_NEAR ((double) (offs[0].time - start), c.expectedOffInSteps * kStep, 1.0);
    }
}

TEST (Arpeggiator, FirstStepOfAPhraseStartsTheEnvelopesEvenWhenStepsAreLegato)
{
    // Sustain 0 and a short decay: a step that restarts the envelopes is heard, one that
    // continues them stays silent.
    struct Case
    {
        const char* name;
        double adsrMode;
        bool slideAdsrSteps;
    };
    for (const auto& c : { Case { "ADSR mode 1", 0.5, false }, Case { "slide-ADSR steps", 1.0, true } })
    {
        SCOPED_TRACE (c.name);
        ArpSeqRig rig;
        startArpeggiator (rig, 0);
        rig.set (Param::AdsrMode, c.adsrMode);
        rig.set (Param::Sustain, 0.0);
        rig.set (Param::Decay, 0.0);
        rig.set (Param::Attack, 0.0);
        for (auto& step : rig.engine.getPattern().steps)
            step.slideAdsr = c.slideAdsrSteps;
        auto& envelope = rig.engine.getArpSeq().arpeggiator.voice.ampEnvelope;

        auto peakLevelPerStep = [&] (int steps)
        {
            std::vector<double> peaks;
            for (int s = 0; s < steps; ++s)
            {
                double peak = 0.0;
                for (long long i = 0; i < stepsLong (1); ++i)
                {
                    rig.render (1);
                    peak = std::max (peak, envelope.level);
                }
                peaks.push_back (peak);
            }
            return peaks;
        };

        for (int phrase = 0; phrase < 2; ++phrase)
        {
            SCOPED_TRACE ("phrase " + std::to_string (phrase));
            rig.noteOn (60);
            rig.noteOn (64);
            const auto peaks = peakLevelPerStep (3);
            EXPECT_GT (peaks[0], 0.5);
            EXPECT_LT (peaks[1], 0.05);
            EXPECT_LT (peaks[2], 0.05);
            rig.noteOff (60);
            rig.noteOff (64);
            rig.render (stepsLong (4));
        }
        EXPECT_EQ (rig.hangingNotes(), 0);
    }
}

TEST (Arpeggiator, ModeChangesUnderHoldArrangeTheLatchedKeysInTheirPressOrder)
{
    ArpSeqRig rig;
    startArpeggiator (rig, 0);
    rig.set (Param::SeqHold, 1.0);
    for (int note : { 64, 60, 67 })
        rig.noteOn (note);
    for (int note : { 64, 60, 67 })
        rig.noteOff (note);

    auto orderAfterModeChange = [&] (int mode)
    {
        rig.set (Param::ArpMode, ArpSeqRig::arpMode (mode));
        const auto& a = rig.engine.getArpSeq().arpeggiator;
        return std::vector<int> (a.playOrder, a.playOrder + a.playCount);
    };
    EXPECT_EQ (orderAfterModeChange (6), (std::vector<int> { 64, 60, 67 }));
    EXPECT_EQ (orderAfterModeChange (6), (std::vector<int> { 64, 60, 67 })); // a re-applied program
    EXPECT_EQ (orderAfterModeChange (4), (std::vector<int> { 67, 60, 64 }));
    EXPECT_EQ (orderAfterModeChange (1), (std::vector<int> { 60, 64, 67, 64 }));

    // After a panic no mode change brings the latched keys back.
    rig.set (Param::Panic, 1.0);
    EXPECT_TRUE (orderAfterModeChange (0).empty());
    rig.render (stepsLong (3));
    EXPECT_EQ (rig.hangingNotes(), 0);
}
