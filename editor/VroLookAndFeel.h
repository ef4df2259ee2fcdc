#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Colour ids of the skin that the editor registers on its look and feel. Plain integers, so the
    sequencer and preset components can read them without knowing the editor. */
namespace VroColourIds
{
enum : int
{
    buttonOn = 99,
    buttonOff = 100,
    presetText = 101,
    presetFill = 102,
    presetArrow = 103,
    presetArrowFill = 104,
    stepOutline = 110,
    stepText = 112,
    stepNoteBar = 113,
    stepButtonOff = 114,
    stepButtonOn = 115,
    stepInactive = 116,
    pageButtonFill = 200
};
} // namespace VroColourIds

/** Flat combo boxes and popup menus; text editors without outline. Carries the skin colours. */
class VroLookAndFeel : public juce::LookAndFeel_V4
{
public:
    VroLookAndFeel();
    ~VroLookAndFeel() override;

    void drawTextEditorOutline (juce::Graphics&, int width, int height, juce::TextEditor&) override;
    void drawPopupMenuBackground (juce::Graphics&, int width, int height) override;
    juce::Font getPopupMenuFont() override;
    void drawMenuBarBackground (juce::Graphics&, int width, int height, bool isMouseOverBar, juce::MenuBarComponent&) override;
    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown, int buttonX, int buttonY,
                       int buttonW, int buttonH, juce::ComboBox&) override;
    juce::Label* createComboBoxTextBox (juce::ComboBox&) override;

    static constexpr juce::uint32 menuBackground = 0xffc8c8c8;
};
