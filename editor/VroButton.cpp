#include "VroButton.h"

VroButton::VroButton (const juce::String& buttonText, int index, bool flash)
    : juce::Button (buttonText), flashOnClick (flash), text (buttonText)
{
    getProperties().set ("index", index);
    setClickingTogglesState (true);
    setWantsKeyboardFocus (false);
}

VroButton::~VroButton() = default;

void VroButton::clicked()
{
    if (! flashOnClick)
        return;
    // Shows on for the whole flash even when the click itself toggled it off.
    setToggleState (true, juce::dontSendNotification);
    startTimer (flashMilliseconds);
}

void VroButton::timerCallback()
{
    stopTimer();
    setToggleState (false, juce::dontSendNotification);
    repaint();
}

void VroButton::paintButton (juce::Graphics& g, bool, bool)
{
    g.fillAll (fillColour);
    const auto colour = findColour (getToggleState() ? 99 : 100);
    g.setColour (colour);
    g.drawRect (0, 0, getWidth(), getHeight(), 1);
    g.setFont (juce::Font (11.0f, juce::Font::bold));
    g.drawText (text, 0, 0, getWidth(), getHeight(), juce::Justification::centred, true);
}
