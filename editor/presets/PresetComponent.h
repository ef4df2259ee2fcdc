#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;

/** Shows the current program's name; the preset menu opens from here. */
class PresetChooser : public juce::Component
{
public:
    explicit PresetChooser (VroCore& core);
    ~PresetChooser() override;

    void paint (juce::Graphics&) override;

    /** Repaints when the program's name changed (ignoring letter case). */
    void refreshName();

    const juce::String& getDisplayedName() const noexcept { return displayedName; }

private:
    VroCore& core;
    juce::String displayedName;
};

/** One of the two arrows beside the name; lights briefly on every click. */
class VroArrowButton : public juce::Button, private juce::Timer
{
public:
    explicit VroArrowButton (bool pointsLeft);
    ~VroArrowButton() override;

protected:
    void clicked() override;
    void paintButton (juce::Graphics&, bool isMouseOver, bool isButtonDown) override;

private:
    void timerCallback() override;

    const bool pointsLeft;
};

/** The preset display: the name between a left and a right arrow. */
class PresetComponent : public juce::Component, private juce::Button::Listener
{
public:
    explicit PresetComponent (VroCore& core);
    ~PresetComponent() override;

    void layOut (int x, int y, int width, int height);

    PresetChooser& getChooser() noexcept { return *chooser; }

private:
    void buttonClicked (juce::Button*) override;

    VroCore& core;
    std::unique_ptr<VroArrowButton> previousButton, nextButton;
    std::unique_ptr<PresetChooser> chooser;
    static constexpr int arrowWidth = 20;
};
