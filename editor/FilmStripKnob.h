#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** A slider shown as one frame of a filmstrip: knobs, rotary selectors and lever switches. */
class FilmStripKnob : public juce::Slider
{
public:
    FilmStripKnob (juce::Image image, int frameCount, bool horizontalStrip, int index);
    ~FilmStripKnob() override;

    void paint (juce::Graphics&) override;

    /** The frame shown for a value: the nearest one, halves going to the upper frame. */
    static int frameForValue (double value, int frameCount) noexcept;

    /** Lever switches show their first frame with the lever up: an upward drag must then lower
        the value, or the lever would move against the hand. */
    void setUpwardDragLowersValue (bool shouldLower) noexcept { upwardDragLowers = shouldLower; }

    void mouseDrag (const juce::MouseEvent&) override;

    juce::Image image;
    const int frameCount;
    const bool horizontalStrip;
    const int frameWidth, frameHeight;

private:
    bool upwardDragLowers = false;
};
