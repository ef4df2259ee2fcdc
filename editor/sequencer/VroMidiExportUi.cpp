#include "VroMidiExportUi.h"
#include "MidiPatternExport.h"
#include "VroCore.h"
#include "VroLookAndFeel.h"

std::function<void (const juce::StringArray&, juce::Component*)> VroMidiExportUi::startExternalDrag =
    [] (const juce::StringArray& files, juce::Component* source)
{
    juce::DragAndDropContainer::performExternalDragDropOfFiles (files, false, source);
};

VroMidiExportUi::VroMidiExportUi (VroCore& processor) : core (processor)
{
    setBounds (950, 475, 80, 15);
    setTooltip ("Drag & Drop Midi File");
}

VroMidiExportUi::~VroMidiExportUi() = default;

void VroMidiExportUi::mouseDown (const juce::MouseEvent&)
{
    dragStarted = false;
}

void VroMidiExportUi::mouseDrag (const juce::MouseEvent&)
{
    if (dragStarted)
        return;
    dragStarted = true;
    const auto file = exportMidiFile (core);
    // Offering a path that holds no file would hand the receiver nothing.
    if (file.existsAsFile())
        startExternalDrag (juce::StringArray (file.getFullPathName()), this);
}

void VroMidiExportUi::paint (juce::Graphics& g)
{
    const auto area = getLocalBounds();
    g.fillAll (juce::Colour (0x19000000));
    // The handle sits in the footer strip, dark in the light skin and light in the dark one: the
    // skin's chooser text colour turned over keeps it readable in both.
    g.setColour (findColour (VroColourIds::presetText).contrasting (1.0f).withAlpha (0.85f));
    g.drawRect (area, 1);
    g.setFont (juce::Font (11.0f, juce::Font::bold));
    g.drawText ("MIDI EXPORT", area, juce::Justification::centred, true);
}
