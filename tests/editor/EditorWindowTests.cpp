// The editor window as a user meets it: where every control sits, what it shows, what moving it
// tells the processor and the host, and the window-level buttons (skin, about).
#include "EditorFixture.h"
#include "sequencer/VroTempoLed.h"
#include "presets/PresetComponent.h"

using namespace editortest;

namespace
{
struct Row
{
    int index;
    char kind; // k knob or switch, s fader, t toggle, c combo, b bar slider
    int x, y, w, h;
};

// Every parameter-bound control of the window.
const Row parameterRows[] = {
    { 1, 'k', 44, 345, 44, 44 },    { 3, 'k', 37, 423, 59, 26 },    { 2, 'k', 44, 152, 44, 44 },    { 5, 'k', 114, 345, 44, 44 },
    { 4, 'k', 108, 423, 59, 26 },   { 54, 't', 124, 454, 22, 21 },  { 60, 't', 54, 454, 22, 21 },   { 6, 't', 757, 8, 22, 21 },
    { 7, 't', 791, 8, 22, 21 },     { 8, 't', 181, 359, 52, 47 },   { 9, 't', 181, 407, 52, 47 },   { 10, 's', 121, 110, 40, 132 },
    { 11, 'k', 166, 152, 44, 44 },  { 13, 't', 113, 227, 52, 47 },  { 12, 't', 149, 227, 52, 47 },  { 14, 't', 185, 227, 52, 47 },
    { 15, 's', 247, 110, 40, 132 }, { 16, 's', 358, 110, 40, 132 }, { 18, 'k', 293, 152, 44, 44 },  { 17, 'k', 393, 135, 39, 91 },
    { 19, 't', 247, 244, 22, 21 },  { 20, 's', 462, 110, 40, 132 }, { 21, 's', 485, 110, 40, 132 }, { 22, 's', 510, 110, 40, 132 },
    { 23, 'k', 543, 135, 39, 91 },  { 24, 's', 609, 110, 40, 132 }, { 25, 't', 610, 244, 22, 21 },  { 26, 's', 664, 110, 40, 132 },
    { 27, 's', 688, 110, 40, 132 }, { 28, 's', 732, 110, 40, 132 }, { 29, 's', 755, 110, 40, 132 }, { 30, 's', 780, 110, 40, 132 },
    { 31, 't', 732, 244, 22, 21 },  { 32, 't', 664, 244, 22, 21 },  { 33, 'k', 840, 135, 39, 91 },  { 34, 'k', 891, 135, 39, 91 },
    { 35, 's', 929, 110, 40, 132 }, { 36, 's', 952, 110, 40, 132 }, { 37, 's', 977, 110, 40, 132 }, { 38, 's', 1000, 110, 40, 132 },
    { 57, 't', 891, 244, 22, 21 },  { 40, 's', 247, 340, 40, 132 }, { 39, 's', 271, 340, 40, 132 }, { 41, 's', 295, 340, 40, 132 },
    { 43, 's', 349, 340, 40, 132 }, { 42, 's', 372, 340, 40, 132 }, { 44, 't', 423, 289, 22, 21 },  { 45, 't', 481, 289, 22, 21 },
    { 46, 't', 479, 320, 52, 47 },  { 47, 'k', 421, 345, 44, 44 },  { 51, 'c', 475, 392, 45, 17 },  { 48, 'k', 529, 345, 44, 44 },
    { 49, 't', 479, 409, 52, 47 },  { 50, 'c', 430, 426, 45, 17 },  { 52, 't', 532, 409, 52, 47 },  { 55, 't', 423, 472, 22, 21 },
    { 53, 't', 481, 472, 22, 21 },  { 56, 'c', 254, 18, 65, 17 },   { 59, 'b', 955, 295, 70, 10 },  { 61, 't', 463, 227, 22, 21 },
    { 62, 't', 486, 227, 22, 21 },  { 63, 't', 511, 227, 22, 21 },  { 64, 't', 610, 227, 22, 21 },  { 65, 'b', 467, 263, 70, 10 },
};

bool isUnrefreshed (int index) { return index == 6 || index == 7 || index == 9 || index == 55; }

juce::Component* find (VroComponent& editor, const Row& r)
{
    switch (r.kind)
    {
        case 'k': return control<FilmStripKnob> (editor, r.index);
        case 's': return control<ImageSlider> (editor, r.index);
        case 't': return control<ImageToggleButton> (editor, r.index);
        case 'c': return control<VroComboBox> (editor, r.index);
        default: return control<BoxedSimpleSlider> (editor, r.index);
    }
}
} // namespace

