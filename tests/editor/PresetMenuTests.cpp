// The preset display: neighbour arrows, the menu built from the preset tree, and the dialog flows
// with the file chooser answered by the test.
#include "EditorFixture.h"
#include "core/PresetTestSupport.h"
#include "presets/PresetComponent.h"
#include "presets/PresetDialogs.h"
#include "presets/TuningMenu.h"
#include "engine/TuningFixtures.h"
#include "sequencer/VroLoadSequencerPreset.h"
#include "VroImages.h"

using namespace editortest;

namespace
{
struct Item
{
    juce::String text;
    int id;
    bool enabled, ticked, separator;
    std::vector<Item> sub;
    bool hasSub;
};

std::vector<Item> itemsOf (const juce::PopupMenu& menu)
{
    std::vector<Item> items;
    for (juce::PopupMenu::MenuItemIterator it (menu, false); it.next();)
    {
        const auto& i = it.getItem();
        items.push_back ({ i.text, i.itemID, i.isEnabled, i.isTicked, i.isSeparator,
                           i.subMenu != nullptr ? itemsOf (*i.subMenu) : std::vector<Item>(), i.subMenu != nullptr });
    }
    return items;
}

int countPresetItems (const std::vector<Item>& items)
{
    int n = 0;
    for (const auto& i : items)
        n += i.hasSub ? countPresetItems (i.sub) : (i.id >= PresetChooser::firstPresetId ? 1 : 0);
    return n;
}

const Item* find (const std::vector<Item>& items, const juce::String& text)
{
    for (const auto& i : items)
        if (i.text == text)
            return &i;
    return nullptr;
}

/** Answers the next file chooser as a user would, and remembers what it was asked. */
struct ChooserAnswer
{
    explicit ChooserAnswer (juce::File answerToGive) : answer (std::move (answerToGive))
    {
        previous = PresetDialogs::runChooser;
        PresetDialogs::runChooser = [this] (const PresetDialogs::Request& r, PresetDialogs::Answer reply)
        {
            requests.push_back (r);
            reply (answer);
        };
    }
    ~ChooserAnswer() { PresetDialogs::runChooser = previous; }

    juce::File answer;
    std::vector<PresetDialogs::Request> requests;
    std::function<void (const PresetDialogs::Request&, PresetDialogs::Answer)> previous;
};

/** A small preset tree written by the processor itself:
    Bass/{B1,B2}, "Bass Leads"/{L1, Deep/{D1}}, Empty/, and Loose directly in the preset folder. */
struct SmallTree
{
    SmallTree()
    {
        config.presets().createDirectory(); // no factory presets in this tree
        core = std::make_unique<VroCore>();
        root = juce::File (core->getPresetDirectory());
        for (auto path : { "Bass/B1", "Bass/B2", "Bass Leads/L1", "Bass Leads/Deep/D1", "Loose" })
        {
            auto file = root.getChildFile (juce::String (path) + ".drubbel");
            file.getParentDirectory().createDirectory();
            EXPECT_TRUE (core->savePresetFile (file));
        }
        root.getChildFile ("Empty").createDirectory();
        core->getProgram().setPath ({});
        core->getProgram().setProgramName ("Unsaved");
    }

    juce::File file (const juce::String& path) const { return root.getChildFile (path + ".drubbel"); }

    test::FreshConfig config;
    std::unique_ptr<VroCore> core;
    juce::File root;
};
} // namespace

