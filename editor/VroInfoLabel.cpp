#include "VroInfoLabel.h"

VroInfoLabel::VroInfoLabel() : juce::Label ({}, {}) {}

VroInfoLabel::~VroInfoLabel() = default;

void VroInfoLabel::showValue (double v)
{
    startTimer (showMilliseconds);
    setText (juce::String (v, 2), juce::dontSendNotification);
}

void VroInfoLabel::timerCallback()
{
    stopTimer();
    setText ({}, juce::dontSendNotification);
}
