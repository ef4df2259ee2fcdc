#include "FilmStripKnob.h"
#include "VroImages.h"

#include <cmath>

FilmStripKnob::FilmStripKnob (juce::Image strip, int frames, bool horizontal, int index)
    : juce::Slider (juce::String (index)),
      image (strip),
      frameCount (frames),
      horizontalStrip (horizontal),
      frameWidth (strip.getWidth()),
      frameHeight (frames > 0 ? strip.getHeight() / frames : 0)
{
    setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    setSliderStyle (juce::Slider::RotaryVerticalDrag);
    setRange (0.0, 1.0, (double) 0.001f);
    // A quarter of the strip's length spans the whole range: 550 px for 50 frames, 44 for 4.
    setMouseDragSensitivity (juce::jmax (1, frameHeight * frameCount / 4));
    setWantsKeyboardFocus (false);
    getProperties().set ("index", index);
}

FilmStripKnob::~FilmStripKnob() = default;

int FilmStripKnob::frameForValue (double value, int frames) noexcept
{
    const auto x = (float) ((double) (frames - 1) * value + 0.5);
    return juce::jlimit (0, juce::jmax (0, frames - 1), (int) std::floor (x));
}

void FilmStripKnob::paint (juce::Graphics& g)
{
    if (! image.isValid() || frameHeight <= 0)
        return;

    VroImages::drawFrame (g, image, getLocalBounds(), frameForValue (getValue(), frameCount), frameWidth, frameHeight,
                          horizontalStrip);
}

void FilmStripKnob::mouseDrag (const juce::MouseEvent& e)
{
    if (! upwardDragLowers || getSliderStyle() != juce::Slider::RotaryVerticalDrag)
    {
        juce::Slider::mouseDrag (e);
        return;
    }

    // Mirror the pointer about the press position, so the slider sees the opposite movement.
    const auto mirrored = juce::Point<float> (e.position.x, 2.0f * e.mouseDownPosition.y - e.position.y);
    juce::Slider::mouseDrag (e.withNewPosition (mirrored));
}
