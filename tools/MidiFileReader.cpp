#include "MidiFileReader.h"
#include "SafeFile.h"

#include <algorithm>

namespace
{
// A track whose note-offs move keeps, per event, its tick's group (events of one tick share one,
// numbered in the file's order), whether it is a note-off or note-on, the running status it is
// read with and where it starts in the file: 26 + 2 + 8 + 26 bits. 26 bits hold any offset below
// the 64 MB cap, and a group per two bytes of it.
constexpr int offsetBits = 26, statusShift = offsetBits, kindShift = statusShift + 8, groupShift = kindShift + 2;
static_assert (maxMidiFileBytes <= (size_t (1) << offsetBits));
constexpr juce::uint64 noteOffKind = 1, noteOnKind = 2;

juce::uint64 kindOf (const juce::MidiMessage& m)
{
    return m.isNoteOff() ? noteOffKind : m.isNoteOn() ? noteOnKind : 0;
}

/** A tempo or time signature event of the framework's tempo map: seconds per quarter note, or -1
    for a time signature (which does not change the tick's length but starts a new state). */
bool tempoMark (const juce::MidiMessage& m, double& secondsPerQuarter);

/** A meta event with all its bytes: the framework's tests for tempo and time signature read past
    the end of a cut-off one, so such a one counts as neither. */
bool isWholeMeta (const juce::MidiMessage& m, int dataBytes)
{
    const auto* d = m.getRawData();
    const int size = m.getRawDataSize();
    if (size < 3 || d[0] != 0xff)
        return false;
    const auto length = juce::MidiMessage::readVariableLengthValue (d + 2, size - 2);
    return length.isValid() && 2 + length.bytesUsed + dataBytes <= size;
}

bool tempoMark (const juce::MidiMessage& m, double& secondsPerQuarter)
{
    if (m.getRawDataSize() < 2)
        return false;
    if (m.isTempoMetaEvent() && isWholeMeta (m, 3))
        secondsPerQuarter = m.getTempoSecondsPerQuarterNote();
    else if (m.isTimeSignatureMetaEvent() && isWholeMeta (m, 0))
        secondsPerQuarter = -1.0;
    else
        return false;
    return true;
}

struct Bytes
{
    const juce::uint8* data;
    size_t size;

    bool read32 (juce::uint32& value)
    {
        if (size < 4)
            return false;
        value = juce::ByteOrder::bigEndianInt (data);
        data += 4;
        size -= 4;
        return true;
    }

    bool read16 (juce::uint16& value)
    {
        if (size < 2)
            return false;
        value = juce::ByteOrder::bigEndianShort (data);
        data += 2;
        size -= 2;
        return true;
    }
};
} // namespace

bool MidiFileReader::Reader::read (juce::MidiMessage& message, const juce::uint8*& at)
{
    // The framework's reading of a track, step by step: its own decoding of delays and messages,
    // running status included, and the same end at the first thing it cannot read.
    if (size <= 0)
        return false;
    const auto delay = juce::MidiMessage::readVariableLengthValue (data, size);
    if (! delay.isValid() || size - delay.bytesUsed <= 0)
    {
        size = 0;
        return false;
    }
    data += delay.bytesUsed;
    size -= delay.bytesUsed;
    const double t = tick + delay.value;
    int used = 0;
    message = juce::MidiMessage (data, size, used, lastStatus, t);
    if (used <= 0)
    {
        size = 0;
        return false;
    }
    at = data;
    data += used;
    size -= used;
    tick = t;
    const auto first = *message.getRawData();
    if ((first & 0xf0) != 0xf0)
        lastStatus = first;
    return true;
}

