#include "Tuning.h"

#include <charconv>
#include <cmath>

bool KeyTuning::operator== (const KeyTuning& other) const noexcept
{
    for (int k = 0; k < numKeys; ++k)
        if (pitch[k] != other.pitch[k] || mapped[k] != other.mapped[k])
            return false;
    return standard == other.standard;
}

//==============================================================================
namespace MidiTuning
{
namespace
{
constexpr uint8_t nonRealTime = 0x7e, realTime = 0x7f, tuningStandard = 0x08;
constexpr int keyEntryBytes = 3;
constexpr int bulkDumpSize = 408;             // F0 7E dev 08 01 pp name[16] 128 x (xx yy zz) cs F7
constexpr int scaleOctaveBytes[2] = { 21, 33 }; // F0 rt dev 08 08|09 ff gg hh 12 x (ss | ss tt) F7

// xx yy zz: a semitone and its fraction in units of 100/16384 cents; 7F 7F 7F leaves the key.
bool readKeyPitch (const uint8_t* e, double& pitch) noexcept
{
    if (e[0] == 0x7f && e[1] == 0x7f && e[2] == 0x7f)
        return false;
    pitch = (double) e[0] + (double) ((e[1] << 7) | e[2]) / 16384.0;
    return true;
}

void setKey (KeyTuning& t, int key, double pitch) noexcept
{
    t.pitch[key] = pitch;
    t.mapped[key] = true;
}

Result done (KeyTuning& t, bool isRealTime) noexcept
{
    t.updateStandard();
    return isRealTime ? Result::soundingNotes : Result::nextNote;
}

Result bulkDump (const uint8_t* d, int size, bool bank, KeyTuning& t) noexcept
{
    const int expected = bulkDumpSize + (bank ? 1 : 0);
    if (size != expected)
        return Result::ignored;
    // The checksum is the XOR of everything between F0 and itself.
    uint8_t sum = 0;
    for (int i = 1; i < size - 2; ++i)
        sum ^= d[i];
    if ((sum & 0x7f) != d[size - 2])
        return Result::ignored;
    const uint8_t* entries = d + (bank ? 23 : 22);
    for (int k = 0; k < KeyTuning::numKeys; ++k)
        if (double pitch; readKeyPitch (entries + keyEntryBytes * k, pitch))
            setKey (t, k, pitch);
    return done (t, false);
}

Result noteChanges (const uint8_t* d, int size, int countAt, bool isRealTime, KeyTuning& t) noexcept
{
    const int count = d[countAt];
    if (count == 0 || size != countAt + 2 + 4 * count)
        return Result::ignored;
    for (int i = 0; i < count; ++i)
    {
        const uint8_t* e = d + countAt + 1 + 4 * i;
        if (double pitch; readKeyPitch (e + 1, pitch))
            setKey (t, e[0], pitch);
    }
    return done (t, isRealTime);
}

Result scaleOctave (const uint8_t* d, int size, bool twoBytes, bool isRealTime, KeyTuning& t) noexcept
{
    if (size != scaleOctaveBytes[twoBytes ? 1 : 0] || (d[5] | d[6] | d[7]) == 0)
        return Result::ignored; // no channel chosen: nothing here listens
    double cents[12];
    for (int i = 0; i < 12; ++i)
    {
        if (twoBytes)
            cents[i] = (double) (((d[8 + 2 * i] << 7) | d[9 + 2 * i]) - 8192) * (100.0 / 8192.0);
        else
            cents[i] = (double) (d[8 + i] - 64);
    }
    // Each pitch class's offset from equal temperament, the same in every octave.
    for (int k = 0; k < KeyTuning::numKeys; ++k)
        setKey (t, k, (double) k + cents[k % 12] / 100.0);
    return done (t, isRealTime);
}
} // namespace

Result apply (const uint8_t* d, int size, KeyTuning& t) noexcept
{
    if (d == nullptr || size < 8 || d[0] != 0xf0 || d[size - 1] != 0xf7)
        return Result::ignored;
    for (int i = 1; i < size - 1; ++i)
        if ((d[i] & 0x80) != 0)
            return Result::ignored;
    if ((d[1] != nonRealTime && d[1] != realTime) || d[3] != tuningStandard)
        return Result::ignored;
    const bool isRealTime = d[1] == realTime;

    switch (d[4])
    {
        case 0x01: return isRealTime ? Result::ignored : bulkDump (d, size, false, t);
        case 0x04: return isRealTime ? Result::ignored : bulkDump (d, size, true, t);
        case 0x02: return isRealTime ? noteChanges (d, size, 6, true, t) : Result::ignored;
        case 0x07: return noteChanges (d, size, 7, isRealTime, t);
        case 0x08: return scaleOctave (d, size, false, isRealTime, t);
        case 0x09: return scaleOctave (d, size, true, isRealTime, t);
        default: return Result::ignored;
    }
}
} // namespace MidiTuning

