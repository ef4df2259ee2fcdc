#include "VroLoadSequencerPreset.h"
#include "VroCore.h"
#include "presets/PresetDialogs.h"

VroLoadSequencerPreset::VroLoadSequencerPreset (const juce::Image& ledImage, VroCore& processor)
    : ImageToggleButton ({}, ledImage, false, true, 58), core (processor)
{
}

void VroLoadSequencerPreset::clicked()
{
    ImageToggleButton::clicked();
    PresetDialogs::openLoadPresetDialog (core, true, this);
}
