#include "XmlReader.h"
#include "ProgramDocument.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace
{
using ProgramDocument::maxNestingDepth;

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
            // Each distinct name enters the framework's string pool once per document, not once
            // per element: a program's 96 steps repeat six names.
            auto known = attributeNames.find (name);
            if (known == attributeNames.end())
            {
                if (attributeNames.size() >= maxAttributeNames)
                    return nullptr;
                known = attributeNames.emplace (name, juce::Identifier (juce::String::fromUTF8 (name.data(), (int) name.size()))).first;
            }
            element->setAttribute (known->second, juce::String::fromUTF8 (value.data(), (int) value.size()));
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
    std::unordered_set<std::string> namesOnElement;
    std::unordered_map<std::string, juce::Identifier> attributeNames;
};

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

std::unique_ptr<juce::XmlElement> XmlReader::read (const char* data, size_t size)
{
    return Reader (validUtf8 (data, size).c_str()).read();
}