TEST (PresetMenu, FileOperationsComeFirstThenTheFolderTree)
{
    SmallTree t;
    PresetChooser chooser (*t.core);
    t.core->loadPresetFile (t.file ("Bass Leads/Deep/D1"), true, false);

    const auto items = itemsOf (chooser.buildPresetMenu());
    juce::StringArray head;
    for (size_t i = 0; i < 9; ++i)
        head.add (items[i].separator ? "-" : items[i].text + "=" + juce::String (items[i].id));
    EXPECT_EQ (head.joinIntoString ("|"), "Save Preset...=1|Load Preset...=2|Move Presets Location...=7|Set as Default Preset=4|"
                                          "Load Default Preset=3|Disable MIDI Prg Change=9|-|Show Presets Folder...=5|-");

    // The library's list: the loose file first, then the folders; a folder without presets has
    // no place in it. The tuning submenu closes the menu.
    ASSERT_EQ (items.size(), 14u);
    EXPECT_EQ (items[9].text, "Loose");
    EXPECT_EQ (items[10].text, "Bass");
    EXPECT_EQ (items[11].text, "Bass Leads");
    EXPECT_EQ (items.back().text, "Tuning");
    EXPECT_EQ (find (items, "Empty"), nullptr);
    EXPECT_EQ (countPresetItems (items), 5);
    EXPECT_TRUE (find (items, "Bass")->enabled);

    // Files first, then subfolders; every folder whose path prefixes the current preset is ticked,
    // so "Bass" ticks for a preset in "Bass Leads" too.
    const auto& leads = find (items, "Bass Leads")->sub;
    ASSERT_EQ (leads.size(), 2u);
    EXPECT_EQ (leads[0].text, "L1");
    EXPECT_EQ (leads[1].text, "Deep");
    EXPECT_TRUE (leads[1].ticked);
    EXPECT_EQ (leads[1].sub[0].text, "D1");
    EXPECT_TRUE (find (items, "Bass Leads")->ticked);
    EXPECT_TRUE (find (items, "Bass")->ticked);

    // Choosing an item loads its file and shows its name.
    for (const auto& [id, path] : chooser.getIdToPath())
        if (juce::File (path) == t.file ("Bass/B2"))
            chooser.runMenuItem (id);
    EXPECT_EQ (t.core->getProgram().getPath(), t.file ("Bass/B2").getFullPathName());
    EXPECT_EQ (chooser.getDisplayedName(), "B2");
    EXPECT_FALSE (find (itemsOf (chooser.buildPresetMenu()), "Bass Leads")->ticked);

    // A program from outside the tree ticks nothing.
    t.core->getProgram().setPath ("/elsewhere/B2.drubbel");
    for (const auto& i : itemsOf (chooser.buildPresetMenu()))
        EXPECT_FALSE (i.ticked) << i.text;
}

TEST (PresetMenu, MenuArrowsAndProgramNumbersShareOneOrder)
{
    // Folders made in no sorted order, one of them hidden: the menu, the arrows and MIDI program
    // numbers all follow the library's sorted list, and none shows the hidden folder.
    test::FreshConfig config;
    config.presets().createDirectory();
    auto core = std::make_unique<VroCore>();
    const juce::File root (core->getPresetDirectory());
    for (auto path : { "Sequence/S1", "Bass/B2", "My Sounds/M1", "Lead/L1", "Bass/B10", "FX/F1", ".hidden/H1", "Bass/B1", "Init" })
    {
        auto file = root.getChildFile (juce::String (path) + ".drubbel");
        file.getParentDirectory().createDirectory();
        ASSERT_TRUE (core->savePresetFile (file));
    }

    PresetChooser chooser (*core);
    juce::StringArray menuOrder;
    const std::function<void (const std::vector<Item>&)> walk = [&] (const std::vector<Item>& items)
    {
        for (const auto& i : items)
            if (i.hasSub)
                walk (i.sub);
            else if (i.id >= PresetChooser::firstPresetId)
                menuOrder.add (chooser.getIdToPath().at (i.id));
    };
    walk (itemsOf (chooser.buildPresetMenu()));

    juce::StringArray arrowOrder, programOrder;
    PresetComponent presets (*core);
    core->getProgram().setPath ({});
    for (int k = 0; k < menuOrder.size() + 1; ++k)
    {
        presets.loadNeighbourPreset (+1);
        arrowOrder.addIfNotAlreadyThere (core->getProgram().getPath());
    }
    for (int k = 0; k < menuOrder.size(); ++k)
    {
        test::programChangeOnTheAudioThread (*core, k);
        core->getBridge().deliver();
        programOrder.add (core->getProgram().getPath());
    }

    const auto expected = juce::StringArray ({ "Init", "Bass/B1", "Bass/B2", "Bass/B10", "FX/F1", "Lead/L1", "My Sounds/M1", "Sequence/S1" });
    juce::StringArray expectedPaths;
    for (const auto& e : expected)
        expectedPaths.add (root.getChildFile (e + ".drubbel").getFullPathName());
    EXPECT_EQ (menuOrder.joinIntoString ("|"), expectedPaths.joinIntoString ("|"));
    EXPECT_EQ (arrowOrder.joinIntoString ("|"), expectedPaths.joinIntoString ("|"));
    EXPECT_EQ (programOrder.joinIntoString ("|"), expectedPaths.joinIntoString ("|"));
}

