#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VroInfoLabel;

/** A vertical fader whose cap image moves along a track printed on the background. */
class ImageSlider : public juce::Slider
{
public:
    ImageSlider (juce::Image cap, int travel, VroInfoLabel* infoLabel, int index);
    ~ImageSlider() override;

    void mouseEnter (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

    /** Top of the cap for a value: 0 at the maximum, travel pixels lower at the minimum. */
    int capTop() const noexcept;

    juce::Image image;
    const int travel;
    const int imageWidth, imageHeight;

private:
    VroInfoLabel* infoLabel;
};
