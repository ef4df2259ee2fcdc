#include "VroLoadSequencerPreset.h"
#include "VroCore.h"

VroLoadSequencerPreset::VroLoadSequencerPreset (const juce::Image& ledImage, VroCore& processor)
    : ImageToggleButton ({}, ledImage, false, true, 58), core (processor)
{
}

void VroLoadSequencerPreset::clicked()
{
    ImageToggleButton::clicked();
    // The load dialog belongs to the preset interface, which is not part of this build yet.
    juce::ignoreUnused (core);
}
