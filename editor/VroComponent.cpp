#include "VroComponent.h"

#include "FilmStripKnob.h"
#include "ImageSlider.h"
#include "ImageToggleButton.h"
#include "LogoPanel.h"
#include "VroButton.h"
#include "VroComboBox.h"
#include "VroCore.h"
#include "VroImages.h"
#include "VroInfoLabel.h"
#include "presets/PresetComponent.h"
#include "presets/TuningMenu.h"
#include "sequencer/BoxedSimpleSlider.h"
#include "sequencer/VroLoadSequencerPreset.h"
#include "sequencer/VroMidiExportUi.h"
#include "sequencer/VroSequencer.h"
#include "sequencer/VroTempoLed.h"

using namespace Param;
using Img = VroImages::Id;

namespace
{
constexpr int capTravel = 77;
constexpr int switchRowY = 423;
constexpr int sliderWidth = 40;
constexpr int comboHeight = 17;
constexpr double detentStep = 0.2;
constexpr double leverStep = 0.333;

struct Skin
{
    juce::uint32 buttonOff, buttonOn, labelText, valueOutline, comboBackground, comboText, presetText, presetFill,
        presetArrow, presetArrowFill, stepOutline, stepText, stepNoteBar, stepButtonOff, stepButtonOn, stepInactive,
        pageButtons, versionText, fmIntensityBar;
};

constexpr Skin lightSkin { 0xcc141414, 0xcc646464, 0xcc323232, 0xcc323232, 0x19323232, 0xcc323232, 0xcc323232,
                           0xcce6e6e6, 0xcc323232, 0x00000000, 0xcc323232, 0xff323232, 0x66323232, 0xcc646464,
                           0xcc000000, 0x00323232, 0x99969696, 0xe5ffffff, 0xe5323232 };
constexpr Skin darkSkin { 0x7fc8c8c8, 0xcc646464, 0xccc8c8c8, 0x33c8c8c8, 0x33000000, 0x99c8c8c8, 0xccc8c8c8,
                          0x4c141414, 0xccc8c8c8, 0x33646464, 0x99c8c8c8, 0xe5ffffff, 0x66ffffff, 0xff646464,
                          0xffc8c8c8, 0x00646464, 0x99505050, 0xcc000000, 0xe5323232 };
} // namespace

juce::AudioProcessorEditor* createVroEditor (VroCore& processor)
{
    return new VroComponent (processor);
}

int VroComponent::parameterIndexOf (const juce::Component* control)
{
    if (control == nullptr)
        return -1;
    const auto* value = control->getProperties().getVarPointer ("index");
    return value != nullptr ? (int) *value : -1;
}

template <typename T>
T* VroComponent::add (std::unique_ptr<T> child)
{
    auto* raw = child.get();
    addAndMakeVisible (*raw);
    children.push_back (std::move (child));
    return raw;
}

FilmStripKnob* VroComponent::createKnob (int x, int y, const juce::Image& image, int frameCount, int index)
{
    auto* knob = add (std::make_unique<FilmStripKnob> (image, frameCount, false, index));
    knob->setBounds (x, y, image.getWidth(), image.getHeight() / frameCount);
    knob->setValue (core.getParameter (index), juce::dontSendNotification);
    knob->addListener (this);
    refreshedSliders.emplace_back (knob, index);
    return knob;
}

FilmStripKnob* VroComponent::createHorizontalSwitch (int x, const juce::Image& image, int index)
{
    auto* knob = createKnob (x, switchRowY, image, 3, index);
    knob->setSliderStyle (juce::Slider::LinearHorizontal);
    return knob;
}

FilmStripKnob* VroComponent::createLeverSwitch (int x, int y, const juce::Image& image, int frameCount, int index)
{
    auto* lever = createKnob (x, y, image, frameCount, index);
    lever->setRange (0.0, 1.0, leverStep);
    lever->setUpwardDragLowersValue (true);
    return lever;
}

