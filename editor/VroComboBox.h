#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** A combo box bound to one parameter: item ids map to evenly spaced normalised values. */
class VroComboBox : public juce::ComboBox
{
public:
    explicit VroComboBox (int index);
    ~VroComboBox() override;

    /** Selects the nearest item without notification. */
    void setValueNormalised (float v);
    float getValueNormalised() const;

    void paint (juce::Graphics&) override;

    /** Number of items of the combo for a parameter index. */
    static int itemCountFor (int index) noexcept;

    const int index;
};
