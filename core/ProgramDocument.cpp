#include "ProgramDocument.h"
#include "SafeFile.h"
#include "PresetSnapshot.h"
#include "VroCore.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

using namespace Param;

namespace ProgramDocument
{
namespace
{
constexpr juce::uint32 chunkMagic = 0x21324356; // the framework's XML-to-binary marker

/** Reads the XML our documents use (elements, quoted attributes, character references, comments,
    CDATA, a declaration) without recursion, in one pass, within fixed limits. The framework's
    parser recurses once per element (200000 nested elements overflow the stack), expands entities
    into themselves until the stack runs out, reads files that an entity names, and loops for ever
    on a processing instruction followed by text inside an element; none of that can be allowed
    on text that a host, a disk or another user hands over. Where the framework is lenient and old
    files may rely on it (closing tags are not matched by name, whitespace after '<', the first of
    two equal attributes wins, trailing text after the root), this reader is too. */
class Reader
{
public:
    explicit Reader (const char* utf8) : p (utf8) {}

    std::unique_ptr<juce::XmlElement> read()
    {
        if (startsWith ("\xef\xbb\xbf"))
            p += 3;
        if (! skipProlog())
            return {};

        bool open = false;
        std::unique_ptr<juce::XmlElement> root (readStartTag (open));
        if (root == nullptr)
            return {};
        if (! open)
            return root;

        // The framework's element appends a child by walking its list of children, so children
        // wait here until their parent closes and are then put in front, last one first: reading
        // stays linear in the number of siblings.
        struct Open
        {
            std::unique_ptr<juce::XmlElement> element;
            std::vector<std::unique_ptr<juce::XmlElement>> children;
        };
        std::vector<Open> stack;
        stack.push_back ({ std::move (root), {} });
        std::string text;
        for (;;)
        {
            const char c = *p;
            if (c == 0)
                return {}; // unmatched tags
            if (c != '<')
            {
                if (! readText (text))
                    return {};
                continue;
            }
            if (startsWith ("<!--"))
            {
                if (! skipPast ("-->"))
                    return {};
                continue;
            }
            if (startsWith ("<![CDATA["))
            {
                if (! flushText (text, stack.back().children))
                    return {};
                const char* start = p += 9;
                if (! skipPast ("]]>"))
                    return {};
                if (! addText (std::string (start, (size_t) (p - 3 - start)), stack.back().children))
                    return {};
                continue;
            }
            if (p[1] == '!' || p[1] == '?')
                return {}; // DTDs, entity declarations and instructions: never in our documents

            if (! flushText (text, stack.back().children))
                return {};
            if (p[1] == '/')
            {
                if (! skipPast (">"))
                    return {};
                auto closed = std::move (stack.back());
                stack.pop_back();
                for (auto it = closed.children.rbegin(); it != closed.children.rend(); ++it)
                    closed.element->prependChildElement (it->release());
                if (stack.empty())
                    return std::move (closed.element);
                stack.back().children.push_back (std::move (closed.element));
                continue;
            }

            std::unique_ptr<juce::XmlElement> child (readStartTag (open));
            if (child == nullptr)
                return {};
            if (open)
            {
                if ((int) stack.size() >= maxNestingDepth)
                    return {};
                stack.push_back ({ std::move (child), {} });
            }
            else
                stack.back().children.push_back (std::move (child));
        }
    }

private:
    // Every element, attribute and text costs about a hundred bytes of memory: a limit keeps a
    // 16 MB document of empty elements from taking gigabytes. The factory bank has about 230000.
    static constexpr int maxNodes = 1000000;

    // The framework's element also appends an attribute by walking its list, and every distinct
    // attribute name enters its global string pool, which inserts into a sorted array. Our
    // elements carry at most 61 attributes with about 70 names in all; documents far beyond that
    // are not ours, and refusing them keeps reading linear.
    static constexpr int maxAttributesPerElement = 256;
    static constexpr size_t maxAttributeNames = 4096;

