#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** A vertical bar growing from the bottom edge. */
class SimpleSlider : public juce::Slider
{
public:
    SimpleSlider();
    ~SimpleSlider() override;

    void paint (juce::Graphics&) override;

    juce::Colour barColour { 0xffa0a0a0 };
};