ImageToggleButton* VroComponent::createToggle (int x, int y, const juce::Image& image, bool flashOnClick, int index)
{
    auto* toggle = add (std::make_unique<ImageToggleButton> ("Toggle Button", image, false, flashOnClick, index));
    toggle->setBounds (x, y, image.getWidth(), image.getHeight() / 2);
    toggle->setToggleState (core.getParameter (index) > 0.0f, juce::dontSendNotification);
    toggle->addListener (this);
    return toggle;
}

ImageSlider* VroComponent::createImageSlider (int x, int y, const juce::Image& image, int index)
{
    auto* slider = add (std::make_unique<ImageSlider> (image, capTravel, infoLabel, index));
    slider->setBounds (x, y, sliderWidth, image.getHeight() + capTravel);
    slider->setValue (core.getParameter (index), juce::dontSendNotification);
    slider->addListener (this);
    refreshedSliders.emplace_back (slider, index);
    return slider;
}

VroComboBox* VroComponent::createComboBox (int x, int y, int width, int index)
{
    auto* box = add (std::make_unique<VroComboBox> (index));
    box->setBounds (x, y, width, comboHeight);
    box->addListener (this);
    refreshedCombos.emplace_back (box, index);
    return box;
}

juce::Label* VroComponent::createLabel (int x, int y, int width, int height, juce::Justification justification,
                                        juce::uint32 outline, const juce::String& text)
{
    auto* label = add (std::make_unique<juce::Label> (juce::String(), juce::String()));
    label->setBounds (x, y, width, height);
    label->setFont (juce::Font (11.0f, juce::Font::bold));
    label->setJustificationType (justification);
    label->setColour (juce::Label::outlineColourId, juce::Colour (outline));
    label->setText (text, juce::dontSendNotification);
    return label;
}

