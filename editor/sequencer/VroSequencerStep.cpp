#include "VroSequencerStep.h"
#include "MenuLauncher.h"
#include "PatternOperations.h"
#include "VroCore.h"
#include "VroImages.h"
#include "VroLookAndFeel.h"

namespace
{
constexpr int maxNoteOffset = 48;

std::unique_ptr<juce::Label> makeLabel (const juce::String& text)
{
    auto label = std::make_unique<juce::Label> (juce::String(), text);
    label->setFont (juce::Font (11.0f, juce::Font::bold));
    label->setJustificationType (juce::Justification::centred);
    label->setBorderSize ({});
    return label;
}

std::unique_ptr<SimpleSlider> makeBar()
{
    auto slider = std::make_unique<SimpleSlider>();
    slider->setMouseDragSensitivity (250);
    return slider;
}
} // namespace

VroSequencerStep::VroSequencerStep (VroCore& processor, PatternStep& record, const juce::String& numberText)
    : step (record),
      numberLabel (makeLabel (numberText)),
      stepLed (std::make_unique<ImageToggleButton> ("Toggle Button", VroImages::get (VroImages::Id::ledRed), false, false, 0)),
      slideButton (std::make_unique<VroButton> ("S", 0, false)),
      pauseButton (std::make_unique<VroButton> ("P", 0, false)),
      levelSlider (makeBar()),
      noteLabel (makeLabel ("0")),
      noteUpButton (std::make_unique<VroButton> ("+", 0, true)),
      noteDownButton (std::make_unique<VroButton> ("-", 0, true)),
      noteSlider (makeBar()),
      core (processor)
{
    // The number and the LED are the handle of the step menu: presses fall through to the step.
    numberLabel->setInterceptsMouseClicks (false, true);
    stepLed->setInterceptsMouseClicks (false, true);
    levelSlider->barColour = juce::Colour (velocityBarColour);
    noteSlider->setDoubleClickReturnValue (true, 0.5);

    const std::pair<juce::Component*, juce::Rectangle<int>> children[] = {
        { numberLabel.get(), { 2, 2, 21, 11 } },    { stepLed.get(), { 2, 9, 22, 21 } },
        { slideButton.get(), { 2, 27, 22, 11 } },   { pauseButton.get(), { 2, 40, 22, 11 } },
        { levelSlider.get(), { 2, 57, 22, 30 } },   { noteLabel.get(), { 0, 85, 24, 20 } },
        { noteUpButton.get(), { 2, 104, 22, 11 } }, { noteDownButton.get(), { 2, 116, 22, 11 } },
        { noteSlider.get(), { 2, 88, 22, 15 } },
    };
    for (auto [child, bounds] : children)
    {
        child->setBounds (bounds);
        addAndMakeVisible (child);
    }
    for (auto* b : { slideButton.get(), pauseButton.get(), noteUpButton.get(), noteDownButton.get() })
        b->addListener (this);
    levelSlider->addListener (this);
    noteSlider->addListener (this);
}

VroSequencerStep::~VroSequencerStep() = default;

void VroSequencerStep::buttonClicked (juce::Button* b)
{
    if (b == slideButton.get())
    {
        slideState = slideState + 1 > 2 ? 0 : slideState + 1;
        step.slide = slideState >= 1;
        step.slideAdsr = slideState == 2;
    }
    else if (b == pauseButton.get())
        step.pause = pauseButton->getToggleState();
    else if (b == noteUpButton.get())
        step.noteOffset = juce::jmin (maxNoteOffset, step.noteOffset + 1);
    else if (b == noteDownButton.get())
        step.noteOffset = juce::jmax (-maxNoteOffset, step.noteOffset - 1);
    refreshStep();
}

void VroSequencerStep::sliderValueChanged (juce::Slider* s)
{
    const double v = s->getValue();
    if (s == levelSlider.get())
    {
        if (lengthMode)
            step.length = v * v;
        else
            step.velocity = v;
    }
    else if (s == noteSlider.get())
        step.noteOffset = (int) std::floor ((2.0 * v - 1.0) * maxNoteOffset + 0.5);
    refreshStep();
}

