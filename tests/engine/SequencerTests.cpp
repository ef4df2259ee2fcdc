#include "ArpSeqRig.h"

#include <gtest/gtest.h>

namespace
{
constexpr double kStep = 44100.0 / 8.0; // 1/16 at 120 bpm, in samples

long long steps (double n) { return (long long) std::llround (n * kStep); }

void startSequencer (ArpSeqRig& rig, std::initializer_list<int> offsets = {})
{
    rig.set (Param::SeqEnabled, 1.0);
    int i = 0;
    for (int offset : offsets)
        rig.engine.getPattern().steps[i++].noteOffset = offset;
    rig.render (100);
}

/** Renders step by step and reports the envelope's peak in each. */
std::vector<double> peakLevelPerStep (ArpSeqRig& rig, const Envelope& envelope, int count)
{
    std::vector<double> peaks;
    for (int s = 0; s < count; ++s)
    {
        double peak = 0.0;
        for (long long i = 0; i < steps (1); ++i)
        {
            rig.render (1);
            peak = std::max (peak, envelope.level);
        }
        peaks.push_back (peak);
    }
    return peaks;
}
} // namespace

TEST (Sequencer, PlaysThePatternTransposedByTheMostRecentKey)
{
    ArpSeqRig rig;
    rig.set (Param::SeqSteps, 4.0 / 96.0);
    startSequencer (rig, { 0, 3, 7, 12 });

    const long long start = rig.now();
    rig.noteOn (60);
    rig.render (steps (5.5));
    rig.noteOff (60);
    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 63, 67, 72, 60, 63 }));
    const auto ons = rig.noteOns();
    for (size_t i = 0; i < ons.size(); ++i)
        EXPECT_NEAR ((double) (ons[i].time - start), (double) i * kStep, 1.0) << "step " << i;

    // A new phrase starts at step 0; a second key becomes the root from the next step.
    rig.render (steps (2));
    const auto before = rig.noteOns().size();
    rig.noteOn (62);
    rig.render (steps (1.5));
    rig.noteOn (50);
    rig.render (steps (2));
    const auto ons2 = rig.noteOns();
    std::vector<int> phrase2;
    for (size_t i = before; i < ons2.size(); ++i)
        phrase2.push_back (ons2[i].note);
    EXPECT_EQ (phrase2, (std::vector<int> { 62, 65, 57, 62 }));

    rig.noteOff (50);
    rig.noteOff (62);
    EXPECT_EQ (rig.hangingNotes(), 0);
}

TEST (Sequencer, PauseSilencesItsStepAndThePatternMovesOn)
{
    ArpSeqRig rig;
    startSequencer (rig, { 0, 5, 7 });
    rig.engine.getPattern().steps[1].pause = true;
    const long long start = rig.now();
    rig.noteOn (60);
    rig.render (steps (2.5));

    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 67 }));
    const auto offs = rig.noteOffs();
    ASSERT_EQ (offs.size(), 1u);
    EXPECT_NEAR ((double) (offs[0].time - start), kStep, 1.0);
    EXPECT_NEAR ((double) (rig.noteOns()[1].time - start), 2 * kStep, 1.0);
}

TEST (Sequencer, SlideGlidesFromThePreviousNote)
{
    ArpSeqRig rig;
    rig.set (Param::PortamentoMode, 0.0); // glide only between overlapping notes
    rig.set (Param::PortamentoValue, 0.5);
    startSequencer (rig, { 0, 12, 0 });
    rig.engine.getPattern().steps[1].slide = true; // step 2 is not a slide
    const auto& portamento = rig.engine.getArpSeq().sequencer.voice.portamento;

    rig.noteOn (48);
    rig.render (steps (1) + 10);
    EXPECT_GT (portamento.current, 48.0); // on its way up, not yet there
    EXPECT_LT (portamento.current, 59.0);
    rig.render (steps (1));
    EXPECT_EQ (portamento.current, 48.0); // a plain step jumps
    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 48, 60, 48 }));
}

