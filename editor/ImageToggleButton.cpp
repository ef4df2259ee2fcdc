#include "ImageToggleButton.h"
#include "VroButton.h"

ImageToggleButton::ImageToggleButton (const juce::String& name, juce::Image strip, bool horizontal, bool flash, int index)
    : juce::Button (name),
      image (strip),
      horizontalStrip (horizontal),
      flashOnClick (flash),
      frameWidth (strip.getWidth()),
      frameHeight (strip.getHeight() / 2)
{
    setClickingTogglesState (true);
    getProperties().set ("index", index);
    setWantsKeyboardFocus (false);
}

ImageToggleButton::~ImageToggleButton()
{
    stopTimer();
}

void ImageToggleButton::clicked()
{
    if (flashOnClick)
        startTimer (flashMilliseconds);
}

void ImageToggleButton::timerCallback()
{
    stopTimer();
    setToggleState (false, juce::dontSendNotification);
}

void ImageToggleButton::paintButton (juce::Graphics& g, bool, bool)
{
    if (! image.isValid() || frameHeight <= 0)
        return;

    const int frame = getToggleState() ? 1 : 0;
    if (horizontalStrip)
        g.drawImage (image, 0, 0, getWidth(), getHeight(), frame * frameWidth, 0, frameWidth, frameHeight);
    else
        g.drawImage (image, 0, 0, getWidth(), getHeight(), 0, frame * frameHeight, frameWidth, frameHeight);
}
