#include "SimpleSlider.h"

SimpleSlider::SimpleSlider() : juce::Slider (juce::String())
{
    setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    setSliderStyle (juce::Slider::LinearVertical);
    setRange (0.0, 1.0, (double) 0.01f);
    setSliderSnapsToMousePosition (false);
    setWantsKeyboardFocus (false);
}

SimpleSlider::~SimpleSlider() = default;

void SimpleSlider::paint (juce::Graphics& g)
{
    const double p = (getValue() - getMinimum()) / (getMaximum() - getMinimum());
    const double bar = getHeight() * p;
    g.setColour (barColour);
    g.fillRect (0, (int) (getHeight() - bar), getWidth(), (int) bar);
}