TEST (Sequencer, SlideAdsrContinuesTheEnvelopesExceptRightAfterANewKey)
{
    struct Case
    {
        const char* name;
        double adsrMode;
        bool slideAdsrSteps;
    };
    for (const auto& c : { Case { "slide-ADSR steps", 1.0, true }, Case { "ADSR mode 1", 0.5, false } })
    {
        SCOPED_TRACE (c.name);
        ArpSeqRig rig;
        rig.set (Param::AdsrMode, c.adsrMode);
        rig.set (Param::Sustain, 0.0);
        rig.set (Param::Decay, 0.0);
        startSequencer (rig);
        for (auto& step : rig.engine.getPattern().steps)
            step.slideAdsr = c.slideAdsrSteps;
        const auto& envelope = rig.engine.getArpSeq().sequencer.voice.ampEnvelope;

        rig.noteOn (60);
        auto peaks = peakLevelPerStep (rig, envelope, 3);
        EXPECT_GT (peaks[0], 0.5);
        EXPECT_LT (peaks[1], 0.05);
        EXPECT_LT (peaks[2], 0.05);

        // A new key while the sequence runs restarts them once, at the next step.
        rig.render (steps (0.5));
        rig.noteOn (62);
        rig.render (steps (0.5) - 50);
        peaks = peakLevelPerStep (rig, envelope, 2);
        EXPECT_GT (peaks[0], 0.5);
        EXPECT_LT (peaks[1], 0.05);
    }
}

TEST (Sequencer, HoldKeepsTheSequenceAndANewKeyBecomesTheOnlyRoot)
{
    ArpSeqRig rig;
    rig.set (Param::SeqSteps, 2.0 / 96.0);
    startSequencer (rig, { 0, 7 });
    rig.set (Param::SeqHold, 1.0);

    rig.noteOn (60);
    rig.render (steps (0.5));
    rig.noteOff (60);
    rig.render (steps (1.75));
    rig.noteOn (64); // replaces 60 without restarting the phrase
    rig.render (steps (0.5));
    rig.noteOff (64);
    rig.render (steps (2));
    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 67, 60, 71, 64 }));

    rig.set (Param::SeqHold, 0.0);
    const auto ons = rig.noteOns().size();
    rig.render (steps (3));
    EXPECT_EQ (rig.noteOns().size(), ons);
    EXPECT_EQ (rig.hangingNotes(), 0);
}

TEST (Sequencer, RecordingWritesSuccessiveStepsAndWrapsAtTheLastActiveStep)
{
    ArpSeqRig rig;
    rig.set (Param::SeqSteps, 3.0 / 96.0);
    startSequencer (rig);
    auto& pattern = rig.engine.getPattern();
    pattern.steps[0].slide = pattern.steps[1].pause = true;
    pattern.steps[1].slideAdsr = true;
    pattern.steps[1].length = 0.3;

    rig.set (Param::SeqRecord, 1.0);
    rig.noteOn (62, 127);
    rig.noteOff (62);
    rig.noteOn (55, 64);
    rig.noteOff (55);
    rig.noteOn (72, 100);
    rig.noteOff (72);
    rig.noteOn (61, 32); // past the last active step: back to step 0
    rig.noteOff (61);
    rig.render (100);

    struct Expected
    {
        int offset;
        int velocity;
    };
    const Expected expected[] = { { 1, 32 }, { -5, 64 }, { 12, 100 } };
    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE ("step " + std::to_string (i));
        EXPECT_EQ (pattern.steps[i].noteOffset, expected[i].offset);
        EXPECT_EQ (pattern.steps[i].velocity, (double) ((float) expected[i].velocity * 0.007874016f));
        EXPECT_FALSE (pattern.steps[i].slide);
        EXPECT_FALSE (pattern.steps[i].pause);
    }
    EXPECT_TRUE (pattern.steps[1].slideAdsr); // recording leaves these alone
    EXPECT_EQ (pattern.steps[1].length, 0.3);
    EXPECT_EQ (pattern.steps[3].noteOffset, 0);
    EXPECT_TRUE (rig.noteOns().empty()); // the voice pool plays while recording; the players stay quiet

    // Playing back after recording.
    rig.set (Param::SeqRecord, 0.0);
    rig.noteOn (60);
    rig.render (steps (2.5));
    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 61, 55, 72 }));
}

