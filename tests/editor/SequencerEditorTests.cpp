// The step strip as a user meets it: editing a column, paging, the running light, the step menu,
// the tempo light and the MIDI drag handle.
#include "EditorFixture.h"
#include "VroImages.h"
#include "sequencer/MenuLauncher.h"
#include "MidiPatternExport.h"
#include "sequencer/VroMidiExportUi.h"
#include "sequencer/VroTempoLed.h"

using namespace editortest;

namespace
{
struct ChangeCounter : juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override { ++count; }
    int count = 0;
};

struct Strip
{
    Strip()
    {
        core.getPattern().changed = true;
        strip.setBounds (0, 0, 416, 130);
        strip.refreshIfChanged();
    }

    VroSequencerStep& step (int i) { return strip.getStep (i); }

    VroCore core;
    VroSequencerSteps strip { core };
};

void press (juce::Component& c, int x, int y)
{
    const juce::Point<float> at ((float) x, (float) y);
    c.mouseDown (mouseAt (c, at, at, false));
}
} // namespace

TEST (SequencerStep, ButtonsEditTheRecordWithinItsRange)
{
    Strip s;
    auto& step = s.step (3);
    auto& record = s.core.getPattern().steps[3];

    // Slide cycles off, slide (green), slide with slide ADSR (red), off.
    struct Expect { bool slide, adsr; juce::uint32 fill; };
    for (auto e : { Expect { true, false, VroSequencerStep::lengthBarColour }, Expect { true, true, VroSequencerStep::velocityBarColour },
                    Expect { false, false, 0x00000000 } })
    {
        click (*step.slideButton);
        EXPECT_EQ (record.slide, e.slide);
        EXPECT_EQ (record.slideAdsr, e.adsr);
        EXPECT_EQ (step.slideButton->fillColour, juce::Colour (e.fill));
        EXPECT_EQ (step.slideButton->getToggleState(), e.slide);
    }

    click (*step.pauseButton);
    EXPECT_TRUE (record.pause);
    click (*step.pauseButton);
    EXPECT_FALSE (record.pause);

    record.noteOffset = 47;
    for (int i = 0; i < 3; ++i)
        click (*step.noteUpButton);
    EXPECT_EQ (record.noteOffset, 48);
    EXPECT_EQ (step.noteLabel->getText(), "48");
    record.noteOffset = -47;
    for (int i = 0; i < 3; ++i)
        click (*step.noteDownButton);
    EXPECT_EQ (record.noteOffset, -48);

    // A random octave fill can leave 60, beyond the buttons' own range.
    record.noteOffset = 60;
    click (*step.noteUpButton);
    EXPECT_EQ (record.noteOffset, 48);
    record.noteOffset = 60;
    click (*step.noteDownButton);
    EXPECT_EQ (record.noteOffset, 59);
}

TEST (SequencerStep, ASlideAdsrRecordShowsRedAndTheNextClickClearsBoth)
{
    Strip s;
    auto& record = s.core.getPattern().steps[0];
    record.slide = false;
    record.slideAdsr = true;
    s.core.getPattern().changed = true;
    s.strip.refreshIfChanged();
    EXPECT_TRUE (s.step (0).slideButton->getToggleState());
    EXPECT_EQ (s.step (0).slideButton->fillColour, juce::Colour (VroSequencerStep::velocityBarColour));
    click (*s.step (0).slideButton);
    EXPECT_FALSE (record.slide);
    EXPECT_FALSE (record.slideAdsr);
}

TEST (SequencerStep, BarsEditVelocityLengthAndNote)
{
    Strip s;
    auto& step = s.step (5);
    auto& record = s.core.getPattern().steps[5];

    dragVertically (*step.levelSlider, -25.0f); // 25 of 250 pixels: +0.1
    EXPECT_NEAR (record.velocity, 0.6, 1e-6);

    // Length mode shows the square root and stores the square.
    record.length = 0.25;
    s.strip.setLengthMode (true);
    EXPECT_NEAR (step.levelSlider->getValue(), 0.5, 1e-6);
    EXPECT_EQ (step.levelSlider->barColour, juce::Colour (VroSequencerStep::lengthBarColour));
    const double fortyFive = 45 * (double) 0.01f;
    step.levelSlider->setValue (fortyFive, juce::sendNotificationSync);
    EXPECT_EQ (record.length, fortyFive * fortyFive);
    EXPECT_NEAR (record.length, 0.2025, 1e-6);
    s.strip.setLengthMode (false);
    EXPECT_EQ (step.levelSlider->barColour, juce::Colour (VroSequencerStep::velocityBarColour));

    struct Case { double value; int offset; };
    for (auto c : { Case { 0.0, -48 }, Case { 1.0, 48 }, Case { 0.75, 24 }, Case { 0.5, 0 } })
    {
        step.noteSlider->setValue (0.3, juce::dontSendNotification);
        step.noteSlider->setValue (c.value, juce::sendNotificationSync);
        EXPECT_EQ (record.noteOffset, c.offset) << c.value;
        EXPECT_EQ (step.noteLabel->getText(), juce::String (c.offset));
    }
    record.noteOffset = 30;
    step.refreshStep();
    const juce::Point<float> mid (11.0f, 7.0f);
    step.noteSlider->mouseDoubleClick (mouseAt (*step.noteSlider, mid, mid, false));
    EXPECT_EQ (record.noteOffset, 0);
}

