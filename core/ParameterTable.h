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

/** Switches and actions of the session, not of the sound: no program stores them, and hosts are
    not offered them for automation (a lane over "Midi Learn Delete" would wipe the learned map
    at every pass). The editor and MIDI learn still reach them by index. */
inline bool isSessionParameter (int index) noexcept
{
    return index >= 0 && index < Param::Count && parameterTable[index].presetKey == nullptr;
}