//==============================================================================
VroComponent::VroComponent (VroCore& vroCore)
    : juce::AudioProcessorEditor (vroCore), core (vroCore)
{
    backgroundLight = VroImages::get (Img::backgroundLight);
    backgroundDark = VroImages::get (Img::backgroundDark);
    const auto& background = backgroundLight;
    const auto knob50 = VroImages::get (Img::knobStrip50);
    const auto knob4 = VroImages::get (Img::knobStrip4);
    const auto lever3 = VroImages::get (Img::switchVertical3);
    const auto lever2 = VroImages::get (Img::switchVertical2);
    const auto slide3 = VroImages::get (Img::switchHorizontal3);
    const auto orange = VroImages::get (Img::sliderCapOrange);
    const auto yellow = VroImages::get (Img::sliderCapYellow);
    const auto green = VroImages::get (Img::sliderCapGreen);
    const auto pushButton = VroImages::get (Img::buttonLed);
    const auto led = VroImages::get (Img::ledRed);
    const auto ledGreenRed = VroImages::get (Img::ledGreenRed);
    const auto about = VroImages::get (Img::aboutImage);

    setSize (background.isValid() ? background.getWidth() : 1062, background.isValid() ? background.getHeight() : 517);

    // Rows of the layout, bottom of the z-order first.
    auto info = std::make_unique<VroInfoLabel>();
    info->setBounds (178, 455, 45, 17);
    info->setFont (juce::Font (11.0f, juce::Font::bold));
    info->setJustificationType (juce::Justification::centred);
    info->setColour (juce::Label::outlineColourId, juce::Colour (0x00323232));
    infoLabel = add (std::move (info));

    sequencer = add (std::make_unique<VroSequencer> (core));
    sequencer->layOut();

    createKnob (44, 345, knob50, 50, Volume)->setDoubleClickReturnValue (true, 0.5);
    createHorizontalSwitch (37, slide3, Transpose)->setRange (0.0, 1.0, detentStep);
    fineTuneKnob = createKnob (44, 152, knob50, 50, FineTune);
    fineTuneKnob->setDoubleClickReturnValue (true, 0.5);
    fineTuneLabel = createLabel (44, 206, 45, 17, juce::Justification::centred, 0xcc323232, "0");
    createKnob (114, 345, knob50, 50, PortamentoValue);
    createHorizontalSwitch (108, slide3, PortamentoMode)->setRange (0.0, 1.0, detentStep);
    refreshedToggles.emplace_back (createToggle (124, 454, led, false, PortamentoLinear), PortamentoLinear);
    refreshedToggles.emplace_back (createToggle (54, 454, led, false, NoiseFloor), NoiseFloor);
    createToggle (757, 8, led, false, MidiLearnActivated);
    createToggle (791, 8, led, true, MidiLearnDelete);
    refreshedToggles.emplace_back (createToggle (181, 359, pushButton, false, Poly), Poly);
    createToggle (181, 407, pushButton, true, Panic);
    lfoRateSlider = createImageSlider (121, 110, orange, LfoRate);
    createKnob (166, 152, knob4, 4, LfoWaveform)->setRange (0.0, 1.0, detentStep);
    lfoSyncToggle = createToggle (113, 227, pushButton, false, LfoSync);
    refreshedToggles.emplace_back (lfoSyncToggle, LfoSync);
    refreshedToggles.emplace_back (createToggle (149, 227, pushButton, false, LfoTrigger), LfoTrigger);
    refreshedToggles.emplace_back (createToggle (185, 227, pushButton, false, LfoInverted), LfoInverted);
    lfoRateLabel = createLabel (167, 206, 45, 17, juce::Justification::centred, 0xcc323232, "-");
    add (std::make_unique<VroTempoLed> (led, core))->setBounds (177, 113, 22, 21);

    createImageSlider (247, 110, orange, VcoModulation);
    createImageSlider (358, 110, orange, VcoPwm);
    createKnob (293, 152, knob4, 4, VcoRange)->setRange (0.0, 1.0, detentStep);
    createLeverSwitch (393, 135, lever3, 3, VcoPwmMode);
    refreshedToggles.emplace_back (createToggle (247, 244, led, false, VcoModSnap), VcoModSnap);
    createImageSlider (462, 110, orange, Pulse);
    createImageSlider (485, 110, orange, Saw);
    createImageSlider (510, 110, orange, SubOsc);
    createLeverSwitch (543, 135, lever3, 3, SubOscMode);
    createImageSlider (609, 110, orange, Noise);
    refreshedToggles.emplace_back (createToggle (610, 244, led, false, WhiteNoise), WhiteNoise);
    createImageSlider (664, 110, orange, VcfCutoff);
    createImageSlider (688, 110, orange, VcfResonance);
    createImageSlider (732, 110, yellow, VcfEnvelope);
    createImageSlider (755, 110, yellow, VcfModulation);
    createImageSlider (780, 110, yellow, VcfKeyboard);
    refreshedToggles.emplace_back (createToggle (732, 244, led, false, VcfEnvelopeRange), VcfEnvelopeRange);
    refreshedToggles.emplace_back (createToggle (664, 244, led, false, VcfVolumeComp), VcfVolumeComp);
    createLeverSwitch (840, 135, lever2, 2, VcaMode);
    createLeverSwitch (891, 135, lever3, 3, AdsrMode);
    createImageSlider (929, 110, orange, Attack);
    createImageSlider (952, 110, orange, Decay);
    createImageSlider (977, 110, orange, Sustain);
    createImageSlider (1000, 110, orange, Release);
    refreshedToggles.emplace_back (createToggle (891, 244, led, false, DeClickAdsr), DeClickAdsr);

    createImageSlider (247, 340, green, CtrVco);
    createImageSlider (271, 340, green, CtrFilter);
    createImageSlider (295, 340, green, CtrModulation);
    createImageSlider (349, 340, green, VelocityVcfEnvelope);
    createImageSlider (372, 340, green, VelocityVolume);
    refreshedToggles.emplace_back (createToggle (423, 289, led, false, SeqLock), SeqLock);
    refreshedToggles.emplace_back (createToggle (481, 289, led, false, SeqHold), SeqHold);
    seqSyncToggle = createToggle (479, 320, pushButton, false, SeqSync);
    refreshedToggles.emplace_back (seqSyncToggle, SeqSync);
    tempoKnob = createKnob (421, 345, knob50, 50, SeqTempo);
    tempoLabel = createLabel (475, 372, 45, 17, juce::Justification::centred, 0xcc323232, "-");
    stepsLabel = createLabel (529, 392, 45, 17, juce::Justification::centred, 0x00b4b4b4, "-");
    createComboBox (475, 392, 45, ArpSeqSyncMode)->addItemList ({ "-", "TRI", "DOT" }, 1);
    stepsKnob = createKnob (529, 345, knob50, 50, SeqSteps);
    add (std::make_unique<VroLoadSequencerPreset> (led, core))->setBounds (599, 472, 22, 21);
    editModeToggle = createToggle (705, 472, ledGreenRed, false, 0);
    editModeToggle->setToggleState (false, juce::dontSendNotification);
    refreshedToggles.emplace_back (createToggle (479, 409, pushButton, false, ArpEnabled), ArpEnabled);

    // Menu order differs from value order: "AS PL" is the last mode value.
    auto* arpMode = createComboBox (430, 426, 45, ArpMode);
    static constexpr std::pair<const char*, int> arpModeItems[] = { { "UP", 1 },    { "U&D", 2 },     { "U&D II", 3 },
                                                                    { "DOWN", 4 },  { "AS PL", 7 },   { "AS PL R", 5 },
                                                                    { "RND", 6 } };
    for (auto [text, id] : arpModeItems)
        arpMode->addItem (text, id);

    refreshedToggles.emplace_back (createToggle (532, 409, pushButton, false, SeqEnabled), SeqEnabled);
    createToggle (423, 472, led, true, SeqReset);
    refreshedToggles.emplace_back (createToggle (481, 472, led, false, SeqRecord), SeqRecord);
    createComboBox (254, 18, 65, MainSyncMode)->addItemList ({ "Trigger", "Host", "MIDI Clk", "Ext. 16" }, 1);

    versionLabel = add (std::make_unique<juce::Label> ("Version Info", "Version " VRO_VERSION_STRING));
    versionLabel->setBounds (33, 472, 200, 20);
    versionLabel->setFont (juce::Font (11.0f, juce::Font::bold));
    versionLabel->setColour (juce::Label::outlineColourId, juce::Colour (0x00a0a0a0));
    versionLabel->setColour (juce::Label::backgroundColourId, juce::Colour (0x00646464));

    presetComponent = add (std::make_unique<PresetComponent> (core));
    presetComponent->layOut (getWidth() / 2 - 170, 10, 300, 25);
    tuningLabel = add (std::make_unique<TuningLabel> (core));
    tuningLabel->setBounds (getWidth() / 2 - 150, 36, 260, 13);
    add (std::make_unique<VroMidiExportUi> (core));

    aboutPanel = std::make_unique<LogoPanel> (about, this);

    // Invisible hit areas over the product title and the maker logo.
    for (auto** hit : { &aboutButton, &skinButton })
    {
        *hit = add (std::make_unique<VroButton> ("XX", 0, true));
        (*hit)->setToggleState (false, juce::dontSendNotification);
        (*hit)->setColour (100, juce::Colour (0x00646464));
        (*hit)->setColour (99, juce::Colour (0x00646464));
        (*hit)->addListener (this);
    }
    aboutButton->setBounds (825, 0, 240, 40);
    skinButton->setBounds (0, 0, 107, 40);

    auto* swing = add (std::make_unique<BoxedSimpleSlider> (infoLabel, Swing));
    swing->setBounds (955, 295, 70, 10);
    swing->addListener (this);
    refreshedSliders.emplace_back (swing, Swing);

    static constexpr std::pair<int, int> fmSources[] = { { 463, FmPulse }, { 486, FmSaw }, { 511, FmSubOsc }, { 610, FmNoise } };
    for (auto [x, index] : fmSources)
        refreshedToggles.emplace_back (createToggle (x, 227, led, false, index), index);

    auto* fmIntensity = add (std::make_unique<BoxedSimpleSlider> (infoLabel, FmIntensity));
    fmIntensity->setBounds (467, 263, 70, 10);
    fmIntensity->addListener (this);
    refreshedSliders.emplace_back (fmIntensity, FmIntensity);
    fmIntensitySlider = fmIntensity;

    backgroundColourType = core.getBackgroundColourType();

    lookAndFeel = std::make_unique<VroLookAndFeel>();
    applySkin();
    // The editor's own children follow its own skin even when another editor opened later.
    setLookAndFeel (lookAndFeel.get());
    // Windows of their own (menus, dialogs, the Standalone's settings) take the default look. The
    // skin's colours are chosen for the panel, so they must not reach a dialog's dark background:
    // the default is one look without them, shared by every open editor.
    juce::LookAndFeel::setDefaultLookAndFeel (&windowLook.getObject());

    core.getPattern().changed = true;
    core.addChangeListener (this);
    refreshControls();
}

