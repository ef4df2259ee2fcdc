#include "RenderSession.h"
#include "SafeFile.h"

#include <algorithm>
#include <cstring>

bool readMidiFileEvents (const juce::File& file, double sampleRate, std::vector<TimedMidi>& events,
                         double& lastEventSeconds, juce::String& error)
{
    if (! file.exists())
    {
        error = "file not found";
        return false;
    }
    if (! SafeFile::isRegularFile (file))
    {
        error = "not a regular file";
        return false;
    }
    juce::MemoryBlock bytes;
    if (! SafeFile::readRegularFile (file, maxMidiFileBytes, bytes))
    {
        error = file.getSize() > (juce::int64) maxMidiFileBytes ? "file too large for a MIDI file" : "cannot read file";
        return false;
    }
    // The file's own events only: the framework's matching of note-offs moves the rest of a track
    // for every note-on it pairs, which makes many of one pitch on one tick quadratic, and a host
    // plays a file's events as they are.
    juce::MemoryInputStream in (bytes, false);
    juce::MidiFile midiFile;
    const int timeFormat = midiFile.readFrom (in, false) ? midiFile.getTimeFormat() : 0;
    if (timeFormat == 0)
    {
        error = "not a Standard MIDI File";
        return false;
    }

    // The framework's conversion of ticks into seconds, which walks the tempo map from its start
    // for every event, done with the same arithmetic from a table of the tempo map's states: the
    // seconds are the same to the bit, in n log n.
    struct TempoMark { double tick; int track, index; bool tempo; double secondsPerQuarter; };
    std::vector<TempoMark> marks;
    for (int t = 0; t < midiFile.getNumTracks(); ++t)
    {
        const auto* track = midiFile.getTrack (t);
        for (int i = 0; i < track->getNumEvents(); ++i)
        {
            const auto& m = track->getEventPointer (i)->message;
            if (m.isTempoMetaEvent())
                marks.push_back ({ m.getTimeStamp(), t, i, true, m.getTempoSecondsPerQuarterNote() });
        }
    }
    for (int t = 0; t < midiFile.getNumTracks(); ++t)
    {
        const auto* track = midiFile.getTrack (t);
        for (int i = 0; i < track->getNumEvents(); ++i)
            if (track->getEventPointer (i)->message.isTimeSignatureMetaEvent())
                marks.push_back ({ track->getEventPointer (i)->message.getTimeStamp(), t, i, false, 0.0 });
    }
    std::stable_sort (marks.begin(), marks.end(), [] (const TempoMark& a, const TempoMark& b) { return a.tick < b.tick; });

    // One state per distinct tick of the map: where it starts, the seconds there, the tick length after.
    struct TempoState { double tick, seconds, secondsPerTick; };
    const double tickLength = 1.0 / (timeFormat & 0x7fff);
    std::vector<TempoState> states;
    {
        double lastTick = 0.0, seconds = 0.0, secondsPerTick = 0.5 * tickLength;
        for (size_t i = 0; i < marks.size();)
        {
            const double tick = marks[i].tick;
            seconds += (tick - lastTick) * secondsPerTick;
            lastTick = tick;
            for (; i < marks.size() && marks[i].tick == tick; ++i)
                if (marks[i].tempo)
                    secondsPerTick = tickLength * marks[i].secondsPerQuarter;
            states.push_back ({ tick, seconds, secondsPerTick });
        }
    }
    const auto toSeconds = [&] (double tick)
    {
        if (timeFormat < 0)
            return tick / (-(timeFormat >> 8) * (timeFormat & 0xff));
        // The last state that starts before the tick.
        const auto after = std::lower_bound (states.begin(), states.end(), tick,
                                             [] (const TempoState& s, double t) { return s.tick < t; });
        if (after == states.begin())
            return tick * (0.5 * tickLength);
        const auto& s = *(after - 1);
        return s.seconds + (tick - s.tick) * s.secondsPerTick;
    };

    struct Keyed { juce::int64 sample; int track, index; juce::MidiMessage message; };
    std::vector<Keyed> keyed;
    lastEventSeconds = 0.0;
    for (int t = 0; t < midiFile.getNumTracks(); ++t)
    {
        const auto* track = midiFile.getTrack (t);
        for (int i = 0; i < track->getNumEvents(); ++i)
        {
            const auto& m = track->getEventPointer (i)->message;
            const double seconds = toSeconds (m.getTimeStamp());
            lastEventSeconds = std::max (lastEventSeconds, seconds);
            if (m.isMetaEvent())
                continue;
            // Far beyond any render that is allowed, but still a number the conversion can hold.
            const double sample = std::min (std::floor (seconds * sampleRate + 0.5), 1.0e15);
            keyed.push_back ({ (juce::int64) sample, t, i, m });
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

void appendMidiEvent (juce::MidiBuffer& buffer, const juce::MidiMessage& message, int samplePosition)
{
    // The framework's own encoding of one event, made by its own addEvent on an empty buffer, then
    // appended: only the leading sample position of the record is relied on.
    static thread_local juce::MidiBuffer one;
    one.clear();
    one.addEvent (message, 0);
    const auto size = one.data.size();
    if (size < (int) sizeof (juce::int32))
        return;
    const auto at = buffer.data.size();
    buffer.data.addArray (one.data.getRawDataPointer(), size);
    const auto position = (juce::int32) samplePosition;
    std::memcpy (buffer.data.getRawDataPointer() + at, &position, sizeof (position));
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
    juce::int64 done = 0;
    render (events, totalSamples, [this, &done] (const juce::AudioBuffer<float>& block, int n)
    {
        for (int ch = 0; ch < 2; ++ch)
            audio.copyFrom (ch, (int) done, block, ch, 0, n);
        done += n;
        return true;
    });
}

bool RenderSession::render (const std::vector<TimedMidi>& events, juce::int64 totalSamples, const AudioSink& sink)
{
    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;
    size_t next = 0;
    while (next < events.size() && events[next].sample < 0)
        ++next;

    for (juce::int64 start = 0; start < totalSamples; start += blockSize)
    {
        const int n = (int) std::min<juce::int64> (blockSize, totalSamples - start);
        block.setSize (2, n, false, false, true);
        block.clear();
        midi.clear();
        while (next < events.size() && events[next].sample < start + n)
        {
            const auto& e = events[next++];
            appendMidiEvent (midi, e.message, (int) (e.sample - start));
        }

        playHead.timeInSamples = (double) start;
        playHead.ppqPosition = (double) start / sampleRate * playHead.bpm / 60.0;
        processor.processBlock (block, midi);

        if (! sink (block, n))
            return false;
        for (const auto meta : midi)
            midiOutput.push_back ({ start + meta.samplePosition, meta.getMessage() });
    }
    return true;
}

bool writeMidiOutputFile (const juce::File& file, const std::vector<TimedMidi>& events, double sampleRate)
{
    juce::MidiMessageSequence tempoTrack, notes;
    tempoTrack.addEvent (juce::MidiMessage::tempoMetaEvent (500000), 0.0);
    for (const auto& e : events)
    {
        auto m = e.message;
        m.setTimeStamp (std::round ((double) e.sample * 44100.0 / sampleRate));
        notes.addEvent (m);
    }
    notes.updateMatchedPairs();

    juce::MidiFile out;
    out.setTicksPerQuarterNote (22050);
    out.addTrack (tempoTrack);
    out.addTrack (notes);

    juce::MemoryOutputStream bytes;
    return out.writeTo (bytes, 1) && SafeFile::writeNewFile (file, bytes.getData(), bytes.getDataSize());
}

WavFileWriter::WavFileWriter (const juce::File& f, double rate)
    : file (f), sampleRate (rate), out (std::make_unique<juce::FileOutputStream> (f, 1 << 20))
{
    // The header is written again, with the sizes, once the data is complete.
    failed = ! out->openedOk() || ! out->setPosition (0) || out->truncate().failed() || ! writeHeader();
}

WavFileWriter::~WavFileWriter() = default;

bool WavFileWriter::writeHeader()
{
    const auto dataBytes = frames * bytesPerFrame;
    // Beyond 4 GB the sizes move into a ds64 chunk (RF64), which takes the place of the JUNK
    // chunk kept free for it.
    const bool rf64 = headerBytes - 8 + dataBytes > 0xffffffffu;
    const auto size32 = [rf64] (juce::uint64 v) { return rf64 ? 0xffffffffu : (juce::uint32) v; };

    juce::MemoryOutputStream h;
    h.write (rf64 ? "RF64" : "RIFF", 4);
    h.writeInt ((int) size32 (headerBytes - 8 + dataBytes));
    h.write ("WAVE", 4);
    h.write (rf64 ? "ds64" : "JUNK", 4);
    h.writeInt (28);
    h.writeInt64 (rf64 ? (juce::int64) (headerBytes - 8 + dataBytes) : 0);
    h.writeInt64 (rf64 ? (juce::int64) dataBytes : 0);
    h.writeInt64 (rf64 ? (juce::int64) frames : 0);
    h.writeInt (0);
    // Float data needs the 18-byte format (with its empty extension) and a fact chunk.
    h.write ("fmt ", 4);
    h.writeInt (18);
    h.writeShort (3); // IEEE float
    h.writeShort (2);
    h.writeInt ((int) sampleRate);
    h.writeInt ((int) sampleRate * (int) bytesPerFrame);
    h.writeShort ((short) bytesPerFrame);
    h.writeShort (32);
    h.writeShort (0);
    h.write ("fact", 4);
    h.writeInt (4);
    h.writeInt ((int) size32 (frames));
    h.write ("data", 4);
    h.writeInt ((int) size32 (dataBytes));
    jassert (h.getDataSize() == headerBytes);
    return out->setPosition (0) && out->write (h.getData(), h.getDataSize());
}

bool WavFileWriter::write (const juce::AudioBuffer<float>& block, int numSamples)
{
    if (failed || numSamples <= 0)
        return ! failed;
    interleaved.resize ((size_t) numSamples * 2);
    const auto* l = block.getReadPointer (0);
    const auto* r = block.getReadPointer (block.getNumChannels() > 1 ? 1 : 0);
    for (int i = 0; i < numSamples; ++i)
    {
        interleaved[(size_t) i * 2] = juce::ByteOrder::swapIfBigEndian (l[i]);
        interleaved[(size_t) i * 2 + 1] = juce::ByteOrder::swapIfBigEndian (r[i]);
    }
    failed = ! out->write (interleaved.data(), interleaved.size() * sizeof (float));
    frames += (juce::uint64) numSamples;
    return ! failed;
}

bool WavFileWriter::finish()
{
    if (out == nullptr)
        return false;
    // The buffered stream reports a full disk only when it flushes.
    failed = failed || ! writeHeader();
    out->flush();
    failed = failed || out->getStatus().failed();
    out.reset();
    return ! failed && (juce::uint64) file.getSize() == headerBytes + frames * bytesPerFrame;
}
