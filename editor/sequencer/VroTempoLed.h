#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;

/** An LED that shows the first half of every LFO cycle, steadily lit above 8 Hz. */
class VroTempoLed : public juce::Component, private juce::Timer
{
public:
    VroTempoLed (const juce::Image& ledImage, VroCore& core);
    ~VroTempoLed() override;

    void paint (juce::Graphics&) override;

    bool isLit() const noexcept { return lit; }

private:
    void timerCallback() override;

    juce::Image image;
    int imageWidth, frameHeight;
    bool lit = false;
    VroCore& core;
};
