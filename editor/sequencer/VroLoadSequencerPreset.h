#pragma once

#include "../ImageToggleButton.h"

class VroCore;

/** The LED button that loads only the step pattern of a chosen preset file. */
class VroLoadSequencerPreset : public ImageToggleButton
{
public:
    VroLoadSequencerPreset (const juce::Image& ledImage, VroCore& core);

protected:
    void clicked() override;

private:
    VroCore& core;
};
