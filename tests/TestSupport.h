#pragma once

#include "RenderSession.h"
#include <gtest/gtest.h>

namespace test
{
/** The folder that stands in for the user's application data in this test run. */
inline juce::File configFolder()
{
    return juce::File (juce::SystemStats::getEnvironmentVariable ("XDG_CONFIG_HOME", {}));
}

inline juce::MidiMessage noteOn (int note, int velocity = 100, int channel = 1)
{
    return juce::MidiMessage::noteOn (channel, note, (juce::uint8) velocity);
}

inline juce::MidiMessage noteOff (int note, int channel = 1)
{
    return juce::MidiMessage::noteOff (channel, note);
}

inline juce::MidiMessage controller (int number, int value, int channel = 1)
{
    return juce::MidiMessage::controllerEvent (channel, number, value);
}

/** Renders events through a processor in blocks, as a host does; realtime unless told otherwise. */
struct Render
{
    explicit Render (VroCore& p, double rate = 44100.0, int block = 512, double bpm = 120.0, bool offline = true)
        : session (p, rate, block, bpm)
    {
        p.setNonRealtime (offline);
    }

    Render& at (int sample, const juce::MidiMessage& m)
    {
        events.push_back ({ sample, m });
        return *this;
    }

    void run (int samples)
    {
        std::stable_sort (events.begin(), events.end(), [] (const TimedMidi& a, const TimedMidi& b) { return a.sample < b.sample; });
        session.render (events, samples);
    }

    /** First sample at or after `from` whose magnitude exceeds the threshold; -1 if none. */
    int firstSoundAfter (int from = 0, float threshold = 1.0e-4f) const
    {
        const auto* d = session.audio.getReadPointer (0);
        for (int i = from; i < session.audio.getNumSamples(); ++i)
            if (std::abs (d[i]) > threshold)
                return i;
        return -1;
    }

    float peak (int from, int to) const
    {
        return session.audio.getMagnitude (0, from, std::min (to, session.audio.getNumSamples()) - from);
    }

    RenderSession session;
    std::vector<TimedMidi> events;
};
} // namespace test