TEST (PresetMenu, ProgramChangeSwitchTicksAndUnticks)
{
    SmallTree t;
    PresetChooser chooser (*t.core);
    auto ticked = [&] { return find (itemsOf (chooser.buildPresetMenu()), "Disable MIDI Prg Change")->ticked; };
    EXPECT_FALSE (ticked());
    chooser.runMenuItem (PresetChooser::programChangeId);
    EXPECT_TRUE (t.core->isMidiProgramChangeDisabled());
    EXPECT_TRUE (ticked());
    chooser.runMenuItem (PresetChooser::programChangeId);
    EXPECT_FALSE (ticked());
    chooser.runMenuItem (0); // dismissed
    EXPECT_FALSE (t.core->isMidiProgramChangeDisabled());
}

TEST (PresetMenu, DescentStopsAfter3001ItemsButAListedFolderGetsAllItsFiles)
{
    SmallTree t;
    auto big = t.root.getChildFile ("Big");
    big.createDirectory();
    for (int i = 0; i < 3001; ++i)
        big.getChildFile ("p" + juce::String (i) + ".drubbel").replaceWithText ("<vro/>");
    big.getChildFile ("Sub").createDirectory();
    big.getChildFile ("Sub/deep.drubbel").replaceWithText ("<vro/>");

    PresetChooser chooser (*t.core);
    const auto items = itemsOf (chooser.buildPresetMenu());
    const auto* bigMenu = find (items, "Big");
    ASSERT_NE (bigMenu, nullptr);
    EXPECT_EQ (bigMenu->sub.size(), 3001u);
    EXPECT_EQ (find (bigMenu->sub, "Sub"), nullptr);
    EXPECT_GE (countPresetItems (items), 3001);
}

TEST (PresetMenu, LinksNeitherLoopNorLeaveTheTree)
{
    SmallTree t;
    // A link back to the top (a cycle with no presets of its own), one out of the tree and one to
    // /sys: the menu shows the tree's presets once and ends.
    ASSERT_TRUE (t.root.createSymbolicLink (t.root.getChildFile ("Empty/Up"), false));
    ASSERT_TRUE (t.config.folder.createSymbolicLink (t.root.getChildFile ("Outside"), false));
    if (juce::File ("/sys").isDirectory())
    {
        ASSERT_TRUE (juce::File ("/sys").createSymbolicLink (t.root.getChildFile ("System"), false));
    }

    PresetChooser chooser (*t.core);
    t.core->refreshPresetSnapshot();
    const auto items = itemsOf (chooser.buildPresetMenu());
    EXPECT_EQ (countPresetItems (items), 5);
    EXPECT_EQ (find (items, "Outside"), nullptr);
    EXPECT_EQ (find (items, "System"), nullptr);
    EXPECT_EQ (find (items, "Empty"), nullptr);
}

