#include "ArpSeqRig.h"

#include <gtest/gtest.h>

namespace
{
/** A host transport as a DAW reports it: one position per block, ppq advancing with the
    samples played, optionally looping back. */
struct HostTransport
{
    enum class Loop
    {
        none,
        wrap,       // jumps back by the loop length, keeping what ran past the end
        restart     // the next block starts exactly at the loop start
    };

    double sampleRate = 44100.0, bpm = 120.0;
    int blockSize = 512;
    Loop loop = Loop::none;
    double loopStart = 0.0, loopEnd = 0.0; // in quarter notes
    double ppq = 0.0;

    HostPosition next()
    {
        HostPosition p;
        p.bpm = bpm;
        p.ppqPosition = ppq;
        p.isPlaying = true;
        ppq += blockSize / sampleRate * bpm / 60.0;
        if (loop != Loop::none && ppq >= loopEnd)
            ppq = loop == Loop::wrap ? ppq - (loopEnd - loopStart) : loopStart;
        return p;
    }
};

struct Block
{
    long long start;
    HostPosition position;
};

/** Where the host's grid puts each step: every step boundary the host's own timeline crosses
    within a block, at its exact (fractional) sample. */
std::vector<double> hostGrid (const std::vector<Block>& blocks, int blockSize, double sampleRate, double stepsPerQuarter)
{
    std::vector<double> grid;
    for (size_t b = 0; b < blocks.size(); ++b)
    {
        const auto& pos = blocks[b].position;
        const double increment = stepsPerQuarter * pos.bpm / 60.0 / sampleRate;
        const double begin = pos.ppqPosition * stepsPerQuarter;
        double end = begin + blockSize * increment;
        if (b + 1 < blocks.size())
        {
            const double next = blocks[b + 1].position.ppqPosition * stepsPerQuarter;
            if (std::abs (next - end) < 1e-6)
                end = next; // continuous: the next block owns its own start
        }
        for (double k = std::ceil (begin); k < end; k += 1.0)
        {
            const double t = (double) blocks[b].start + (k - begin) / increment;
            // Two boundaries less than a sample apart (a loop end and its start) are one step.
            if (grid.empty() || t - grid.back() >= 1.0)
                grid.push_back (t);
        }
    }
    return grid;
}

struct GridMatch
{
    int expected = 0, missing = 0, extra = 0;
    double worstSamples = 0.0;
};

// A step fires on the sample during which its boundary passes, so up to one sample before the
// exact grid time; the host tempo narrowed to single precision adds millionths of a sample.
constexpr double kMaxShiftSamples = 1.001;

/** Pairs fired steps with grid steps. A boundary in the run's last samples may fall either side
    of its end, so that edge is left out. */
GridMatch matchGrid (const std::vector<double>& grid, const std::vector<long long>& fired, long long endSample)
{
    constexpr double kSearchSamples = 4.0;
    const double edge = (double) endSample - 2.0;
    GridMatch m;
    size_t f = 0;
    for (double t : grid)
    {
        if (t >= edge)
            break;
        ++m.expected;
        while (f < fired.size() && (double) fired[f] < t - kSearchSamples)
        {
            ++m.extra;
            ++f;
        }
        if (f < fired.size() && std::abs ((double) fired[f] - t) <= kSearchSamples)
        {
            m.worstSamples = std::max (m.worstSamples, std::abs ((double) fired[f] - t));
            ++f;
        }
        else
        {
            ++m.missing;
        }
    }
    for (; f < fired.size(); ++f)
        m.extra += (double) fired[f] < edge ? 1 : 0;
    return m;
}

struct Scenario
{
    double bpm;
    int blockSize;
    HostTransport::Loop loop;
    double loopStart, loopEnd;
    double syncMode = 0.0, tempo = 1.0 / 3.0;
    double sampleRate = 44100.0;
    double seconds = 600.0;
};

std::string describe (const Scenario& s)
{
    const char* loops[] = { "no loop", "loop wrapping", "loop restarting" };
    return std::to_string (s.bpm) + " bpm, block " + std::to_string (s.blockSize) + ", " + loops[(int) s.loop] + " "
           + std::to_string (s.loopStart) + ".." + std::to_string (s.loopEnd) + ", sync mode " + std::to_string (s.syncMode)
           + ", tempo " + std::to_string (s.tempo) + ", " + std::to_string (s.sampleRate) + " Hz, " + std::to_string (s.seconds) + " s";
}

double stepsPerQuarter (const StepClock& clock) { return clock.syncModeFactor * clock.rateMultiplier * clock.stepsPerBeat; }

/** The clock as the section drives it in "Host" mode: re-locked once per block, ticked once per
    sample. Returns the samples on which steps fired and the blocks the host reported. */
void runClock (const Scenario& s, double seconds, std::vector<long long>& fired, std::vector<Block>& blocks, double& perQuarter)
{
    EngineSettings settings (s.sampleRate);
    settings.params[Param::SeqSync] = 1.0;
    StepClock clock (s.sampleRate, settings);
    clock.setSyncMode (s.syncMode);
    clock.setSyncedRate (s.tempo, 120.0);
    clock.hostMode = true;
    perQuarter = stepsPerQuarter (clock);

    HostTransport host { s.sampleRate, s.bpm, s.blockSize, s.loop, s.loopStart, s.loopEnd };
    const long long total = (long long) (seconds * s.sampleRate);
    for (long long start = 0; start < total; start += s.blockSize)
    {
        blocks.push_back ({ start, host.next() });
        clock.syncToHost (blocks.back().position);
        for (int i = 0; i < s.blockSize; ++i)
            if (clock.tick (0.0))
                fired.push_back (start + i);
    }
}

std::vector<Scenario> longRunScenarios()
{
    using Loop = HostTransport::Loop;
    std::vector<Scenario> out;
    for (double bpm : { 120.0, 97.3, 174.0 })
        for (int block : { 64, 512, 1024 })
        {
            out.push_back ({ bpm, block, Loop::none, 0, 0 });
            out.push_back ({ bpm, block, Loop::wrap, 8.0, 20.0 });                       // three bars from bar 3
            out.push_back ({ bpm, block, Loop::wrap, 5.1, 12.4, 0.0, 1.0 / 3.0, 44100.0, 60.0 }); // off the step grid
            out.push_back ({ bpm, block, Loop::restart, 8.0, 20.0, 0.0, 1.0 / 3.0, 44100.0, 60.0 }); // lands on a step
            out.push_back ({ bpm, block, Loop::restart, 8.0, 20.0, 0.5, 1.0 / 3.0, 44100.0, 60.0 }); // triplets: between steps
            out.push_back ({ bpm, block, Loop::wrap, 4.0, 16.0, 1.0, 1.0, 44100.0, 60.0 });  // dotted 1/64
        }
    // Blocks landing exactly on step boundaries, where rounding decides which side the host is on.
    for (int block : { 64, 512, 1000 })
        out.push_back ({ 120.0, block, Loop::none, 0, 0, 0.0, 1.0 / 3.0, 48000.0 });
    return out;
}
} // namespace

