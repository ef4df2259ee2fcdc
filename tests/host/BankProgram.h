#pragma once
// A program of the factory bank as the host preset files promise it: the state a host restores
// from one of them must hold that program's every value, its pattern and the bank's controller
// map. Include the framework's core and GoogleTest first.

#include <map>

namespace bank
{
inline std::unique_ptr<juce::XmlElement> load()
{
    return juce::XmlDocument::parse (juce::File (VRO_FACTORY_BANK));
}

inline const juce::XmlElement* child (const juce::XmlElement& e, const char* tag)
{
    for (auto* c : e.getChildIterator())
        if (c->getTagName().equalsIgnoreCase (tag))
            return c;
    return nullptr;
}

inline juce::Array<const juce::XmlElement*> programs (const juce::XmlElement& bankRoot)
{
    juce::Array<const juce::XmlElement*> result;
    if (auto* list = child (bankRoot, "programs"))
        for (auto* p : list->getChildIterator())
            if (! p->isTextElement())
                result.add (p);
    return result;
}

/** The name a host shows: "Bass/Acid: Classic Squelch". */
inline juce::String label (const juce::XmlElement& program)
{
    juce::StringArray levels;
    for (const auto& level : juce::StringArray::fromTokens (program.getStringAttribute ("category"), "\\", ""))
        if (level.trim().isNotEmpty())
            levels.add (level.trim());
    const auto name = program.getStringAttribute ("programname").trim();
    return levels.isEmpty() ? name : levels.joinIntoString ("/") + ": " + name;
}

/** Numbers are compared as the plug-in holds them, in single precision. */
inline void expectSameAttributes (const juce::XmlElement& expected, const juce::XmlElement& actual, const juce::String& where)
{
    for (int i = 0; i < expected.getNumAttributes(); ++i)
    {
        const auto key = expected.getAttributeName (i);
        const auto value = expected.getAttributeValue (i);
        ASSERT_TRUE (actual.hasAttribute (key)) << where << ": " << key;
        if (key == "programname" || key == "category")
            EXPECT_EQ (actual.getStringAttribute (key), value) << where;
        else
            EXPECT_EQ ((float) actual.getDoubleAttribute (key), value.getFloatValue()) << where << ": " << key;
    }
}

/** The restored state document holds the bank's program, its steps and the bank's controller map. */
inline void expectProgram (const juce::XmlElement& bankRoot, const juce::XmlElement& program, const juce::XmlElement& state)
{
    const auto where = label (program);
    auto* restoredPrograms = child (state, "programs");
    ASSERT_NE (restoredPrograms, nullptr) << where;
    auto* restored = child (*restoredPrograms, "program");
    ASSERT_NE (restored, nullptr) << where;

    juce::XmlElement values (program);
    values.deleteAllChildElements();
    expectSameAttributes (values, *restored, where);

    auto* steps = child (program, "sequencer");
    auto* restoredSteps = child (*restored, "sequencer");
    ASSERT_NE (steps, nullptr) << where;
    ASSERT_NE (restoredSteps, nullptr) << where;
    EXPECT_EQ (restoredSteps->getIntAttribute ("numberofsteps"), steps->getIntAttribute ("numberofsteps")) << where;
    int k = 0;
    for (auto* step : steps->getChildIterator())
    {
        auto* restoredStep = restoredSteps->getChildElement (k);
        ASSERT_NE (restoredStep, nullptr) << where << " step " << k;
        expectSameAttributes (*step, *restoredStep, where + " step " + juce::String (k));
        ++k;
    }

    std::map<int, int> map, restoredMap;
    if (auto* m = child (bankRoot, "midimap"))
        for (auto* e : m->getChildIterator())
            map[e->getIntAttribute ("controllernumber")] = e->getIntAttribute ("param");
    if (auto* m = child (state, "midimap"))
        for (auto* e : m->getChildIterator())
            restoredMap[e->getIntAttribute ("controllernumber")] = e->getIntAttribute ("param");
    EXPECT_FALSE (map.empty());
    EXPECT_EQ (restoredMap, map) << where;
}

/** Three programs from far apart in the bank: the first, one from the middle and the last. */
inline juce::Array<const juce::XmlElement*> samples (const juce::XmlElement& bankRoot)
{
    const auto all = programs (bankRoot);
    return { all.getFirst(), all[all.size() / 2], all.getLast() };
}
} // namespace bank
