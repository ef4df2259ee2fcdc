// The renderer's MIDI file reader against the framework's own reading of the same files: the
// same events on the same samples in the same order, the same length, for files of every shape.
#include "MidiFileReader.h"
#include "TestSupport.h"

#include <algorithm>

namespace
{
/** The reading the renderer had before: the framework's MidiFile, its tracks converted by their
    tempo map and sorted by sample, track and position. It holds every event as the framework's
    objects, about 65 times a file's size, but it is the reading to match. */
bool frameworkReading (const juce::MemoryBlock& bytes, double sampleRate, std::vector<TimedMidi>& events, double& lastEventSeconds)
{
    juce::MemoryInputStream in (bytes, false);
    juce::MidiFile midiFile;
    const int timeFormat = midiFile.readFrom (in, false) ? midiFile.getTimeFormat() : 0;
    if (timeFormat == 0 || (timeFormat < 0 && (timeFormat & 0xff) == 0))
        return false;
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

void variableLength (std::vector<juce::uint8>& out, juce::uint32 v)
{
    juce::uint8 groups[4];
    int n = 0;
    do
        groups[n++] = (juce::uint8) (v & 0x7f);
    while ((v >>= 7) != 0 && n < 4);
    while (n > 1)
        out.push_back ((juce::uint8) (groups[--n] | 0x80));
    out.push_back (groups[0]);
}

/** A track of random events: notes (note-offs and note-ons on one tick in either order, note-ons
    of velocity 0), controllers, two-byte messages, running status, system exclusive, tempo, time
    signature and text meta events, and now and then a cut-off end. */
std::vector<juce::uint8> randomTrack (juce::Random& random)
{
    std::vector<juce::uint8> t;
    std::vector<std::pair<size_t, size_t>> metas; // a cut inside one would leave the framework reading past it
    const int events = random.nextInt (200);
    juce::uint8 status = 0;
    for (int i = 0; i < events; ++i)
    {
        const int d = random.nextInt (10);
        variableLength (t, d < 6 ? 0u : d < 9 ? (juce::uint32) random.nextInt (100) : (juce::uint32) random.nextInt (1 << 20));
        const int kind = random.nextInt (20);
        const auto channel = (juce::uint8) random.nextInt (16);
        const auto metaStart = t.size();
        const auto data = [&] { return (juce::uint8) random.nextInt (128); };
        const auto channelMessage = [&] (juce::uint8 newStatus, int dataBytes, bool zeroSecond = false)
        {
            if (newStatus != status || random.nextBool())
                t.push_back (newStatus);
            status = newStatus;
            t.push_back (data());
            if (dataBytes > 1)
                t.push_back (zeroSecond ? 0 : (juce::uint8) (1 + random.nextInt (127)));
        };
        if (kind < 5)
            channelMessage ((juce::uint8) (0x90 | channel % 2), 2);
        else if (kind < 8)
            channelMessage ((juce::uint8) (0x80 | channel % 2), 2);
        else if (kind < 10)
            channelMessage ((juce::uint8) (0x90 | channel % 2), 2, true);
        else if (kind < 11)
            channelMessage ((juce::uint8) (0xb0 | channel), 2);
        else if (kind < 12)
            channelMessage ((juce::uint8) (random.nextBool() ? 0xc0 | channel : 0xd0 | channel), 1);
        else if (kind < 13)
            channelMessage ((juce::uint8) (0xe0 | channel), 2);
        else if (kind < 14)
        {
            const int n = random.nextInt (20);
            t.push_back (0xf0);
            variableLength (t, (juce::uint32) n + 1);
            for (int k = 0; k < n; ++k)
                t.push_back (data());
            t.push_back (0xf7);
        }
        else if (kind < 16)
        {
            const auto micros = (juce::uint32) (100000 + random.nextInt (1000000));
            t.insert (t.end(), { 0xff, 0x51, 0x03, (juce::uint8) (micros >> 16), (juce::uint8) (micros >> 8), (juce::uint8) micros });
            metas.push_back ({ metaStart, t.size() });
        }
        else if (kind < 17)
        {
            t.insert (t.end(), { 0xff, 0x58, 0x04, 4, 2, 24, 8 });
            metas.push_back ({ metaStart, t.size() });
        }
        else if (kind < 18)
        {
            t.insert (t.end(), { 0xff, 0x01, 0x03, 'a', 'b', 'c' });
            metas.push_back ({ metaStart, t.size() });
        }
        else if (kind < 19)
        {
            // A note-on and its note-off on one tick, in the file's order: off after on.
            channelMessage ((juce::uint8) (0x90 | channel % 2), 2);
            t.push_back (0);
            channelMessage ((juce::uint8) (0x80 | channel % 2), 2);
        }
        else
            t.push_back (data()); // a stray data byte: running status, or the track's end
    }
    if (random.nextInt (4) != 0)
    {
        t.insert (t.end(), { 0x00, 0xff, 0x2f, 0x00 });
        metas.push_back ({ t.size() - 3, t.size() });
    }
    if (random.nextInt (8) == 0 && ! t.empty())
    {
        auto cut = (size_t) random.nextInt ((int) t.size());
        for (const auto& [begin, end] : metas)
            cut = cut > begin && cut < end ? begin : cut;
        t.resize (cut);
    }
    return t;
}

juce::MemoryBlock randomFile (juce::Random& random)
{
    juce::MemoryOutputStream out;
    const auto write32 = [&out] (juce::uint32 v) { out.writeIntBigEndian ((int) v); };
    if (random.nextInt (20) == 0)
    {
        out.write ("RIFF", 4);
        write32 (0);
        out.write ("RMIDdata", 8);
    }
    const int tracks = 1 + random.nextInt (5);
    out.write ("MThd", 4);
    write32 (6);
    out.writeShortBigEndian ((short) (tracks > 1 ? 1 : random.nextInt (2)));
    out.writeShortBigEndian ((short) tracks);
    const int format = random.nextInt (10);
    out.writeShortBigEndian ((short) (format == 0 ? (0xe7 << 8 | 40) : format == 1 ? (0xe8 << 8 | 80) : 1 + random.nextInt (960)));
    for (int i = 0; i < tracks; ++i)
    {
        const auto track = randomTrack (random);
        out.write (random.nextInt (15) == 0 ? "XTRA" : "MTrk", 4); // another chunk in a track's place is skipped
        write32 ((juce::uint32) track.size());
        out.write (track.data(), track.size());
    }
    return out.getMemoryBlock();
}

void expectSameReading (const juce::MemoryBlock& bytes, double rate, const juce::String& name)
{
    std::vector<TimedMidi> expected;
    double expectedSeconds = 0.0;
    const bool expectedOk = frameworkReading (bytes, rate, expected, expectedSeconds);

    const auto file = juce::File::createTempFile ("vro-read.mid");
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));
    MidiFileReader reader;
    juce::String error;
    const bool ok = reader.open (file, rate, error);
    file.deleteFile();
    ASSERT_EQ (ok, expectedOk) << name << ": " << error;
    if (! ok)
        return;
    EXPECT_EQ (reader.lastEventSeconds(), expectedSeconds) << name;
    for (int pass = 0; pass < 2; ++pass, reader.rewind())
    {
        size_t i = 0;
        for (TimedMidi e; reader.next (e); ++i)
        {
            ASSERT_LT (i, expected.size()) << name;
            const auto& x = expected[i];
            ASSERT_EQ (e.sample, x.sample) << name << " event " << i;
            ASSERT_EQ (e.message.getRawDataSize(), x.message.getRawDataSize()) << name << " event " << i;
            ASSERT_TRUE (std::equal (e.message.getRawData(), e.message.getRawData() + e.message.getRawDataSize(), x.message.getRawData()))
                << name << " event " << i << ": " << e.message.getDescription() << " instead of " << x.message.getDescription();
        }
        EXPECT_EQ (i, expected.size()) << name;
    }
}
} // namespace

