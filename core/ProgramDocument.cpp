#include "ProgramDocument.h"
#include "XmlReader.h"
#include "SafeFile.h"
#include "PresetSnapshot.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

using namespace Param;

namespace ProgramDocument
{
namespace
{
constexpr juce::uint32 chunkMagic = 0x21324356; // the framework's XML-to-binary marker

} // namespace

std::unique_ptr<juce::XmlElement> parse (const juce::String& text)
{
    return XmlReader::read (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

std::unique_ptr<juce::XmlElement> parseBytes (const void* data, size_t size)
{
    if (data == nullptr || size == 0 || size > maxDocumentBytes)
        return {};
    const auto* b = static_cast<const unsigned char*> (data);
    // UTF-16 with a byte-order mark, as the framework's readers accepted it.
    if (size >= 2 && ((b[0] == 0xff && b[1] == 0xfe) || (b[0] == 0xfe && b[1] == 0xff)))
    {
        juce::MemoryBlock even (data, size & ~(size_t) 1);
        even.append ("\0\0", 2);
        return parse (juce::String::createStringFromData (even.getData(), (int) even.getSize()));
    }
    return XmlReader::read (static_cast<const char*> (data), size);
}

std::unique_ptr<juce::XmlElement> parseFile (const juce::File& file)
{
    juce::MemoryBlock bytes;
    if (! SafeFile::readRegularFile (file, maxDocumentBytes, bytes))
        return {};
    return parseBytes (bytes.getData(), bytes.getSize());
}

void writeChunk (const juce::XmlElement& document, juce::MemoryBlock& dest)
{
    dest.reset();
    {
        juce::MemoryOutputStream out (dest, false);
        out.writeInt ((int) chunkMagic);
        out.writeInt (0);
        document.writeTo (out, juce::XmlElement::TextFormat().singleLine().withoutHeader());
        out.writeByte (0);
    }
    const auto textLength = juce::ByteOrder::swapIfBigEndian ((juce::uint32) (dest.getSize() - 9));
    dest.copyFrom (&textLength, 4, 4);
}

std::unique_ptr<juce::XmlElement> readChunk (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return {};
    juce::uint32 header[2];
    std::memcpy (header, data, sizeof (header));
    if (juce::ByteOrder::swapIfBigEndian (header[0]) != chunkMagic)
        return {};
    const auto stringLength = (juce::int64) juce::ByteOrder::swapIfBigEndian (header[1]);
    if (stringLength <= 0)
        return {};
    const auto length = (size_t) std::min<juce::int64> (sizeInBytes - 8, stringLength);
    if (length > maxDocumentBytes)
        return {};
    return XmlReader::read (static_cast<const char*> (data) + 8, length);
}

juce::String toFileText (const juce::XmlElement& document)
{
    juce::XmlElement::TextFormat format;
    format.customEncoding = "UTF-8";
    format.newLineChars = "\n";
    return document.toString (format);
}

juce::String formatNumber (double value)
{
    char buffer[32];
    const auto result = std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::general, 6);
    return juce::String (buffer, (size_t) (result.ptr - buffer));
}

const juce::String* findAttribute (const juce::XmlElement& e, const char* name)
{
    // Two ASCII letters that differ other than in case never match ignoring case, whatever the
    // locale: most names are told apart by their first character without the full comparison.
    const auto asciiLower = [] (char c) { return c >= 'A' && c <= 'Z' ? (char) (c + 'a' - 'A') : c; };
    const int n = e.getNumAttributes();
    for (int i = 0; i < n; ++i)
    {
        const auto& attribute = e.getAttributeName (i);
        const char first = *attribute.toRawUTF8();
        if ((first & 0x80) == 0 && (*name & 0x80) == 0 && asciiLower (first) != asciiLower (*name))
            continue;
        if (attribute.equalsIgnoreCase (name))
            return &e.getAttributeValue (i);
    }
    return nullptr;
}
} // namespace ProgramDocument

namespace
{
using ProgramDocument::findAttribute;

// The document's names are compared without regard to case when read; text nodes are not elements.
bool tagIs (const juce::XmlElement& e, const char* name)
{
    return e.getTagName().equalsIgnoreCase (name);
}

const juce::XmlElement* childNamed (const juce::XmlElement& parent, const char* name)
{
    for (auto* c : parent.getChildIterator())
        if (! c->isTextElement() && tagIs (*c, name))
            return c;
    return nullptr;
}

const juce::XmlElement* firstElement (const juce::XmlElement& parent)
{
    for (auto* c : parent.getChildIterator())
        if (! c->isTextElement())
            return c;
    return nullptr;
}

/** An element's attributes by name, for an element read for many of them (a program holds about
    sixty): looking each one up along the list cost a quarter of a factory bank's reading. The key
    is the name in upper case as the framework compares names ignoring case, so a name matches
    exactly when findAttribute would match it, and the first of two such names wins as there. */
class AttributeIndex
{
public:
    explicit AttributeIndex (const juce::XmlElement& e)
    {
        const int n = e.getNumAttributes();
        byName.reserve ((size_t) n);
        for (int i = 0; i < n; ++i)
            byName.emplace (e.getAttributeName (i).toUpperCase().toStdString(), &e.getAttributeValue (i));
    }

