#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class VroCore;

/** The handle the step pattern is dragged out from: the drag writes the pattern as a new MIDI
    file and hands it to the system's drag and drop, copy only. */
class VroMidiExportUi : public juce::Label
{
public:
    explicit VroMidiExportUi (VroCore& core);
    ~VroMidiExportUi() override;

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

    /** Starts the system drag of a file; tests replace it to see what would be dragged. */
    static std::function<void (const juce::StringArray& files, juce::Component* source)> startExternalDrag;

private:
    VroCore& core;
    // The system's drag runs on after the call returns, so one press must write one file only.
    bool dragStarted = false;
};
