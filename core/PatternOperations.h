#pragma once

#include "StepPattern.h"
#include <functional>

/** Whole-pattern edits offered by a step's menu. Each one changes the records in place and sets
    the pattern's changed flag so the step strip re-reads all 96 steps.

    The random edits draw one value 0..1 per active step, in step order. The overloads without a
    draw seed a fresh generator from the clock; tests pass their own draws. */
namespace PatternOperations
{
using Draw = std::function<double()>;

/** Steps after index move down by one; the last step stays and so appears twice. */
void deleteStep (StepPattern&, int index);
/** Step index appears twice; later steps move up by one and the last one is lost. */
void copyStep (StepPattern&, int index);
/** All 96 steps, active or not, take the velocity (length) of step index. */
void setVelocityGlobal (StepPattern&, int index);
void setLengthGlobal (StepPattern&, int index);

void randomizeNotes (StepPattern&);
void randomizeOctaves (StepPattern&, int octaves);
void randomizeLengths (StepPattern&);
void randomizeLengthsLimited (StepPattern&);
void randomizeVelocities (StepPattern&);
void randomizeVelocitiesLimited (StepPattern&);

void randomizeNotes (StepPattern&, const Draw&);
void randomizeOctaves (StepPattern&, int octaves, const Draw&);
void randomizeLengths (StepPattern&, const Draw&);
void randomizeLengthsLimited (StepPattern&, const Draw&);
void randomizeVelocities (StepPattern&, const Draw&);
void randomizeVelocitiesLimited (StepPattern&, const Draw&);

/** Runs the operation behind a step menu id (see VroSequencerStep); unknown ids do nothing. */
void runMenuItem (StepPattern&, int menuId, int stepIndex);
} // namespace PatternOperations
