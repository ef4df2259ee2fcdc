#include "RenderSession.h"
#include "SafeFile.h"

#include <algorithm>
#include <cstring>

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
    // The framework's arrays do not report a failed allocation; a file of millions of events on
    // one sample would make the first write through a null pointer.
    buffer.data.ensureStorageAllocated (at + size);
    if (buffer.data.getRawDataPointer() == nullptr)
        throw std::bad_alloc();
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
    size_t next = 0;
    return render ([&events, &next] (TimedMidi& e)
    {
        if (next >= events.size())
            return false;
        e = events[next++];
        return true;
    }, totalSamples, sink);
}

bool RenderSession::render (const EventSource& events, juce::int64 totalSamples, const AudioSink& sink)
{
    juce::AudioBuffer<float> block (2, blockSize);
    juce::MidiBuffer midi;
    TimedMidi next;
    bool more = events (next);
    while (more && next.sample < 0)
        more = events (next);

    for (juce::int64 start = 0; start < totalSamples; start += blockSize)
    {
        const int n = (int) std::min<juce::int64> (blockSize, totalSamples - start);
        block.setSize (2, n, false, false, true);
        block.clear();
        midi.clear();
        while (more && next.sample < start + n)
        {
            appendMidiEvent (midi, next.message, (int) (next.sample - start));
            more = events (next);
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
