#include "LogoPanel.h"
#include "VroImages.h"

LogoPanel::LogoPanel (juce::Image picture, juce::Component* centreOn)
    : image (picture), parent (centreOn)
{
    setSize (image.getWidth(), image.getHeight());
    if (parent != nullptr)
        setBounds (parent->getWidth() / 2 - getWidth() / 2, parent->getHeight() / 2 - getHeight() / 2, getWidth(), getHeight());
}

LogoPanel::~LogoPanel() = default;

void LogoPanel::mouseDown (const juce::MouseEvent&)
{
    if (parent != nullptr && parent->getIndexOfChildComponent (this) >= 0)
        parent->removeChildComponent (this);
}

void LogoPanel::paint (juce::Graphics& g)
{
    VroImages::draw (g, image, image.getBounds(), image.getBounds());
}
