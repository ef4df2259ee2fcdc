// The image controls and small widgets on their own, with small hand-made images.
#include "EditorFixture.h"
#include "SimpleSlider.h"

using namespace editortest;

namespace
{
/** A strip whose frame n is filled with grey level n, so a snapshot tells which frame shows. */
juce::Image numberedStrip (int width, int frameHeight, int frames)
{
    juce::Image strip (juce::Image::ARGB, width, frameHeight * frames, true);
    juce::Graphics g (strip);
    for (int i = 0; i < frames; ++i)
    {
        g.setColour (juce::Colour ((juce::uint8) i, (juce::uint8) i, (juce::uint8) i));
        g.fillRect (0, i * frameHeight, width, frameHeight);
    }
    return strip;
}

int shownFrame (juce::Component& c)
{
    return c.createComponentSnapshot (c.getLocalBounds()).getPixelAt (c.getWidth() / 2, c.getHeight() / 2).getRed();
}
} // namespace

TEST (FilmStripKnob, ShowsTheNearestFrameHalvesGoingUp)
{
    struct Case { int frames; double value; int frame; };
    for (auto c : { Case { 50, 0.0, 0 }, { 50, 1.0, 49 }, { 50, 0.5, 25 }, { 50, 0.49, 24 }, { 3, 0.2, 0 }, { 3, 0.4, 1 },
                    { 3, 0.6, 1 }, { 3, 0.8, 2 }, { 4, 0.2, 1 }, { 4, 1.0, 3 } })
    {
        SCOPED_TRACE (std::to_string (c.frames) + " frames at " + std::to_string (c.value));
        FilmStripKnob knob (numberedStrip (10, 10, c.frames), c.frames, false, 11);
        knob.setBounds (0, 0, 10, 10);
        knob.setValue (c.value, juce::dontSendNotification);
        EXPECT_EQ (shownFrame (knob), c.frame);
    }

    FilmStripKnob knob (numberedStrip (44, 44, 50), 50, false, 1);
    EXPECT_EQ (knob.getName(), "1");
    EXPECT_EQ ((int) knob.getProperties()["index"], 1);
    EXPECT_EQ (knob.getInterval(), (double) 0.001f);
}

TEST (ImageSlider, CapFollowsTheValueAndDragsRelatively)
{
    juce::Image cap (juce::Image::ARGB, 47, 55, true);
    VroInfoLabel info;
    ImageSlider slider (cap, 77, &info, 26);
    slider.setBounds (0, 0, 40, 132);

    for (auto [v, top] : { std::pair { 1.0, 0 }, { 0.5, 38 }, { 0.0, 77 } })
    {
        slider.setValue (v, juce::dontSendNotification);
        EXPECT_EQ (slider.capTop(), top);
    }

    slider.setValue (0.2, juce::dontSendNotification);
    dragVertically (slider, 0.0f, 1);
    EXPECT_NEAR (slider.getValue(), 0.2, 1.0e-4);
    dragVertically (slider, -50.0f);
    EXPECT_NEAR (slider.getValue(), 0.7, 1.0e-4);

    slider.mouseEnter (mouseAt (slider, { 1.0f, 1.0f }, { 1.0f, 1.0f }, false));
    EXPECT_EQ (info.getText(), "0.70");
}

TEST (ImageToggleButton, FlashingTurnsOffSilentlyPlainStays)
{
    struct Counter : juce::Button::Listener
    {
        void buttonClicked (juce::Button*) override { ++clicks; }
        int clicks = 0;
    };

    const auto strip = numberedStrip (22, 21, 2);
    ImageToggleButton flash ("Toggle Button", strip, false, true, 9), plain ("Toggle Button", strip, false, false, 8);
    Counter counter;
    for (auto* b : { &flash, &plain })
    {
        b->setBounds (0, 0, 22, 21);
        b->addListener (&counter);
    }

    click (flash);
    EXPECT_EQ (shownFrame (flash), 1);
    EXPECT_TRUE (pumpUntil ([&] { return shownFrame (flash) == 0; }));
    EXPECT_EQ (counter.clicks, 1);

    click (plain);
    pump (300);
    EXPECT_EQ (shownFrame (plain), 1);
    click (plain);
    EXPECT_EQ (shownFrame (plain), 0);
    EXPECT_EQ (counter.clicks, 3);
}

