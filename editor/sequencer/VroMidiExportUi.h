#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;

/** The handle the step pattern is dragged out from as a MIDI file. */
class VroMidiExportUi : public juce::Component
{
public:
    explicit VroMidiExportUi (VroCore& core);
    ~VroMidiExportUi() override;

    void paint (juce::Graphics&) override;

private:
    VroCore& core;
};
