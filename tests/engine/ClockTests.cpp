#include "ArpSeqRig.h"

#include <gtest/gtest.h>

namespace
{
constexpr double kRate = 44100.0;

/** A sequencer holding one key, so every clock step reaches the host as a note-on. */
void holdSequence (ArpSeqRig& rig)
{
    rig.set (Param::SeqEnabled, 1.0);
    rig.render (100);
    rig.noteOn (60);
}

std::vector<long long> onTimes (const ArpSeqRig& rig, long long from)
{
    std::vector<long long> times;
    for (const auto& e : rig.noteOns())
        times.push_back (e.time - from);
    return times;
}
} // namespace

TEST (Clock, FreeAndSyncedRatesGiveTheirStepsPerSecond)
{
    struct Case
    {
        const char* name;
        double sync, tempo, syncMode;
        double stepsPerSecond;
        const char* text;
    };
    const Case cases[] = {
        { "free slowest", 0.0, 0.0, 0.0, 1.0, "1.00" },
        { "free fastest", 0.0, 1.0, 0.0, 25.0, "25.00" },
        { "1/8", 1.0, 0.0, 0.0, 4.0, "1/8" },
        { "1/16", 1.0, 1.0 / 3.0, 0.0, 8.0, "1/16" },
        { "1/16 TRI", 1.0, 1.0 / 3.0, 0.5, 8.0 * 0.6666666666666666, "1/16" },
        { "1/16 DOT", 1.0, 1.0 / 3.0, 1.0, 6.0, "1/16" },
        { "1/32", 1.0, 2.0 / 3.0, 0.0, 16.0, "1/32" },
        { "1/64", 1.0, 1.0, 0.0, 24.0, "1/64" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ArpSeqRig rig;
        rig.set (Param::ArpSeqSyncMode, c.syncMode);
        rig.set (Param::SeqSync, c.sync);
        rig.set (Param::SeqTempo, c.tempo);
        EXPECT_EQ (rig.engine.getClock().getRateText(), c.text);

        holdSequence (rig);
        const long long start = rig.now();
        const double stepSamples = kRate / c.stepsPerSecond;
        rig.render ((long long) (stepSamples * 20.5));
        const auto times = onTimes (rig, start);
        EXPECT_EQ (times.size(), 21u);
        if (times.size() != 21u)
            continue;
        for (size_t i = 0; i < times.size(); ++i)
            EXPECT_NEAR ((double) times[i], (double) i * stepSamples, 1.0) << "step " << i;
    }
}

TEST (Clock, SyncedRateFollowsTheTempoAndTheSampleRate)
{
    ArpSeqRig rig;
    rig.engine.setTempo (90.0); // 6 sixteenths per second
    holdSequence (rig);
    rig.render (44000);
    auto ons = rig.noteOns();
    ASSERT_EQ (ons.size(), 6u);
    EXPECT_NEAR ((double) (ons[5].time - ons[4].time), 7350.0, 1.0);

    rig.engine.setSampleRate (88200.0f); // the same musical rate at the new sample rate
    rig.render (3 * 14700);
    ons = rig.noteOns();
    ASSERT_GE (ons.size(), 8u);
    EXPECT_NEAR ((double) (ons.back().time - ons[ons.size() - 2].time), 14700.0, 1.0);
}

TEST (Clock, SwingDelaysOffBeatStepsBySwingSquaredTimesHalfAStep)
{
    constexpr double stepSamples = kRate / 8.0;
    for (double swing : { 0.0, 0.5, 1.0 })
    {
        SCOPED_TRACE ("swing " + std::to_string (swing));
        ArpSeqRig rig;
        rig.set (Param::Swing, swing);
        holdSequence (rig);
        const long long start = rig.now();
        rig.render ((long long) (stepSamples * 7.9));

        const auto times = onTimes (rig, start);
        EXPECT_EQ (times.size(), 8u);
        if (times.size() != 8u)
            continue;
        const double delay = swing * swing * 0.5 * stepSamples;
        for (size_t i = 0; i < times.size(); ++i)
            EXPECT_NEAR ((double) times[i], (double) i * stepSamples + (i % 2 == 1 ? delay : 0.0), 1.0) << "step " << i;
    }
}

TEST (Clock, MidiClockStepsOnEveryNthClockFromTheFirstAfterStart)
{
    constexpr int kClockSamples = 900;
    struct Case
    {
        double tempo;
        int clocksPerStep;
    };
    for (const auto c : { Case { 0.0, 12 }, Case { 1.0 / 3.0, 6 }, Case { 2.0 / 3.0, 3 }, Case { 1.0, 2 } })
    {
        SCOPED_TRACE ("clocks per step " + std::to_string (c.clocksPerStep));
        ArpSeqRig rig;
        rig.set (Param::SeqTempo, c.tempo);
        rig.set (Param::MainSyncMode, ArpSeqRig::mainSync (2));
        for (auto& step : rig.engine.getPattern().steps)
            step.length = 0.25; // ignored: a note lasts until the next clocked step
        holdSequence (rig);
        rig.render (5000);
        EXPECT_TRUE (rig.noteOns().empty()); // nothing plays without clocks

        auto clocks = [&] (int count, std::vector<int>& stepClocks, int& clockNumber)
        {
            for (int i = 0; i < count; ++i)
            {
                const auto before = rig.noteOns().size();
                rig.engine.midiClockTick();
                rig.render (kClockSamples);
                ++clockNumber;
                if (rig.noteOns().size() > before)
                    stepClocks.push_back (clockNumber);
            }
        };

        std::vector<int> stepClocks;
        int clockNumber = 0;
        rig.engine.midiStart();
        const int n = c.clocksPerStep;
        clocks (3 * n + 2, stepClocks, clockNumber);
        EXPECT_EQ (stepClocks, (std::vector<int> { 1, 1 + n, 1 + 2 * n, 1 + 3 * n }));

        // Continue restarts the count wherever it was.
        stepClocks.clear();
        clockNumber = 0;
        rig.engine.midiStart();
        clocks (n + 1, stepClocks, clockNumber);
        EXPECT_EQ (stepClocks, (std::vector<int> { 1, 1 + n }));
        EXPECT_TRUE (rig.noteOffs().size() + 1 == rig.noteOns().size()); // tied from step to step
    }
}

TEST (Clock, MidiClockIsIgnoredInOtherSyncModes)
{
    ArpSeqRig rig;
    holdSequence (rig); // "Trigger" mode: the clock runs itself
    rig.engine.midiStart();
    for (int i = 0; i < 48; ++i)
    {
        rig.engine.midiClockTick();
        rig.render (100);
    }
    EXPECT_EQ (rig.noteOns().size(), 1u); // only the first step at the key; 4800 samples < one step
}

TEST (Clock, ExternalTriggersStepThePatternOnTheirSample)
{
    ArpSeqRig rig;
    rig.set (Param::SeqSteps, 3.0 / 96.0);
    rig.set (Param::MainSyncMode, ArpSeqRig::mainSync (3));
    rig.engine.getPattern().steps[1].noteOffset = 2;
    rig.engine.getPattern().steps[2].noteOffset = 4;
    holdSequence (rig);
    rig.render (30000);
    EXPECT_TRUE (rig.noteOns().empty());

    const long long start = rig.now();
    for (long long at : { 0, 7, 20000, 20001, 50000 })
    {
        rig.renderUntil (start + at);
        rig.engine.getPattern().changed = false;
        rig.engine.externalTrigger();
        EXPECT_TRUE (rig.engine.getPattern().changed.load());
    }
    rig.render (10000);
    EXPECT_EQ (onTimes (rig, start), (std::vector<long long> { 0, 7, 20000, 20001, 50000 }));
    EXPECT_EQ (rig.notesPlayed(), (std::vector<int> { 60, 62, 64, 60, 62 }));
}