TEST (VroComboBox, ItemIdsMapToEvenlySpacedValues)
{
    struct Case { int index; float value; int id; };
    for (auto c : { Case { 50, 1.0f, 7 }, { 50, 0.58f, 4 }, { 50, 0.5f, 4 }, { 51, 0.24f, 1 }, { 51, 0.25f, 2 },
                    { 51, 0.74f, 2 }, { 51, 0.75f, 3 }, { 56, 0.0f, 1 }, { 56, 1.0f, 4 } })
    {
        SCOPED_TRACE ("index " + std::to_string (c.index) + " value " + std::to_string (c.value));
        VroComboBox box (c.index);
        for (int id = 1; id <= VroComboBox::itemCountFor (c.index); ++id)
            box.addItem (juce::String (id), id);
        box.setValueNormalised (c.value);
        EXPECT_EQ (box.getSelectedId(), c.id);
    }

    VroComboBox box (50);
    for (int id = 1; id <= 7; ++id)
        box.addItem (juce::String (id), id);
    box.setSelectedId (5, juce::dontSendNotification);
    EXPECT_FLOAT_EQ (box.getValueNormalised(), 4.0f / 6.0f);
    EXPECT_EQ (box.getName(), "50");
}

TEST (VroInfoLabel, ShowsTwoDecimalsForTwoSecondsAfterTheLastValue)
{
    VroInfoLabel label;
    label.showValue (0.5);
    EXPECT_EQ (label.getText(), "0.50");
    label.showValue (1.0);
    EXPECT_EQ (label.getText(), "1.00");
    pump (1200);
    label.showValue (0.25);
    pump (1200); // 2.4 s after the first value, 1.2 s after the last
    EXPECT_EQ (label.getText(), "0.25");
    EXPECT_TRUE (pumpUntil ([&] { return label.getText().isEmpty(); }));
}

TEST (VroButton, FlashShowsOnForEveryClick)
{
    VroButton button ("<", 0, true);
    button.setBounds (0, 0, 11, 40);
    click (button);
    EXPECT_TRUE (button.getToggleState());
    click (button); // would turn a plain toggle off
    EXPECT_TRUE (button.getToggleState());
    EXPECT_TRUE (pumpUntil ([&] { return ! button.getToggleState(); }));
}

TEST (SimpleSlider, BarGrowsFromTheBottom)
{
    SimpleSlider slider;
    slider.barColour = juce::Colours::white;
    slider.setBounds (0, 0, 10, 30);
    slider.setValue (0.5, juce::dontSendNotification);
    const auto shot = slider.createComponentSnapshot (slider.getLocalBounds());
    int filledRows = 0;
    for (int y = 0; y < 30; ++y)
        filledRows += shot.getPixelAt (5, y).getAlpha() == 255 ? 1 : 0;
    EXPECT_EQ (filledRows, 15);
    EXPECT_EQ (shot.getPixelAt (5, 29).getAlpha(), 255);
}

TEST (LogoPanel, CentresInItsParentAndHidesOnClick)
{
    juce::Component parent;
    parent.setSize (1062, 517);
    LogoPanel panel (juce::Image (juce::Image::ARGB, 460, 445, true), &parent);
    EXPECT_EQ (panel.getBounds(), juce::Rectangle<int> (301, 36, 460, 445));
    parent.addAndMakeVisible (panel);
    panel.mouseDown (mouseAt (panel, {}, {}, false));
    EXPECT_EQ (panel.getParentComponent(), nullptr);
    panel.mouseDown (mouseAt (panel, {}, {}, false)); // not shown: nothing happens
}
