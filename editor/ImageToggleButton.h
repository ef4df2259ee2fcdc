#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** A two-state button shown as one of two frames (off, on): LEDs and push buttons. With
    flashOnClick it turns itself off again shortly after each click, without notification. */
class ImageToggleButton : public juce::Button, protected juce::Timer
{
public:
    ImageToggleButton (const juce::String& name, juce::Image image, bool horizontalStrip, bool flashOnClick, int index);
    ~ImageToggleButton() override;

    juce::Image image;
    const bool horizontalStrip;
    const bool flashOnClick;
    const int frameWidth, frameHeight;

protected:
    void clicked() override;
    void paintButton (juce::Graphics&, bool isMouseOver, bool isButtonDown) override;
    void timerCallback() override;
};