TEST (ClockHostSync, TenMinutesAgainstTheHostGridLoseDoubleAndShiftNoStep)
{
    for (const auto& s : longRunScenarios())
    {
        SCOPED_TRACE (describe (s));
        std::vector<long long> fired;
        std::vector<Block> blocks;
        double perQuarter = 0.0;
        runClock (s, s.seconds, fired, blocks, perQuarter);

        const auto m = matchGrid (hostGrid (blocks, s.blockSize, s.sampleRate, perQuarter), fired,
                                  blocks.back().start + s.blockSize);
        EXPECT_GT (m.expected, (int) s.seconds); // the run really played
        EXPECT_EQ (m.missing, 0);
        EXPECT_EQ (m.extra, 0);
        EXPECT_LE (m.worstSamples, kMaxShiftSamples);
    }
}

TEST (ClockHostSync, SequencerNotesLandOnTheHostGrid)
{
    // The same through the engine, read from the MIDI the host receives: the key goes down with
    // the transport at the first sample, the first step plays at once.
    using Loop = HostTransport::Loop;
    for (const auto& s : { Scenario { 120.0, 64, Loop::none, 0, 0 }, Scenario { 97.3, 512, Loop::wrap, 5.1, 12.4 },
                           Scenario { 174.0, 1024, Loop::restart, 8.0, 20.0, 0.5 } })
    {
        SCOPED_TRACE (describe (s));
        ArpSeqRig rig (s.blockSize, (float) s.sampleRate);
        rig.set (Param::MainSyncMode, ArpSeqRig::mainSync (1));
        rig.set (Param::ArpSeqSyncMode, s.syncMode);
        rig.set (Param::SeqTempo, s.tempo);
        rig.set (Param::SeqEnabled, 1.0);
        HostTransport host { s.sampleRate, s.bpm, s.blockSize, s.loop, s.loopStart, s.loopEnd };
        std::vector<Block> blocks;
        rig.playHead = [&] (long long start)
        {
            blocks.push_back ({ start, host.next() });
            return blocks.back().position;
        };

        rig.noteOn (48);
        rig.render ((long long) (30.0 * s.sampleRate));

        std::vector<long long> fired;
        for (const auto& e : rig.noteOns())
            fired.push_back (e.time);
        const auto m = matchGrid (hostGrid (blocks, s.blockSize, s.sampleRate, stepsPerQuarter (rig.engine.getClock())), fired,
                                  rig.now());
        EXPECT_GT (m.expected, 100);
        EXPECT_EQ (m.missing, 0);
        EXPECT_EQ (m.extra, 0);
        EXPECT_LE (m.worstSamples, kMaxShiftSamples);
    }
}

