#pragma once

#include "VroButton.h"
#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;
struct StepPattern;

/** The strip of 96 step columns, 16 shown at a time. This build draws the steps from the pattern
    without editing them; the step editor replaces the drawing with its step components. */
class VroSequencerSteps : public juce::Component, private juce::Timer
{
public:
    explicit VroSequencerSteps (VroCore& core);
    ~VroSequencerSteps() override;

    void paint (juce::Graphics&) override;

    /** Re-reads the pattern when its changed flag is set. */
    void refreshIfChanged();
    void setLengthMode (bool lengthMode);

    bool isLengthMode() const noexcept { return lengthMode; }

    int page = 0;

private:
    void timerCallback() override;

    StepPattern& pattern;
    bool lengthMode = false;
    int shownPosition = -1;
    int followedPage = -1;
};

/** The framed step editor with its page buttons. */
class VroSequencer : public juce::Component, private juce::Button::Listener
{
public:
    explicit VroSequencer (VroCore& core);
    ~VroSequencer() override;

    void layOut();
    void paint (juce::Graphics&) override;

    VroSequencerSteps& getSteps() noexcept { return *steps; }

private:
    void buttonClicked (juce::Button*) override;

    std::unique_ptr<VroSequencerSteps> steps;
    std::unique_ptr<VroButton> previousPageButton, nextPageButton;
};
