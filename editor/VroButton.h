#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** A flat text button drawn in the colours 99 (on) and 100 (off), optionally flashing. */
class VroButton : public juce::Button, private juce::Timer
{
public:
    VroButton (const juce::String& text, int index, bool flashOnClick);
    ~VroButton() override;

    const bool flashOnClick;
    const juce::String text;
    juce::Colour fillColour { 0x00000000 };

protected:
    void clicked() override;
    void paintButton (juce::Graphics&, bool isMouseOver, bool isButtonDown) override;

private:
    void timerCallback() override;
};

/** Flash buttons light for this long after every click. */
constexpr int flashMilliseconds = 200;