TEST (Sequencer, StepCountLimitsThePatternAndWrapsAPositionBeyondIt)
{
    struct Case
    {
        double value;
        int steps;
    };
    for (const auto c : { Case { 0.0, 1 }, Case { 1.0 / 96.0, 1 }, Case { 0.16666667, 16 }, Case { 1.0, 96 }, Case { 1.5, 96 },
                          Case { -1.0, 1 }, Case { std::nan (""), 1 } })
    {
        ArpSeqRig rig;
        rig.set (Param::SeqSteps, c.value);
        EXPECT_EQ (rig.engine.getPattern().numberOfSteps, c.steps) << "value " << c.value;
    }

    // One step: every clock step plays step 0.
    {
        ArpSeqRig rig;
        rig.set (Param::SeqSteps, 0.0);
        startSequencer (rig, { 5, 9 });
        rig.noteOn (60);
        rig.render (steps (3.5));
        EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 65, 65, 65, 65 }));
    }

    // Lowering the count below the playing position goes back to step 0 at the next step.
    {
        ArpSeqRig rig;
        startSequencer (rig, { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 });
        rig.noteOn (60);
        rig.render (steps (10.5));
        rig.set (Param::SeqSteps, 4.0 / 96.0);
        rig.render (steps (5));
        EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 60, 61, 62, 63, 60 }));
    }
}

TEST (Sequencer, NotesOutsideTheMidiRangeSoundButAreNotSentToTheHost)
{
    ArpSeqRig rig;
    rig.set (Param::SeqSteps, 3.0 / 96.0);
    startSequencer (rig, { 0, 48, -48 });
    auto& voice = rig.engine.getArpSeq().sequencer.voice;

    for (int root : { 100, 20 })
    {
        SCOPED_TRACE ("root " + std::to_string (root));
        rig.noteOn (root);
        rig.render (steps (1) + 10);
        EXPECT_EQ (voice.note, root + 48);
        rig.render (steps (1));
        EXPECT_EQ (voice.note, root - 48);
        rig.render (steps (1) - 20);
        rig.noteOff (root);
        rig.render (steps (2));
    }

    for (const auto& e : rig.received())
        EXPECT_TRUE (e.note >= 0 && e.note <= 127);
    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 100, 52, 20, 68 }));
    EXPECT_EQ (rig.hangingNotes(), 0);
    EXPECT_TRUE (rig.finite);
}

TEST (Sequencer, QuietStepsAreEchoedAsNoteOnsNotNoteOffs)
{
    // Velocity byte 0 would read as a note-off and leave the real note-off dangling.
    ArpSeqRig rig;
    rig.set (Param::SeqSteps, 3.0 / 96.0);
    startSequencer (rig, { 0, 2, 4 });
    auto& pattern = rig.engine.getPattern();
    pattern.steps[0].velocity = 0.0;
    pattern.steps[1].velocity = 0.005; // below one step of 1/127
    pattern.steps[2].velocity = 1.0;
    rig.noteOn (60);
    rig.render (steps (2.5));
    rig.noteOff (60);
    rig.render (100);

    std::vector<int> velocities;
    for (const auto& e : rig.noteOns())
        velocities.push_back (e.velocity);
    EXPECT_EQ (velocities, (std::vector<int> { 1, 1, 127 }));
    EXPECT_EQ (rig.hangingNotes(), 0);
}
