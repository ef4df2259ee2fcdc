#include "VroSequencer.h"
#include "VroCore.h"
#include "VroLookAndFeel.h"

namespace
{
constexpr int stepsPerPage = 16;
constexpr int lastPage = StepPattern::maxSteps / stepsPerPage - 1;
} // namespace

VroSequencerSteps::VroSequencerSteps (VroCore& core) : pattern (core.getPattern())
{
    startTimer (20);
}

VroSequencerSteps::~VroSequencerSteps()
{
    stopTimer();
}

void VroSequencerSteps::refreshIfChanged()
{
    if (pattern.changed.exchange (false))
        repaint();
}

void VroSequencerSteps::setLengthMode (bool shouldShowLength)
{
    lengthMode = shouldShowLength;
    repaint();
}

void VroSequencerSteps::timerCallback()
{
    // Repaint only when the running light moves.
    const int position = pattern.position.load();
    if (position != shownPosition)
    {
        shownPosition = position;
        repaint();
    }
}

void VroSequencerSteps::paint (juce::Graphics& g)
{
    const int position = pattern.position.load();
    const int playingPage = position / stepsPerPage;
    if (position < StepPattern::maxSteps && playingPage != followedPage)
        followedPage = page = playingPage;
    page = juce::jlimit (0, lastPage, page);

    const double stepWidth = getWidth() * 0.0625;
    const int columnWidth = (int) stepWidth;
    const int h = getHeight();
    const auto font = juce::Font (11.0f, juce::Font::bold);
    g.setFont (font);

    for (int c = 0; c < stepsPerPage; ++c)
    {
        const int i = page * stepsPerPage + c;
        const auto& step = pattern.steps[i];
        const int x = (int) std::floor (c * stepWidth);
        const auto column = juce::Rectangle<int> (x, 0, columnWidth, h);
        const bool inactive = i >= pattern.numberOfSteps;
        const float alpha = inactive ? 0.3f : 1.0f;

        g.setColour (findColour (VroColourIds::stepText).withMultipliedAlpha (alpha));
        g.drawText (juce::String (i + 1), x + 2, 2, 21, 11, juce::Justification::centred);

        // Running light, slide and pause flags.
        g.setColour (i == position ? juce::Colour (0xffe8412c) : juce::Colour (0xff4a2222).withMultipliedAlpha (alpha));
        g.fillRect (x + 6, 15, 14, 7);
        const auto flag = [&] (int y, const char* text, bool on, juce::Colour onFill)
        {
            if (on)
            {
                g.setColour (onFill.withMultipliedAlpha (alpha));
                g.fillRect (x + 2, y, 22, 11);
            }
            g.setColour (findColour (on ? VroColourIds::stepButtonOn : VroColourIds::stepButtonOff).withMultipliedAlpha (alpha));
            g.drawRect (x + 2, y, 22, 11, 1);
            g.drawText (text, x + 2, y, 22, 11, juce::Justification::centred);
        };
        flag (27, "S", step.slide || step.slideAdsr, step.slideAdsr ? juce::Colour (0xff8c6e6e) : juce::Colour (0xff6e8c6e));
        flag (40, "P", step.pause, juce::Colour (0xcc646464));

        const double level = lengthMode ? std::sqrt (step.length) : step.velocity;
        const int bar = (int) (30 * juce::jlimit (0.0, 1.0, level));
        g.setColour ((lengthMode ? juce::Colour (0xff6e8c6e) : juce::Colour (0xff8c6e6e)).withMultipliedAlpha (alpha));
        g.fillRect (x + 2, 57 + 30 - bar, 22, bar);

        const int noteBar = (int) (15 * juce::jlimit (0.0, 1.0, (step.noteOffset + 48) / 96.0));
        g.setColour (findColour (VroColourIds::stepNoteBar).withMultipliedAlpha (alpha));
        g.fillRect (x + 2, 88 + 15 - noteBar, 22, noteBar);
        g.setColour (findColour (VroColourIds::stepText).withMultipliedAlpha (alpha));
        g.drawText (juce::String (step.noteOffset), x, 85, 24, 20, juce::Justification::centred);

        for (auto [y, text] : { std::pair { 104, "+" }, std::pair { 116, "-" } })
        {
            g.setColour (findColour (VroColourIds::stepButtonOff).withMultipliedAlpha (alpha));
            g.drawRect (x + 2, y, 22, 11, 1);
            g.drawText (text, x + 2, y, 22, 11, juce::Justification::centred);
        }

        g.setColour (findColour (VroColourIds::stepOutline));
        g.drawRect (column, 1);
        if (inactive)
        {
            g.setColour (findColour (VroColourIds::stepInactive));
            g.fillRect (column);
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
    previousPageButton->fillColour = nextPageButton->fillColour = findColour (VroColourIds::pageButtonFill);
    g.setColour (juce::Colour (0xcc323232));
    g.drawRect (getLocalBounds(), 1);
}

void VroSequencer::buttonClicked (juce::Button* b)
{
    steps->page += b == nextPageButton.get() ? 1 : -1;
    steps->repaint();
}