TEST (EditorWindow, EveryControlSitsOnItsPlaceAndShowsItsParameter)
{
    VroCore core;
    // Distinct values everywhere; toggles alternate, the exclusive groups keep their last member.
    for (const auto& r : parameterRows)
        core.setParameter (r.index, r.kind == 't' ? (float) (r.index % 2) : 0.05f + 0.013f * (float) r.index);
    pump();

    HostSpy host;
    core.addListener (&host);
    auto editor = openEditor (core);
    ASSERT_NE (editor, nullptr);
    pump();
    EXPECT_TRUE (host.events.empty()) << "opening the window must not write parameters";
    core.removeListener (&host);
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, 1062, 517));
    EXPECT_EQ (editor->getNumChildComponents(), 79); // with the tuning line under the preset name

    for (const auto& r : parameterRows)
    {
        SCOPED_TRACE ("parameter " + std::to_string (r.index));
        auto* c = find (*editor, r);
        ASSERT_NE (c, nullptr);
        EXPECT_EQ (c->getBounds(), juce::Rectangle<int> (r.x, r.y, r.w, r.h));
        EXPECT_TRUE (c->isVisible());

        const float v = core.getParameter (r.index);
        if (auto* s = dynamic_cast<juce::Slider*> (c))
        {
            EXPECT_NEAR (s->getValue(), v, s->getInterval() / 2 + 1.0e-6);
        }
        else if (auto* b = dynamic_cast<juce::Button*> (c))
        {
            EXPECT_EQ (b->getToggleState(), isUnrefreshed (r.index) ? v > 0.0f : v > 0.5f);
        }
        else if (auto* box = dynamic_cast<VroComboBox*> (c))
        {
            EXPECT_EQ (box->getSelectedId(), (int) std::floor ((float) ((VroComboBox::itemCountFor (r.index) - 1) * (double) v + 0.5)) + 1);
        }
    }

    struct Named { juce::Component* c; juce::Rectangle<int> bounds; };
    for (auto n : { Named { &editor->getInfoLabel(), { 178, 455, 45, 17 } }, { &editor->getSequencer(), { 590, 325, 436, 130 } },
                    { &editor->getFineTuneLabel(), { 44, 206, 45, 17 } }, { &editor->getLfoRateLabel(), { 167, 206, 45, 17 } },
                    { &editor->getTempoLabel(), { 475, 372, 45, 17 } }, { &editor->getStepsLabel(), { 529, 392, 45, 17 } },
                    { &editor->getVersionLabel(), { 33, 472, 200, 20 } }, { &editor->getPresetComponent(), { 361, 10, 300, 25 } },
                    { &editor->getAboutButton(), { 825, 0, 240, 40 } }, { &editor->getSkinButton(), { 0, 0, 107, 40 } },
                    { &editor->getEditModeToggle(), { 705, 472, 22, 21 } } })
        EXPECT_EQ (n.c->getBounds(), n.bounds) << n.c->getName();

    EXPECT_EQ (editor->getStepsLabel().getText(), juce::String (core.getPattern().numberOfSteps));
    EXPECT_EQ (editor->getFineTuneLabel().getText(), juce::String ((core.getParameter (2) - 0.5) * 2.0, 2));
    EXPECT_EQ (editor->getLfoRateLabel().getText(), core.getLfoRateText());
    EXPECT_EQ (editor->getTempoLabel().getText(), core.getClockRateText());
}