bool MidiFileReader::open (const juce::File& file, double rate, juce::String& error)
{
    tracks.clear();
    states.clear();
    changes.clear();
    heap.clear();
    bytes.reset();
    sampleRate = rate;
    lastSeconds = 0.0;
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
    if (! SafeFile::readRegularFile (file, maxMidiFileBytes, bytes))
    {
        error = file.getSize() > (juce::int64) maxMidiFileBytes ? "file too large for a MIDI file" : "cannot read file";
        return false;
    }

    // The header and the chunks as the framework reads them, RIFF wrapping included.
    const auto* const start = static_cast<const juce::uint8*> (bytes.getData());
    Bytes in { start, bytes.getSize() };
    const auto notMidi = [&error]
    {
        error = "not a Standard MIDI File";
        return false;
    };
    juce::uint32 chunk = 0;
    if (! in.read32 (chunk))
        return notMidi();
    if (chunk != juce::ByteOrder::bigEndianInt ("MThd"))
    {
        bool found = false;
        if (chunk == juce::ByteOrder::bigEndianInt ("RIFF"))
            for (int i = 0; i < 8 && ! found; ++i)
            {
                if (! in.read32 (chunk))
                    return notMidi();
                found = chunk == juce::ByteOrder::bigEndianInt ("MThd");
            }
        if (! found)
            return notMidi();
    }
    juce::uint32 headerSize = 0;
    juce::uint16 fileType = 0, numTracks = 0, format = 0;
    if (! in.read32 (headerSize) || headerSize > in.size || ! in.read16 (fileType) || fileType > 2
        || ! in.read16 (numTracks) || (fileType == 0 && numTracks != 1) || ! in.read16 (format))
        return notMidi();
    timeFormat = (short) format;
    for (int t = 0; t < (short) numTracks; ++t)
    {
        juce::uint32 type = 0, size = 0;
        if (! in.read32 (type) || ! in.read32 (size) || in.size < size)
            return notMidi();
        if (type == juce::ByteOrder::bigEndianInt ("MTrk"))
        {
            tracks.emplace_back();
            tracks.back().begin = in.data;
            tracks.back().end = in.data + size;
        }
        in.data += size;
        in.size -= size;
    }
    // A time code format without subframes would divide by zero.
    if (in.size != 0 || timeFormat == 0 || (timeFormat < 0 && (timeFormat & 0xff) == 0))
        return notMidi();

    // First look: each track's last tick, whether its note-offs move, how many tempo events.
    size_t marks = 0, tempos = 0;
    juce::MidiMessage m;
    const juce::uint8* at = nullptr;
    for (auto& track : tracks)
    {
        Reader reader { track.begin, (int) (track.end - track.begin) };
        size_t count = 0;
        double groupTick = 0.0;
        bool noteOnInGroup = false, moves = false;
        while (reader.read (m, at))
        {
            if (count++ == 0 || reader.tick != groupTick)
            {
                groupTick = reader.tick;
                noteOnInGroup = false;
            }
            const auto kind = kindOf (m);
            moves = moves || (kind == noteOffKind && noteOnInGroup);
            noteOnInGroup = noteOnInGroup || kind == noteOnKind;
            double secondsPerQuarter = 0.0;
            if (tempoMark (m, secondsPerQuarter))
            {
                ++marks;
                tempos += secondsPerQuarter >= 0.0 ? 1 : 0;
            }
        }
        track.hasEvents = count > 0;
        track.lastTick = reader.tick;
        if (! moves)
            continue;

        // The framework sorts such a track so that note-offs come before the note-ons of their
        // tick; the same sort of the same sequence gives the same order, with 8 bytes an event.
        track.order.reserve (count);
        Reader again { track.begin, (int) (track.end - track.begin) };
        juce::uint64 group = 0;
        for (size_t i = 0; i < count; ++i)
        {
            const auto status = again.lastStatus;
            const double before = again.tick;
            again.read (m, at);
            group += (i > 0 && again.tick != before) ? 1 : 0;
            track.order.push_back ((group << groupShift) | (kindOf (m) << kindShift) | ((juce::uint64) status << statusShift)
                                   | (juce::uint64) (at - start));
        }
        std::stable_sort (track.order.begin(), track.order.end(), [] (juce::uint64 a, juce::uint64 b)
        {
            const auto ga = a >> groupShift, gb = b >> groupShift;
            if (ga != gb)
                return ga < gb;
            return ((a >> kindShift) & 3) == noteOffKind && ((b >> kindShift) & 3) == noteOnKind;
        });
    }

    // One state per distinct tick of the map: where it starts and the seconds there, and the tick's
    // length wherever a tempo event sets it; the framework's arithmetic, so the seconds are the
    // same to the bit. The tracks' events are merged by tick, then track, as they are read, so
    // nothing but the states is held: 16 bytes for each, 12 more for each tempo event.
    tickLength = 1.0 / (timeFormat & 0x7fff);
    states.reserve (marks);
    changes.reserve (tempos);
    {
        struct Source
        {
            Reader reader;
            size_t track;
            double secondsPerQuarter;
        };
        std::vector<Source> sources;
        const auto nextMark = [&m, &at] (Source& source)
        {
            while (source.reader.read (m, at))
                if (tempoMark (m, source.secondsPerQuarter))
                    return true;
            return false;
        };
        const auto later = [] (const Source& a, const Source& b)
        {
            return a.reader.tick != b.reader.tick ? a.reader.tick > b.reader.tick : a.track > b.track;
        };
        for (size_t t = 0; t < tracks.size(); ++t)
        {
            Source source { { tracks[t].begin, (int) (tracks[t].end - tracks[t].begin) }, t, 0.0 };
            if (marks > 0 && nextMark (source))
                sources.push_back (source);
        }
        std::make_heap (sources.begin(), sources.end(), later);

        double lastTick = 0.0, seconds = 0.0, secondsPerTick = 0.5 * tickLength;
        while (! sources.empty())
        {
            const double tick = sources.front().reader.tick;
            seconds += (tick - lastTick) * secondsPerTick;
            lastTick = tick;
            bool tempo = false;
            while (! sources.empty() && sources.front().reader.tick == tick)
            {
                std::pop_heap (sources.begin(), sources.end(), later);
                auto& source = sources.back();
                if (source.secondsPerQuarter >= 0.0)
                {
                    secondsPerTick = tickLength * source.secondsPerQuarter;
                    tempo = true;
                }
                if (nextMark (source))
                    std::push_heap (sources.begin(), sources.end(), later);
                else
                    sources.pop_back();
            }
            if (tempo)
                changes.push_back ({ states.size(), secondsPerTick });
            states.push_back ({ tick, seconds });
        }
    }

    for (const auto& track : tracks)
        if (track.hasEvents)
            lastSeconds = std::max (lastSeconds, toSeconds (track.lastTick));
    rewind();
    return true;
}

