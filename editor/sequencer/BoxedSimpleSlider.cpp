#include "BoxedSimpleSlider.h"
#include "../VroInfoLabel.h"

BoxedSimpleSlider::BoxedSimpleSlider (VroInfoLabel* label, int parameterIndex)
    : juce::Slider (juce::String()), infoLabel (label)
{
    setSliderStyle (juce::Slider::LinearHorizontal);
    setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    setRange (0.0, 1.0, (double) 0.01f);
    setSliderSnapsToMousePosition (false);
    setMouseDragSensitivity (100);
    setWantsKeyboardFocus (false);
    getProperties().set ("index", parameterIndex);
}

BoxedSimpleSlider::~BoxedSimpleSlider() = default;

void BoxedSimpleSlider::mouseEnter (const juce::MouseEvent& e)
{
    juce::Slider::mouseEnter (e);
    if (infoLabel != nullptr)
        infoLabel->showValue (getValue());
}

void BoxedSimpleSlider::paint (juce::Graphics& g)
{
    const double p = (getValue() - getMinimum()) / (getMaximum() - getMinimum());
    g.setColour (barColour);
    g.fillRect (0, 0, (int) (getWidth() * p), getHeight());
    g.setColour (barColour.withAlpha (0.4f));
    g.drawRect (0, 0, getWidth(), getHeight(), 1);
}