TEST (EditorWindow, HostChangesMoveControlsWithoutEchoToTheHost)
{
    VroCore core;
    auto editor = openEditor (core);
    HostSpy host;
    core.addListener (&host);

    core.setParameter (26, 0.25f);  // fader
    core.setParameter (47, 0.75f);  // knob, with its tempo read-out
    core.setParameter (45, 1.0f);   // toggle
    core.setParameter (50, 4.0f / 6.0f);
    core.setParameter (9, 1.0f);    // momentary: its button is not refreshed
    EXPECT_TRUE (pumpUntil ([&] { return control<VroComboBox> (*editor, 50)->getText() == "AS PL R"; }));

    EXPECT_NEAR (control<ImageSlider> (*editor, 26)->getValue(), 0.25, 1.0e-4);
    EXPECT_NEAR (control<FilmStripKnob> (*editor, 47)->getValue(), 0.75, 1.0e-3);
    EXPECT_TRUE (control<ImageToggleButton> (*editor, 45)->getToggleState());
    EXPECT_EQ (control<VroComboBox> (*editor, 50)->getText(), "AS PL R");
    EXPECT_FALSE (control<ImageToggleButton> (*editor, 9)->getToggleState());
    EXPECT_EQ (editor->getTempoLabel().getText(), core.getClockRateText());
    EXPECT_TRUE (host.events.empty());
    core.removeListener (&host);
}

TEST (EditorWindow, DraggingAKnobSendsAGestureWithHostNotificationAndShowsTheValue)
{
    VroCore core;
    auto editor = openEditor (core);
    HostSpy host;
    core.addListener (&host);

    auto* cutoff = control<ImageSlider> (*editor, 26); // starts at 1.0
    auto* tempo = control<FilmStripKnob> (*editor, 47);
    const double before = tempo->getValue();
    dragVertically (*tempo, -110.0f); // 550 px span the range: a fifth of it
    EXPECT_NEAR (tempo->getValue(), before + 0.2, 2.0e-3);
    EXPECT_FLOAT_EQ (core.getParameter (47), (float) tempo->getValue());

    ASSERT_GE (host.events.size(), 3u);
    EXPECT_EQ (host.events.front().kind, 'b');
    EXPECT_EQ (host.events.back().kind, 'e');
    for (size_t i = 1; i + 1 < host.events.size(); ++i)
    {
        EXPECT_EQ (host.events[i].kind, 'v');
        EXPECT_EQ (host.events[i].index, 47);
    }
    EXPECT_EQ (host.events[host.events.size() - 2].value, core.getParameter (47));
    EXPECT_EQ (editor->getInfoLabel().getText(), juce::String (tempo->getValue(), 2));
    EXPECT_EQ (editor->getTempoLabel().getText(), core.getClockRateText());

    // The read-out clears two seconds after the last value.
    pump (1500);
    EXPECT_TRUE (editor->getInfoLabel().getText().isNotEmpty());
    EXPECT_TRUE (pumpUntil ([&] { return editor->getInfoLabel().getText().isEmpty(); }));

    // A fader dragged 50 px down from the top loses half its range.
    dragVertically (*cutoff, 50.0f);
    EXPECT_NEAR (core.getParameter (26), 0.5f, 1.0e-4f);
    core.removeListener (&host);
}

TEST (EditorWindow, ValueLabelsFollowTheirControls)
{
    VroCore core;
    auto editor = openEditor (core);

    auto* steps = control<FilmStripKnob> (*editor, 48);
    steps->setValue (0.089, juce::sendNotificationSync); // floor (96 v) = 8
    EXPECT_EQ (editor->getStepsLabel().getText(), "8");
    EXPECT_EQ (core.getPattern().numberOfSteps, 8);

    auto* fine = control<FilmStripKnob> (*editor, 2);
    for (auto [v, text] : { std::pair { 0.0, "-1.00" }, { 0.5, "0.00" }, { 0.75, "0.50" }, { 1.0, "1.00" } })
    {
        fine->setValue (v, juce::sendNotificationSync);
        EXPECT_EQ (editor->getFineTuneLabel().getText(), text);
    }

    click (*control<ImageToggleButton> (*editor, 13)); // LFO sync shows note values
    EXPECT_EQ (editor->getLfoRateLabel().getText(), core.getLfoRateText());
}

