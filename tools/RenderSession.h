#pragma once

#include "VroCore.h"
#include <juce_audio_formats/juce_audio_formats.h>
#include <functional>
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
    juce::int64 sample;
    juce::MidiMessage message;
};

/** Adds an event in constant time; the caller adds events in time order. The framework's
    addEvent searches the buffer from its start, which makes a block of many events quadratic.
    Throws std::bad_alloc when the buffer cannot grow. */
void appendMidiEvent (juce::MidiBuffer& buffer, const juce::MidiMessage& message, int samplePosition);

/** Drives one processor offline in blocks, the way a host does. */
class RenderSession
{
public:
    RenderSession (VroCore& processorToUse, double sampleRate, int blockSize, double bpm);

    /** Renders totalSamples, feeding events at their samples; collects audio and MIDI output. */
    void render (const std::vector<TimedMidi>& events, int totalSamples);

    /** The same, handing each block's audio to a sink instead of keeping it; stops and returns
        false when the sink fails. */
    using AudioSink = std::function<bool (const juce::AudioBuffer<float>& block, int numSamples)>;
    bool render (const std::vector<TimedMidi>& events, juce::int64 totalSamples, const AudioSink& sink);

    /** The same, taking the events one at a time as they are due (a file read as it is played):
        the source sets the next one, in time order, or returns false after the last. */
    using EventSource = std::function<bool (TimedMidi& event)>;
    bool render (const EventSource& events, juce::int64 totalSamples, const AudioSink& sink);

    juce::AudioBuffer<float> audio;
    std::vector<TimedMidi> midiOutput;

    VroCore& processor;
    RenderPlayHead playHead;
    double sampleRate;
    int blockSize;
};

/** The engine's MIDI output as a format-1 file at 22050 ticks per quarter and tempo 500000,
    written to the file (which is created or truncated) and checked to its end. */
bool writeMidiOutputFile (const juce::File& file, const std::vector<TimedMidi>& events, double sampleRate);

/** A stereo 32-bit float WAV written block by block into a file (created or truncated), so an
    hour of audio never has to fit in memory; RF64 once it passes 4 GB. finish() writes the sizes
    and checks that every byte arrived. */
class WavFileWriter
{
public:
    WavFileWriter (const juce::File& file, double sampleRate);
    ~WavFileWriter();
    bool write (const juce::AudioBuffer<float>& block, int numSamples);
    bool finish();

    static constexpr juce::uint64 headerBytes = 12 + 36 + 26 + 12 + 8, bytesPerFrame = 8;

private:
    bool writeHeader();

    juce::File file;
    double sampleRate;
    std::unique_ptr<juce::FileOutputStream> out;
    std::vector<float> interleaved;
    juce::uint64 frames = 0;
    bool failed = false;
};