VroComponent::~VroComponent()
{
    core.removeChangeListener (this);
    while (! children.empty())
        children.pop_back();
    aboutPanel.reset();

    setLookAndFeel (nullptr);
    // The last editor takes the shared look with it; the default must not outlive it.
    if (windowLook.getReferenceCount() == 1)
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    lookAndFeel.reset();
}

//==============================================================================
void VroComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour::greyLevel (1.0f));
    const auto& background = backgroundColourType == 1 ? backgroundDark : backgroundLight;
    VroImages::draw (g, background, background.getBounds(), background.getBounds());
}

void VroComponent::changeListenerCallback (juce::ChangeBroadcaster*)
{
    refreshControls();
}

void VroComponent::sliderValueChanged (juce::Slider* s)
{
    const int index = parameterIndexOf (s);
    if (index >= 0)
        core.setParameterFromEditor (index, (float) s->getValue());
    infoLabel->showValue (s->getValue());
    updateValueLabels (s);
}

void VroComponent::sliderDragStarted (juce::Slider* s)
{
    const int index = parameterIndexOf (s);
    if (index >= 0)
        core.beginEditorGesture (index);
}

void VroComponent::sliderDragEnded (juce::Slider* s)
{
    const int index = parameterIndexOf (s);
    if (index >= 0)
        core.endEditorGesture (index);
}

