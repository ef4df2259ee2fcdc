#pragma once

#include "VroCore.h"
#include <juce_audio_formats/juce_audio_formats.h>
#include <vector>

/** A host's transport for offline renders: a fixed tempo, 4/4, playing from ppq 0. */
class RenderPlayHead : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setBpm (bpm);
        info.setTimeSignature (TimeSignature { 4, 4 });
        info.setIsPlaying (playing);
        info.setPpqPosition (ppqPosition);
        info.setTimeInSamples ((juce::int64) timeInSamples);
        info.setTimeInSeconds (timeInSamples / sampleRate);
        return info;
    }

    double bpm = 120.0, ppqPosition = 0.0, sampleRate = 44100.0;
    double timeInSamples = 0.0;
    bool playing = true;
};

/** A MIDI event scheduled at an absolute sample. */
struct TimedMidi
{
    int sample;
    juce::MidiMessage message;
};

/** Reads every track of a MIDI file by its own tempo map and schedules each event at
    floor(seconds x rate + 0.5); same-sample events keep track order, then file order.
    Returns false with a reason when the file is missing or not MIDI. */
bool readMidiFileEvents (const juce::File& file, double sampleRate, std::vector<TimedMidi>& events,
                         double& lastEventSeconds, juce::String& error);

/** Drives one processor offline in blocks, the way a host does. */
class RenderSession
{
public:
    RenderSession (VroCore& processorToUse, double sampleRate, int blockSize, double bpm);

    /** Renders totalSamples, feeding events at their samples; collects audio and MIDI output. */
    void render (const std::vector<TimedMidi>& events, int totalSamples);

    juce::AudioBuffer<float> audio;
    std::vector<TimedMidi> midiOutput;

    VroCore& processor;
    RenderPlayHead playHead;
    double sampleRate;
    int blockSize;
};

/** The engine's MIDI output as a format-1 file at 22050 ticks per quarter and tempo 500000. */
bool writeMidiOutputFile (const juce::File& file, const std::vector<TimedMidi>& events, double sampleRate);

/** Stereo 32-bit float WAV, written to a temporary file and renamed over the target. */
bool writeWavFile (const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate);
