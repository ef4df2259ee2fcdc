#include "PatternOperations.h"
#include <juce_core/juce_core.h>
#include <cmath>

namespace PatternOperations
{
namespace
{
bool isStepIndex (int index) noexcept
{
    return index >= 0 && index < StepPattern::maxSteps;
}

int activeSteps (const StepPattern& p) noexcept
{
    return juce::jlimit (1, StepPattern::maxSteps, p.numberOfSteps.get());
}

/** One step's value of a field, given to all 96 steps. */
void copyFieldToAllSteps (StepPattern& p, int index, SharedValue<double> PatternStep::* field)
{
    if (isStepIndex (index))
    {
        const double v = p.steps[index].*field;
        for (auto& s : p.steps)
            s.*field = v;
    }
    p.changed = true;
}

template <typename Apply>
void forActiveSteps (StepPattern& p, const Draw& draw, Apply apply)
{
    const int n = activeSteps (p);
    for (int i = 0; i < n; ++i)
        apply (p.steps[i], draw());
    p.changed = true;
}

Draw clockSeededDraw()
{
    auto random = std::make_shared<juce::Random> (juce::Time::currentTimeMillis());
    // nextDouble never reaches 1; the formulas are written for 0 <= r <= 1 either way.
    return [random] { return random->nextDouble(); };
}
} // namespace

void deleteStep (StepPattern& p, int index)
{
    if (isStepIndex (index))
        for (int a = index; a < StepPattern::maxSteps - 1; ++a)
            p.steps[a].copyUserFieldsFrom (p.steps[a + 1]);
    p.changed = true;
}

void copyStep (StepPattern& p, int index)
{
    if (isStepIndex (index))
        for (int i = StepPattern::maxSteps - 2; i >= index; --i)
            p.steps[i + 1].copyUserFieldsFrom (p.steps[i]);
    p.changed = true;
}

void setVelocityGlobal (StepPattern& p, int index) { copyFieldToAllSteps (p, index, &PatternStep::velocity); }
void setLengthGlobal (StepPattern& p, int index) { copyFieldToAllSteps (p, index, &PatternStep::length); }

void randomizeNotes (StepPattern& p, const Draw& draw)
{
    forActiveSteps (p, draw, [] (PatternStep& s, double r) { s.noteOffset = (int) ((2.0 * r - 1.0) * 48.0); });
}

void randomizeOctaves (StepPattern& p, int octaves, const Draw& draw)
{
    forActiveSteps (p, draw, [octaves] (PatternStep& s, double r) { s.noteOffset = 12 * (int) std::floor (octaves * r + 0.5); });
}

void randomizeLengths (StepPattern& p, const Draw& draw)
{
    forActiveSteps (p, draw, [] (PatternStep& s, double r) { s.length = r; });
}

void randomizeLengthsLimited (StepPattern& p, const Draw& draw)
{
    forActiveSteps (p, draw, [] (PatternStep& s, double r) { s.length = r < 0.5 ? r + 0.1 : 0.9; });
}

void randomizeVelocities (StepPattern& p, const Draw& draw)
{
    forActiveSteps (p, draw, [] (PatternStep& s, double r) { s.velocity = r; });
}

void randomizeVelocitiesLimited (StepPattern& p, const Draw& draw)
{
    forActiveSteps (p, draw, [] (PatternStep& s, double r) { s.velocity = r > 0.5 ? r : 0.5; });
}

void randomizeNotes (StepPattern& p) { randomizeNotes (p, clockSeededDraw()); }
void randomizeOctaves (StepPattern& p, int octaves) { randomizeOctaves (p, octaves, clockSeededDraw()); }
void randomizeLengths (StepPattern& p) { randomizeLengths (p, clockSeededDraw()); }
void randomizeLengthsLimited (StepPattern& p) { randomizeLengthsLimited (p, clockSeededDraw()); }
void randomizeVelocities (StepPattern& p) { randomizeVelocities (p, clockSeededDraw()); }
void randomizeVelocitiesLimited (StepPattern& p) { randomizeVelocitiesLimited (p, clockSeededDraw()); }

void runMenuItem (StepPattern& p, int menuId, int stepIndex)
{
    switch (menuId)
    {
        case 1:  deleteStep (p, stepIndex); break;
        case 2:  copyStep (p, stepIndex); break;
        case 3:  setVelocityGlobal (p, stepIndex); break;
        case 4:  setLengthGlobal (p, stepIndex); break;
        case 10: randomizeNotes (p); break;
        case 11: randomizeLengths (p); break;
        case 12: randomizeVelocities (p); break;
        case 13: randomizeOctaves (p, 1); break;
        case 14: randomizeOctaves (p, 2); break;
        case 15: randomizeOctaves (p, 3); break;
        case 16: randomizeOctaves (p, 4); break;
        case 17: randomizeLengthsLimited (p); break;
        case 18: randomizeVelocitiesLimited (p); break;
        case 19: randomizeOctaves (p, 5); break;
        default: break;
    }
}
} // namespace PatternOperations
