#include "PresetComponent.h"
#include "PresetDialogs.h"
#include "TuningMenu.h"
#include "VroButton.h"
#include "VroCore.h"
#include "VroLookAndFeel.h"
#include "sequencer/MenuLauncher.h"

#include <functional>
#include <variant>
#include <vector>

namespace
{
const juce::String presetPattern = "*.drubbel";

int indexOfPath (const juce::Array<juce::File>& list, const juce::String& path)
{
    for (int k = 0; k < list.size(); ++k)
        if (list[k].getFullPathName().equalsIgnoreCase (path))
            return k;
    return -1;
}
} // namespace

PresetChooser::PresetChooser (VroCore& processor) : core (processor) {}

PresetChooser::~PresetChooser() = default;

void PresetChooser::refreshName()
{
    const auto name = core.getProgram().getProgramName();
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

juce::PopupMenu PresetChooser::buildPresetMenu()
{
    idToPath.clear();
    // The list the audio thread's program changes use, brought up to date first.
    core.refreshPresetSnapshot();
    const auto list = core.presetList();
    const int current = indexOfPath (list, core.getProgram().getPath());
    currentPresetPath = current >= 0 ? list[current].getFullPathName() : juce::String();

    juce::PopupMenu menu;
    menu.addItem (savePresetId, "Save Preset...");
    menu.addItem (loadPresetId, "Load Preset...");
    menu.addItem (moveLocationId, "Move Presets Location...");
    menu.addItem (setDefaultId, "Set as Default Preset");
    menu.addItem (loadDefaultId, "Load Default Preset");
    menu.addItem (programChangeId, "Disable MIDI Prg Change", true, core.isMidiProgramChangeDisabled());
    menu.addSeparator();
    menu.addItem (showFolderId, "Show Presets Folder...");
    menu.addSeparator();
    addPresetList (menu, juce::File (core.getPresetDirectory()), list);
    TuningMenu::addTo (menu, core);
    return menu;
}

void PresetChooser::addPresetList (juce::PopupMenu& menu, const juce::File& root, const juce::Array<juce::File>& list)
{
    // The library's list, in its order, so that a preset's place in the menu is its place for the
    // arrows and its MIDI program number. Each folder's submenu is made where its first preset
    // stands; within a folder the library lists files before subfolders.
    struct Folder
    {
        juce::String path;
        juce::PopupMenu menu;
        std::vector<std::pair<juce::String, std::unique_ptr<Folder>>> subfolders;
        std::vector<std::variant<int, Folder*>> order; // a preset's id, or a subfolder
    };
    Folder top;
    juce::File lastFolder;
    for (int k = 0; k < list.size(); ++k)
    {
        const auto& file = list.getReference (k);
        // Past the limit no further folder is begun, but the one being listed gets all its files.
        if (k >= maxPresetItems && file.getParentDirectory() != lastFolder)
            break;
        lastFolder = file.getParentDirectory();
        auto relative = file.getRelativePathFrom (root);
        auto levels = juce::StringArray::fromTokens (relative, juce::File::getSeparatorString(), "");
        if (relative.startsWith ("..") || levels.isEmpty())
            levels = { file.getFileName() };
        Folder* folder = &top;
        juce::String path = root.getFullPathName();
        for (int level = 0; level + 1 < levels.size(); ++level)
        {
            path = path + juce::File::getSeparatorString() + levels[level];
            auto found = std::find_if (folder->subfolders.begin(), folder->subfolders.end(),
                                       [&] (const auto& sub) { return sub.first == levels[level]; });
            if (found == folder->subfolders.end())
            {
                folder->subfolders.emplace_back (levels[level], std::make_unique<Folder>());
                found = std::prev (folder->subfolders.end());
                found->second->path = path;
                folder->order.push_back (found->second.get());
            }
            folder = found->second.get();
        }
        const int id = firstPresetId + k;
        idToPath[id] = file.getFullPathName();
        folder->order.push_back (id);
    }

    const std::function<void (Folder&, juce::PopupMenu&)> fill = [&] (Folder& folder, juce::PopupMenu& into)
    {
        for (const auto& entry : folder.order)
        {
            if (const auto* id = std::get_if<int> (&entry))
            {
                into.addItem (*id, juce::File (idToPath[*id]).getFileNameWithoutExtension());
                continue;
            }
            auto& sub = *std::get<Folder*> (entry);
            fill (sub, sub.menu);
            auto name = sub.path.fromLastOccurrenceOf (juce::File::getSeparatorString(), false, false);
            // A plain prefix test: "Bass" also ticks for a preset in a sibling "Bass Leads".
            const bool ticked = currentPresetPath.isNotEmpty() && currentPresetPath.startsWith (sub.path);
            into.addSubMenu (name, sub.menu, sub.menu.getNumItems() > 0, nullptr, ticked);
        }
    };
    fill (top, menu);
}

void PresetChooser::runMenuItem (int id)
{
    if (id == 0)
        return;

    juce::Component::SafePointer<PresetChooser> self (this);
    auto refresh = [self]
    {
        if (self != nullptr)
            self->refreshName();
    };

    switch (id)
    {
        case savePresetId:    PresetDialogs::openSavePresetDialog (core, this, refresh); break;
        case loadPresetId:    PresetDialogs::openLoadPresetDialog (core, false, this, refresh); break;
        case moveLocationId:  PresetDialogs::openMovePresetsDialog (core, this, refresh); break;
        case setDefaultId:    core.saveDefaultPreset(); break;
        case loadDefaultId:   core.loadDefaultPreset(); break;
        case programChangeId: core.setMidiProgramChangeDisabled (! core.isMidiProgramChangeDisabled()); break;
        case showFolderId:    PresetDialogs::showPresetsFolder (core); break;
        default:
        {
            if (TuningMenu::run (id, core, this, refresh))
                break;
            const auto it = idToPath.find (id);
            if (it != idToPath.end())
                core.loadPresetFile (juce::File (it->second), true, false);
            break;
        }
    }
    refreshName();
}

void PresetChooser::mouseDown (const juce::MouseEvent&)
{
    juce::Component::SafePointer<PresetChooser> self (this);
    MenuLauncher::show (buildPresetMenu(), juce::PopupMenu::Options().withTargetComponent (this).withMinimumWidth (getWidth()),
                        [self] (int id)
                        {
                            if (self != nullptr)
                                self->runMenuItem (id);
                        });
}

//==============================================================================
VroArrowButton::VroArrowButton (bool left) : juce::Button ("no name"), pointsLeft (left)
{
    setClickingTogglesState (true);
    setWantsKeyboardFocus (false);
}

VroArrowButton::~VroArrowButton()
{
    stopTimer();
}

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
    // Reaches past the inner edge so only the outer corners show rounded: arrows and name read as one bar.
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

void PresetComponent::loadNeighbourPreset (int delta)
{
    const auto list = core.presetList();
    const int target = indexOfPath (list, core.getProgram().getPath()) + delta;
    if (juce::isPositiveAndBelow (target, list.size()))
        core.loadPresetFile (list[target], true, false);
}

void PresetComponent::buttonClicked (juce::Button* b)
{
    loadNeighbourPreset (b == nextButton.get() ? 1 : -1);
    chooser->refreshName();
}
