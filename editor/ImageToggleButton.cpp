#include "ImageToggleButton.h"
#include "VroButton.h"
#include "VroImages.h"

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

    VroImages::drawFrame (g, image, getLocalBounds(), getToggleState() ? 1 : 0, frameWidth, frameHeight, horizontalStrip);
}
