#pragma once

#include "StepClock.h"
#include "StepPattern.h"
#include <juce_audio_basics/juce_audio_basics.h>

class VroCore;

/** The step pattern as a Standard MIDI File: format 1, one track, 960 ticks per quarter note,
    notes on channel 1 and no meta events but the end of track. */
namespace MidiPatternExport
{
constexpr int ticksPerQuarterNote = 960;

/** Ticks per step at the clock's synced rate and sync mode; the tempo plays no part. */
double stepTicks (const StepClock&) noexcept;

/** The active steps as note events, in time order (equal times keep the order they were added). */
juce::MidiMessageSequence patternToSequence (const StepPattern&, double stepTicks);

/** The complete file. */
juce::MemoryBlock fileBytes (const StepPattern&, double stepTicks);

/** Where a dragged-out file goes: beside the temporary folder, as in the hosts this was made
    for; the temporary folder itself when that one is the file system's root or takes no files. */
juce::File defaultExportFolder();
} // namespace MidiPatternExport

/** Writes the pattern to target through a temporary file; false when it could not be written. */
bool writeMidiFileTo (const StepPattern&, const StepClock&, const juce::File& target);

/** Writes the pattern under a fresh random name (.mid) in folder and returns the file, or an
    invalid File when nothing could be written. */
juce::File writeMidiFile (const StepPattern&, const StepClock&, const juce::File& folder = MidiPatternExport::defaultExportFolder());

/** The processor's current pattern at the current clock settings, as a new file. */
juce::File exportMidiFile (VroCore&);
