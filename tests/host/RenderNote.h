#pragma once

#include <JuceHeader.h>
#include <cmath>

/** Plays one note through a loaded plug-in: the energy of the first 10240 samples, or -1 when any
    sample is not finite. Leaves the plug-in prepared. */
inline double renderNoteEnergy (juce::AudioPluginInstance& plugin)
{
    plugin.prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    double energy = 0.0;
    bool finite = true;
    for (int b = 0; b < 20; ++b)
    {
        buffer.clear();
        midi.clear();
        if (b == 0)
            midi.addEvent (juce::MidiMessage::noteOn (1, 48, (juce::uint8) 100), 10);
        plugin.processBlock (buffer, midi);
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float s = buffer.getSample (0, i);
            finite = finite && std::isfinite (s);
            energy += s * s;
        }
    }
    return finite ? energy : -1.0;
}
