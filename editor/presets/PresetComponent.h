#pragma once

#include "PresetLibrary.h"
#include <juce_gui_basics/juce_gui_basics.h>
#include <map>

class VroCore;

/** Shows the current program's name; a press opens the preset menu: the file operations, then
    one submenu per category folder of the preset tree. */
class PresetChooser : public juce::Component
{
public:
    explicit PresetChooser (VroCore& core);
    ~PresetChooser() override;

    void mouseDown (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

    /** Repaints when the program's name changed (ignoring letter case). */
    void refreshName();

    const juce::String& getDisplayedName() const noexcept { return displayedName; }

    /** Builds the menu from the file system, as every press does. */
    juce::PopupMenu buildPresetMenu();
    /** Runs what the chosen menu id stands for; 0 (dismissed) does nothing. */
    void runMenuItem (int id);

    /** The menu being shown, while it is open. */
    const juce::String& getCurrentPresetPath() const noexcept { return currentPresetPath; }
    const std::map<int, juce::String>& getIdToPath() const noexcept { return idToPath; }

    static constexpr int firstPresetId = 100;
    static constexpr int maxPresetItems = 3001;

    enum MenuIds
    {
        savePresetId = 1,
        loadPresetId = 2,
        loadDefaultId = 3,
        setDefaultId = 4,
        showFolderId = 5,
        moveLocationId = 7,
        programChangeId = 9
    };

private:
    void addPresetList (juce::PopupMenu& menu, const juce::File& root, const juce::Array<juce::File>& list);

    VroCore& core;
    juce::String displayedName;
    // The menu's index, rebuilt at every press.
    std::map<int, juce::String> idToPath;
    juce::String currentPresetPath;
};

/** One of the two arrows beside the name; lights briefly on every click. */
class VroArrowButton : public juce::Button, private juce::Timer
{
public:
    explicit VroArrowButton (bool pointsLeft);
    ~VroArrowButton() override;

protected:
    void clicked() override;
    void paintButton (juce::Graphics&, bool isMouseOver, bool isButtonDown) override;

private:
    void timerCallback() override;

    const bool pointsLeft;
};

/** The preset display: the name between a left and a right arrow that step through the preset
    list without wrapping. */
class PresetComponent : public juce::Component, private juce::Button::Listener
{
public:
    explicit PresetComponent (VroCore& core);
    ~PresetComponent() override;

    void layOut (int x, int y, int width, int height);

    PresetChooser& getChooser() noexcept { return *chooser; }
    VroArrowButton& getPreviousButton() noexcept { return *previousButton; }
    VroArrowButton& getNextButton() noexcept { return *nextButton; }

    /** Loads the file delta places from the current one in the preset list, if there is one. */
    void loadNeighbourPreset (int delta);

private:
    void buttonClicked (juce::Button*) override;

    VroCore& core;
    std::unique_ptr<VroArrowButton> previousButton, nextButton;
    std::unique_ptr<PresetChooser> chooser;
    static constexpr int arrowWidth = 20;
};