TEST (ClockHostSync, ReLockingAtABlockStartPlaysEachBoundaryOnce)
{
    // One block's re-lock, in steps: where the clock's own count got to, where the host says it
    // is, and the samples on which steps then fire. 1/16 at 120 bpm: 5512.5 samples a step.
    struct Case
    {
        const char* name;
        double clockSteps, hostSteps;
        bool skipNextWrap;
        std::vector<int> fires;
    };
    constexpr double tiny = 1e-9;
    const Case cases[] = {
        { "playing on, mid-step", 40.3, 40.3, false, { 3858 } },
        { "host just crossed the boundary the clock was about to reach", 41.0 - tiny, 41.0 + tiny, false, { 0, 5512 } },
        { "clock just played the boundary the host is about to reach", 41.0 + tiny, 41.0 - tiny, false, { 5512 } },
        { "jump to mid-step while the clock was near a boundary", 40.97, 12.4, false, { 3307 } },
        { "jump onto a boundary", 40.4, 12.0, false, { 0, 5512 } },
        { "jump onto a boundary just played at the block end", 41.0 + tiny, 12.0, false, { 5512 } },
        { "host crossed the wrap a new phrase drops", 41.0 - tiny, 41.0 + tiny, true, { 5512 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        EngineSettings settings (44100.0);
        StepClock clock (44100.0, settings);
        clock.setSyncedRate (1.0 / 3.0, 120.0);
        clock.hostMode = true;
        clock.hostLocked = true;
        clock.hostSteps = c.clockSteps;
        clock.phase = c.clockSteps - std::floor (c.clockSteps);
        clock.skipNextWrap = c.skipNextWrap;

        HostPosition position;
        position.isPlaying = true;
        position.ppqPosition = c.hostSteps / 4.0;
        clock.syncToHost (position);

        std::vector<int> fired;
        for (int i = 0; i < 8000; ++i)
            if (clock.tick (0.0))
                fired.push_back (i);

        EXPECT_EQ (fired.size(), c.fires.size());
        if (fired.size() != c.fires.size())
            continue;
        for (size_t i = 0; i < fired.size(); ++i)
            EXPECT_NEAR (fired[i], c.fires[i], 1);
    }
}

TEST (ClockHostSync, FollowsAPlayHeadThatStartsStopsAndJumps)
{
    constexpr double kRate = 44100.0, kStep = kRate / 8.0;
    constexpr int kBlock = 441; // an odd size that divides a second
    ArpSeqRig rig (kBlock);
    rig.set (Param::MainSyncMode, ArpSeqRig::mainSync (1));
    rig.set (Param::SeqEnabled, 1.0);

    // Plays from bar 1, stops mid-step, starts again from bar 5, jumps back to bar 2 from mid-step.
    const long long stopAt = 205 * kBlock, startAt = 300 * kBlock, jumpAt = 503 * kBlock;
    rig.playHead = [&] (long long block)
    {
        HostPosition p;
        p.bpm = 120.0;
        p.isPlaying = block < stopAt || block >= startAt;
        if (block < stopAt)
            p.ppqPosition = (double) block / kRate * 2.0;
        else if (block < startAt)
            p.ppqPosition = (double) stopAt / kRate * 2.0;
        else if (block < jumpAt)
            p.ppqPosition = 16.0 + (double) (block - startAt) / kRate * 2.0;
        else
            p.ppqPosition = 4.0 + (double) (block - jumpAt) / kRate * 2.0;
        return p;
    };

    rig.noteOn (36);
    rig.render (7 * 44100);
    std::vector<long long> fired;
    for (const auto& e : rig.noteOns())
        fired.push_back (e.time);

    auto stepsBetween = [&] (long long from, long long to)
    {
        std::vector<long long> out;
        for (auto t : fired)
            if (t >= from && t < to)
                out.push_back (t);
        return out;
    };

    // Playing: on the host's grid.
    for (auto t : stepsBetween (0, stopAt))
        EXPECT_NEAR (std::fmod ((double) t + 1.0, kStep), 0.5, 1.0) << t;

    // Stopped: the clock keeps its own rate and phase.
    const auto stopped = stepsBetween (stopAt, startAt);
    ASSERT_EQ (stopped.size(), 7u);
    for (size_t i = 1; i < stopped.size(); ++i)
        EXPECT_NEAR ((double) (stopped[i] - stopped[i - 1]), kStep, 1.0);

    // Started at bar 5 and jumped to bar 2, both at block starts and off the old grid: a step on
    // the first sample, then the grid from there, with nothing doubled.
    for (long long at : { startAt, jumpAt })
    {
        SCOPED_TRACE ("from sample " + std::to_string (at));
        const auto after = stepsBetween (at, at + 4 * (long long) kStep);
        EXPECT_EQ (after.size(), 4u);
        if (after.size() != 4u)
            continue;
        for (size_t i = 0; i < after.size(); ++i)
            EXPECT_NEAR ((double) (after[i] - at), (double) i * kStep, 1.0);
    }
}
