// The step menu's whole-pattern edits: shifts, spreads and the random fills of the active steps.
#include "PatternOperations.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace
{
/** Every step distinct: note i, velocity and length from i, slide/pause flags by pattern. */
void fillDistinct (StepPattern& p)
{
    for (int i = 0; i < StepPattern::maxSteps; ++i)
    {
        auto& s = p.steps[i];
        s.noteOffset = i - 48;
        s.velocity = i / 100.0;
        s.length = 1.0 - i / 200.0;
        s.slide = i % 3 == 0;
        s.slideAdsr = i % 5 == 0;
        s.pause = i % 7 == 0;
    }
    p.changed = false;
}

bool sameUserFields (const PatternStep& a, const PatternStep& b)
{
    return a.slide == b.slide && a.slideAdsr == b.slideAdsr && a.pause == b.pause && a.noteOffset == b.noteOffset
           && a.velocity == b.velocity && a.length == b.length;
}

/** Steps the draws from a list, then repeats the last. */
PatternOperations::Draw draws (std::vector<double> values)
{
    auto at = std::make_shared<size_t> (0);
    return [values, at] { return values[std::min (values.size() - 1, (*at)++)]; };
}
} // namespace

TEST (PatternOperations, DeleteShiftsLaterStepsDownAndKeepsIndexOffbeatAndLength)
{
    StepPattern p, before;
    fillDistinct (p);
    fillDistinct (before);
    p.numberOfSteps = 16;

    PatternOperations::deleteStep (p, 0);
    for (int a = 0; a < 95; ++a)
        EXPECT_TRUE (sameUserFields (p.steps[a], before.steps[a + 1])) << "step " << a;
    EXPECT_TRUE (sameUserFields (p.steps[94], p.steps[95]));
    for (int i = 0; i < 96; ++i)
    {
        EXPECT_EQ (p.steps[i].index, i);
        EXPECT_EQ (p.steps[i].offbeat, i % 2 == 1);
    }
    EXPECT_EQ (p.numberOfSteps, 16);
    EXPECT_TRUE (p.changed);

    // In the middle: steps before the deleted one stay.
    fillDistinct (p);
    PatternOperations::deleteStep (p, 40);
    EXPECT_TRUE (sameUserFields (p.steps[39], before.steps[39]));
    EXPECT_TRUE (sameUserFields (p.steps[40], before.steps[41]));
}

TEST (PatternOperations, CopyDuplicatesTheStepAndDropsTheLast)
{
    StepPattern p, before;
    fillDistinct (p);
    fillDistinct (before);

    PatternOperations::copyStep (p, 10);
    for (int i = 0; i <= 10; ++i)
        EXPECT_TRUE (sameUserFields (p.steps[i], before.steps[i])) << "step " << i;
    for (int i = 11; i < 96; ++i)
        EXPECT_TRUE (sameUserFields (p.steps[i], before.steps[i - 1])) << "step " << i;
    EXPECT_EQ (p.steps[50].index, 50);
}

TEST (PatternOperations, OperationsOnTheLastStepMoveNothingButStillAskForARefresh)
{
    for (auto op : { &PatternOperations::copyStep, &PatternOperations::deleteStep })
    {
        StepPattern p, before;
        fillDistinct (p);
        fillDistinct (before);
        op (p, 95);
        for (int i = 0; i < 96; ++i)
            EXPECT_TRUE (sameUserFields (p.steps[i], before.steps[i])) << "step " << i;
        EXPECT_TRUE (p.changed);
    }
}

TEST (PatternOperations, GlobalVelocityAndLengthReachInactiveSteps)
{
    StepPattern p;
    fillDistinct (p);
    p.numberOfSteps = 4;
    PatternOperations::setVelocityGlobal (p, 30);
    PatternOperations::setLengthGlobal (p, 2);
    for (const auto& s : p.steps)
    {
        EXPECT_EQ (s.velocity, 0.30);
        EXPECT_EQ (s.length, 0.99);
    }
    EXPECT_EQ (p.steps[5].noteOffset, 5 - 48);
}

