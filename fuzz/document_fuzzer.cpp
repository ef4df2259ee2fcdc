// libFuzzer target: one input is a host chunk, a document, a preset file or a Scala file (see
// FuzzDocument.h).
// A crash, a sanitizer report or a broken invariant (NaN, infinity or out-of-range data in the
// program or the engine) stops the run and leaves the input as an artifact.
#include "FuzzDocument.h"

#include <cstdlib>

namespace
{
struct Rig
{
    Rig()
    {
        // Never the real user's folders: the processor installs its factory presets on first start.
        home.createDirectory();
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);
        juceInit = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        core = std::make_unique<VroCore>();
        baseline = core->getProgram();
        for (int i = 0; i < StepPattern::maxSteps; ++i)
            baselineSteps[i] = core->getPattern().steps[i];
        baselineStepCount = core->getPattern().numberOfSteps;
    }

    ~Rig()
    {
        core.reset();
        juceInit.reset();
        home.deleteRecursively();
    }

    /** Every input starts from the same program, so a finding replays from its file alone. */
    void reset()
    {
        core->getProgram() = baseline;
        auto& pattern = core->getPattern();
        for (int i = 0; i < StepPattern::maxSteps; ++i)
            pattern.steps[i] = baselineSteps[i];
        pattern.numberOfSteps = baselineStepCount;
        core->applyCurrentProgram();
        core->setStandardTuning();
    }

    juce::File home { juce::File::createTempFile ("vro-fuzz-home") };
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juceInit;
    std::unique_ptr<VroCore> core;
    VroProgram baseline;
    PatternStep baselineSteps[StepPattern::maxSteps];
    int baselineStepCount = 0;
    juce::File scratch { home.getChildFile ("input.drubbel") };
};

Rig* rig = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    rig = new Rig();
    std::atexit ([] { delete rig; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    rig->reset();
    fuzz::runDocumentInput (*rig->core, data, size, rig->scratch);
    if (! fuzz::isSane (*rig->core))
        __builtin_trap();
    return 0;
}