TEST (SequencerStrip, RefreshReadsOnlyWhenChangedAndFadesInactiveSteps)
{
    Strip s;
    auto& p = s.core.getPattern();
    p.steps[7].noteOffset = 12;
    s.strip.refreshIfChanged();
    EXPECT_EQ (s.step (7).noteLabel->getText(), "0"); // the flag was clear

    p.numberOfSteps = 1;
    p.changed = true;
    s.strip.refreshIfChanged();
    EXPECT_FALSE (p.changed.load());
    EXPECT_EQ (s.step (7).noteLabel->getText(), "12");

    auto image = juce::Image (juce::Image::ARGB, 416, 130, true);
    juce::Graphics g (image);
    s.strip.paintEntireComponent (g, true);
    EXPECT_EQ (s.step (0).slideButton->getAlpha(), 1.0f);
    for (int i : { 1, 15 })
    {
        EXPECT_TRUE (s.step (i).isInactive());
        EXPECT_NEAR (s.step (i).slideButton->getAlpha(), 0.3f, 0.01f) << i; // alpha is kept in 8 bits
    }
    // Faded steps stay editable.
    click (*s.step (1).noteUpButton);
    EXPECT_EQ (p.steps[1].noteOffset, 1);
}

TEST (SequencerStrip, PagesClampAndFollowThePlayingStep)
{
    VroCore core;
    auto editor = openEditor (core);
    auto& sequencer = editor->getSequencer();
    auto& strip = sequencer.getSteps();
    auto& p = core.getPattern();
    auto paintStrip = [&]
    {
        juce::Image image (juce::Image::ARGB, strip.getWidth(), strip.getHeight(), true);
        juce::Graphics g (image);
        strip.paintEntireComponent (g, true);
    };

    paintStrip();
    EXPECT_EQ (strip.getWidth(), 416);
    EXPECT_EQ (strip.getStep (0).getWidth(), 26);
    click (sequencer.getPreviousPageButton());
    paintStrip();
    EXPECT_EQ (strip.page, 0);
    EXPECT_EQ (strip.getStep (0).getX(), 0);
    for (int i = 0; i < 7; ++i)
        click (sequencer.getNextPageButton());
    paintStrip();
    EXPECT_EQ (strip.page, 5);
    EXPECT_EQ (strip.getStep (80).getX(), 0);
    EXPECT_EQ (strip.getStep (95).getX(), 15 * 26);
    EXPECT_EQ (strip.getStep (79).getRight(), 0);

    // The running light moves with the position; within its page the user's page stays.
    p.position = 15;
    EXPECT_TRUE (pumpUntil ([&] { return strip.getStep (15).stepLed->getToggleState(); }));
    EXPECT_FALSE (strip.getStep (0).stepLed->getToggleState());
    paintStrip();
    EXPECT_EQ (strip.page, 5);

    // Step 16 to 17 enters page 1 and flips the view there.
    p.position = 16;
    EXPECT_TRUE (pumpUntil ([&] { return strip.getStep (16).stepLed->getToggleState(); }));
    paintStrip();
    EXPECT_EQ (strip.page, 1);
    EXPECT_FALSE (strip.getStep (15).stepLed->getToggleState());

    click (sequencer.getNextPageButton());
    click (sequencer.getNextPageButton());
    pump (60);
    paintStrip();
    EXPECT_EQ (strip.page, 3);
}