TEST (PresetArrows, StepThroughTheListWithoutWrapping)
{
    SmallTree t;
    PresetComponent presets (*t.core);
    presets.layOut (361, 10, 300, 25);
    EXPECT_EQ (presets.getChooser().getBounds(), juce::Rectangle<int> (19, 0, 262, 25));

    const auto list = t.core->presetList();
    ASSERT_EQ (list.size(), 5);
    // The loose file in the preset folder is reached by the arrows even though the menu leaves it out.
    EXPECT_TRUE (list.contains (t.file ("Loose")));

    // Off the list: left does nothing, right loads the first file.
    click (presets.getPreviousButton());
    EXPECT_EQ (t.core->getProgram().getPath(), "");
    click (presets.getNextButton());
    EXPECT_EQ (t.core->getProgram().getPath(), list[0].getFullPathName());
    EXPECT_EQ (presets.getChooser().getDisplayedName(), list[0].getFileNameWithoutExtension());

    for (int i = 1; i < list.size(); ++i)
        click (presets.getNextButton());
    EXPECT_EQ (t.core->getProgram().getPath(), list.getLast().getFullPathName());
    click (presets.getNextButton());
    EXPECT_EQ (t.core->getProgram().getPath(), list.getLast().getFullPathName());
    click (presets.getPreviousButton());
    EXPECT_EQ (t.core->getProgram().getPath(), list[list.size() - 2].getFullPathName());

    // The path is matched without regard to case; the first file has no left neighbour.
    t.core->getProgram().setPath (list[0].getFullPathName().toUpperCase());
    presets.loadNeighbourPreset (-1);
    EXPECT_EQ (t.core->getProgram().getPath(), list[0].getFullPathName().toUpperCase());
    presets.loadNeighbourPreset (+1);
    EXPECT_EQ (t.core->getProgram().getPath(), list[1].getFullPathName());
}

TEST (PresetName, ShownOnlyWhenItChangesBeyondLetterCase)
{
    SmallTree t;
    PresetChooser chooser (*t.core);
    EXPECT_EQ (chooser.getDisplayedName(), "");
    chooser.refreshName();
    EXPECT_EQ (chooser.getDisplayedName(), "Unsaved");
    t.core->getProgram().setProgramName ("UNSAVED");
    chooser.refreshName();
    EXPECT_EQ (chooser.getDisplayedName(), "Unsaved");
}

TEST (PresetDialogFlows, ASaveThroughALinkOutOfTheFolderIsRefusedAndSaysSo)
{
    // A preset pack that ships a link to a file of the user's: choosing it as the save target
    // leaves that file as it was and tells the user.
    SmallTree t;
    const auto victim = t.config.folder.getChildFile ("dot-bashrc");
    ASSERT_TRUE (victim.replaceWithText ("export PATH\n"));
    const auto before = victim.loadFileAsString();
    const auto pack = t.root.getChildFile ("Pack");
    ASSERT_TRUE (pack.createDirectory());
    ASSERT_TRUE (victim.createSymbolicLink (pack.getChildFile ("Init.drubbel"), false));

    juce::String problem;
    const auto previous = PresetDialogs::showSaveProblem;
    PresetDialogs::showSaveProblem = [&problem] (const juce::String& message) { problem = message; };
    {
        ChooserAnswer answer (pack.getChildFile ("Init.drubbel"));
        PresetDialogs::openSavePresetDialog (*t.core);
    }
    PresetDialogs::showSaveProblem = previous;
    EXPECT_EQ (victim.loadFileAsString(), before);
    EXPECT_TRUE (problem.contains ("could not be saved")) << problem;
    EXPECT_FALSE (t.core->presetList().contains (pack.getChildFile ("Init.drubbel")));
}