TEST (EditorWindow, ArpModeMenuOrderDiffersFromValueOrder)
{
    VroCore core;
    auto editor = openEditor (core);
    auto* box = control<VroComboBox> (*editor, 50);

    const char* texts[] = { "UP", "U&D", "U&D II", "DOWN", "AS PL", "AS PL R", "RND" };
    const float values[] = { 0.0f, 1.0f / 6, 2.0f / 6, 3.0f / 6, 1.0f, 4.0f / 6, 5.0f / 6 };
    for (int i = 0; i < 7; ++i)
    {
        SCOPED_TRACE (texts[i]);
        box->setSelectedItemIndex (i, juce::sendNotificationSync);
        EXPECT_EQ (box->getText(), texts[i]);
        EXPECT_FLOAT_EQ (core.getParameter (50), values[i]);
    }

    core.setParameter (50, 4.0f / 6.0f);
    EXPECT_TRUE (pumpUntil ([&] { return box->getText() == "AS PL R"; }));
}

TEST (EditorWindow, FlashButtonsLightBrieflyAndSendOneEachClick)
{
    VroCore core;
    auto editor = openEditor (core);
    HostSpy host;
    core.addListener (&host);
    auto* panic = control<ImageToggleButton> (*editor, 9);

    for (int round = 0; round < 2; ++round)
    {
        host.events.clear();
        click (*panic);
        EXPECT_TRUE (panic->getToggleState());
        EXPECT_FLOAT_EQ (core.getParameter (9), 1.0f);
        ASSERT_EQ (host.events.size(), 1u);
        EXPECT_EQ (host.events[0].value, 1.0f);
        EXPECT_TRUE (pumpUntil ([&] { return ! panic->getToggleState(); }));
        EXPECT_EQ (host.events.size(), 1u); // turning off is silent
    }

    // A second click inside the flash finds the button on and sends 0.
    click (*panic);
    click (*panic);
    EXPECT_FLOAT_EQ (core.getParameter (9), 0.0f);

    // A plain toggle flips and stays.
    auto* poly = control<ImageToggleButton> (*editor, 8);
    click (*poly);
    pump (300);
    EXPECT_TRUE (poly->getToggleState());
    EXPECT_FLOAT_EQ (core.getParameter (8), 1.0f);
    click (*poly);
    EXPECT_FALSE (poly->getToggleState());
    EXPECT_FLOAT_EQ (core.getParameter (8), 0.0f);
    core.removeListener (&host);
}

TEST (EditorWindow, EditModeSwitchesTheStepsToLength)
{
    VroCore core;
    auto editor = openEditor (core);
    auto& steps = editor->getSequencer().getSteps();
    EXPECT_FALSE (steps.isLengthMode());
    click (editor->getEditModeToggle());
    EXPECT_TRUE (steps.isLengthMode());
    click (editor->getEditModeToggle());
    EXPECT_FALSE (steps.isLengthMode());
}

TEST (EditorWindow, LogoClickSwitchesTheSkinAndItPersists)
{
    {
        VroCore core;
        auto editor = openEditor (core);
        ASSERT_EQ (editor->getBackgroundColourType(), 0);
        const auto lightPanel = editor->createComponentSnapshot ({ 500, 500, 1, 1 }).getPixelAt (0, 0);
        EXPECT_EQ (editor->getVroLookAndFeel().findColour (juce::Label::textColourId).getARGB(), 0xcc323232u);

        click (editor->getSkinButton());
        EXPECT_EQ (editor->getBackgroundColourType(), 1);
        EXPECT_EQ (core.getBackgroundColourType(), 1);
        EXPECT_EQ (editor->getVroLookAndFeel().findColour (juce::Label::textColourId).getARGB(), 0xccc8c8c8u);
        EXPECT_EQ (editor->getVroLookAndFeel().findColour (juce::ComboBox::buttonColourId).getARGB(), 0x99c8c8c8u);
        EXPECT_EQ (editor->getVersionLabel().findColour (juce::Label::textColourId).getARGB(), 0xcc000000u);
        const auto darkPanel = editor->createComponentSnapshot ({ 500, 500, 1, 1 }).getPixelAt (0, 0);
        EXPECT_GT (lightPanel.getBrightness(), darkPanel.getBrightness() + 0.3f);
        // The hit area stays invisible in both skins.
        EXPECT_EQ (editor->getSkinButton().findColour (100).getAlpha(), 0);

        editor.reset();
        auto again = openEditor (core);
        EXPECT_EQ (again->getBackgroundColourType(), 1);
    }

    // A later session of the host opens dark too, then the logo brings the light skin back.
    VroCore later;
    auto editor = openEditor (later);
    EXPECT_EQ (editor->getBackgroundColourType(), 1);
    click (editor->getSkinButton());
    EXPECT_EQ (later.getBackgroundColourType(), 0);
}