void VroComponent::comboBoxChanged (juce::ComboBox* box)
{
    const int index = parameterIndexOf (box);
    if (index >= 0)
        if (auto* vroBox = dynamic_cast<VroComboBox*> (box))
            core.setParameterFromEditor (index, vroBox->getValueNormalised());
}

void VroComponent::buttonClicked (juce::Button* b)
{
    const int index = parameterIndexOf (b);
    if (index >= 0)
        core.setParameterFromEditor (index, b->getToggleState() ? 1.0f : 0.0f);

    if (b == editModeToggle)
        sequencer->getSteps().setLengthMode (b->getToggleState());

    if (b == aboutButton)
    {
        aboutPanel->setVisible (true);
        addAndMakeVisible (*aboutPanel);
        aboutPanel->toFront (false);
    }

    if (b == skinButton)
    {
        backgroundColourType = (backgroundColourType + 1) % 2;
        core.setBackgroundColourType (backgroundColourType);
        applySkin();
    }

    updateValueLabels (b);
}

//==============================================================================
void VroComponent::updateValueLabels (juce::Component* control)
{
    if (control == lfoRateSlider || control == lfoSyncToggle)
        lfoRateLabel->setText (core.getLfoRateText(), juce::dontSendNotification);
    if (control == tempoKnob || control == seqSyncToggle)
        tempoLabel->setText (core.getClockRateText(), juce::dontSendNotification);
    if (control == stepsKnob)
        stepsLabel->setText (juce::String (core.getPattern().numberOfSteps), juce::dontSendNotification);
    if (control == fineTuneKnob)
        fineTuneLabel->setText (juce::String ((fineTuneKnob->getValue() - 0.5) * 2.0, 2), juce::dontSendNotification);
}