TEST (PresetDialogFlows, SaveLoadAndMoveAskTheChooserAndActOnItsAnswer)
{
    using Mode = PresetDialogs::Mode;
    SmallTree t;
    PresetChooser chooser (*t.core);

    {
        // A name typed without extension gets one; the display follows the file's name.
        ChooserAnswer answer (t.root.getChildFile ("Bass/My Line"));
        chooser.runMenuItem (PresetChooser::savePresetId);
        ASSERT_EQ (answer.requests.size(), 1u);
        const auto& r = answer.requests[0];
        EXPECT_EQ (r.title, "Save preset.");
        EXPECT_EQ (r.pattern, "*.drubbel");
        EXPECT_EQ (r.mode, Mode::save);
        EXPECT_EQ (r.start, t.root.getChildFile ("Unsaved.drubbel"));
        EXPECT_TRUE (t.file ("Bass/My Line").existsAsFile());
        EXPECT_EQ (chooser.getDisplayedName(), "My Line");
    }
    {
        // An extension in any case is kept; the suggestion starts beside the current preset.
        t.core->loadPresetFile (t.file ("Bass/B1"), true, false);
        ChooserAnswer answer (t.root.getChildFile ("Bass/Upper.DRUBBEL"));
        PresetDialogs::openSavePresetDialog (*t.core);
        EXPECT_EQ (answer.requests[0].start, t.file ("Bass/B1"));
        EXPECT_TRUE (t.root.getChildFile ("Bass/Upper.DRUBBEL").existsAsFile());
        EXPECT_FALSE (t.root.getChildFile ("Bass/Upper.DRUBBEL.drubbel").exists());
    }
    {
        // Cancel changes nothing.
        ChooserAnswer answer ({});
        const auto before = t.core->presetList().size();
        const auto path = t.core->getProgram().getPath();
        chooser.runMenuItem (PresetChooser::savePresetId);
        chooser.runMenuItem (PresetChooser::loadPresetId);
        chooser.runMenuItem (PresetChooser::moveLocationId);
        EXPECT_EQ (answer.requests.size(), 3u);
        EXPECT_EQ (t.core->presetList().size(), before);
        EXPECT_EQ (t.core->getProgram().getPath(), path);
    }
    {
        ChooserAnswer answer (t.file ("Bass Leads/L1"));
        chooser.runMenuItem (PresetChooser::loadPresetId);
        const auto& r = answer.requests[0];
        EXPECT_EQ (r.title, "Please choose a valid preset.");
        EXPECT_EQ (r.start, t.root);
        EXPECT_EQ (r.mode, Mode::open);
        EXPECT_EQ (t.core->getProgram().getPath(), t.file ("Bass Leads/L1").getFullPathName());
        EXPECT_EQ (chooser.getDisplayedName(), "L1");
    }
    {
        const auto elsewhere = t.config.folder.getChildFile ("Moved");
        elsewhere.createDirectory();
        ChooserAnswer answer (elsewhere);
        chooser.runMenuItem (PresetChooser::moveLocationId);
        const auto& r = answer.requests[0];
        EXPECT_EQ (r.title, "Please choose a new preset folder.");
        EXPECT_EQ (r.pattern, "");
        EXPECT_EQ (r.mode, Mode::folder);
        EXPECT_EQ (juce::File (t.core->getPresetDirectory()), elsewhere.getChildFile ("presets"));
    }
}

TEST (PresetDialogFlows, AnAnswerArrivingAfterItsOwnerClosedIsDropped)
{
    SmallTree t;
    PresetDialogs::Answer pending;
    const auto previous = PresetDialogs::runChooser;
    PresetDialogs::runChooser = [&] (const PresetDialogs::Request&, PresetDialogs::Answer reply) { pending = std::move (reply); };
    auto chooser = std::make_unique<PresetChooser> (*t.core);
    chooser->runMenuItem (PresetChooser::loadPresetId);
    chooser.reset();
    ASSERT_TRUE (pending != nullptr);
    pending (t.file ("Bass/B1"));
    PresetDialogs::runChooser = previous;
    EXPECT_EQ (t.core->getProgram().getPath(), "");
}

TEST (PresetDialogFlows, SequencerPresetButtonLoadsOnlyThePattern)
{
    SmallTree t;
    auto& p = t.core->getPattern();
    p.steps[2].noteOffset = 7;
    p.numberOfSteps = 5;
    ASSERT_TRUE (t.core->savePresetFile (t.file ("Seq")));
    p.steps[2].noteOffset = 0;
    t.core->getProgram().setProgramName ("Keep Me");
    t.core->getProgram().setPath ({});

    ChooserAnswer answer (t.file ("Seq"));
    VroLoadSequencerPreset button (VroImages::get (VroImages::Id::ledRed), *t.core);
    click (button);
    ASSERT_EQ (answer.requests.size(), 1u);
    EXPECT_EQ (answer.requests[0].title, "Please choose a valid preset.");
    EXPECT_EQ (p.steps[2].noteOffset, 7);
    EXPECT_EQ (t.core->getProgram().getProgramName(), "Keep Me");
    EXPECT_TRUE (button.getToggleState()); // flashing
    EXPECT_TRUE (pumpUntil ([&] { return ! button.getToggleState(); }));
}