    const juce::String* find (const char* name) const
    {
        const auto it = byName.find (juce::String (name).toUpperCase().toStdString());
        return it != byName.end() ? it->second : nullptr;
    }

private:
    std::unordered_map<std::string, const juce::String*> byName;
};

/** The leading number of the text in any decimal notation, as the framework's readers take it:
    text that starts with no number reads as 0. A value that is not finite, or overflows, reads as
    the missing value; an underflow reads as 0. */
double readNumber (const juce::String* text, double missing)
{
    if (text == nullptr)
        return missing;
    const auto utf8 = text->trim().toStdString();
    const char* begin = utf8.c_str();
    const char* end = begin + utf8.size();
    const bool negative = begin != end && *begin == '-';
    if (begin != end && (*begin == '+' || negative))
        ++begin;
    if (begin != end && *begin == '-')
        return 0.0; // "--1", "+-1"

    double v = 0.0;
    const auto result = std::from_chars (begin, end, v, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument)
        return 0.0;
    if (result.ec == std::errc::result_out_of_range)
    {
        // Which way did it leave the range? A negative exponent, or no exponent and no integer
        // digit other than 0, is an underflow.
        const std::string_view digits (begin, (size_t) (result.ptr - begin));
        const auto exponent = digits.find_first_of ("eE");
        const bool tiny = exponent != std::string_view::npos
                              ? (exponent + 1 < digits.size() && digits[exponent + 1] == '-')
                              : digits.substr (0, digits.find ('.')).find_first_not_of ('0') == std::string_view::npos;
        return tiny ? 0.0 : missing;
    }
    if (! std::isfinite (v))
        return missing;
    return negative ? -v : v;
}

double readNumber (const juce::XmlElement& e, const char* name, double missing)
{
    return readNumber (findAttribute (e, name), missing);
}

int readInt (const juce::XmlElement& e, const char* name, int missing)
{
    const auto* text = findAttribute (e, name);
    if (text == nullptr)
        return missing;
    const auto utf8 = text->trim().toStdString();
    char* endPtr = nullptr;
    const long long v = std::strtoll (utf8.c_str(), &endPtr, 10);
    if (endPtr == utf8.c_str())
        return 0;
    return (int) juce::jlimit<long long> (INT32_MIN, INT32_MAX, v);
}

bool readBool (const juce::XmlElement& e, const char* name)
{
    const auto* text = findAttribute (e, name);
    if (text == nullptr)
        return false;
    const auto c = juce::CharacterFunctions::toLowerCase (text->trimStart()[0]);
    return c == '1' || c == 't' || c == 'y';
}

juce::String readText (const juce::String* text, const char* missing)
{
    return text != nullptr ? *text : juce::String (missing);
}

// Step fields the engine and editor rely on staying in range: a hostile offset would overflow the
// note arithmetic, and a velocity of 1e300 reaches the output.
constexpr int maxNoteOffset = 127;

} // namespace

namespace
{
void readProgram (const juce::XmlElement& p, double version, ProgramReading& r)
{
    const AttributeIndex attributes (p);
    r.programName = readText (attributes.find ("programname"), "Not Saved").substring (0, ProgramDocument::maxNameLength);
    r.category = readText (attributes.find ("category"), "No category").substring (0, ProgramDocument::maxNameLength);
    r.path = readText (attributes.find ("path"), "").substring (0, ProgramDocument::maxPathLength);

    // Every parameter is normalised: a document value outside 0..1 is one no control can produce,
    // and through the exponential conversions (20^v, 30^v) it could reach the engine as infinity.
    auto readInto = [&attributes, &r] (int index)
    {
        const auto& info = parameterTable[index];
        r.values[index] = (float) juce::jlimit (0.0, 1.0, readNumber (attributes.find (info.presetKey), info.missingValue));
    };

    for (int i = 0; i < 47; ++i)
        readInto (presetKeyOrder[i]);

    for (int index : ProgramDocument::arpSeqValues)
        readInto (index);

    // Before 1.09 the step count was on a 64-step scale.
    if (version < 1.09)
        r.values[SeqSteps] = r.values[SeqSteps] * (1.0f / 96.0f) * 64.0f;

    // Before 1.19 there were six arpeggiator modes; they keep their place among the seven.
    if (version < 1.19)
    {
        const float m = std::floor (5.0f * r.values[ArpMode] + 0.5f);
        r.values[ArpMode] = m * (1.0f / 6.0f);
    }

    // Synced LFO rates: the table grew twice, so older positions move to their note values.
    if (r.values[LfoSync] >= 0.5f)
    {
        float value = r.values[LfoRate];
        if (version < 1.19)
        {
            static const int newPosition[14] = { 0, 3, 6, 9, 12, 15, 7, 10, 13, 16, 8, 11, 14, 17 };
            const int k = (int) std::trunc (13.0f * value);
            const int n = (k >= 0 && k <= 13) ? newPosition[k] : 0;
            value = (float) n * (1.0f / 17.0f);
        }
        if (version < 1.29)
            value = (std::floor (17.0f * value + 0.5f) + 14.0f) * (1.0f / 31.0f);
        r.values[LfoRate] = value;
    }

    readInto (MainSyncMode);
    readInto (NoiseFloor);
}

void readSequencer (const juce::XmlElement& p, ProgramReading& r)
{
    const auto* s = childNamed (p, "sequencer");
    if (s == nullptr)
        return;

    r.hasSequencer = true;
    // The pattern has 96 steps: counts outside 1..96 are clamped, children beyond the 96th ignored.
    r.numberOfSteps = juce::jlimit (1, StepPattern::maxSteps, readInt (*s, "numberofsteps", 16));

    int k = 0;
    for (auto* c : s->getChildIterator())
    {
        if (c->isTextElement())
            continue;
        if (k >= StepPattern::maxSteps)
            break;
        auto& step = r.steps[k++];
        step.noteOffset = juce::jlimit (-maxNoteOffset, maxNoteOffset, readInt (*c, "noteoffset", 0));
        step.pause = readBool (*c, "pause");
        step.slide = readBool (*c, "slide");
        step.slideAdsr = readBool (*c, "slideadsr");
        step.velocity = juce::jlimit (0.0, 1.0, readNumber (*c, "velocity", 0.5));
        step.length = juce::jlimit (0.0, 1.0, readNumber (*c, "length", 1.0));
    }
    r.stepsRead = k;
}

void readMidimap (const juce::XmlElement& root, ProgramReading& r)
{
    const auto* m = childNamed (root, "midimap");
    if (m == nullptr)
        return;
    for (auto* c : m->getChildIterator())
    {
        if (c->isTextElement())
            continue;
        // Controller 0 is written but never read back.
        const int n = readInt (*c, "controllernumber", 0);
        if (n >= 1 && n <= 255)
        {
            r.controllerMap[n] = readInt (*c, "param", 0);
            r.mapped[n] = true;
        }
    }
}
} // namespace

void ProgramDocument::read (const juce::XmlElement* root, ProgramReading& r)
{
    r.status = ProgramReading::Status::notADocument;
    r.isProgram = r.hasSequencer = false;
    r.stepsRead = 0;
    std::fill (std::begin (r.mapped), std::end (r.mapped), false);

    if (root == nullptr || ! tagIs (*root, "vro"))
        return;

    const double version = readNumber (*root, "version", 1.0);
    const auto* programs = childNamed (*root, "programs");
    if (programs == nullptr)
    {
        r.status = ProgramReading::Status::noPrograms;
        return;
    }
    const auto* p = firstElement (*programs);
    if (p == nullptr)
    {
        r.status = ProgramReading::Status::noProgram;
        return;
    }
    r.status = ProgramReading::Status::program;
    r.isProgram = tagIs (*p, "program");
    if (r.isProgram)
        readProgram (*p, version, r);
    readMidimap (*root, r);
    readSequencer (*p, r);
}