TEST (SequencerStepMenu, OpensOnlyFromTheTopAreaAndAlwaysAsksForARefresh)
{
    VroCore core;
    auto editor = openEditor (core);
    auto& step = editor->getSequencer().getSteps().getStep (0);

    std::vector<juce::Component*> targets;
    const auto previous = MenuLauncher::show;
    MenuLauncher::show = [&] (juce::PopupMenu, juce::PopupMenu::Options options, std::function<void (int)>)
    {
        targets.push_back (options.getTargetComponent());
    };
    press (step, 12, 30);
    EXPECT_TRUE (targets.empty());
    press (step, 12, 29);
    press (step, 3, 0);
    MenuLauncher::show = previous;
    EXPECT_EQ (targets, std::vector<juce::Component*> ({ step.stepLed.get(), step.stepLed.get() }));

    const auto menu = step.createStepMenu();
    juce::StringArray texts;
    juce::Array<int> ids;
    for (juce::PopupMenu::MenuItemIterator it (menu, true); it.next();)
    {
        texts.add (it.getItem().text);
        ids.add (it.getItem().itemID);
        EXPECT_TRUE (it.getItem().isEnabled);
        EXPECT_FALSE (it.getItem().isTicked);
    }
    EXPECT_EQ (texts.joinIntoString ("|"),
               "Delete Step|Copy Step|Set Velocity Global|Set Length Global|Random Pattern Generator|Random Notes|"
               "Random Notes 1 Octave|Random Notes 2 Octave|Random Notes 3 Octave|Random Notes 4 Octave|"
               "Random Notes 5 Octave|Random Note Length I|Random Note Length II|Random Velocity I|Random Velocity II");
    EXPECT_EQ (ids, juce::Array<int> ({ 1, 2, 3, 4, 0, 10, 13, 14, 15, 16, 19, 11, 17, 12, 18 }));

    ChangeCounter counter;
    core.addChangeListener (&counter);
    auto& p = core.getPattern();
    p.steps[95].noteOffset = 7;
    auto& last = editor->getSequencer().getSteps().getStep (95);
    last.stepMenuFinished (0); // dismissed
    EXPECT_TRUE (pumpUntil ([&] { return counter.count == 1; }));
    last.stepMenuFinished (2); // copy the last step: nothing moves
    EXPECT_TRUE (pumpUntil ([&] { return counter.count == 2; }));
    EXPECT_EQ (p.steps[95].noteOffset, 7);
    EXPECT_EQ (p.steps[94].noteOffset, 0);

    // An operation reaches the columns through the change message.
    p.steps[0].velocity = 0.9;
    step.stepMenuFinished (3);
    EXPECT_TRUE (pumpUntil ([&] { return counter.count == 3; }));
    EXPECT_NEAR (editor->getSequencer().getSteps().getStep (40).levelSlider->getValue(), 0.9, 1e-6);
    core.removeChangeListener (&counter);
}

TEST (TempoLed, BlinksWithTheTriangleAndStaysLitAboveEightHertz)
{
    VroCore core;
    VroTempoLed led (VroImages::get (VroImages::Id::ledRed), core);
    auto& lfo = core.getEngine().getLfo();
    struct Case { double triangle, rateHz; bool lit; };
    // Each case turns the light over, so waiting for its state shows the case took effect.
    for (auto c : { Case { 0.5, 8.0, true }, Case { 0.0, 1.0, false }, Case { -0.5, 8.01, true }, Case { -0.5, 8.0, false } })
    {
        lfo.table.triangleValue = c.triangle;
        lfo.rateReadout.set (c.rateHz);
        juce::AudioBuffer<float> noSamples (2, 0); // the light takes the LFO's state once per block
        juce::MidiBuffer noEvents;
        core.processBlock (noSamples, noEvents);
        EXPECT_TRUE (pumpUntil ([&] { return led.isLit() == c.lit; })) << c.triangle << " " << c.rateHz;
    }
}

TEST (MidiExportHandle, OneDragOffersOneFreshFileOfThePattern)
{
    VroCore core;
    core.getPattern().numberOfSteps = 3;
    VroMidiExportUi handle (core);
    EXPECT_EQ (handle.getBounds(), juce::Rectangle<int> (950, 475, 80, 15));
    EXPECT_EQ (handle.getTooltip(), "Drag & Drop Midi File");

    juce::StringArray offered;
    const auto previous = VroMidiExportUi::startExternalDrag;
    VroMidiExportUi::startExternalDrag = [&] (const juce::StringArray& files, juce::Component* source)
    {
        EXPECT_EQ (source, &handle);
        offered.addArray (files);
    };
    for (int press = 0; press < 2; ++press)
    {
        const juce::Point<float> a (5.0f, 5.0f);
        handle.mouseDown (mouseAt (handle, a, a, false));
        for (int i = 1; i <= 4; ++i)
            handle.mouseDrag (mouseAt (handle, a.translated (10.0f * (float) i, 0.0f), a, true));
    }
    VroMidiExportUi::startExternalDrag = previous;

    ASSERT_EQ (offered.size(), 2);
    EXPECT_NE (offered[0], offered[1]);
    for (const auto& path : offered)
    {
        juce::File file (path);
        juce::MemoryBlock bytes;
        ASSERT_TRUE (file.loadFileAsData (bytes));
        EXPECT_EQ (bytes, MidiPatternExport::fileBytes (core.getPattern(), 240.0));
        file.deleteFile();
    }
}