//==============================================================================
namespace Scala
{
namespace
{
/** The file's lines with their numbers, comments left out; refuses what no text file holds. */
struct Lines
{
    struct Line
    {
        int number;
        std::string_view text;
    };
    std::vector<Line> lines;
    size_t next = 0;

    bool read (std::string_view text, Error& error, Error::File file)
    {
        error.file = file;
        if (text.size() > maxFileBytes)
            return fail (error, 0, "the file is larger than 1 MB");
        int number = 0;
        size_t at = 0;
        while (at < text.size())
        {
            size_t end = at;
            while (end < text.size() && text[end] != '\n' && text[end] != '\r')
                ++end;
            const auto line = text.substr (at, end - at);
            ++number;
            for (char c : line)
                if (((unsigned char) c < 0x20 && c != '\t') || c == 0x7f)
                    return fail (error, number, "holds a control character; this is not a text file");
            const auto start = line.find_first_not_of (" \t");
            if (start == std::string_view::npos || line[start] != '!')
                lines.push_back ({ number, line });
            // \r\n is one line end.
            if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
                ++end;
            at = end + 1;
        }
        return true;
    }

    static bool blank (std::string_view s) { return s.find_first_not_of (" \t") == std::string_view::npos; }

    /** The next line that is not blank, or nullptr. */
    const Line* nextValue()
    {
        while (next < lines.size() && blank (lines[next].text))
            ++next;
        return next < lines.size() ? &lines[next++] : nullptr;
    }

