#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VroInfoLabel;

/** A thin horizontal bar slider ("Swing", "FM Intensity"). */
class BoxedSimpleSlider : public juce::Slider
{
public:
    BoxedSimpleSlider (VroInfoLabel* infoLabel, int parameterIndex);
    ~BoxedSimpleSlider() override;

    void mouseEnter (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

    juce::Colour barColour { 0xff787878 };

private:
    VroInfoLabel* infoLabel;
};
