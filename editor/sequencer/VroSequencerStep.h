#pragma once

#include "../ImageToggleButton.h"
#include "../SimpleSlider.h"
#include "../VroButton.h"
#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;
struct PatternStep;

/** One column of the step strip. It edits the engine's record in place, so the engine plays an
    edit from its next step on; a press on its top area opens the step menu. */
class VroSequencerStep : public juce::Component, private juce::Button::Listener, private juce::Slider::Listener
{
public:
    VroSequencerStep (VroCore& core, PatternStep& step, const juce::String& numberText);
    ~VroSequencerStep() override;

    void mouseDown (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

    /** Re-reads the record into the controls, without notifications. */
    void refreshStep();
    void setLengthMode (bool lengthMode);
    void setInactive (bool isInactive) noexcept { inactive = isInactive; }
    bool isInactive() const noexcept { return inactive; }

    /** The step menu and what its answer does; the press opens it asynchronously. */
    juce::PopupMenu createStepMenu() const;
    void stepMenuFinished (int result);

    static constexpr juce::uint32 velocityBarColour = 0xff8c6e6e, lengthBarColour = 0xff6e8c6e;
    static constexpr int menuAreaHeight = 30;

    PatternStep& step;
    std::unique_ptr<juce::Label> numberLabel;
    std::unique_ptr<ImageToggleButton> stepLed;
    std::unique_ptr<VroButton> slideButton, pauseButton;
    std::unique_ptr<SimpleSlider> levelSlider;
    std::unique_ptr<juce::Label> noteLabel;
    std::unique_ptr<VroButton> noteUpButton, noteDownButton;
    std::unique_ptr<SimpleSlider> noteSlider;

private:
    void buttonClicked (juce::Button*) override;
    void sliderValueChanged (juce::Slider*) override;
    void updateSlideButton();

    bool lengthMode = false;
    int slideState = 0;
    VroCore& core;
    bool inactive = false;
};
