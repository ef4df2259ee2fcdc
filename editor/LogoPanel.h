#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The about picture, centred in its parent; any click hides it again. */
class LogoPanel : public juce::Component
{
public:
    LogoPanel (juce::Image image, juce::Component* centreOn);
    ~LogoPanel() override;

    void mouseDown (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

private:
    juce::Image image;
    juce::Component* parent;
};
