// Pictures of the step editor in both skins and edit modes, and of the open preset menu, saved in
// the build folder for people to look at.
#include "EditorFixture.h"
#include "presets/PresetComponent.h"
#include "sequencer/MenuLauncher.h"

using namespace editortest;

namespace
{
/** A pattern that shows every kind of step: slides, pauses, notes both ways, short and long. */
void fillShowcase (StepPattern& p)
{
    for (int i = 0; i < StepPattern::maxSteps; ++i)
    {
        auto& s = p.steps[i];
        s.noteOffset = (i * 7) % 25 - 12;
        s.velocity = 0.2 + 0.8 * ((i * 5) % 11) / 10.0;
        s.length = 0.15 + 0.85 * ((i * 3) % 7) / 6.0;
        s.slide = i % 4 == 1 || i % 6 == 5;
        s.slideAdsr = i % 6 == 5;
        s.pause = i % 5 == 3;
    }
    p.numberOfSteps = 12;
    p.position = 2;
    p.changed = true;
}
} // namespace

TEST (EditorSnapshots, SequencerAreaInBothSkinsAndEditModes)
{
    VroCore core;
    fillShowcase (core.getPattern());
    auto editor = openEditor (core);
    pump (80);

    const juce::Rectangle<int> area (580, 290, 465, 215);
    juce::Image sheet (juce::Image::ARGB, area.getWidth() * 2, area.getHeight() * 2, true);
    juce::Graphics g (sheet);
    for (int skin = 0; skin < 2; ++skin)
    {
        if (editor->getBackgroundColourType() != skin)
            click (editor->getSkinButton());
        for (int mode = 0; mode < 2; ++mode)
        {
            if (editor->getEditModeToggle().getToggleState() != (mode == 1))
                click (editor->getEditModeToggle());
            EXPECT_EQ (editor->getSequencer().getSteps().isLengthMode(), mode == 1);
            pump (40);
            g.drawImageAt (editor->createComponentSnapshot (area), mode * area.getWidth(), skin * area.getHeight());
        }
    }
    save (sheet, "sequencer-area.png");
    if (editor->getBackgroundColourType() != 0)
        click (editor->getSkinButton());

    // The lit LED of the playing step is the reddest spot of its column.
    const auto shot = editor->createComponentSnapshot (editor->getSequencer().getBounds());
    const auto lit = shot.getPixelAt (10 + 2 * 26 + 13, 19);
    const auto unlit = shot.getPixelAt (10 + 3 * 26 + 13, 19);
    EXPECT_GT (lit.getRed() - lit.getGreen(), unlit.getRed() - unlit.getGreen());
}

TEST (EditorSnapshots, OpenPresetMenu)
{
    VroCore core;
    core.loadPresetFile (core.presetList()[3], true, false); // something to tick, when factory presets exist
    auto editor = openEditor (core);
    pump (80);

    // Hosted inside the editor, so the picture needs no desktop window.
    const auto previous = MenuLauncher::show;
    MenuLauncher::show = [&] (juce::PopupMenu menu, juce::PopupMenu::Options options, std::function<void (int)> done)
    {
        menu.showMenuAsync (options.withParentComponent (editor.get()), std::move (done));
    };
    auto& chooser = editor->getPresetComponent().getChooser();
    const juce::Point<float> at (20.0f, 10.0f);
    chooser.mouseDown (mouseAt (chooser, at, at, false));
    MenuLauncher::show = previous;
    // No message loop before the picture: a menu of a process without window focus closes itself.

    juce::Component* menuWindow = nullptr;
    for (auto* c : editor->getChildren())
        if (c->getName() == "menu" && c->isVisible())
            menuWindow = c;
    ASSERT_NE (menuWindow, nullptr);
    EXPECT_GE (menuWindow->getWidth(), chooser.getWidth());

    save (editor->createComponentSnapshot (editor->getLocalBounds()), "preset-menu.png");
    juce::PopupMenu::dismissAllActiveMenus();
    pump (50);
}
