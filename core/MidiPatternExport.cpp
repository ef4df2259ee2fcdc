#include "MidiPatternExport.h"
#include "SafeFile.h"
#include "VroCore.h"

namespace MidiPatternExport
{
double stepTicks (const StepClock& clock) noexcept
{
    return ticksPerQuarterNote / (clock.rateMultiplier * clock.syncModeFactor) * 0.25;
}

juce::MidiMessageSequence patternToSequence (const StepPattern& pattern, double ticksPerStep)
{
    juce::MidiMessageSequence sequence;
    const int n = juce::jlimit (1, StepPattern::maxSteps, pattern.numberOfSteps.get());
    double t = 0.0;
    for (int i = 0; i < n; ++i)
    {
        const auto& s = pattern.steps[i];
        if (! s.pause)
        {
            const int note = ((s.noteOffset + 60) % 128 + 128) % 128;
            const int velocity = juce::jmin (127, (int) ((float) s.velocity * 127.0f + 0.5f));
            sequence.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) juce::jmax (0, velocity)), t);

            const double gate = ticksPerStep * s.length;
            const auto& next = pattern.steps[(i + 1) % n];
            // A full step into a sliding one overlaps it, so a receiving synth plays it legato.
            const double overlap = (next.slide || next.slideAdsr) && s.length == 1.0 ? 0.1 * gate : 0.0;
            sequence.addEvent (juce::MidiMessage::noteOff (1, note, (juce::uint8) 1), t + gate + overlap);
        }
        t += ticksPerStep;
    }
    return sequence;
}

juce::MemoryBlock fileBytes (const StepPattern& pattern, double ticksPerStep)
{
    juce::MidiFile file;
    file.setTicksPerQuarterNote (ticksPerQuarterNote);
    file.addTrack (patternToSequence (pattern, ticksPerStep));
    juce::MemoryOutputStream out;
    file.writeTo (out, 1);
    return out.getMemoryBlock();
}

juce::File defaultExportFolder()
{
    const auto temp = juce::File::getSpecialLocation (juce::File::tempDirectory);
    const auto parent = temp.getParentDirectory();
    // Never the file system's root, where /tmp's parent would put every dragged file.
    const bool usable = parent != temp && parent.getParentDirectory() != parent && parent.hasWriteAccess();
    return usable ? parent : temp;
}
} // namespace MidiPatternExport

bool writeMidiFileTo (const StepPattern& pattern, const StepClock& clock, const juce::File& target)
{
    const auto bytes = MidiPatternExport::fileBytes (pattern, MidiPatternExport::stepTicks (clock));
    return SafeFile::replaceWithData (target, bytes.getData(), bytes.getSize());
}

juce::File writeMidiFile (const StepPattern& pattern, const StepClock& clock, const juce::File& folder)
{
    const auto file = folder.getChildFile (juce::Uuid().toString() + ".mid");
    if (writeMidiFileTo (pattern, clock, file))
        return file;
    // A folder that takes no files must not turn into a drag of a file that is not there.
    const auto temp = juce::File::getSpecialLocation (juce::File::tempDirectory);
    if (folder != temp)
    {
        const auto fallback = temp.getChildFile (file.getFileName());
        if (writeMidiFileTo (pattern, clock, fallback))
            return fallback;
    }
    return {};
}

juce::File exportMidiFile (VroCore& core)
{
    return writeMidiFile (core.getPattern(), core.getClock());
}
