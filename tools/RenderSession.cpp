#include "RenderSession.h"

#include <algorithm>

bool readMidiFileEvents (const juce::File& file, double sampleRate, std::vector<TimedMidi>& events,
                         double& lastEventSeconds, juce::String& error)
{
    if (! file.existsAsFile())
    {
        error = "file not found";
        return false;
    }
    juce::FileInputStream in (file);
    if (! in.openedOk())
    {
        error = "cannot read file";
        return false;
    }
    juce::MidiFile midiFile;
    if (! midiFile.readFrom (in, true) || midiFile.getTimeFormat() == 0)
    {
        error = "not a Standard MIDI File";
        return false;
    }
    midiFile.convertTimestampTicksToSeconds();

    struct Keyed { int sample, track, index; juce::MidiMessage message; };
    std::vector<Keyed> keyed;
    lastEventSeconds = 0.0;
    for (int t = 0; t < midiFile.getNumTracks(); ++t)
    {
        const auto* track = midiFile.getTrack (t);
        for (int i = 0; i < track->getNumEvents(); ++i)
        {
            const auto& m = track->getEventPointer (i)->message;
            const double seconds = m.getTimeStamp();
            lastEventSeconds = std::max (lastEventSeconds, seconds);
            if (m.isMetaEvent())
                continue;
            keyed.push_back ({ (int) std::floor (seconds * sampleRate + 0.5), t, i, m });
        }
    }
    std::stable_sort (keyed.begin(), keyed.end(), [] (const Keyed& a, const Keyed& b)
    {
        if (a.sample != b.sample) return a.sample < b.sample;
        if (a.track != b.track) return a.track < b.track;
        return a.index < b.index;
    });
    events.clear();
    for (auto& k : keyed)
        events.push_back ({ k.sample, k.message });
    return true;
}

RenderSession::RenderSession (VroCore& p, double rate, int block, double bpm)
    : processor (p), sampleRate (rate), blockSize (block)
{
    playHead.bpm = bpm;
    playHead.sampleRate = rate;
    processor.setNonRealtime (true);
    processor.setPlayConfigDetails (2, 2, rate, block);
    processor.prepareToPlay (rate, block);
    processor.setPlayHead (&playHead);
}

void RenderSession::render (const std::vector<TimedMidi>& events, int totalSamples)
{
    audio.setSize (2, std::max (totalSamples, 0));
    audio.clear();
    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;
    size_t next = 0;
    while (next < events.size() && events[next].sample < 0)
        ++next;

    for (int start = 0; start < totalSamples; start += blockSize)
    {
        const int n = std::min (blockSize, totalSamples - start);
        block.setSize (2, n, false, false, true);
        block.clear();
        midi.clear();
        while (next < events.size() && events[next].sample < start + n)
        {
            const auto& e = events[next++];
            midi.addEvent (e.message, e.sample - start);
        }

        playHead.timeInSamples = start;
        playHead.ppqPosition = start / sampleRate * playHead.bpm / 60.0;
        processor.processBlock (block, midi);

        for (int ch = 0; ch < 2; ++ch)
            audio.copyFrom (ch, start, block, ch, 0, n);
        for (const auto meta : midi)
            midiOutput.push_back ({ start + meta.samplePosition, meta.getMessage() });
    }
}

bool writeMidiOutputFile (const juce::File& file, const std::vector<TimedMidi>& events, double sampleRate)
{
    juce::MidiMessageSequence tempoTrack, notes;
    tempoTrack.addEvent (juce::MidiMessage::tempoMetaEvent (500000), 0.0);
    for (const auto& e : events)
    {
        auto m = e.message;
        m.setTimeStamp (std::round (e.sample * 44100.0 / sampleRate));
        notes.addEvent (m);
    }
    notes.updateMatchedPairs();

    juce::MidiFile out;
    out.setTicksPerQuarterNote (22050);
    out.addTrack (tempoTrack);
    out.addTrack (notes);

    juce::TemporaryFile temp (file);
    {
        juce::FileOutputStream stream (temp.getFile());
        if (! stream.openedOk() || ! out.writeTo (stream, 1))
            return false;
    }
    return temp.overwriteTargetFileWithTemporary();
}

bool writeWavFile (const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate)
{
    juce::TemporaryFile temp (file);
    {
        auto stream = std::make_unique<juce::FileOutputStream> (temp.getFile());
        if (! stream->openedOk())
            return false;
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), sampleRate, 2, 32, {}, 0));
        if (writer == nullptr)
            return false;
        stream.release();
        if (! writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples()))
            return false;
    }
    return temp.overwriteTargetFileWithTemporary();
}