    bool startsWith (const char* prefix) const noexcept { return std::strncmp (p, prefix, std::strlen (prefix)) == 0; }

    bool skipPast (const char* marker) noexcept
    {
        const char* found = std::strstr (p, marker);
        if (found == nullptr)
            return false;
        p = found + std::strlen (marker);
        return true;
    }

    static bool isSpace (char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void skipSpace() noexcept
    {
        while (isSpace (*p))
            ++p;
    }

    // As the framework: letters, digits and _ - : . (and anything beyond ASCII).
    static bool isNameChar (char c) noexcept
    {
        const auto u = (unsigned char) c;
        return u >= 0x80 || std::isalnum (u) || c == '_' || c == '-' || c == ':' || c == '.';
    }

    bool countNode() noexcept { return ++nodes <= maxNodes; }

    /** Whitespace, comments and one declaration before the root. */
    bool skipProlog() noexcept
    {
        for (bool declarationAllowed = true;; declarationAllowed = false)
        {
            skipSpace();
            if (startsWith ("<!--"))
            {
                if (! skipPast ("-->"))
                    return false;
            }
            else if (startsWith ("<?"))
            {
                if (! declarationAllowed || ! skipPast ("?>"))
                    return false;
            }
            else
                return *p == '<' && p[1] != '!';
        }
    }

    juce::String readName()
    {
        const char* start = p;
        while (isNameChar (*p))
            ++p;
        return juce::String::fromUTF8 (start, (int) (p - start));
    }

    /** At '<': the element with its attributes; open tells whether content follows. */
    juce::XmlElement* readStartTag (bool& open)
    {
        ++p;
        skipSpace();
        const auto tag = readName();
        if (tag.isEmpty() || ! countNode())
            return nullptr;
        auto element = std::make_unique<juce::XmlElement> (tag);

        std::string value;
        namesOnElement.clear();
        for (;;)
        {
            skipSpace();
            if (startsWith ("/>"))
            {
                p += 2;
                open = false;
                return element.release();
            }
            if (*p == '>')
            {
                ++p;
                open = true;
                return element.release();
            }
            const char* nameStart = p;
            while (isNameChar (*p))
                ++p;
            if (p == nameStart)
                return nullptr;
            std::string name (nameStart, (size_t) (p - nameStart));
            skipSpace();
            if (*p++ != '=')
                return nullptr;
            skipSpace();
            const char quote = *p++;
            if (quote != '"' && quote != '\'')
                return nullptr;
            value.clear();
            while (*p != quote)
            {
                if (*p == 0)
                    return nullptr;
                if (*p == '&')
                {
                    if (! readReference (value))
                        return nullptr;
                }
                else
                    value += *p++;
            }
            ++p;
            if (! countNode())
                return nullptr;
            if (! namesOnElement.insert (name).second)
                continue; // the first of two equal attributes wins
            if ((int) namesOnElement.size() > maxAttributesPerElement)
                return nullptr;
            attributeNames.insert (name);
            if (attributeNames.size() > maxAttributeNames)
                return nullptr;
            element->setAttribute (juce::String::fromUTF8 (name.data(), (int) name.size()),
                                   juce::String::fromUTF8 (value.data(), (int) value.size()));
        }
    }

    /** Character data up to the next '<', with references replaced and line ends as '\n'. */
    bool readText (std::string& text)
    {
        while (*p != '<' && *p != 0)
        {
            if (*p == '&')
            {
                if (! readReference (text))
                    return false;
            }
            else if (*p == '\r')
            {
                text += '\n';
                p += p[1] == '\n' ? 2 : 1;
            }
            else
                text += *p++;
        }
        return true;
    }

    using Children = std::vector<std::unique_ptr<juce::XmlElement>>;

    bool addText (const std::string& text, Children& parent)
    {
        if (! countNode())
            return false;
        parent.emplace_back (juce::XmlElement::createTextElement (juce::String::fromUTF8 (text.data(), (int) text.size())));
        return true;
    }

    /** Text that holds more than whitespace becomes a text element, as the framework keeps it. */
    bool flushText (std::string& text, Children& parent)
    {
        const bool keep = std::any_of (text.begin(), text.end(), [] (char c) { return ! isSpace (c); });
        const bool ok = ! keep || addText (text, parent);
        text.clear();
        return ok;
    }

    /** At '&': the five named references (in any case, as the framework reads them) and
        character references; anything else, or a character that cannot exist, fails. */
    bool readReference (std::string& out)
    {
        const char* semicolon = std::strchr (p, ';');
        if (semicolon == nullptr || semicolon - p > 12)
            return false;
        const auto name = juce::String::fromUTF8 (p + 1, (int) (semicolon - p - 1));
        p = semicolon + 1;

        static const std::pair<const char*, char> named[] = { { "amp", '&' }, { "lt", '<' }, { "gt", '>' }, { "quot", '"' }, { "apos", '\'' } };
        for (const auto& [n, c] : named)
            if (name.equalsIgnoreCase (n))
            {
                out += c;
                return true;
            }

        if (! name.startsWithChar ('#') || name.length() < 2)
            return false;
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const auto digits = name.substring (hex ? 2 : 1);
        if (digits.isEmpty() || ! digits.containsOnly (hex ? "0123456789abcdefABCDEF" : "0123456789") || digits.length() > 8)
            return false;
        const auto code = (juce::uint32) (hex ? digits.getHexValue64() : digits.getLargeIntValue());
        if (code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;
        char utf8[8] {};
        const auto bytes = juce::CharPointer_UTF8::getBytesRequiredFor ((juce::juce_wchar) code);
        juce::CharPointer_UTF8 (utf8).write ((juce::juce_wchar) code);
        out.append (utf8, bytes);
        return true;
    }

    const char* p;
    int nodes = 0;
    std::unordered_set<std::string> namesOnElement, attributeNames;
};
} // namespace

namespace
{
/** The bytes up to the first zero as well-formed UTF-8. The framework's strings trust their
    UTF-8: an overlong or truncated sequence makes them miscount and read past their buffer. A
    byte that starts no valid sequence is taken as the Latin-1 character it would be in an old
    file edited by hand, so such a name stays readable. */
std::string validUtf8 (const char* data, size_t size)
{
    const auto* b = reinterpret_cast<const unsigned char*> (data);
    std::string out;
    out.reserve (size);
    for (size_t i = 0; i < size && b[i] != 0;)
    {
        const unsigned char c = b[i];
        size_t length = c < 0x80 ? 1 : (c >= 0xc2 && c <= 0xdf) ? 2 : (c >= 0xe0 && c <= 0xef) ? 3 : (c >= 0xf0 && c <= 0xf4) ? 4 : 0;
        bool valid = length > 0 && i + length <= size;
        for (size_t k = 1; valid && k < length; ++k)
            valid = (b[i + k] & 0xc0) == 0x80;
        if (valid && length == 3)
            valid = ! (c == 0xe0 && b[i + 1] < 0xa0) && ! (c == 0xed && b[i + 1] >= 0xa0); // overlong, surrogate
        if (valid && length == 4)
            valid = ! (c == 0xf0 && b[i + 1] < 0x90) && ! (c == 0xf4 && b[i + 1] >= 0x90); // overlong, beyond U+10FFFF
        if (valid)
        {
            out.append (data + i, length);
            i += length;
        }
        else
        {
            out += (char) (0xc0 | (c >> 6));
            out += (char) (0x80 | (c & 0x3f));
            ++i;
        }
    }
    return out;
}
} // namespace

std::unique_ptr<juce::XmlElement> parse (const juce::String& text)
{
    return Reader (validUtf8 (text.toRawUTF8(), text.getNumBytesAsUTF8()).c_str()).read();
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
    return Reader (validUtf8 (static_cast<const char*> (data), size).c_str()).read();
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
    return Reader (validUtf8 (static_cast<const char*> (data) + 8, length).c_str()).read();
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
} // namespace ProgramDocument

namespace
{
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

const juce::String* findAttribute (const juce::XmlElement& e, const char* name)
{
    for (int i = 0; i < e.getNumAttributes(); ++i)
        if (e.getAttributeName (i).equalsIgnoreCase (name))
            return &e.getAttributeValue (i);
    return nullptr;
}

/** The leading number of the text in any decimal notation, as the framework's readers take it:
    text that starts with no number reads as 0. A value that is not finite, or overflows, reads as
    the missing value; an underflow reads as 0. */
double readNumber (const juce::XmlElement& e, const char* name, double missing)
{
    const auto* text = findAttribute (e, name);
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

juce::String readText (const juce::XmlElement& e, const char* name, const char* missing)
{
    const auto* text = findAttribute (e, name);
    return text != nullptr ? *text : juce::String (missing);
}

// Step fields the engine and editor rely on staying in range: a hostile offset would overflow the
// note arithmetic, and a velocity of 1e300 reaches the output.
constexpr int maxNoteOffset = 127;

// The arpeggiator/sequencer values that "SEQ Lock" keeps.
constexpr int arpSeqValues[] = { ArpEnabled, SeqEnabled, SeqSync, ArpMode, SeqTempo, ArpSeqSyncMode, SeqHold, SeqSteps, Swing };
} // namespace

std::unique_ptr<juce::XmlElement> VroCore::createProgramXml (const juce::String& name)
{
    using ProgramDocument::formatNumber;

    auto root = std::make_unique<juce::XmlElement> ("vro");
    root->setAttribute ("curprogram", 0);
    root->setAttribute ("version", "1.3");

    // One program, whole: a program change or a restore elsewhere waits for this.
    const juce::ScopedLock programLock (program.lock);
    if (name.isNotEmpty())
        changeProgramName (0, name);
    const auto names = program.getNames();

    auto* programs = new juce::XmlElement ("programs");
    auto* p = programs->createNewChildElement ("program");
    p->setAttribute ("path", names.path);
    p->setAttribute ("programname", names.programName);
    p->setAttribute ("category", names.category);
    for (int index : presetKeyOrder)
        p->setAttribute (parameterTable[index].presetKey, formatNumber ((double) program.parameters[index]));

    auto& pattern = engine->getPattern();
    auto* seq = p->createNewChildElement ("sequencer");
    seq->setAttribute ("numberofsteps", pattern.numberOfSteps);
    for (const auto& step : pattern.steps)
    {
        auto* st = seq->createNewChildElement ("step");
        st->setAttribute ("noteoffset", step.noteOffset);
        st->setAttribute ("pause", step.pause ? 1 : 0);
        st->setAttribute ("slide", step.slide ? 1 : 0);
        st->setAttribute ("slideadsr", step.slideAdsr ? 1 : 0);
        st->setAttribute ("velocity", formatNumber ((double) (float) step.velocity));
        st->setAttribute ("length", formatNumber ((double) (float) step.length));
    }
    root->addChildElement (programs);

    auto* midimap = root->createNewChildElement ("midimap");
    for (int cc = 0; cc < 256; ++cc)
    {
        if (const int mapped = program.controllerMap[cc]; mapped != 0)
        {
            auto* m = midimap->createNewChildElement ("map");
            m->setAttribute ("param", mapped);
            m->setAttribute ("controllernumber", cc);
        }
    }
    return root;
}

namespace
{
void readProgram (const juce::XmlElement& p, double version, ProgramReading& r)
{
    r.programName = readText (p, "programname", "Not Saved").substring (0, ProgramDocument::maxNameLength);
    r.category = readText (p, "category", "No category").substring (0, ProgramDocument::maxNameLength);
    r.path = readText (p, "path", "").substring (0, ProgramDocument::maxPathLength);

    // Every parameter is normalised: a document value outside 0..1 is one no control can produce,
    // and through the exponential conversions (20^v, 30^v) it could reach the engine as infinity.
    auto readInto = [&p, &r] (int index)
    {
        const auto& info = parameterTable[index];
        r.values[index] = (float) juce::jlimit (0.0, 1.0, readNumber (p, info.presetKey, info.missingValue));
    };

    for (int i = 0; i < 47; ++i)
        readInto (presetKeyOrder[i]);

    for (int index : arpSeqValues)
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

void VroCore::readProgramXml (const juce::XmlElement* root, const juce::String& name, bool sequencerOnly, bool honourSeqLock)
{
    readDocument (root, name, sequencerOnly, honourSeqLock, nullptr);
}

void VroCore::readDocument (const juce::XmlElement* root, const juce::String& name, bool sequencerOnly, bool honourSeqLock,
                            const juce::String* path)
{
    // A program change's names still on their way are older than this load.
    applyPendingProgramNames();

    auto reading = std::make_unique<ProgramReading>();
    ProgramDocument::read (root, *reading);
    const bool readable = reading->status == ProgramReading::Status::program;
    {
        const juce::ScopedLock programLock (program.lock);
        if (path != nullptr)
            program.setPath (*path);
        if (readable)
        {
            if (! sequencerOnly)
                applyReadingNames (*reading, name);
            applyReading (*reading, sequencerOnly, honourSeqLock);
        }
    }
    if (reading->status == ProgramReading::Status::noProgram)
        return;
    if (readable)
        applyCurrentProgram (honourSeqLock);
    notifyChange();
}

void VroCore::applyReadingNames (const ProgramReading& r, const juce::String& name)
{
    auto names = program.getNames();
    if (r.isProgram)
    {
        names.programName = r.programName;
        names.category = r.category;
        if (names.path.isEmpty())
            names.path = r.path;
    }
    if (name.isNotEmpty())
        names.programName = name;
    program.setNames (names);
}

void VroCore::applyReading (const ProgramReading& r, bool sequencerOnly, bool honourSeqLock)
{
    // No text, no allocation: a MIDI program change runs this on the audio thread.
    const bool locked = honourSeqLock && program.parameters[SeqLock] >= 0.5f;
    if (! sequencerOnly)
    {
        if (r.isProgram)
        {
            for (int i = 0; i < 47; ++i)
                program.parameters[presetKeyOrder[i]] = r.values[presetKeyOrder[i]];
            if (! locked)
                for (int index : arpSeqValues)
                    program.parameters[index] = r.values[index];
            program.parameters[MainSyncMode] = r.values[MainSyncMode];
            program.parameters[Panic] = 0.0f;
            program.parameters[NoiseFloor] = r.values[NoiseFloor];
            normaliseExclusiveGroups();
        }
        for (int n = 0; n < 256; ++n)
            if (r.mapped[n])
                program.controllerMap[n] = r.controllerMap[n];
    }

    if ((! locked || sequencerOnly) && r.hasSequencer)
    {
        auto& pattern = engine->getPattern();
        pattern.numberOfSteps = r.numberOfSteps;
        for (int k = 0; k < r.stepsRead; ++k)
            pattern.steps[k].copyUserFieldsFrom (r.steps[k]);
        pattern.changed = true;
    }
}

void VroCore::getStateInformation (juce::MemoryBlock& dest)
{
    if (auto xml = createProgramXml ({}))
        ProgramDocument::writeChunk (*xml, dest);
}

void VroCore::setStateInformation (const void* data, int size)
{
    auto xml = ProgramDocument::readChunk (data, size);
    // A change queued before the restore (a learned controller, an older program's announcement)
    // would otherwise land after it and undo part of it.
    notifier.discardPending();
    readProgramXml (xml.get(), {}, false, false);
}
