#include "VroMidiExportUi.h"
#include "VroCore.h"

VroMidiExportUi::VroMidiExportUi (VroCore& processor) : core (processor)
{
    setBounds (950, 475, 80, 15);
}

VroMidiExportUi::~VroMidiExportUi() = default;

void VroMidiExportUi::paint (juce::Graphics& g)
{
    // Sits in the dark strip of the light skin and the light strip of the dark one.
    const auto colour = findColour (101).contrasting (1.0f).withAlpha (0.85f);
    g.setColour (colour);
    g.drawRect (getLocalBounds(), 1);
    g.setFont (juce::Font (10.0f, juce::Font::bold));
    g.drawText ("DRAG MIDI", getLocalBounds(), juce::Justification::centred, true);
    juce::ignoreUnused (core);
}
