// drubbel-render: plays a MIDI file through VRO Drubbel offline and writes the audio as WAV.
#include "MidiFileReader.h"
#include "ProgramDocument.h"
#include "RenderSession.h"
#include "SafeFile.h"
#include "MidiPatternExport.h"
#include "ParameterTable.h"

#include <cstdio>
#include <filesystem>
#include <map>

namespace
{
const char* const usage =
    "usage: drubbel-render --midi IN.mid --out OUT.wav [--preset FILE.drubbel] [--param INDEX=VALUE]...\n"
    "                      [--sample-rate HZ] [--block-size N] [--tail SECONDS] [--tempo BPM] [--midi-out OUT.mid]\n"
    "                      [--export-pattern OUT.mid] [--scl SCALE.scl] [--kbm MAPPING.kbm]\n"
    "       drubbel-render --export-pattern OUT.mid [--preset FILE.drubbel] [--param INDEX=VALUE]...\n"
    "       drubbel-render --list-params | --version | --help\n";

struct UsageError
{
    juce::String message;
};

/** An answer that needs no render: the usage, the version, the parameter list. */
struct Answer
{
    juce::String text;
};

juce::String parameterList()
{
    juce::String list;
    for (int i = 0; i < Param::Count; ++i)
    {
        const juce::String name (parameterTable[i].name);
        list << i << "\t" << (name.isEmpty() ? juce::String ("(unnamed)") : name) << "\n";
    }
    return list;
}

double parseNumber (const juce::String& option, const juce::String& text)
{
    const auto utf8 = text.trim().toStdString();
    char* end = nullptr;
    const double v = std::strtod (utf8.c_str(), &end);
    if (utf8.empty() || *end != '\0' || ! std::isfinite (v))
        throw UsageError { option + ": '" + text + "' is not a number" };
    return v;
}

int parseInteger (const juce::String& option, const juce::String& text)
{
    const double v = parseNumber (option, text);
    if (v != std::floor (v) || std::abs (v) > 1e9)
        throw UsageError { option + ": '" + text + "' is not a whole number" };
    return (int) v;
}

constexpr double minSampleRate = 8000.0, maxSampleRate = 384000.0;
constexpr double maxRenderSeconds = 3600.0;

struct Options
{
    juce::File midiIn, out, preset, midiOut, exportPattern, scale, mapping;
    std::vector<std::pair<int, float>> params;
    double sampleRate = 44100.0, tail = 1.0, tempo = 120.0;
    int blockSize = 512;
};

/** Two names for one file: the same file when it exists (links followed), else the same path
    once the folders on the way are resolved. */
bool sameFile (const juce::File& a, const juce::File& b)
{
    const std::filesystem::path pa (a.getFullPathName().toStdString()), pb (b.getFullPathName().toStdString());
    std::error_code error;
    if (std::filesystem::equivalent (pa, pb, error) && ! error)
        return true;
    const auto ca = std::filesystem::weakly_canonical (pa, error);
    if (error)
        return a == b;
    const auto cb = std::filesystem::weakly_canonical (pb, error);
    return error ? a == b : ca == cb;
}

/** Every output is checked before anything is rendered: a new or regular file in an existing
    folder, none of the inputs, and no other output. */
void checkOutputs (const Options& o)
{
    const std::pair<const char*, juce::File> outputs[] = { { "--out", o.out }, { "--midi-out", o.midiOut }, { "--export-pattern", o.exportPattern } };
    const std::pair<const char*, juce::File> inputs[] = { { "--midi", o.midiIn }, { "--preset", o.preset }, { "--scl", o.scale }, { "--kbm", o.mapping } };
    for (size_t i = 0; i < std::size (outputs); ++i)
    {
        const auto& [option, file] = outputs[i];
        if (file == juce::File())
            continue;
        const auto name = juce::String (option) + ": " + file.getFullPathName();
        // A link is not replaced, and /dev/stdout is one: a device or a pipe cannot take the
        // write-then-rename a file gets.
        if (SafeFile::isLink (file))
            throw UsageError { name + " is a symbolic link" };
        if (file.isDirectory())
            throw UsageError { name + " is a folder" };
        if (file.exists() && ! SafeFile::isRegularFile (file))
            throw UsageError { name + " is not a regular file" };
        if (! file.getParentDirectory().isDirectory())
            throw UsageError { name + ": folder does not exist" };
        for (const auto& [inputOption, input] : inputs)
            if (input != juce::File() && sameFile (file, input))
                throw UsageError { name + " is the " + inputOption + " input" };
        for (size_t k = 0; k < i; ++k)
            if (outputs[k].second != juce::File() && sameFile (file, outputs[k].second))
                throw UsageError { name + " is also given as " + outputs[k].first };
    }
}

Options parseArguments (const juce::StringArray& args)
{
    Options o;
    auto cwd = juce::File::getCurrentWorkingDirectory();
    for (int i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        auto value = [&]() -> juce::String
        {
            if (i + 1 >= args.size())
                throw UsageError { a + ": missing value" };
            return args[++i];
        };

        if (a == "--midi")              o.midiIn = cwd.getChildFile (value());
        else if (a == "--out")          o.out = cwd.getChildFile (value());
        else if (a == "--preset")       o.preset = cwd.getChildFile (value());
        else if (a == "--midi-out")     o.midiOut = cwd.getChildFile (value());
        else if (a == "--export-pattern") o.exportPattern = cwd.getChildFile (value());
        else if (a == "--scl")          o.scale = cwd.getChildFile (value());
        else if (a == "--kbm")          o.mapping = cwd.getChildFile (value());
        else if (a == "--sample-rate")  o.sampleRate = parseInteger (a, value()); // the header holds whole hertz
        else if (a == "--block-size")   o.blockSize = parseInteger (a, value());
        else if (a == "--tail")         o.tail = parseNumber (a, value());
        else if (a == "--tempo")        o.tempo = parseNumber (a, value());
        else if (a == "--param")
        {
            const auto v = value();
            if (! v.containsChar ('='))
                throw UsageError { "--param: '" + v + "' is not INDEX=VALUE" };
            const int index = parseInteger ("--param", v.upToFirstOccurrenceOf ("=", false, false));
            if (index < 0 || index >= Param::Count)
                throw UsageError { "--param: index " + juce::String (index) + " is outside 0..65" };
            const auto valueText = v.fromFirstOccurrenceOf ("=", false, false);
            const double normalised = parseNumber ("--param", valueText);
            if (normalised < 0.0 || normalised > 1.0)
                throw UsageError { "--param: value " + valueText + " is outside 0..1" };
            o.params.push_back ({ index, (float) normalised });
        }
        else if (a == "--help" || a == "-h")
            throw Answer { usage };
        else if (a == "--version")
            throw Answer { juce::String ("drubbel-render ") + VRO_VERSION_STRING + "\n" };
        else if (a == "--list-params")
            throw Answer { parameterList() };
        else
            throw UsageError { a + ": unknown option" };
    }

    // The pattern export alone needs no render.
    const bool renders = o.exportPattern == juce::File() || o.midiIn != juce::File() || o.out != juce::File();
    if (renders && o.midiIn == juce::File())
        throw UsageError { "--midi: required option missing" };
    if (renders && o.out == juce::File())
        throw UsageError { "--out: required option missing" };
    if (! (o.sampleRate >= minSampleRate && o.sampleRate <= maxSampleRate))
        throw UsageError { "--sample-rate: must be 8000 to 384000" };
    if (o.blockSize <= 0 || o.blockSize > 1 << 20)
        throw UsageError { "--block-size: must be a positive number of samples" };
    if (o.tail < 0.0 || o.tail > 3600.0)
        throw UsageError { "--tail: must be 0 to 3600 seconds" };
    if (! (o.tempo > 0.0) || o.tempo > 1000.0)
        throw UsageError { "--tempo: must be above 0 (and at most 1000)" };
    if (o.preset != juce::File() && ! o.preset.exists())
        throw UsageError { o.preset.getFullPathName() + ": preset file not found" };
    if (o.preset != juce::File() && ! SafeFile::isRegularFile (o.preset))
        throw UsageError { o.preset.getFullPathName() + ": not a regular file" };
    checkOutputs (o);
    return o;
}

int fail (const juce::File& file, const juce::String& problem)
{
    std::fprintf (stderr, "drubbel-render: %s: %s\n", file.getFullPathName().toRawUTF8(), problem.toRawUTF8());
    return 2;
}

int run (const juce::StringArray& args)
{
    if (args.isEmpty())
    {
        std::fputs (usage, stderr);
        return 2;
    }
    Options o;
    try
    {
        o = parseArguments (args);
    }
    catch (const Answer& a)
    {
        std::fputs (a.text.toRawUTF8(), stdout);
        return 0;
    }
    catch (const UsageError& e)
    {
        std::fprintf (stderr, "drubbel-render: %s\n", e.message.toRawUTF8());
        return 2;
    }

    // Every output gets its temporary beside it now, so a folder that cannot take one is found
    // before an hour of rendering. The targets are replaced only once all of them are written: a
    // failure leaves every target as it was. Work that a killed render left in these folders goes.
    SafeFile::removeTemporariesOnSignals();
    std::map<juce::String, std::unique_ptr<SafeFile::Temporary>> temporaryFor;
    for (const auto& [option, target] : { std::pair<const char*, juce::File> { "--export-pattern", o.exportPattern },
                                          { "--out", o.midiIn != juce::File() ? o.out : juce::File() },
                                          { "--midi-out", o.midiIn != juce::File() ? o.midiOut : juce::File() } })
    {
        if (target == juce::File())
            continue;
        SafeFile::removeAbandonedWork (target.getParentDirectory(), false);
        auto& temporary = temporaryFor[option] = std::make_unique<SafeFile::Temporary> (target);
        if (! temporary->isValid())
            return fail (target, "cannot write in its folder");
    }

    MidiFileReader events;
    juce::String error;
    if (o.midiIn != juce::File() && ! events.open (o.midiIn, o.sampleRate, error))
        return fail (o.midiIn, error);
    const double lastSeconds = events.lastEventSeconds();

    // In 64 bits: a far-off event must not wrap around to a short render.
    const double totalSeconds = lastSeconds + o.tail;
    if (o.midiIn != juce::File() && ! (totalSeconds <= maxRenderSeconds))
        return fail (o.midiIn, "the render would last " + juce::String (totalSeconds, 0) + " seconds; at most "
                                   + juce::String ((int) maxRenderSeconds) + " are allowed");
    const auto total = (juce::int64) std::llround (lastSeconds * o.sampleRate) + (juce::int64) std::llround (o.tail * o.sampleRate);

    if (o.preset != juce::File())
    {
        // The product's own reader, which the load below uses too: bounded, no entities, no DTD,
        // no recursion.
        const auto preset = ProgramDocument::parseFile (o.preset);
        if (preset == nullptr || ! preset->getTagName().equalsIgnoreCase ("vro"))
            return fail (o.preset, "not a preset document");
    }

    VroCore processor;
    if (o.scale != juce::File() || o.mapping != juce::File())
    {
        // The messages name the files by the paths given.
        SessionTuning::Source scale, mapping;
        juce::String problem;
        for (auto [file, source] : { std::pair { o.scale, &scale }, std::pair { o.mapping, &mapping } })
        {
            if (file == juce::File())
                continue;
            if (! SessionTuning::readFile (file, *source, problem))
                return fail (file, problem.fromFirstOccurrenceOf (": ", false, false));
            source->name = file.getFullPathName();
        }
        if (! processor.setTuningFiles (scale, mapping, problem))
        {
            std::fprintf (stderr, "drubbel-render: %s\n", problem.toRawUTF8());
            return 2;
        }
    }
    if (o.preset != juce::File())
        processor.loadPresetFile (o.preset, true, false);
    for (const auto& [index, value] : o.params)
        processor.setParameter (index, value);

    if (o.exportPattern != juce::File()
        && ! writeMidiFileTo (processor.getPattern(), processor.getClock(), temporaryFor["--export-pattern"]->getFile()))
        return fail (o.exportPattern, "cannot write file");

    if (o.midiIn != juce::File())
    {
        WavFileWriter wav (temporaryFor["--out"]->getFile(), o.sampleRate);
        RenderSession session (processor, o.sampleRate, o.blockSize, o.tempo);
        if (! session.render ([&events] (TimedMidi& e) { return events.next (e); }, total,
                              [&wav] (const juce::AudioBuffer<float>& block, int n) { return wav.write (block, n); })
            || ! wav.finish())
            return fail (o.out, "cannot write file");
        if (o.midiOut != juce::File() && ! writeMidiOutputFile (temporaryFor["--midi-out"]->getFile(), session.midiOutput, o.sampleRate))
            return fail (o.midiOut, "cannot write file");
    }

    for (auto& [option, t] : temporaryFor)
        if (! t->replaceTarget())
            return fail (t->getTarget(), "cannot replace file");
    return 0;
}
} // namespace

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juce;
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));
    // Memory runs out on a huge input under a limit: one line, and the temporaries go as run()
    // is left.
    try
    {
        return run (args);
    }
    catch (const std::bad_alloc&)
    {
        std::fputs ("drubbel-render: not enough memory for this render\n", stderr);
        return 2;
    }
}
