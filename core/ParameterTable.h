#pragma once

#include "Params.h"

/** One row of the parameter table. The preset key is saved in every preset file: never rename. */
struct ParameterInfo
{
    const char* name;      // shown to hosts
    const char* presetKey; // nullptr: not stored in presets
    float startValue;      // start-up program and reset to defaults
    float missingValue;    // what a reader takes when the key is absent
};

extern const ParameterInfo parameterTable[Param::Count];

/** The 58 stored keys in their written order, each naming its parameter index. */
extern const int presetKeyOrder[58];

/** Parameters that change other parameters when set (the exclusive groups). */
bool isMetaParameterIndex (int index) noexcept;

/** Momentary actions: only the act of setting matters, so re-applying a program skips them. */
inline bool isMomentaryParameter (int index) noexcept
{
    return index == Param::MidiLearnDelete || index == Param::Panic || index == Param::SeqReset;
}