void VroSequencerStep::refreshStep()
{
    pauseButton->setToggleState (step.pause, juce::dontSendNotification);
    noteLabel->setText (juce::String (step.noteOffset), juce::dontSendNotification);
    updateSlideButton();
    levelSlider->setValue (lengthMode ? std::sqrt (step.length.get()) : step.velocity.get(), juce::dontSendNotification);
    noteSlider->setValue ((step.noteOffset + maxNoteOffset) / (2.0 * maxNoteOffset), juce::dontSendNotification);
    // The pause fill is drawn by paint.
    repaint();
}

void VroSequencerStep::setLengthMode (bool shouldShowLength)
{
    lengthMode = shouldShowLength;
    levelSlider->barColour = juce::Colour (lengthMode ? lengthBarColour : velocityBarColour);
    levelSlider->repaint();
    refreshStep();
}

void VroSequencerStep::updateSlideButton()
{
    if (! step.slide && ! step.slideAdsr)
    {
        slideButton->fillColour = juce::Colour (0x00000000);
        slideState = 0;
    }
    else if (! step.slideAdsr)
    {
        slideButton->fillColour = juce::Colour (lengthBarColour);
        slideState = 1;
    }
    else
    {
        slideButton->fillColour = juce::Colour (velocityBarColour);
        slideState = 2;
    }
    slideButton->setToggleState (slideState != 0, juce::dontSendNotification);
    slideButton->repaint();
}

void VroSequencerStep::paint (juce::Graphics& g)
{
    for (auto* label : { numberLabel.get(), noteLabel.get() })
        label->setColour (juce::Label::textColourId, findColour (VroColourIds::stepText));
    noteSlider->barColour = findColour (VroColourIds::stepNoteBar);
    for (auto* b : { pauseButton.get(), slideButton.get() })
    {
        b->setColour (VroColourIds::buttonOff, findColour (VroColourIds::stepButtonOff));
        b->setColour (VroColourIds::buttonOn, findColour (VroColourIds::stepButtonOn));
    }
    const auto pauseFill = juce::Colour (step.pause ? 0xcc646464 : 0x00323232);
    if (pauseButton->fillColour != pauseFill)
    {
        pauseButton->fillColour = pauseFill;
        pauseButton->repaint();
    }

    g.setColour (findColour (VroColourIds::stepOutline));
    g.drawRect (getLocalBounds(), 1);

    if (inactive)
    {
        g.setColour (findColour (VroColourIds::stepInactive));
        g.fillRect (getLocalBounds());
    }
    // Inactive steps stay editable; they only fade.
    const float alpha = inactive ? 0.3f : 1.0f;
    for (auto* child : getChildren())
        child->setAlpha (alpha);
}

void VroSequencerStep::mouseDown (const juce::MouseEvent& e)
{
    if (e.y >= menuAreaHeight)
        return;
    juce::Component::SafePointer<VroSequencerStep> self (this);
    MenuLauncher::show (createStepMenu(), juce::PopupMenu::Options().withTargetComponent (stepLed.get()),
                        [self] (int result)
                        {
                            if (self != nullptr)
                                self->stepMenuFinished (result);
                        });
}

juce::PopupMenu VroSequencerStep::createStepMenu() const
{
    juce::PopupMenu random;
    random.addItem (10, "Random Notes");
    random.addItem (13, "Random Notes 1 Octave");
    random.addItem (14, "Random Notes 2 Octave");
    random.addItem (15, "Random Notes 3 Octave");
    random.addItem (16, "Random Notes 4 Octave");
    random.addItem (19, "Random Notes 5 Octave");
    random.addItem (11, "Random Note Length I");
    random.addItem (17, "Random Note Length II");
    random.addItem (12, "Random Velocity I");
    random.addItem (18, "Random Velocity II");

    juce::PopupMenu menu;
    menu.addItem (1, "Delete Step");
    menu.addItem (2, "Copy Step");
    menu.addItem (3, "Set Velocity Global");
    menu.addItem (4, "Set Length Global");
    menu.addSubMenu ("Random Pattern Generator", random);
    return menu;
}

void VroSequencerStep::stepMenuFinished (int result)
{
    PatternOperations::runMenuItem (core.getPattern(), result, step.index);
    // Even a dismissed menu refreshes, as every menu of the editor does.
    core.notifyChange();
}