    static bool fail (Error& error, int line, std::string message)
    {
        error.line = line;
        error.message = std::move (message);
        return false;
    }
};

std::string_view firstToken (std::string_view s)
{
    const auto start = s.find_first_not_of (" \t");
    if (start == std::string_view::npos)
        return {};
    s.remove_prefix (start);
    return s.substr (0, s.find_first_of (" \t"));
}

std::string_view trimmed (std::string_view s)
{
    const auto start = s.find_first_not_of (" \t");
    if (start == std::string_view::npos)
        return {};
    const auto end = s.find_last_not_of (" \t");
    return s.substr (start, end - start + 1);
}

std::string quoted (std::string_view s)
{
    constexpr size_t longest = 40;
    std::string q (1, '\'');
    q.append (s.substr (0, longest));
    q.append (s.size() > longest ? "...'" : "'");
    return q;
}

/** A whole token as a number, with an optional sign. */
bool parseDecimal (std::string_view token, double& value)
{
    bool negative = false;
    if (! token.empty() && (token[0] == '+' || token[0] == '-'))
    {
        negative = token[0] == '-';
        token.remove_prefix (1);
    }
    if (token.empty() || token[0] == '+' || token[0] == '-')
        return false;
    const auto result = std::from_chars (token.data(), token.data() + token.size(), value, std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != token.data() + token.size() || ! std::isfinite (value))
        return false;
    if (negative)
        value = -value;
    return true;
}

bool parseInteger (std::string_view token, long long& value)
{
    const char* begin = token.data();
    if (! token.empty() && token[0] == '+')
        ++begin;
    const auto result = std::from_chars (begin, token.data() + token.size(), value);
    return ! token.empty() && result.ec == std::errc() && result.ptr == token.data() + token.size();
}

bool readInteger (const Lines::Line& line, const char* what, long long lowest, long long highest, int& value, Error& error)
{
    const auto token = firstToken (line.text);
    long long v = 0;
    if (! parseInteger (token, v))
        return Lines::fail (error, line.number, std::string (what) + ": " + quoted (token) + " is not a whole number");
    if (v < lowest || v > highest)
        return Lines::fail (error, line.number, std::string (what) + " " + std::string (token) + " is outside "
                                                    + std::to_string (lowest) + ".." + std::to_string (highest));
    value = (int) v;
    return true;
}

bool readPitch (std::string_view token, double& cents, std::string& problem)
{
    if (token.find ('.') != std::string_view::npos)
    {
        if (! parseDecimal (token, cents))
        {
            problem = quoted (token) + " is not a number of cents";
            return false;
        }
    }
    else
    {
        const auto slash = token.find ('/');
        const auto numeratorText = token.substr (0, slash);
        const auto denominatorText = slash == std::string_view::npos ? std::string_view ("1") : token.substr (slash + 1);
        long long numerator = 0, denominator = 0;
        if (! parseInteger (numeratorText, numerator) || ! parseInteger (denominatorText, denominator))
        {
            problem = quoted (token) + " is not a ratio or a number of cents";
            return false;
        }
        if (numerator <= 0 || denominator <= 0)
        {
            problem = "the ratio " + std::string (token) + " has a zero or negative part";
            return false;
        }
        cents = 1200.0 * std::log2 ((double) numerator / (double) denominator);
    }
    if (! (std::abs (cents) <= maxStepCents))
    {
        problem = std::string (token) + " is beyond +-10000 cents";
        return false;
    }
    return true;
}

long long floorDiv (long long a, long long b)
{
    const long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
} // namespace

bool parseScale (std::string_view text, Scale& scale, Error& error)
{
    Lines lines;
    if (! lines.read (text, error, Error::File::scale))
        return false;
    if (lines.lines.empty())
        return Lines::fail (error, 0, "no description line: this is not a scale");
    // The description may be empty, so it is the first line that is not a comment, blank or not.
    scale.description = std::string (trimmed (lines.lines[0].text));
    lines.next = 1;

    const auto* countLine = lines.nextValue();
    if (countLine == nullptr)
        return Lines::fail (error, 0, "no number of notes after the description");
    int count = 0;
    if (! readInteger (*countLine, "number of notes", 1, maxNotes, count, error))
        return false;

    scale.cents.clear();
    scale.lines.clear();
    for (int i = 0; i < count; ++i)
    {
        const auto* line = lines.nextValue();
        if (line == nullptr)
            return Lines::fail (error, 0, "announces " + std::to_string (count) + " notes but lists "
                                              + std::to_string (i));
        double cents = 0.0;
        std::string problem;
        if (! readPitch (firstToken (line->text), cents, problem))
            return Lines::fail (error, line->number, problem);
        scale.cents.push_back (cents);
        scale.lines.push_back (line->number);
    }
    if (const auto* extra = lines.nextValue())
        return Lines::fail (error, extra->number, "more pitches than the " + std::to_string (count) + " the file announces");
    return true;
}

bool parseKeyboardMapping (std::string_view text, KeyboardMapping& m, Error& error)
{
    Lines lines;
    if (! lines.read (text, error, Error::File::mapping))
        return false;

    const char* const names[] = { "map size", "first key", "last key", "middle key", "reference key",
                                  "reference frequency", "formal octave degree" };
    const Lines::Line* header[7] {};
    for (int i = 0; i < 7; ++i)
        if ((header[i] = lines.nextValue()) == nullptr)
            return Lines::fail (error, 0, std::string ("ends before its ") + names[i]);

    if (! readInteger (*header[0], names[0], 0, maxNotes, m.mapSize, error)
        || ! readInteger (*header[1], names[1], 0, 127, m.firstKey, error)
        || ! readInteger (*header[2], names[2], 0, 127, m.lastKey, error)
        || ! readInteger (*header[3], names[3], 0, 127, m.middleKey, error)
        || ! readInteger (*header[4], names[4], 0, 127, m.referenceKey, error))
        return false;
    if (m.firstKey > m.lastKey)
        return Lines::fail (error, header[2]->number, "the last key comes before the first");

    const auto hzText = firstToken (header[5]->text);
    if (! parseDecimal (hzText, m.referenceHz) || ! (m.referenceHz > 0.0))
        return Lines::fail (error, header[5]->number, "reference frequency: " + quoted (hzText) + " is not a frequency in Hz");
    m.referenceLine = header[5]->number;
    if (! readInteger (*header[6], names[6], 0, maxNotes, m.octaveDegree, error))
        return false;
    m.octaveLine = header[6]->number;

    m.degrees.clear();
    m.degreeLines.clear();
    for (int i = 0; i < m.mapSize; ++i)
    {
        const auto* line = lines.nextValue();
        if (line == nullptr)
            return Lines::fail (error, 0, "announces " + std::to_string (m.mapSize) + " keys but maps "
                                              + std::to_string (i));
        const auto token = firstToken (line->text);
        int degree = -1;
        if (token != "x" && token != "X" && ! readInteger (*line, "scale degree", 0, maxNotes, degree, error))
            return false;
        m.degrees.push_back (degree);
        m.degreeLines.push_back (line->number);
    }
    if (const auto* extra = lines.nextValue())
        return Lines::fail (error, extra->number, "more keys than the " + std::to_string (m.mapSize) + " the file announces");
    return true;
}

bool buildKeyTuning (const Scale* scale, const KeyboardMapping* mapping, KeyTuning& tuning, Error& error)
{
    const KeyboardMapping linear;
    const auto& m = mapping != nullptr ? *mapping : linear;
    const int n = scale != nullptr ? (int) scale->cents.size() : 12;
    const auto centsOf = [scale] (int degree) { return degree == 0 ? 0.0 : scale != nullptr ? scale->cents[(size_t) degree - 1] : 100.0 * degree; };

    error.file = Error::File::mapping;
    for (size_t i = 0; i < m.degrees.size(); ++i)
        if (m.degrees[i] > n)
            return Lines::fail (error, m.degreeLines[i], "degree " + std::to_string (m.degrees[i]) + " is beyond the scale's "
                                                             + std::to_string (n) + " notes");
    if (m.octaveDegree > n)
        return Lines::fail (error, m.octaveLine, "formal octave degree " + std::to_string (m.octaveDegree)
                                                     + " is beyond the scale's " + std::to_string (n) + " notes");
    const double period = centsOf (n);
    const double octave = centsOf (m.octaveDegree == 0 ? n : m.octaveDegree);

    // A key's cents above the middle key, and the degree it sounds (-1: not mapped).
    const auto keyCents = [&] (int key, int& degree)
    {
        const long long offset = key - m.middleKey;
        if (m.mapSize == 0)
        {
            const long long repeats = floorDiv (offset, n);
            degree = (int) (offset - repeats * n);
            return (double) repeats * period + centsOf (degree);
        }
        const long long repeats = floorDiv (offset, m.mapSize);
        degree = m.degrees[(size_t) (offset - repeats * m.mapSize)];
        return degree < 0 ? 0.0 : (double) repeats * octave + centsOf (degree);
    };

    int referenceDegree = 0;
    const double referenceCents = keyCents (m.referenceKey, referenceDegree);
    if (referenceDegree < 0)
        return Lines::fail (error, m.referenceLine, "the reference key " + std::to_string (m.referenceKey) + " is not mapped");
    if (! (m.referenceHz <= maxKeyHz))
        return Lines::fail (error, m.referenceLine, "the reference frequency is above 20000 Hz");
    const double referencePitch = 69.0 + 12.0 * std::log2 (m.referenceHz / 440.0);

    KeyTuning t;
    for (int key = m.firstKey; key <= m.lastKey; ++key)
    {
        int degree = 0;
        const double cents = keyCents (key, degree);
        if (degree < 0)
        {
            t.mapped[key] = false;
            continue;
        }
        const double pitch = referencePitch + (cents - referenceCents) / 100.0;
        const double hz = 440.0 * std::exp2 ((pitch - 69.0) / 12.0);
        // The scale's own notes, one repeat from the middle key, must be audible; the repeats
        // further out may leave hearing, where the oscillator holds them at its limit.
        const bool ownNote = key >= m.middleKey && key < m.middleKey + (m.mapSize == 0 ? n : m.mapSize);
        if (! std::isfinite (pitch) || (ownNote && ! (hz > 0.0 && hz <= maxKeyHz)))
        {
            // A mapping's reference places the scale; without one, the scale's step (or its
            // period) took the key there.
            if (mapping == nullptr && scale != nullptr)
            {
                error.file = Error::File::scale;
                error.line = scale->lines[(size_t) (degree > 0 ? degree : n) - 1];
            }
            else
                error.line = m.referenceLine;
            error.message = "key " + std::to_string (key) + " would sound at "
                            + (std::isfinite (hz) ? std::to_string ((long long) std::llround (hz)) + " Hz" : std::string ("no frequency"))
                            + ", outside 0..20000 Hz";
            return false;
        }
        t.pitch[key] = pitch;
    }
    t.updateStandard();
    tuning = t;
    return true;
}
} // namespace Scala