void VroComponent::refreshControls()
{
    // Each value is read whole without a lock: the audio thread never waits for the editor.
    static constexpr int refreshedIndices[] = { 1,  3,  2,  5,  4,  54, 60, 8,  10, 11, 13, 12, 14, 15, 16, 18, 17, 19,
                                                20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37,
                                                38, 57, 39, 40, 41, 42, 43, 44, 45, 46, 47, 59, 51, 48, 49, 50, 52, 56,
                                                53, 61, 62, 63, 64, 65 };
    float values[Count] = {};
    for (int index : refreshedIndices)
        values[index] = core.getParameter (index);

    for (auto [slider, index] : refreshedSliders)
        slider->setValue (values[index], juce::dontSendNotification);
    for (auto [box, index] : refreshedCombos)
        box->setValueNormalised (values[index]);
    for (auto [button, index] : refreshedToggles)
        button->setToggleState (values[index] > 0.5f, juce::dontSendNotification);

    sequencer->getSteps().refreshIfChanged();
    presetComponent->getChooser().refreshName();
    tuningLabel->refresh();

    for (auto* control : { tempoKnob, lfoRateSlider, stepsKnob, fineTuneKnob })
        updateValueLabels (control);
}

void VroComponent::applySkin()
{
    const auto& skin = backgroundColourType != 0 ? darkSkin : lightSkin;
    auto& lf = *lookAndFeel;
    const auto set = [&lf] (int id, juce::uint32 argb) { lf.setColour (id, juce::Colour (argb)); };

    set (VroColourIds::buttonOff, skin.buttonOff);
    set (VroColourIds::buttonOn, skin.buttonOn);
    set (juce::Label::textColourId, skin.labelText);
    set (juce::ComboBox::backgroundColourId, skin.comboBackground);
    set (juce::ComboBox::buttonColourId, skin.comboText);
    set (VroColourIds::presetText, skin.presetText);
    set (VroColourIds::presetFill, skin.presetFill);
    set (VroColourIds::presetArrow, skin.presetArrow);
    set (VroColourIds::presetArrowFill, skin.presetArrowFill);
    set (VroColourIds::stepOutline, skin.stepOutline);
    set (VroColourIds::stepText, skin.stepText);
    set (VroColourIds::stepNoteBar, skin.stepNoteBar);
    set (VroColourIds::stepButtonOff, skin.stepButtonOff);
    set (VroColourIds::stepButtonOn, skin.stepButtonOn);
    set (VroColourIds::stepInactive, skin.stepInactive);
    set (VroColourIds::pageButtonFill, skin.pageButtons);

    for (auto* label : { lfoRateLabel, tempoLabel, fineTuneLabel })
        label->setColour (juce::Label::outlineColourId, juce::Colour (skin.valueOutline));
    versionLabel->setColour (juce::Label::textColourId, juce::Colour (skin.versionText));
    if (auto* fm = dynamic_cast<BoxedSimpleSlider*> (fmIntensitySlider))
        fm->barColour = juce::Colour (skin.fmIntensityBar);

    // Children that cache look-and-feel colours (labels) pick the new set up here.
    sendLookAndFeelChange();
    repaint();
}
