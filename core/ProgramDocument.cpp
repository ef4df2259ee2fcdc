#include "VroCore.h"

#include <cstdio>
#include <cstdlib>

using namespace Param;

namespace
{
// The document's names are compared without regard to case when read.
bool tagIs (const juce::XmlElement& e, const char* name)
{
    return e.getTagName().equalsIgnoreCase (name);
}

const juce::XmlElement* childNamed (const juce::XmlElement& parent, const char* name)
{
    for (auto* c : parent.getChildIterator())
        if (tagIs (*c, name))
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

/** Any decimal notation; unparsable text reads as 0; a value that is not finite (also after
    narrowing to single precision) reads as the missing value. */
double readNumber (const juce::XmlElement& e, const char* name, double missing, bool narrow = false)
{
    const auto* text = findAttribute (e, name);
    if (text == nullptr)
        return missing;
    const auto utf8 = text->trim().toStdString();
    char* endPtr = nullptr;
    const double v = std::strtod (utf8.c_str(), &endPtr);
    if (endPtr == utf8.c_str())
        return 0.0;
    if (! std::isfinite (v) || (narrow && ! std::isfinite ((float) v)))
        return missing;
    return v;
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
    if (text == nullptr || text->isEmpty())
        return false;
    const auto c = juce::CharacterFunctions::toLowerCase (text->trim()[0]);
    return c == '1' || c == 't' || c == 'y';
}

juce::String readText (const juce::XmlElement& e, const char* name, const char* missing)
{
    const auto* text = findAttribute (e, name);
    return text != nullptr ? *text : juce::String (missing);
}

/** At most six significant digits, from the value widened to double. */
juce::String formatNumber (double v)
{
    char buffer[32];
    std::snprintf (buffer, sizeof (buffer), "%g", v);
    return buffer;
}
} // namespace

std::unique_ptr<juce::XmlElement> VroCore::createProgramXml (const juce::String& name)
{
    auto root = std::make_unique<juce::XmlElement> ("vro");
    root->setAttribute ("curprogram", 0);
    root->setAttribute ("version", "1.3");

    if (name.isNotEmpty())
        changeProgramName (0, name);

    auto* programs = new juce::XmlElement ("programs");
    auto* p = programs->createNewChildElement ("program");
    p->setAttribute ("path", program.path);
    p->setAttribute ("programname", program.programName);
    p->setAttribute ("category", program.category);
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
        st->setAttribute ("velocity", formatNumber (step.velocity));
        st->setAttribute ("length", formatNumber (step.length));
    }
    root->addChildElement (programs);

    auto* midimap = root->createNewChildElement ("midimap");
    for (int cc = 0; cc < 256; ++cc)
    {
        if (program.controllerMap[cc] != 0)
        {
            auto* m = midimap->createNewChildElement ("map");
            m->setAttribute ("param", program.controllerMap[cc]);
            m->setAttribute ("controllernumber", cc);
        }
    }
    return root;
}

void VroCore::readProgramXml (const juce::XmlElement* root, const juce::String& name, bool sequencerOnly)
{
    if (root == nullptr || ! tagIs (*root, "vro"))
    {
        sendChangeMessage();
        return;
    }

    const double version = readNumber (*root, "version", 1.0);
    const auto* programs = childNamed (*root, "programs");
    if (programs == nullptr)
    {
        sendChangeMessage();
        return;
    }

    const auto* p = programs->getFirstChildElement();
    if (p == nullptr)
        return;

    if (! sequencerOnly)
    {
        readProgram (*p, version);
        readMidimap (*root);
        if (name.isNotEmpty())
            changeProgramName (0, name);
    }

    if (program.parameters[SeqLock] < 0.5f || sequencerOnly)
        readSequencer (*p);

    applyCurrentProgram();
    sendChangeMessage();
}

void VroCore::readProgram (const juce::XmlElement& p, double version)
{
    if (! tagIs (p, "program"))
        return;

    program.programName = readText (p, "programname", "Not Saved");
    program.category = readText (p, "category", "No category");
    if (program.path.isEmpty())
        program.path = readText (p, "path", "");

    auto readInto = [&p, this] (int index)
    {
        const auto& info = parameterTable[index];
        program.parameters[index] = (float) readNumber (p, info.presetKey, info.missingValue, true);
    };

    for (int i = 0; i < 47; ++i)
        readInto (presetKeyOrder[i]);

    if (program.parameters[SeqLock] < 0.5f)
    {
        for (int index : { ArpEnabled, SeqEnabled, SeqSync, ArpMode, SeqTempo, ArpSeqSyncMode, SeqHold, SeqSteps, Swing })
            readInto (index);

        if (version < 1.09)
            program.parameters[SeqSteps] = program.parameters[SeqSteps] * (1.0f / 96.0f) * 64.0f;

        if (version < 1.19)
        {
            const float m = std::floor (5.0f * program.parameters[ArpMode] + 0.5f);
            program.parameters[ArpMode] = m * (1.0f / 6.0f);
        }
    }

    if (program.parameters[LfoSync] >= 0.5f)
    {
        float value = program.parameters[LfoRate];
        if (version < 1.19)
        {
            static const int newPosition[14] = { 0, 3, 6, 9, 12, 15, 7, 10, 13, 16, 8, 11, 14, 17 };
            const int k = (int) std::trunc (13.0f * value);
            const int n = (k >= 0 && k <= 13) ? newPosition[k] : 0;
            value = (float) n * (1.0f / 17.0f);
        }
        if (version < 1.29)
            value = (std::floor (17.0f * value + 0.5f) + 14.0f) * (1.0f / 31.0f);
        program.parameters[LfoRate] = value;
    }

    readInto (MainSyncMode);
    program.parameters[Panic] = 0.0f;
    readInto (NoiseFloor);
}

void VroCore::readSequencer (const juce::XmlElement& p)
{
    const auto* s = childNamed (p, "sequencer");
    if (s == nullptr)
        return;

    auto& pattern = engine->getPattern();
    // The pattern has 96 steps: counts outside 1..96 are clamped, children beyond the 96th ignored.
    pattern.numberOfSteps = juce::jlimit (1, StepPattern::maxSteps, readInt (*s, "numberofsteps", 16));

    int k = 0;
    for (auto* c : s->getChildIterator())
    {
        if (k >= StepPattern::maxSteps)
            break;
        auto& step = pattern.steps[k++];
        step.noteOffset = readInt (*c, "noteoffset", 0);
        step.pause = readBool (*c, "pause");
        step.slide = readBool (*c, "slide");
        step.slideAdsr = readBool (*c, "slideadsr");
        step.velocity = readNumber (*c, "velocity", 0.5);
        step.length = readNumber (*c, "length", 1.0);
    }
    pattern.changed = true;
}

void VroCore::readMidimap (const juce::XmlElement& root)
{
    const auto* m = childNamed (root, "midimap");
    if (m == nullptr)
        return;
    for (auto* c : m->getChildIterator())
    {
        const int n = readInt (*c, "controllernumber", 0);
        if (n >= 1 && n <= 255)
            program.controllerMap[n] = readInt (*c, "param", 0);
    }
}

void VroCore::getStateInformation (juce::MemoryBlock& dest)
{
    if (auto xml = createProgramXml ({}))
        copyXmlToBinary (*xml, dest);
}

void VroCore::setStateInformation (const void* data, int size)
{
    auto xml = getXmlFromBinary (data, size);
    readProgramXml (xml.get(), {}, false);
}
