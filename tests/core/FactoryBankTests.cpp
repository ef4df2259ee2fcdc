// The embedded factory bank: its shape, and that every program sounds.
#include "PresetTestSupport.h"

#include <cstring>
#include <fstream>
#include <map>
#include <set>

using namespace Param;

namespace
{
/** The embedded bank, or for sound design a bank file named by VRO_FACTORY_BANK_FILE. */
std::unique_ptr<juce::XmlElement> bankUnderTest()
{
    const auto file = juce::SystemStats::getEnvironmentVariable ("VRO_FACTORY_BANK_FILE", {});
    if (file.isNotEmpty())
        return ProgramDocument::parseFile (juce::File (file));
    return VroCore::parseFactoryBank();
}

#if VRO_HAS_FACTORY_BANK
 #define SKIP_WITHOUT_BANK(bank) ASSERT_NE (bank, nullptr)
#else
 #define SKIP_WITHOUT_BANK(bank) \
     if (bank == nullptr)        \
     GTEST_SKIP() << "built without the factory bank"
#endif

std::vector<const juce::XmlElement*> programsOf (const juce::XmlElement& bank)
{
    std::vector<const juce::XmlElement*> programs;
    if (auto* p = bank.getChildByName ("programs"))
        for (auto* c : p->getChildIterator())
            programs.push_back (c);
    return programs;
}

TEST (FactoryBank, Shape)
{
    const auto bank = bankUnderTest();
    SKIP_WITHOUT_BANK (bank);
    EXPECT_EQ (bank->getStringAttribute ("version"), "1.1");
    const auto programs = programsOf (*bank);
    ASSERT_EQ (programs.size(), 321u);

    std::set<juce::String> categories, tops, names;
    int oneLevel = 0, with96 = 0, with64 = 0, withoutLinear = 0;
    const juce::StringArray absent { "path", "fmpulse", "fmsaw", "fmsubosc", "fmnoise", "fmintensity", "arpseqshuffle", "noisefloor" };
    for (const auto* p : programs)
    {
        const auto category = p->getStringAttribute ("category");
        const auto name = p->getStringAttribute ("programname");
        EXPECT_TRUE (names.insert (category + "\\" + name).second) << "twice: " << category << "\\" << name;
        if (categories.insert (category).second && ! category.containsChar ('\\'))
            ++oneLevel;
        tops.insert (category.upToFirstOccurrenceOf ("\\", false, false));
        EXPECT_LE (juce::StringArray::fromTokens (category, "\\", "").size(), 2) << category;
        EXPECT_EQ (VroCore::presetFileName (name), name) << "a name that is not a portable file name";

        for (const auto& key : absent)
            EXPECT_FALSE (p->hasAttribute (key)) << name << " has " << key;
        for (int k = 0; k < 58; ++k)
        {
            const juce::String key (parameterTable[presetKeyOrder[k]].presetKey);
            if (! absent.contains (key) && key != "portamentolinear")
            {
                EXPECT_TRUE (p->hasAttribute (key)) << name << " lacks " << key;
            }
        }
        withoutLinear += p->hasAttribute ("portamentolinear") ? 0 : 1;

        const auto* sequencer = p->getChildByName ("sequencer");
        ASSERT_NE (sequencer, nullptr) << name;
        const int steps = sequencer->getNumChildElements();
        with96 += steps == 96;
        with64 += steps == 64;
        // A program never plays steps its document does not hold.
        EXPECT_LE ((int) std::floor (96.0 * p->getDoubleAttribute ("arpseqlength")), steps) << name;
    }
    EXPECT_EQ (categories.size(), 25u);
    EXPECT_EQ (tops.size(), 5u);
    EXPECT_EQ (oneLevel, 2);
    EXPECT_EQ (with96, 288);
    EXPECT_EQ (with64, 33);
    EXPECT_EQ (withoutLinear, 15);

    const auto* midimap = bank->getChildByName ("midimap");
    ASSERT_NE (midimap, nullptr);
    std::map<int, int> map;
    for (auto* m : midimap->getChildIterator())
        map[m->getIntAttribute ("controllernumber")] = m->getIntAttribute ("param");
    const std::map<int, int> expected { { 3, 38 }, { 4, 37 }, { 20, 27 }, { 21, 28 }, { 22, 29 }, { 23, 32 }, { 24, 36 } };
    EXPECT_EQ (map, expected);
}

/** One program rendered as a player tries it: a held chord where the arpeggiator, the sequencer
    or the six voices take it, else a held note with a second one played over it, so that glide,
    legato and the return to the held note are heard too. */
struct ProgramSound
{
    juce::String key;
    float volume = 0.0f;
    float peak = 0.0f;
    double loudestDb = -200.0; // the loudest 50 ms
    bool finite = true;
    juce::uint64 hash = 0; // of the exact samples
};

constexpr double sampleRate = 44100.0;
constexpr int heldSamples = 66150, totalSamples = 88200, window = 2205;

ProgramSound renderProgram (const juce::XmlElement& bank, const juce::XmlElement& program)
{
    // The document an installed preset file holds.
    juce::XmlElement document (bank);
    document.deleteAllChildElementsWithTagName ("programs");
    document.createNewChildElement ("programs")->addChildElement (new juce::XmlElement (program));

    VroCore core;
    core.readProgramXml (&document, {}, false);
    const bool chord = core.getParameter (ArpEnabled) > 0.5f || core.getParameter (SeqEnabled) > 0.5f || core.getParameter (Poly) > 0.0f;

    test::Render r (core, sampleRate, 512, 120.0, true);
    if (chord)
    {
        // The sequencer takes the last key as its root: C3 under a C minor chord.
        for (int n : { 55, 60, 63, 48 })
            r.at (0, test::noteOn (n, 100)).at (heldSamples, test::noteOff (n));
    }
    else
    {
        r.at (0, test::noteOn (48, 100)).at (heldSamples, test::noteOff (48));
        r.at (26460, test::noteOn (55, 80)).at (52920, test::noteOff (55));
    }
    r.run (totalSamples);

    ProgramSound sound;
    sound.key = program.getStringAttribute ("category") + "\\" + program.getStringAttribute ("programname");
    sound.volume = core.getParameter (Volume);
    const auto* d = r.session.audio.getReadPointer (0);
    sound.hash = 14695981039346656037ull;
    for (int i = 0; i < totalSamples; ++i)
    {
        juce::uint32 bits;
        std::memcpy (&bits, d + i, 4);
        sound.hash = (sound.hash ^ bits) * 1099511628211ull;
    }
    for (int start = 0; start + window <= totalSamples; start += window / 2)
    {
        double sum = 0.0;
        for (int i = start; i < start + window; ++i)
        {
            sound.finite = sound.finite && std::isfinite (d[i]);
            sound.peak = std::max (sound.peak, std::abs (d[i]));
            sum += (double) d[i] * d[i];
        }
        sound.loudestDb = std::max (sound.loudestDb, 10.0 * std::log10 (sum / window + 1.0e-30));
    }
    return sound;
}

std::vector<ProgramSound> renderBank (const juce::XmlElement& bank)
{
    std::vector<ProgramSound> sounds;
    for (const auto* p : programsOf (bank))
        sounds.push_back (renderProgram (bank, *p));
    return sounds;
}

TEST (FactoryBank, EveryProgramSounds)
{
    const auto bank = bankUnderTest();
    SKIP_WITHOUT_BANK (bank);
    const auto sounds = renderBank (*bank);

    std::map<juce::uint64, juce::String> seen;
    for (const auto& s : sounds)
    {
        EXPECT_TRUE (s.finite) << s.key;
        EXPECT_GT (s.loudestDb, -35.0) << s.key << " is hardly audible";
        EXPECT_LT (s.peak, 0.95f) << s.key << " runs hot";
        const auto [it, added] = seen.emplace (s.hash, s.key);
        EXPECT_TRUE (added) << s.key << " renders exactly like " << it->second;
    }

    // For sound design: the measured loudness per program, read back by tools/make_factory_bank.py.
    const auto levels = juce::SystemStats::getEnvironmentVariable ("VRO_FACTORY_LEVELS", {});
    if (levels.isNotEmpty())
    {
        std::ofstream out (levels.toStdString());
        out << "# program\tloudest 50 ms (dBFS)\tpeak (dBFS)\tvolume\n";
        for (const auto& s : sounds)
            out << s.key << '\t' << s.loudestDb << '\t' << 20.0 * std::log10 (std::max (s.peak, 1.0e-10f)) << '\t' << s.volume << '\n';
    }
}
} // namespace