TEST (PresetMenu, FactoryTreeShowsItsCategoryFoldersAndTicksTheCurrentOne)
{
    test::FreshConfig config;
    VroCore core;
    const auto list = core.presetList();
    if (list.isEmpty())
        GTEST_SKIP() << "this build carries no factory bank";

    PresetChooser chooser (core);
    const auto target = list[list.size() / 2];
    core.loadPresetFile (target, true, false);
    const auto items = itemsOf (chooser.buildPresetMenu());

    std::vector<const Item*> folders;
    for (const auto& i : items)
        if (i.hasSub && i.text != "Tuning")
            folders.push_back (&i);
    EXPECT_EQ (folders.size(), 5u);
    EXPECT_EQ (countPresetItems (items), 321);
    for (const auto& [id, path] : chooser.getIdToPath())
        EXPECT_TRUE (juce::File (path).existsAsFile()) << path;

    // The ticked path leads down to the folder holding the current preset.
    const juce::File presetRoot (core.getPresetDirectory());
    auto relative = target.getParentDirectory().getRelativePathFrom (presetRoot);
    const auto* level = &items;
    for (const auto& part : juce::StringArray::fromTokens (relative, juce::File::getSeparatorString(), ""))
    {
        const auto* folder = find (*level, part);
        ASSERT_NE (folder, nullptr) << part;
        EXPECT_TRUE (folder->ticked) << part;
        level = &folder->sub;
    }
    EXPECT_NE (find (*level, target.getFileNameWithoutExtension()), nullptr);
    int tickedTopLevel = 0;
    for (auto* f : folders)
        tickedTopLevel += f->ticked ? 1 : 0;
    EXPECT_GE (tickedTopLevel, 1);
}

TEST (TuningMenu, ScalesAndMappingsLoadAndRefusedFilesSayWhy)
{
    SmallTree t;
    auto editor = openEditor (*t.core);
    auto& chooser = editor->getPresetComponent().getChooser();
    auto& label = editor->getTuningLabel();
    juce::String problem;
    const auto previous = TuningMenu::showProblem;
    TuningMenu::showProblem = [&problem] (const juce::String& message) { problem = message; };

    auto tuningItems = [&chooser] { return find (itemsOf (chooser.buildPresetMenu()), "Tuning")->sub; };
    const auto items = tuningItems();
    ASSERT_EQ (items.size(), 3u);
    EXPECT_EQ (items[0].text, "Load Scale (.scl)...");
    EXPECT_EQ (items[1].text, "Load Keyboard Mapping (.kbm)...");
    EXPECT_EQ (items[2].text, "Standard Tuning");
    EXPECT_TRUE (items[2].ticked);
    editor->refreshControls();
    EXPECT_EQ (label.getText(), "Standard Tuning");

    const auto scale = t.root.getChildFile ("nineteen.scl");
    ASSERT_TRUE (scale.replaceWithText (tuningfixtures::edo19));
    {
        ChooserAnswer answer (scale);
        chooser.runMenuItem (items[0].id);
        ASSERT_EQ (answer.requests.size(), 1u);
        EXPECT_EQ (answer.requests[0].pattern, "*.scl");
    }
    editor->refreshControls();
    EXPECT_EQ (label.getText(), "19 equal divisions of the octave");
    EXPECT_FALSE (tuningItems()[2].ticked);
    EXPECT_TRUE (problem.isEmpty());
    save (editor->createComponentSnapshot (editor->getLocalBounds()), "tuned-editor.png");

    const auto mapping = t.root.getChildFile ("wide.kbm");
    ASSERT_TRUE (mapping.replaceWithText ("1\n0\n127\n60\n69\n440.0\n19\n40\n"));
    {
        ChooserAnswer answer (mapping);
        chooser.runMenuItem (items[1].id);
        EXPECT_EQ (answer.requests[0].pattern, "*.kbm");
    }
    EXPECT_EQ (problem, "wide.kbm, line 8: degree 40 is beyond the scale's 19 notes");
    editor->refreshControls();
    EXPECT_EQ (label.getText(), "19 equal divisions of the octave");

    // A dismissed dialog changes nothing.
    {
        ChooserAnswer answer ({});
        chooser.runMenuItem (items[1].id);
    }
    chooser.runMenuItem (items[2].id);
    editor->refreshControls();
    EXPECT_EQ (label.getText(), "Standard Tuning");
    EXPECT_TRUE (t.core->getTuning().table.standard);
    TuningMenu::showProblem = previous;
}
