#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The read-out that shows a control's value with two decimals, cleared two seconds later. */
class VroInfoLabel : public juce::Label, private juce::Timer
{
public:
    VroInfoLabel();
    ~VroInfoLabel() override;

    void showValue (double v);

    static constexpr int showMilliseconds = 2000;

private:
    void timerCallback() override;
};