TEST (MidiFileReader, ReadsEveryFileAsTheFrameworkDoes)
{
    juce::Random random (20261211);
    for (int i = 0; i < 400; ++i)
        expectSameReading (randomFile (random), i % 3 == 0 ? 48000.0 : 44100.0, "file " + juce::String (i));
}

TEST (MidiFileReader, ADenseFileOfNotesOnOneTick)
{
    // What a large file is made of: notes whose note-off shares the note-on's tick, which the
    // framework moves before it, in one track and spread over several.
    for (const int tracks : { 1, 3 })
    {
        juce::MemoryOutputStream out;
        out.write ("MThd", 4);
        out.writeIntBigEndian (6);
        out.writeShortBigEndian (1);
        out.writeShortBigEndian ((short) tracks);
        out.writeShortBigEndian (32767);
        for (int t = 0; t < tracks; ++t)
        {
            std::vector<juce::uint8> track { 0x00, 0xff, 0x51, 0x03, 0x01, 0x80, 0x00, 0x00, 0x90, 0x3c, 0x64, 0x00, 0x3c, 0x00 };
            for (int i = 0; i < 20000; ++i)
                track.insert (track.end(), { (juce::uint8) (i % 7 == 0 ? 0 : 1), (juce::uint8) (0x3c + t), 0x64, 0x00, (juce::uint8) (0x3c + t), 0x00 });
            out.write ("MTrk", 4);
            out.writeIntBigEndian ((int) track.size());
            out.write (track.data(), track.size());
        }
        expectSameReading (out.getMemoryBlock(), 44100.0, juce::String (tracks) + " tracks");
    }
}
