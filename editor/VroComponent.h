#pragma once

#include "VroLookAndFeel.h"
#include <juce_audio_processors/juce_audio_processors.h>
#include <memory>
#include <vector>

class VroCore;
class VroInfoLabel;
class VroButton;
class VroComboBox;
class FilmStripKnob;
class ImageSlider;
class ImageToggleButton;
class LogoPanel;
class VroSequencer;
class PresetComponent;
class TuningLabel;

/** The editor window: one background bitmap in a light or dark skin with every control laid over
    it at a fixed place. Controls carry their parameter index as the component property "index";
    every change message of the processor re-reads all parameters into them. */
class VroComponent : public juce::AudioProcessorEditor,
                     public juce::ChangeListener,
                     public juce::Slider::Listener,
                     public juce::Button::Listener,
                     public juce::ComboBox::Listener
{
public:
    explicit VroComponent (VroCore& core);
    ~VroComponent() override;

    void paint (juce::Graphics&) override;
    void changeListenerCallback (juce::ChangeBroadcaster*) override;
    void sliderValueChanged (juce::Slider*) override;
    void sliderDragStarted (juce::Slider*) override;
    void sliderDragEnded (juce::Slider*) override;
    void buttonClicked (juce::Button*) override;
    void comboBoxChanged (juce::ComboBox*) override;

    /** Reads every parameter (under the callback lock, nothing else) and sets the controls
        without notification. */
    void refreshControls();
    void updateValueLabels (juce::Component* control);
    void applySkin();

    int getBackgroundColourType() const noexcept { return backgroundColourType; }
    VroLookAndFeel& getVroLookAndFeel() noexcept { return *lookAndFeel; }
    /** The look of windows outside the editor (menus, dialogs, a Standalone's settings): no skin colours. */
    VroLookAndFeel& getWindowLookAndFeel() noexcept { return windowLook.getObject(); }

    // The children that stand for no parameter, for the host window and tests.
    VroInfoLabel& getInfoLabel() noexcept { return *infoLabel; }
    juce::Label& getFineTuneLabel() noexcept { return *fineTuneLabel; }
    juce::Label& getLfoRateLabel() noexcept { return *lfoRateLabel; }
    juce::Label& getTempoLabel() noexcept { return *tempoLabel; }
    juce::Label& getStepsLabel() noexcept { return *stepsLabel; }
    juce::Label& getVersionLabel() noexcept { return *versionLabel; }
    TuningLabel& getTuningLabel() noexcept { return *tuningLabel; }
    VroButton& getAboutButton() noexcept { return *aboutButton; }
    VroButton& getSkinButton() noexcept { return *skinButton; }
    ImageToggleButton& getEditModeToggle() noexcept { return *editModeToggle; }
    LogoPanel& getAboutPanel() noexcept { return *aboutPanel; }
    VroSequencer& getSequencer() noexcept { return *sequencer; }
    PresetComponent& getPresetComponent() noexcept { return *presetComponent; }

    /** The parameter index a control stands for, or -1. */
    static int parameterIndexOf (const juce::Component* control);

private:
    template <typename T>
    T* add (std::unique_ptr<T> child);

    FilmStripKnob* createKnob (int x, int y, const juce::Image& image, int frameCount, int index);
    FilmStripKnob* createHorizontalSwitch (int x, const juce::Image& image, int index);
    FilmStripKnob* createLeverSwitch (int x, int y, const juce::Image& image, int frameCount, int index);
    ImageToggleButton* createToggle (int x, int y, const juce::Image& image, bool flashOnClick, int index);
    ImageSlider* createImageSlider (int x, int y, const juce::Image& image, int index);
    VroComboBox* createComboBox (int x, int y, int width, int index);
    juce::Label* createLabel (int x, int y, int width, int height, juce::Justification, juce::uint32 outline, const juce::String& text);

    VroCore& core;
    juce::TooltipWindow tooltipWindow;
    std::unique_ptr<VroLookAndFeel> lookAndFeel;
    juce::SharedResourcePointer<VroLookAndFeel> windowLook;
    std::unique_ptr<LogoPanel> aboutPanel;
    std::vector<std::unique_ptr<juce::Component>> children; // in the order they were added
    int backgroundColourType = 0;
    // The framework's image cache drops an image nobody else holds after a few seconds; holding
    // both skins keeps a repaint after a quiet spell from decoding the panel again.
    juce::Image backgroundLight, backgroundDark;

    VroInfoLabel* infoLabel = nullptr;
    juce::Label *fineTuneLabel = nullptr, *lfoRateLabel = nullptr, *tempoLabel = nullptr, *stepsLabel = nullptr,
                *versionLabel = nullptr;
    TuningLabel* tuningLabel = nullptr;
    VroButton *aboutButton = nullptr, *skinButton = nullptr;
    ImageToggleButton* editModeToggle = nullptr;
    VroSequencer* sequencer = nullptr;
    PresetComponent* presetComponent = nullptr;
    juce::Slider *fineTuneKnob = nullptr, *lfoRateSlider = nullptr, *tempoKnob = nullptr, *stepsKnob = nullptr,
                 *fmIntensitySlider = nullptr;
    juce::Button *lfoSyncToggle = nullptr, *seqSyncToggle = nullptr;

    // What refreshControls sets, in creation order.
    std::vector<std::pair<juce::Slider*, int>> refreshedSliders;
    std::vector<std::pair<juce::Button*, int>> refreshedToggles;
    std::vector<std::pair<VroComboBox*, int>> refreshedCombos;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VroComponent)
};

/** The plug-in's editor, as VroCore builds it (VroEditorFactory). */
juce::AudioProcessorEditor* createVroEditor (VroCore&);
