#include "VroSequencer.h"
#include "VroCore.h"
#include "VroLookAndFeel.h"

VroSequencerSteps::VroSequencerSteps (VroCore& core) : pattern (core.getPattern())
{
    setInterceptsMouseClicks (false, true);
    for (int i = 0; i < StepPattern::maxSteps; ++i)
    {
        steps.push_back (std::make_unique<VroSequencerStep> (core, pattern.steps[i], juce::String (i + 1)));
        addAndMakeVisible (*steps.back());
    }
    startTimer (20);
}

VroSequencerSteps::~VroSequencerSteps()
{
    stopTimer();
}

void VroSequencerSteps::refreshIfChanged()
{
    if (! pattern.changed.exchange (false))
        return;
    for (int i = 0; i < StepPattern::maxSteps; ++i)
    {
        steps[(size_t) i]->refreshStep();
        steps[(size_t) i]->setInactive (i >= pattern.numberOfSteps);
    }
    repaint();
}

void VroSequencerSteps::setLengthMode (bool shouldShowLength)
{
    lengthMode = shouldShowLength;
    for (auto& s : steps)
        s->setLengthMode (shouldShowLength);
}

void VroSequencerSteps::timerCallback()
{
    // An unchanged toggle state costs nothing, so touching all 96 every tick is cheap.
    const int position = pattern.position.load();
    for (int i = 0; i < StepPattern::maxSteps; ++i)
        steps[(size_t) i]->stepLed->setToggleState (i == position, juce::dontSendNotification);
}

void VroSequencerSteps::paint (juce::Graphics&)
{
    layOutSteps();
}

void VroSequencerSteps::resized()
{
    layOutSteps();
}

void VroSequencerSteps::layOutSteps()
{
    // A lit LED repaints the strip behind it, so the view catches every page the light enters.
    const int position = pattern.position.load();
    const int playingPage = position / stepsPerPage;
    if (position >= 0 && playingPage <= lastPage && playingPage != followedPage)
        followedPage = page = playingPage;
    page = juce::jlimit (0, lastPage, page);

    const double stepWidth = getWidth() * 0.0625;
    const int columnWidth = (int) stepWidth;
    const int n = pattern.numberOfSteps;
    for (int i = 0; i < StepPattern::maxSteps; ++i)
    {
        auto& s = *steps[(size_t) i];
        const int x = (int) std::floor (i * stepWidth - stepsPerPage * page * stepWidth);
        s.setBounds (x, 0, columnWidth, getHeight());
        if (s.isInactive() != (i >= n))
        {
            s.setInactive (i >= n);
            s.repaint();
        }
    }
}

//==============================================================================
VroSequencer::VroSequencer (VroCore& core)
    : steps (std::make_unique<VroSequencerSteps> (core)),
      previousPageButton (std::make_unique<VroButton> ("<", 0, true)),
      nextPageButton (std::make_unique<VroButton> (">", 0, true))
{
    for (auto* b : { previousPageButton.get(), nextPageButton.get() })
    {
        b->fillColour = juce::Colour (0xff646464);
        b->setToggleState (false, juce::dontSendNotification);
        b->addListener (this);
    }
    addAndMakeVisible (*steps);
    addAndMakeVisible (*previousPageButton);
    addAndMakeVisible (*nextPageButton);
}

VroSequencer::~VroSequencer() = default;

void VroSequencer::layOut()
{
    setBounds (590, 325, 436, 130);
    steps->setBounds (10, 0, getWidth() - 20, getHeight());
    previousPageButton->setBounds (0, 0, 11, getHeight());
    nextPageButton->setBounds (getWidth() - 11, 0, 11, getHeight());
}

void VroSequencer::paint (juce::Graphics& g)
{
    const auto fill = findColour (VroColourIds::pageButtonFill);
    for (auto* b : { previousPageButton.get(), nextPageButton.get() })
        if (b->fillColour != fill)
        {
            b->fillColour = fill;
            b->repaint();
        }
    g.setColour (juce::Colour (0xcc323232));
    g.drawRect (getLocalBounds(), 1);
}

void VroSequencer::buttonClicked (juce::Button* b)
{
    steps->page += b == nextPageButton.get() ? 1 : -1;
    steps->repaint();
}