TEST (EditorWindow, TitleClickShowsTheAboutPanelUntilClicked)
{
    VroCore core;
    auto editor = openEditor (core);
    auto& panel = editor->getAboutPanel();
    EXPECT_EQ (panel.getParentComponent(), nullptr);

    for (int round = 0; round < 2; ++round)
    {
        click (editor->getAboutButton());
        ASSERT_EQ (panel.getParentComponent(), editor.get());
        EXPECT_EQ (editor->getChildren().getLast(), &panel);
        EXPECT_EQ (panel.getBounds(), juce::Rectangle<int> (301, 36, 460, 445));
        panel.mouseDown (mouseAt (panel, { 10.0f, 10.0f }, { 10.0f, 10.0f }, false));
        EXPECT_EQ (panel.getParentComponent(), nullptr);
    }

    // Closing the editor while the panel shows takes the panel with it.
    click (editor->getAboutButton());
    editor.reset();
}

TEST (EditorWindow, TwoEditorsEachKeepTheirOwnSkin)
{
    VroCore first, second;
    auto a = openEditor (first);
    auto b = openEditor (second);
    EXPECT_EQ (&juce::LookAndFeel::getDefaultLookAndFeel(), &b->getWindowLookAndFeel());

    // A skin change in the older editor reaches its own controls, not the other editor's.
    click (a->getSkinButton());
    auto* comboA = control<VroComboBox> (*a, 56);
    auto* comboB = control<VroComboBox> (*b, 56);
    EXPECT_EQ (comboA->findColour (juce::ComboBox::buttonColourId).getARGB(), 0x99c8c8c8u);
    EXPECT_EQ (comboB->findColour (juce::ComboBox::buttonColourId).getARGB(), 0xcc323232u);

    b.reset();
    EXPECT_EQ (&juce::LookAndFeel::getDefaultLookAndFeel(), &a->getWindowLookAndFeel());
    auto* look = &a->getWindowLookAndFeel();
    a.reset();
    EXPECT_NE (&juce::LookAndFeel::getDefaultLookAndFeel(), look);
}

TEST (EditorWindow, DialogsOutsideTheEditorStayReadableInBothSkins)
{
    // A Standalone's settings dialog is a window of its own: its labels take the default look,
    // on the default window background. The light skin's dark panel text made them unreadable.
    VroCore core;
    auto editor = openEditor (core);
    const auto brightness = [] (juce::Colour c) { return c.getPerceivedBrightness(); };
    for (int skin = 0; skin < 2; ++skin)
    {
        SCOPED_TRACE (editor->getBackgroundColourType());
        juce::Label dialogLabel ({}, "MIDI Output:");
        const auto background = juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId);
        EXPECT_GT (std::abs (brightness (dialogLabel.findColour (juce::Label::textColourId)) - brightness (background)), 0.5f);
        click (editor->getSkinButton());
    }
    // The panel's own labels keep the skin's colour.
    EXPECT_EQ (editor->getTempoLabel().findColour (juce::Label::textColourId).getARGB(),
               editor->getBackgroundColourType() == 0 ? 0xcc323232u : 0xccc8c8c8u);
}

TEST (EditorWindow, LeverSwitchesFollowTheHand)
{
    VroCore core;
    auto editor = openEditor (core);
    auto* lever = control<FilmStripKnob> (*editor, 34); // "ADSR Mode", starts down... or wherever
    lever->setValue (1.0, juce::sendNotificationSync);
    dragVertically (*lever, -80.0f); // up: towards frame 0, the lever's top position
    EXPECT_EQ (FilmStripKnob::frameForValue (lever->getValue(), 3), 0);
    EXPECT_FLOAT_EQ (core.getParameter (34), 0.0f);
    dragVertically (*lever, 80.0f);
    EXPECT_EQ (FilmStripKnob::frameForValue (lever->getValue(), 3), 2);
}
