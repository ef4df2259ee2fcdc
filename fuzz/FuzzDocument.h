#pragma once

// One fuzz input against the document readers, shared by the fuzz target and the regression test
// that replays every input the fuzzer ever found.
#include "VroCore.h"

#include <cmath>
#include <cstdint>

namespace fuzz
{
/** The first byte chooses the path, the rest is the data:
    mode & 0x80: a Scala file as the session's tuning, a keyboard mapping when mode & 0x40 is set,
                 else a scale (then the engine plays both keys of isSane in it);
    otherwise:
    mode % 3 == 0: raw host chunk bytes;
    mode % 3 == 1: document text, wrapped into a well-formed chunk header (so the fuzzer spends
                   its time on the document, not on finding the magic number);
    mode % 3 == 2: a preset file, loaded with nameFromFile = bit 2 and sequencerOnly = bit 3. */
inline void runDocumentInput (VroCore& core, const std::uint8_t* data, size_t size, const juce::File& scratch)
{
    if (size == 0)
        return;
    const int mode = data[0];
    ++data;
    --size;

    if ((mode & 0x80) != 0)
    {
        const bool mapping = (mode & 0x40) != 0;
        const auto file = scratch.withFileExtension (mapping ? "kbm" : "scl");
        file.replaceWithData (data, size);
        juce::String error;
        if (mapping)
            core.loadKeyboardMappingFile (file, error);
        else
            core.loadScaleFile (file, error);
        file.deleteFile();
        return;
    }

    switch (mode % 3)
    {
        case 0:
            core.setStateInformation (data, (int) std::min<size_t> (size, INT32_MAX));
            break;
        case 1:
        {
            juce::MemoryBlock chunk;
            juce::MemoryOutputStream out (chunk, false);
            out.writeInt (0x21324356);
            out.writeInt ((int) size);
            out.write (data, size);
            out.writeByte (0);
            core.setStateInformation (chunk.getData(), (int) chunk.getSize());
            break;
        }
        default:
            scratch.replaceWithData (data, size);
            core.loadPresetFile (scratch, (mode & 4) != 0, (mode & 8) != 0);
            break;
    }
}

/** What no document may break: stored values finite and normalised, steps in range, and the
    engine still rendering finite samples. */
inline bool isSane (VroCore& core)
{
    for (int i = 0; i < Param::Count; ++i)
        if (! std::isfinite (core.getParameter (i)))
            return false;
    for (int k = 0; k < 58; ++k)
    {
        const float v = core.getParameter (presetKeyOrder[k]);
        if (v < 0.0f || v > 1.0f)
            return false;
    }
    auto& pattern = core.getPattern();
    if (pattern.numberOfSteps < 1 || pattern.numberOfSteps > StepPattern::maxSteps)
        return false;
    for (const auto& s : pattern.steps)
        if (! (s.velocity >= 0.0 && s.velocity <= 1.0 && s.length >= 0.0 && s.length <= 1.0) || std::abs (s.noteOffset) > 127)
            return false;

    auto& engine = core.getEngine();
    engine.noteOn (48, 1.0);
    engine.noteOn (55, 0.5);
    engine.noteOn (127, 0.5); // the key a tuning's repeats take furthest out
    bool finite = true;
    for (int i = 0; i < 64; ++i)
    {
        double left = 0.0, right = 0.0;
        engine.renderSample (left, right);
        finite = finite && std::isfinite (left) && std::isfinite (right);
    }
    engine.allNotesOff();
    return finite;
}
} // namespace fuzz
