#pragma once

#include "VroButton.h"
#include "VroSequencerStep.h"
#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;
struct StepPattern;

/** The strip of 96 step columns, 16 shown at a time. The view follows the playing step into
    each new page and otherwise stays where the user paged it; the LED of the playing step lights. */
class VroSequencerSteps : public juce::Component, private juce::Timer
{
public:
    explicit VroSequencerSteps (VroCore& core);
    ~VroSequencerSteps() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** Re-reads all 96 steps when the pattern's changed flag is set, and clears it. */
    void refreshIfChanged();
    void setLengthMode (bool lengthMode);

    bool isLengthMode() const noexcept { return lengthMode; }
    VroSequencerStep& getStep (int index) noexcept { return *steps[(size_t) index]; }

    /** The page shown; the page buttons may push it past 0..5, paint clamps it. */
    int page = 0;

    static constexpr int stepsPerPage = 16;
    static constexpr int lastPage = 5;

private:
    void timerCallback() override;
    void layOutSteps();

    StepPattern& pattern;
    std::vector<std::unique_ptr<VroSequencerStep>> steps;
    int followedPage = -1;
    bool lengthMode = false;
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
    VroButton& getPreviousPageButton() noexcept { return *previousPageButton; }
    VroButton& getNextPageButton() noexcept { return *nextPageButton; }

private:
    void buttonClicked (juce::Button*) override;

    std::unique_ptr<VroSequencerSteps> steps;
    std::unique_ptr<VroButton> previousPageButton, nextPageButton;
};
