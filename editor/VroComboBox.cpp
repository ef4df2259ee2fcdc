#include "VroComboBox.h"

#include <cmath>

VroComboBox::VroComboBox (int parameterIndex)
    : juce::ComboBox (juce::String (parameterIndex)), index (parameterIndex)
{
    getProperties().set ("index", index);
    setEditableText (false);
    // The framework's own text label stays invisible: paint draws the text.
    setColour (juce::ComboBox::textColourId, juce::Colour (0x00000000));
    setColour (juce::TextEditor::outlineColourId, juce::Colour (0x00000000));
    setWantsKeyboardFocus (false);
}

VroComboBox::~VroComboBox() = default;

int VroComboBox::itemCountFor (int parameterIndex) noexcept
{
    switch (parameterIndex)
    {
        case 50: return 7;
        case 51: return 3;
        case 56: return 4;
        default: return 2;
    }
}

void VroComboBox::setValueNormalised (float v)
{
    const int n = itemCountFor (index);
    const auto x = (float) ((double) (n - 1) * (double) v + 0.5);
    setSelectedId ((int) std::floor (x) + 1, juce::dontSendNotification);
}

float VroComboBox::getValueNormalised() const
{
    const int n = itemCountFor (index);
    return (float) (getSelectedId() - 1) / (float) (n - 1);
}

void VroComboBox::paint (juce::Graphics& g)
{
    const auto colour = findColour (juce::ComboBox::buttonColourId);
    g.fillAll (findColour (juce::ComboBox::backgroundColourId));
    g.setColour (colour);
    g.drawRect (0, 0, getWidth(), getHeight(), 1);
    g.setFont (juce::Font (11.0f, juce::Font::bold));
    if (getSelectedId() != 0)
        g.drawText (getText(), 0, 0, getWidth(), getHeight(), juce::Justification::centred, false);
}
