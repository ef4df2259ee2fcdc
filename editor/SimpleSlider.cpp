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
    // Rounded once and measured from the bottom edge, so the bar always sits on it: truncating
    // top and height apart left a gap row under values just below a pixel step (0.5 is 0.49999999
    // on the 0.01f grid).
    const int bar = juce::roundToInt (getHeight() * p);
    g.setColour (barColour);
    g.fillRect (0, getHeight() - bar, getWidth(), bar);
}
