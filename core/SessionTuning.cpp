#include "SessionTuning.h"
#include "ProgramDocument.h"
#include "SafeFile.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>
#include <cmath>
#include <limits>
#include <thread>

namespace SessionTuning
{
namespace
{
// Key pitches a state may hold: a scale's repeats can take the outer keys far beyond hearing
// (128 keys of at most 10000 cents), never further.
constexpr double lowestStoredPitch = -20000.0, highestStoredPitch = 20000.0;

juce::String message (const juce::String& fileName, const Scala::Error& e)
{
    auto text = fileName;
    if (e.line > 0)
        text << ", line " << e.line;
    return text + ": " + juce::String::fromUTF8 (e.message.c_str());
}

juce::String keysText (const KeyTuning& t)
{
    juce::String text;
    char buffer[32];
    for (int k = 0; k < KeyTuning::numKeys; ++k)
    {
        if (k > 0)
            text << " ";
        if (! t.mapped[k])
        {
            text << "x";
            continue;
        }
        // The shortest text that reads back as the same double.
        const auto r = std::to_chars (buffer, buffer + sizeof (buffer), t.pitch[k]);
        text << juce::String (buffer, (size_t) (r.ptr - buffer));
    }
    return text;
}

bool readKeys (const juce::String& text, KeyTuning& t)
{
    const auto utf8 = text.toStdString();
    std::string_view rest (utf8);
    for (int k = 0; k < KeyTuning::numKeys; ++k)
    {
        const auto start = rest.find_first_not_of (' ');
        if (start == std::string_view::npos)
            return false;
        rest.remove_prefix (start);
        const auto token = rest.substr (0, rest.find (' '));
        rest.remove_prefix (token.size());
        if (token == "x")
        {
            t.mapped[k] = false;
            t.pitch[k] = (double) k;
            continue;
        }
        double v = 0.0;
        const auto r = std::from_chars (token.data(), token.data() + token.size(), v);
        if (r.ec != std::errc() || r.ptr != token.data() + token.size() || ! (v >= lowestStoredPitch && v <= highestStoredPitch))
            return false;
        t.pitch[k] = v;
        t.mapped[k] = true;
    }
    if (rest.find_first_not_of (' ') != std::string_view::npos)
        return false;
    t.updateStandard();
    return true;
}

juce::String attributeText (const juce::XmlElement& e, const char* name)
{
    const auto* text = ProgramDocument::findAttribute (e, name);
    return text != nullptr ? *text : juce::String();
}
} // namespace

bool readFile (const juce::File& file, Source& source, juce::String& error)
{
    const auto name = file.getFileName();
    if (! file.exists())
        return (error = name + ": file not found"), false;
    if (! SafeFile::isRegularFile (file))
        return (error = name + ": not a regular file"), false;
    if (file.getSize() > (juce::int64) Scala::maxFileBytes)
        return (error = name + ": the file is larger than 1 MB"), false;
    juce::MemoryBlock bytes;
    if (! SafeFile::readRegularFile (file, Scala::maxFileBytes, bytes))
        return (error = name + ": cannot read the file"), false;
    const auto* data = static_cast<const char*> (bytes.getData());
    const auto size = bytes.getSize();
    // A string would end at a zero byte and hide the rest of the file from the checks.
    if (const auto* zero = static_cast<const char*> (std::memchr (data, 0, size)))
    {
        const auto line = 1 + std::count (data, zero, '\n');
        return (error = name + ", line " + juce::String ((int) line) + ": holds a control character; this is not a text file"), false;
    }
    // Text in any 8-bit encoding: what is not UTF-8 is taken as Latin-1, as the document reader does.
    juce::String text;
    if (juce::CharPointer_UTF8::isValidString (data, (int) size))
        text = juce::String::fromUTF8 (data, (int) size);
    else
    {
        std::vector<juce::juce_wchar> chars (data, data + size);
        for (auto& c : chars)
            c = (juce::juce_wchar) (unsigned char) c;
        chars.push_back (0);
        text = juce::String (juce::CharPointer_UTF32 (chars.data()));
    }
    if (text.isEmpty())
        return (error = name + ": the file is empty"), false;
    source = { name, text };
    return true;
}

bool build (const Source& scale, const Source& mapping, KeyTuning& table, juce::String& error)
{
    Scala::Scale s;
    Scala::KeyboardMapping m;
    Scala::Error e;
    const auto scaleText = scale.text.toStdString(), mappingText = mapping.text.toStdString();
    if (! scale.isEmpty() && ! Scala::parseScale (scaleText, s, e))
        return (error = message (scale.name, e)), false;
    if (! mapping.isEmpty() && ! Scala::parseKeyboardMapping (mappingText, m, e))
        return (error = message (mapping.name, e)), false;
    if (! Scala::buildKeyTuning (scale.isEmpty() ? nullptr : &s, mapping.isEmpty() ? nullptr : &m, table, e))
        return (error = message (e.file == Scala::Error::File::scale ? scale.name : mapping.name, e)), false;
    return true;
}

juce::String describe (const Tuning& t)
{
    if (t.retunedByMidi)
        return "MIDI Tuning Standard";
    if (t.scale.isEmpty() && t.mapping.isEmpty())
        return "Standard Tuning";
    juce::String text;
    if (! t.scale.isEmpty())
    {
        Scala::Scale s;
        Scala::Error e;
        if (Scala::parseScale (t.scale.text.toStdString(), s, e))
            text = juce::String::fromUTF8 (s.description.c_str()).substring (0, ProgramDocument::maxNameLength);
        if (text.isEmpty())
            text = t.scale.name;
    }
    else
        text = "12 Equal";
    if (! t.mapping.isEmpty())
        text << " (" << t.mapping.name << ")";
    return text;
}

void write (juce::XmlElement& root, const Tuning& t)
{
    auto* e = root.createNewChildElement ("tuning");
    if (! t.scale.isEmpty())
    {
        e->setAttribute ("scalename", t.scale.name);
        e->setAttribute ("scale", t.scale.text);
    }
    if (! t.mapping.isEmpty())
    {
        e->setAttribute ("mappingname", t.mapping.name);
        e->setAttribute ("mapping", t.mapping.text);
    }
    if (t.retunedByMidi)
        e->setAttribute ("midi", 1);
    if (! t.table.standard)
        e->setAttribute ("keys", keysText (t.table));
}

bool read (const juce::XmlElement& root, Tuning& t)
{
    t = {};
    const juce::XmlElement* e = nullptr;
    for (auto* c : root.getChildIterator())
        if (! c->isTextElement() && c->getTagName().equalsIgnoreCase ("tuning"))
            e = c;
    if (e == nullptr)
        return false;

    const Source scale { attributeText (*e, "scalename").substring (0, ProgramDocument::maxNameLength), attributeText (*e, "scale") };
    const Source mapping { attributeText (*e, "mappingname").substring (0, ProgramDocument::maxNameLength), attributeText (*e, "mapping") };
    KeyTuning built;
    juce::String error;
    const bool filesRead = scale.text.getNumBytesAsUTF8() <= Scala::maxFileBytes && mapping.text.getNumBytesAsUTF8() <= Scala::maxFileBytes
                           && build (scale, mapping, built, error);
    if (filesRead)
    {
        t.scale = scale;
        t.mapping = mapping;
        t.table = built;
    }

    KeyTuning stored;
    if (const auto* keys = ProgramDocument::findAttribute (*e, "keys"); keys != nullptr && readKeys (*keys, stored))
    {
        t.table = stored;
        const auto* midi = ProgramDocument::findAttribute (*e, "midi");
        t.retunedByMidi = (midi != nullptr && midi->getIntValue() != 0) || ! filesRead;
    }
    return true;
}

//==============================================================================
void Handover::put (const KeyTuning& table, std::uint32_t number) noexcept
{
    for (;;)
    {
        int expected = state.load();
        if ((expected == empty || expected == ready) && state.compare_exchange_weak (expected, writing))
            break;
        std::this_thread::yield(); // another writer, or the audio thread copying
    }
    waiting = table;
    waitingNumber = number;
    state.store (ready);
}

bool Handover::take (KeyTuning& into, std::uint32_t& number) noexcept
{
    int expected = ready;
    if (state.load (std::memory_order_relaxed) != ready || ! state.compare_exchange_strong (expected, reading))
        return false;
    into = waiting;
    number = waitingNumber;
    state.store (empty);
    return true;
}

void Published::publish (const KeyTuning& table, std::uint32_t number) noexcept
{
    const auto s = sequence.load (std::memory_order_relaxed);
    sequence.store (s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence (std::memory_order_release);
    for (int k = 0; k < KeyTuning::numKeys; ++k)
        pitch[k].store (table.mapped[k] ? table.pitch[k] : std::numeric_limits<double>::quiet_NaN(), std::memory_order_relaxed);
    installed.store (number, std::memory_order_relaxed);
    sequence.store (s + 2, std::memory_order_release);
}

KeyTuning Published::read (std::uint32_t& number) const noexcept
{
    KeyTuning t;
    for (;;)
    {
        const auto before = sequence.load (std::memory_order_acquire);
        if ((before & 1u) != 0)
        {
            std::this_thread::yield();
            continue;
        }
        for (int k = 0; k < KeyTuning::numKeys; ++k)
        {
            const double p = pitch[k].load (std::memory_order_relaxed);
            t.mapped[k] = ! std::isnan (p);
            t.pitch[k] = t.mapped[k] ? p : (double) k;
        }
        number = installed.load (std::memory_order_relaxed);
        std::atomic_thread_fence (std::memory_order_acquire);
        if (sequence.load (std::memory_order_relaxed) == before)
            break;
    }
    t.updateStandard();
    return t;
}
} // namespace SessionTuning
