#include "VroTempoLed.h"
#include "VroImages.h"
#include "VroCore.h"

VroTempoLed::VroTempoLed (const juce::Image& ledImage, VroCore& processor)
    : image (ledImage), imageWidth (ledImage.getWidth()), frameHeight (ledImage.getHeight() / 2), core (processor)
{
    setInterceptsMouseClicks (false, false);
    startTimer (10);
}

VroTempoLed::~VroTempoLed()
{
    stopTimer();
}

void VroTempoLed::timerCallback()
{
    const bool nowLit = core.isTempoLightOn();
    // Only a change of the light costs a repaint; an idle editor stays cheap.
    if (nowLit != lit)
    {
        lit = nowLit;
        repaint();
    }
}

void VroTempoLed::paint (juce::Graphics& g)
{
    if (image.isValid() && frameHeight > 0)
        VroImages::drawFrame (g, image, getLocalBounds(), lit ? 1 : 0, imageWidth, frameHeight, false);
}