double MidiFileReader::toSeconds (double tick) const
{
    if (timeFormat < 0)
        return tick / (-(timeFormat >> 8) * (timeFormat & 0xff));
    // The last state that starts before the tick.
    const auto after = std::lower_bound (states.begin(), states.end(), tick, [] (const TempoState& s, double t) { return s.tick < t; });
    if (after == states.begin())
        return tick * (0.5 * tickLength);
    const auto& s = *(after - 1);
    const auto state = (size_t) (after - 1 - states.begin());
    const auto change = std::upper_bound (changes.begin(), changes.end(), state, [] (size_t i, const TempoChange& c) { return i < c.state; });
    const double secondsPerTick = change == changes.begin() ? 0.5 * tickLength : (change - 1)->secondsPerTick;
    return s.seconds + (tick - s.tick) * secondsPerTick;
}

juce::int64 MidiFileReader::toSample (double tick) const
{
    // Far beyond any render that is allowed, but still a number the conversion can hold.
    return (juce::int64) std::min (std::floor (toSeconds (tick) * sampleRate + 0.5), 1.0e15);
}

void MidiFileReader::advance (Track& track)
{
    track.pending = false;
    juce::MidiMessage m;
    const juce::uint8* at = nullptr;
    if (track.order.empty())
    {
        while (track.reader.read (m, at))
            if (! m.isMetaEvent())
            {
                track.event = { toSample (track.reader.tick), std::move (m) };
                track.pending = true;
                return;
            }
        return;
    }
    // In sorted order the groups only grow: a second reader in the file's order finds each
    // group's tick as the play reaches it.
    const auto* const start = static_cast<const juce::uint8*> (bytes.getData());
    while (track.position < track.order.size())
    {
        const auto packed = track.order[track.position++];
        const auto group = (juce::int64) (packed >> groupShift);
        while (track.group < group)
        {
            const double before = track.clock.tick;
            if (! track.clock.read (m, at))
                return; // cannot happen: the same bytes were read when the order was made
            track.group += (track.group < 0 || track.clock.tick != before) ? 1 : 0;
        }
        const auto* const data = start + (packed & ((juce::uint64 (1) << offsetBits) - 1));
        const auto status = (juce::uint8) ((packed >> statusShift) & 0xff);
        int used = 0;
        juce::MidiMessage message (data, (int) (track.end - data), used, status, track.clock.tick);
        if (! message.isMetaEvent())
        {
            track.event = { toSample (track.clock.tick), std::move (message) };
            track.pending = true;
            return;
        }
    }
}

void MidiFileReader::rewind()
{
    heap.clear();
    for (auto& track : tracks)
    {
        track.reader = track.clock = Reader { track.begin, (int) (track.end - track.begin) };
        track.position = 0;
        track.group = -1;
        advance (track);
        if (track.pending)
            heap.push_back ((size_t) (&track - tracks.data()));
    }
    std::make_heap (heap.begin(), heap.end(), [this] (size_t a, size_t b)
    {
        return tracks[a].event.sample != tracks[b].event.sample ? tracks[a].event.sample > tracks[b].event.sample : a > b;
    });
}

bool MidiFileReader::next (TimedMidi& event)
{
    if (heap.empty())
        return false;
    // The soonest event; of one sample, the earlier track's.
    const auto later = [this] (size_t a, size_t b)
    {
        return tracks[a].event.sample != tracks[b].event.sample ? tracks[a].event.sample > tracks[b].event.sample : a > b;
    };
    std::pop_heap (heap.begin(), heap.end(), later);
    auto& track = tracks[heap.back()];
    event = std::move (track.event);
    advance (track);
    if (track.pending)
        std::push_heap (heap.begin(), heap.end(), later);
    else
        heap.pop_back();
    return true;
}
