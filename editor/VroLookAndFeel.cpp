#include "VroLookAndFeel.h"

VroLookAndFeel::VroLookAndFeel()
{
    // Popup menus keep one light scheme in both skins.
    setColour (juce::PopupMenu::backgroundColourId, juce::Colour (menuBackground));
    setColour (juce::PopupMenu::textColourId, juce::Colour (0xff141414));
    setColour (juce::PopupMenu::highlightedTextColourId, juce::Colours::white);
    setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (0x7f646464));
}

VroLookAndFeel::~VroLookAndFeel() = default;

void VroLookAndFeel::drawTextEditorOutline (juce::Graphics&, int, int, juce::TextEditor&) {}

void VroLookAndFeel::drawPopupMenuBackground (juce::Graphics& g, int, int)
{
    g.fillAll (juce::Colour (menuBackground));
}

juce::Font VroLookAndFeel::getPopupMenuFont()
{
    return juce::Font (14.0f, juce::Font::plain);
}

void VroLookAndFeel::drawMenuBarBackground (juce::Graphics& g, int, int, bool, juce::MenuBarComponent&)
{
    g.fillAll (juce::Colour (menuBackground));
}

void VroLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool isButtonDown, int buttonX,
                                   int buttonY, int buttonW, int buttonH, juce::ComboBox& box)
{
    const auto background = box.findColour (juce::ComboBox::backgroundColourId);
    const auto button = box.findColour (juce::ComboBox::buttonColourId);

    g.fillAll (background);
    g.setColour (isButtonDown ? button : background);
    g.fillRect (buttonX, buttonY, buttonW, buttonH);
    g.setColour (box.findColour (juce::ComboBox::outlineColourId));
    g.drawRect (0, 0, width, height, 1);

    if (! box.isEnabled())
        return;

    const auto bx = (float) buttonX, by = (float) buttonY, bw = (float) buttonW, bh = (float) buttonH;
    juce::Path arrows;
    arrows.addTriangle (bx + 0.5f * bw, by + 0.15f * bh, bx + 0.8f * bw, by + 0.45f * bh, bx + 0.2f * bw, by + 0.45f * bh);
    arrows.addTriangle (bx + 0.5f * bw, by + 0.85f * bh, bx + 0.8f * bw, by + 0.55f * bh, bx + 0.2f * bw, by + 0.55f * bh);
    g.setColour (isButtonDown ? background : button);
    g.fillPath (arrows);
}

juce::Label* VroLookAndFeel::createComboBoxTextBox (juce::ComboBox&)
{
    auto* label = new juce::Label ({}, {});
    label->setColour (juce::Label::outlineColourId, juce::Colour (0x00000000));
    return label;
}