TEST (PatternOperations, RandomValuesFollowTheirFormulasOnActiveStepsOnly)
{
    using namespace PatternOperations;
    using Fill = void (*) (StepPattern&, const Draw&);
    struct Case
    {
        const char* name;
        std::function<void (StepPattern&, const Draw&)> run;
        double r;
        int note;         // expected noteOffset, or the old one when the fill leaves notes alone
        double velocity;  // expected, or negative for "unchanged"
        double length;
    };
    const Case cases[] = {
        { "notes r=0", static_cast<Fill> (randomizeNotes), 0.0, -48, -1, -1 },
        { "notes r=1", static_cast<Fill> (randomizeNotes), 1.0, 48, -1, -1 },
        { "notes r=0.5", static_cast<Fill> (randomizeNotes), 0.5, 0, -1, -1 },
        { "notes truncate toward zero below", static_cast<Fill> (randomizeNotes), 0.49, 0, -1, -1 },  // -0.96
        { "notes truncate toward zero above", static_cast<Fill> (randomizeNotes), 0.26, -23, -1, -1 }, // -23.04
        { "5 octaves r=1", [] (StepPattern& p, const Draw& d) { randomizeOctaves (p, 5, d); }, 1.0, 60, -1, -1 },
        { "2 octaves r=0.74", [] (StepPattern& p, const Draw& d) { randomizeOctaves (p, 2, d); }, 0.74, 12, -1, -1 },
        { "2 octaves r=0.75", [] (StepPattern& p, const Draw& d) { randomizeOctaves (p, 2, d); }, 0.75, 24, -1, -1 },
        { "1 octave r=0.2", [] (StepPattern& p, const Draw& d) { randomizeOctaves (p, 1, d); }, 0.2, 0, -1, -1 },
        { "lengths", static_cast<Fill> (randomizeLengths), 0.3, 999, -1, 0.3 },
        { "lengths II below half", static_cast<Fill> (randomizeLengthsLimited), 0.49, 999, -1, 0.49 + 0.1 },
        { "lengths II at half", static_cast<Fill> (randomizeLengthsLimited), 0.5, 999, -1, 0.9 },
        { "velocities", static_cast<Fill> (randomizeVelocities), 0.0, 999, 0.0, -1 },
        { "velocities II at half", static_cast<Fill> (randomizeVelocitiesLimited), 0.5, 999, 0.5, -1 },
        { "velocities II above", static_cast<Fill> (randomizeVelocitiesLimited), 0.51, 999, 0.51, -1 },
        { "velocities II low", static_cast<Fill> (randomizeVelocitiesLimited), 0.1, 999, 0.5, -1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        StepPattern p, before;
        fillDistinct (p);
        fillDistinct (before);
        p.numberOfSteps = 4;
        int drawn = 0;
        c.run (p, [&] { ++drawn; return c.r; });
        EXPECT_EQ (drawn, 4);
        EXPECT_TRUE (p.changed);
        for (int i = 0; i < 96; ++i)
        {
            const auto& s = p.steps[i];
            const auto& old = before.steps[i];
            EXPECT_TRUE (s.slide == old.slide && s.slideAdsr == old.slideAdsr && s.pause == old.pause) << "step " << i;
            if (i >= 4)
            {
                EXPECT_TRUE (sameUserFields (s, old)) << "inactive step " << i;
                continue;
            }
            EXPECT_EQ (s.noteOffset, c.note == 999 ? old.noteOffset.get() : c.note) << "step " << i;
            EXPECT_EQ (s.velocity, c.velocity < 0 ? old.velocity.get() : c.velocity) << "step " << i;
            EXPECT_EQ (s.length, c.length < 0 ? old.length.get() : c.length) << "step " << i;
        }
    }
}

TEST (PatternOperations, DrawsGoToStepsInOrder)
{
    StepPattern p;
    p.numberOfSteps = 3;
    PatternOperations::randomizeVelocities (p, draws ({ 0.1, 0.2, 0.3, 0.4 }));
    EXPECT_EQ (p.steps[0].velocity, 0.1);
    EXPECT_EQ (p.steps[1].velocity, 0.2);
    EXPECT_EQ (p.steps[2].velocity, 0.3);
    EXPECT_EQ (p.steps[3].velocity, 0.5);
}

TEST (PatternOperations, ClockSeededOctavesStayOnWholeOctavesUpwards)
{
    StepPattern p;
    PatternOperations::randomizeOctaves (p, 5);
    std::set<int> seen;
    for (const auto& s : p.steps)
        seen.insert (s.noteOffset);
    for (int n : seen)
        EXPECT_TRUE (n >= 0 && n <= 60 && n % 12 == 0) << n;
    EXPECT_GT (seen.size(), 2u); // 96 draws do not all land on one octave
}

TEST (PatternOperations, MenuIdsRunTheirOperations)
{
    StepPattern p;
    fillDistinct (p);
    PatternOperations::runMenuItem (p, 0, 5);
    EXPECT_FALSE (p.changed);
    PatternOperations::runMenuItem (p, 3, 5);
    EXPECT_EQ (p.steps[90].velocity, 0.05);
    PatternOperations::runMenuItem (p, 4, 0);
    EXPECT_EQ (p.steps[90].length, 1.0);
    PatternOperations::runMenuItem (p, 2, 0);
    EXPECT_EQ (p.steps[1].noteOffset, -48);
    PatternOperations::runMenuItem (p, 1, 0);
    EXPECT_EQ (p.steps[1].noteOffset, -47);
    PatternOperations::runMenuItem (p, 19, 0);
    for (const auto& s : p.steps)
        EXPECT_EQ (s.noteOffset % 12, 0);
}
