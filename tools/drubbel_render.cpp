// drubbel-render: plays a MIDI file through VRO Drubbel offline and writes the audio as WAV.
#include "RenderSession.h"
#include "sequencer/MidiPatternExport.h"

#include <cstdio>
#include <map>

namespace
{
const char* const usage =
    "usage: drubbel-render --midi IN.mid --out OUT.wav [--preset FILE.drubbel] [--param INDEX=VALUE]...\n"
    "                      [--sample-rate HZ] [--block-size N] [--tail SECONDS] [--tempo BPM] [--midi-out OUT.mid]\n"
    "                      [--export-pattern OUT.mid]\n"
    "       drubbel-render --export-pattern OUT.mid [--preset FILE.drubbel] [--param INDEX=VALUE]...\n";

struct UsageError
{
    juce::String message;
};

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

struct Options
{
    juce::File midiIn, out, preset, midiOut, exportPattern;
    std::vector<std::pair<int, float>> params;
    double sampleRate = 44100.0, tail = 1.0, tempo = 120.0;
    int blockSize = 512;
};

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
        else if (a == "--sample-rate")  o.sampleRate = parseNumber (a, value());
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
            o.params.push_back ({ index, (float) parseNumber ("--param", v.fromFirstOccurrenceOf ("=", false, false)) });
        }
        else if (a == "--help" || a == "-h")
            throw UsageError {};
        else
            throw UsageError { a + ": unknown option" };
    }

    // The pattern export alone needs no render.
    const bool renders = o.exportPattern == juce::File() || o.midiIn != juce::File() || o.out != juce::File();
    if (renders && o.midiIn == juce::File())
        throw UsageError { "--midi: required option missing" };
    if (renders && o.out == juce::File())
        throw UsageError { "--out: required option missing" };
    if (! (o.sampleRate > 0.0) || o.sampleRate > 1.0e6)
        throw UsageError { "--sample-rate: must be above 0 (and at most 1000000)" };
    if (o.blockSize <= 0 || o.blockSize > 1 << 20)
        throw UsageError { "--block-size: must be a positive number of samples" };
    if (o.tail < 0.0 || o.tail > 3600.0)
        throw UsageError { "--tail: must be 0 to 3600 seconds" };
    if (! (o.tempo > 0.0) || o.tempo > 1000.0)
        throw UsageError { "--tempo: must be above 0 (and at most 1000)" };
    if (o.preset != juce::File() && ! o.preset.existsAsFile())
        throw UsageError { o.preset.getFullPathName() + ": preset file not found" };
    return o;
}

int run (const juce::StringArray& args)
{
    Options o;
    try
    {
        o = parseArguments (args);
    }
    catch (const UsageError& e)
    {
        if (e.message.isEmpty())
        {
            std::fputs (usage, stdout);
            return 0;
        }
        std::fprintf (stderr, "drubbel-render: %s\n", e.message.toRawUTF8());
        return 2;
    }

    std::vector<TimedMidi> events;
    double lastSeconds = 0.0;
    juce::String error;
    if (o.midiIn != juce::File() && ! readMidiFileEvents (o.midiIn, o.sampleRate, events, lastSeconds, error))
    {
        std::fprintf (stderr, "drubbel-render: %s: %s\n", o.midiIn.getFullPathName().toRawUTF8(), error.toRawUTF8());
        return 2;
    }

    if (o.preset != juce::File())
    {
        if (juce::parseXML (o.preset) == nullptr)
        {
            std::fprintf (stderr, "drubbel-render: %s: not a preset document\n", o.preset.getFullPathName().toRawUTF8());
            return 2;
        }
    }

    VroCore processor;
    if (o.preset != juce::File())
        processor.loadPresetFile (o.preset, true, false);
    for (const auto& [index, value] : o.params)
        processor.setParameter (index, value);

    if (o.exportPattern != juce::File() && ! writeMidiFileTo (processor.getPattern(), processor.getEngine().getClock(), o.exportPattern))
    {
        std::fprintf (stderr, "drubbel-render: %s: cannot write file\n", o.exportPattern.getFullPathName().toRawUTF8());
        return 2;
    }
    if (o.midiIn == juce::File())
        return 0;

    const int total = (int) std::llround (lastSeconds * o.sampleRate) + (int) std::llround (o.tail * o.sampleRate);
    RenderSession session (processor, o.sampleRate, o.blockSize, o.tempo);
    session.render (events, total);

    if (! writeWavFile (o.out, session.audio, o.sampleRate))
    {
        std::fprintf (stderr, "drubbel-render: %s: cannot write file\n", o.out.getFullPathName().toRawUTF8());
        return 2;
    }
    if (o.midiOut != juce::File() && ! writeMidiOutputFile (o.midiOut, session.midiOutput, o.sampleRate))
    {
        std::fprintf (stderr, "drubbel-render: %s: cannot write file\n", o.midiOut.getFullPathName().toRawUTF8());
        return 2;
    }
    return 0;
}
} // namespace

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juce;
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));
    return run (args);
}
