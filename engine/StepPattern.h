#pragma once

#include "SharedValue.h"
#include <atomic>
#include <cmath>

/** One step of the pattern. The editor edits steps while the players read them, without a lock:
    each field is read and written whole. */
struct PatternStep
{
    void setDefaults() noexcept
    {
        slide = slideAdsr = pause = false;
        noteOffset = 0;
        velocity = 0.5;
        length = 1.0;
    }

    /** The fields a user edits; a step's index and offbeat belong to its place. */
    void copyUserFieldsFrom (const PatternStep& from) noexcept
    {
        slide = from.slide;
        slideAdsr = from.slideAdsr;
        pause = from.pause;
        noteOffset = from.noteOffset;
        velocity = from.velocity;
        length = from.length;
    }

    SharedValue<bool> slide { false }, slideAdsr { false }, pause { false };
    SharedValue<int> noteOffset { 0 };
    SharedValue<double> velocity { 0.5 }, length { 1.0 };
    bool offbeat = false; // fixed by the step's place
    int index = 0;
};

/** The 96-step pattern shared by the players, the editor, the MIDI export and the program document.
    Written and read without locks; the flags are atomics so a reader never sees a torn value. */
struct StepPattern
{
    static constexpr int maxSteps = 96;

    StepPattern() noexcept
    {
        for (int i = 0; i < maxSteps; ++i)
        {
            steps[i].index = i;
            steps[i].offbeat = (i % 2) == 1;
        }
    }

    /** "SEQ Steps": floor(96 v), kept within 1..96. */
    void setStepCount (double v) noexcept
    {
        const double n = std::floor (96.0 * v);
        numberOfSteps = n >= maxSteps ? maxSteps : (n >= 1.0 ? (int) n : 1); // NaN gives 1
        changed = true;
    }

    /** "SEQ Reset": every step back to its defaults. */
    void reset() noexcept
    {
        for (auto& s : steps)
            s.setDefaults();
        changed = true;
    }

    SharedValue<int> numberOfSteps { maxSteps };
    std::atomic<bool> changed { true };
    PatternStep steps[maxSteps];
    std::atomic<int> position { 0 };
};
