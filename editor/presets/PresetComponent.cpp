#include "PresetComponent.h"
#include "VroButton.h"
#include "VroCore.h"
#include "VroLookAndFeel.h"

PresetChooser::PresetChooser (VroCore& processor) : core (processor) {}

PresetChooser::~PresetChooser() = default;

void PresetChooser::refreshName()
{
    const auto name = core.getProgram().programName;
    if (! name.equalsIgnoreCase (displayedName))
    {
        displayedName = name;
        repaint();
    }
}

void PresetChooser::paint (juce::Graphics& g)
{
    g.fillAll (findColour (VroColourIds::presetFill));
    g.setColour (findColour (VroColourIds::presetText));
    g.drawRect (getLocalBounds(), 1);
    g.setFont (juce::Font (14.0f, juce::Font::bold));
    g.drawText (displayedName, getLocalBounds(), juce::Justification::centred, false);
}

//==============================================================================
VroArrowButton::VroArrowButton (bool left) : juce::Button ("no name"), pointsLeft (left)
{
    setClickingTogglesState (true);
    setWantsKeyboardFocus (false);
}

VroArrowButton::~VroArrowButton() = default;

void VroArrowButton::clicked()
{
    setToggleState (true, juce::dontSendNotification);
    startTimer (flashMilliseconds);
}

void VroArrowButton::timerCallback()
{
    stopTimer();
    setToggleState (false, juce::dontSendNotification);
    repaint();
}

void VroArrowButton::paintButton (juce::Graphics& g, bool, bool)
{
    const float w = (float) getWidth(), h = (float) getHeight();
    // Reaches past the inner edge so only the outer corners show rounded.
    const juce::Rectangle<float> r (pointsLeft ? 0.5f : -4.5f, 0.5f, w + 4.0f, h - 1.0f);
    g.setColour (findColour (VroColourIds::presetArrowFill));
    g.fillRoundedRectangle (r, 5.0f);
    const auto line = findColour (VroColourIds::presetArrow).contrasting (getToggleState() ? 0.3f : 0.0f);
    g.setColour (line);
    g.drawRoundedRectangle (r, 5.0f, 1.0f);
    juce::Path arrow;
    if (pointsLeft)
        arrow.addTriangle (5.0f, h / 2.0f, w - 5.0f, 5.0f, w - 5.0f, h - 5.0f);
    else
        arrow.addTriangle (w - 5.0f, h / 2.0f, 5.0f, 5.0f, 5.0f, h - 5.0f);
    g.fillPath (arrow);
}

//==============================================================================
PresetComponent::PresetComponent (VroCore& processor)
    : core (processor),
      previousButton (std::make_unique<VroArrowButton> (true)),
      nextButton (std::make_unique<VroArrowButton> (false)),
      chooser (std::make_unique<PresetChooser> (processor))
{
    for (auto* b : { previousButton.get(), nextButton.get() })
    {
        b->setToggleState (false, juce::dontSendNotification);
        b->addListener (this);
        addAndMakeVisible (*b);
    }
    addAndMakeVisible (*chooser);
}

PresetComponent::~PresetComponent() = default;

void PresetComponent::layOut (int x, int y, int width, int height)
{
    setBounds (x, y, width, height);
    previousButton->setBounds (0, 0, arrowWidth, height);
    nextButton->setBounds (width - arrowWidth, 0, arrowWidth, height);
    chooser->setBounds (arrowWidth - 1, 0, width - 2 * arrowWidth + 2, height);
}

void PresetComponent::buttonClicked (juce::Button* b)
{
    const auto list = core.presetList();
    const auto path = core.getProgram().path;
    int i = -1;
    for (int k = 0; k < list.size(); ++k)
        if (list[k].getFullPathName().equalsIgnoreCase (path))
        {
            i = k;
            break;
        }

    const int target = i + (b == nextButton.get() ? 1 : -1);
    if (juce::isPositiveAndBelow (target, list.size()))
        core.loadPresetFile (list[target], true, false);
    chooser->refreshName();
}
