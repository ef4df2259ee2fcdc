// Renders fixed workloads through the processor, block by block as a host does (as drubbel-render
// does, without writing files), and reports for each how many times faster than real time it runs
// and what one voice-sample costs. Times are the rendering thread's CPU time, so other work on the
// machine does not count against the figures. Run by hand when comparing builds.
//
//   engine_bench [--json] [--seconds N] [--repeat N] [--only NAME]
//
// Each workload runs --repeat times (3 by default) and the fastest run is reported, so a busy
// machine disturbs the figures less.

#include "RenderSession.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace
{
constexpr double kSampleRate = 44100.0;
constexpr int kBlockSize = 512;
constexpr double kBpm = 120.0;
constexpr int kSixteenthSamples = (int) (kSampleRate * 60.0 / kBpm / 4.0);
constexpr int kHalfNoteSamples = kSixteenthSamples * 8;

double threadCpuSeconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec + (double) t.tv_nsec * 1.0e-9;
}

double wallSeconds()
{
    timespec t {};
    clock_gettime (CLOCK_MONOTONIC, &t);
    return (double) t.tv_sec + (double) t.tv_nsec * 1.0e-9;
}

struct Workload
{
    const char* name;
    const char* description;
    double targetRatio;
    std::function<void (VroCore&)> setup;
    std::function<std::vector<TimedMidi> (int totalSamples)> events;
};

struct Result
{
    const Workload* workload;
    double audioSeconds, cpuSeconds, wallSeconds, voiceSamples;
    double ratio() const { return audioSeconds / cpuSeconds; }
    double nsPerSample() const { return cpuSeconds * 1.0e9 / (audioSeconds * kSampleRate); }
    /** Per sounding voice and sample; with no voice sounding, per sample. */
    double nsPerVoiceSample() const { return voiceSamples > 0.0 ? cpuSeconds * 1.0e9 / voiceSamples : nsPerSample(); }
};

std::vector<TimedMidi> bassLine (int totalSamples)
{
    // A sixteenth-note line in the bass, each note held for three quarters of its step.
    constexpr int notes[] = { 36, 36, 48, 36, 39, 36, 43, 41, 36, 36, 48, 46, 39, 41, 43, 34 };
    std::vector<TimedMidi> events;
    for (int step = 0; (step + 1) * kSixteenthSamples <= totalSamples; ++step)
    {
        const int note = notes[step % 16];
        const int start = step * kSixteenthSamples;
        events.push_back ({ start, juce::MidiMessage::noteOn (1, note, (juce::uint8) (90 + (step % 4) * 10)) });
        events.push_back ({ start + kSixteenthSamples * 3 / 4, juce::MidiMessage::noteOff (1, note) });
    }
    return events;
}

std::vector<TimedMidi> chords (int totalSamples)
{
    // Six-note chords changing every half note; each chord is released as the next one starts.
    constexpr int roots[] = { 48, 45, 41, 43 };
    constexpr int shape[] = { 0, 4, 7, 12, 16, 19 };
    std::vector<TimedMidi> events;
    for (int change = 0; change * kHalfNoteSamples < totalSamples; ++change)
    {
        const int at = change * kHalfNoteSamples;
        if (change > 0)
            for (int offset : shape)
                events.push_back ({ at, juce::MidiMessage::noteOff (1, roots[(change - 1) % 4] + offset) });
        for (int offset : shape)
            events.push_back ({ at, juce::MidiMessage::noteOn (1, roots[change % 4] + offset, (juce::uint8) 100) });
    }
    return events;
}

std::vector<TimedMidi> chromaticLine (int totalSamples)
{
    // Sixteenth notes chromatically up over 36..48, each held for 90 % of its step, velocity 100.
    std::vector<TimedMidi> events;
    for (int step = 0; (step + 1) * kSixteenthSamples <= totalSamples; ++step)
    {
        const int note = 36 + step % 13;
        const int start = step * kSixteenthSamples;
        events.push_back ({ start, juce::MidiMessage::noteOn (1, note, (juce::uint8) 100) });
        events.push_back ({ start + kSixteenthSamples * 9 / 10, juce::MidiMessage::noteOff (1, note) });
    }
    return events;
}

std::vector<TimedMidi> triads (int totalSamples)
{
    // C, F, G and A minor as C3 E3 G3 C4 E4 G4 and the same shape, a new chord every half note,
    // each held the whole half note.
    constexpr int roots[] = { 48, 53, 55, 57 };
    std::vector<TimedMidi> events;
    auto shape = [&roots] (int change, int i)
    {
        const int third = change % 4 == 3 ? 3 : 4;
        const int offsets[] = { 0, third, 7, 12, 12 + third, 19 };
        return roots[change % 4] + offsets[i];
    };
    for (int change = 0; change * kHalfNoteSamples < totalSamples; ++change)
    {
        const int at = change * kHalfNoteSamples;
        if (change > 0)
            for (int i = 0; i < 6; ++i)
                events.push_back ({ at, juce::MidiMessage::noteOff (1, shape (change - 1, i)) });
        for (int i = 0; i < 6; ++i)
            events.push_back ({ at, juce::MidiMessage::noteOn (1, shape (change, i), (juce::uint8) 100) });
    }
    return events;
}

/** 19 equal divisions of the octave as the session's tuning: every key off the standard path. */
void tune19 (VroCore& p)
{
    juce::String scale = "19 equal\n19\n";
    for (int i = 1; i < 19; ++i)
        scale << juce::String (1200.0 * i / 19.0, 6) << "\n";
    scale << "2/1\n";
    juce::String error;
    if (! p.setTuningFiles ({ "19.scl", scale }, {}, error))
        std::fprintf (stderr, "engine_bench: %s\n", error.toRawUTF8());
}

Result run (const Workload& w, double seconds)
{
    VroCore processor;
    w.setup (processor);
    RenderSession session (processor, kSampleRate, kBlockSize, kBpm);

    juce::AudioBuffer<float> block (2, kBlockSize);
    juce::MidiBuffer midi;
    auto& voices = processor.getEngine().getVoices();

    // One second without notes first, so the start-up tails of the twelve voices are over.
    for (int i = 0; i < (int) kSampleRate; i += kBlockSize)
    {
        block.clear();
        midi.clear();
        processor.processBlock (block, midi);
    }

    const int total = (int) (seconds * kSampleRate);
    const auto events = w.events (total);
    size_t next = 0;
    double voiceSamples = 0.0, checksum = 0.0;

    const double cpuStart = threadCpuSeconds(), wallStart = wallSeconds();
    for (int start = 0; start < total; start += kBlockSize)
    {
        const int n = std::min (kBlockSize, total - start);
        block.setSize (2, n, false, false, true);
        midi.clear();
        while (next < events.size() && events[next].sample < start + n)
        {
            midi.addEvent (events[next].message, (int) (events[next].sample - start));
            ++next;
        }
        session.playHead.timeInSamples = start;
        session.playHead.ppqPosition = start / kSampleRate * kBpm / 60.0;
        processor.processBlock (block, midi);

        checksum += block.getSample (0, n - 1);
        for (int v = 0; v < VoiceManager::numVoices; ++v)
            voiceSamples += voices.voice (v).isDormant() ? 0.0 : (double) n;
    }
    const double cpu = threadCpuSeconds() - cpuStart, wall = wallSeconds() - wallStart;

    if (! (checksum == checksum))
        std::fprintf (stderr, "engine_bench: %s rendered NaN\n", w.name);
    return { &w, seconds, cpu, wall, voiceSamples };
}
} // namespace

int main (int argc, char* argv[])
{
    bool json = false;
    double seconds = 30.0;
    const char* only = nullptr;
    int repeat = 3;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp (argv[i], "--json") == 0)
            json = true;
        else if (std::strcmp (argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = std::atof (argv[++i]);
        else if (std::strcmp (argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::strcmp (argv[i], "--repeat") == 0 && i + 1 < argc)
            repeat = std::max (1, std::atoi (argv[++i]));
        else
        {
            std::fprintf (stderr, "usage: engine_bench [--json] [--seconds N] [--repeat N] [--only NAME]\n");
            return 2;
        }
    }
    if (! (seconds > 0.0))
        seconds = 30.0;

    // The processor unpacks its factory presets on first use; keep that out of the user's folders.
    const auto home = juce::File::createTempFile ("vro-bench-home");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);

    juce::ScopedJuceInitialiser_GUI juce;

    const Workload workloads[] = {
        { "bass_line", "one voice, 16th-note bass line at 120 bpm, start-up program", 50.0,
          [] (VroCore&) {}, bassLine },
        { "six_voice_chords", "six-voice chords changing every half note, poly", 12.0,
          [] (VroCore& p) { p.setParameter (Param::Poly, 1.0f); }, chords },
        { "no_notes", "no notes, after the voices' tails have ended", 3000.0,
          [] (VroCore&) {}, [] (int) { return std::vector<TimedMidi> {}; } },
        { "full_resonance", "the bass line with the filter at full resonance, mid cutoff and envelope", 50.0,
          [] (VroCore& p)
          {
              p.setParameter (Param::VcfResonance, 1.0f);
              p.setParameter (Param::VcfCutoff, 0.45f);
              p.setParameter (Param::VcfEnvelope, 0.6f);
          },
          bassLine },
        // The three workloads scripts/callgrind.sh counts instructions for.
        { "mono", "one voice, chromatic 16th notes over 36..48, start-up program", 50.0,
          [] (VroCore&) {}, chromaticLine },
        { "poly6", "six-voice triads C, F, G, Am every half note, poly", 12.0,
          [] (VroCore& p) { p.setParameter (Param::Poly, 1.0f); }, triads },
        { "idle", "no notes, after the start-up tails", 3000.0,
          [] (VroCore&) {}, [] (int) { return std::vector<TimedMidi> {}; } },
        // The same in a tuning other than the standard one.
        { "mono_tuned", "mono in 19 equal", 50.0, tune19, chromaticLine },
        { "poly6_tuned", "poly6 in 19 equal", 12.0, [] (VroCore& p) { tune19 (p); p.setParameter (Param::Poly, 1.0f); }, triads },
    };

    std::vector<Result> results;
    for (const auto& w : workloads)
    {
        if (only != nullptr && std::strcmp (only, w.name) != 0)
            continue;
        // Silence is so cheap that it needs a longer stretch to be timed well.
        const double length = w.targetRatio >= 1000.0 ? seconds * 10.0 : seconds;
        auto best = run (w, length);
        for (int r = 1; r < repeat; ++r)
        {
            const auto next = run (w, length);
            if (next.cpuSeconds < best.cpuSeconds)
                best = next;
        }
        results.push_back (best);
    }
    home.deleteRecursively();

    if (json)
    {
        std::printf ("{\n  \"sampleRate\": %.0f,\n  \"blockSize\": %d,\n  \"workloads\": [\n", kSampleRate, kBlockSize);
        for (size_t i = 0; i < results.size(); ++i)
        {
            const auto& r = results[i];
            std::printf ("    { \"name\": \"%s\", \"audioSeconds\": %.1f, \"cpuSeconds\": %.6f, \"wallSeconds\": %.6f, "
                         "\"realtimeRatio\": %.1f, \"nsPerSample\": %.2f, \"voiceSamples\": %.0f, \"nsPerVoiceSample\": %.2f, "
                         "\"targetRatio\": %.0f, \"meetsTarget\": %s }%s\n",
                         r.workload->name, r.audioSeconds, r.cpuSeconds, r.wallSeconds, r.ratio(), r.nsPerSample(),
                         r.voiceSamples, r.nsPerVoiceSample(),
                         r.workload->targetRatio, r.ratio() >= r.workload->targetRatio ? "true" : "false",
                         i + 1 < results.size() ? "," : "");
        }
        std::printf ("  ]\n}\n");
        return 0;
    }

    std::printf ("%-18s %10s %10s %14s  %s\n", "workload", "x realtime", "target", "ns/voice-smp", "");
    for (const auto& r : results)
        std::printf ("%-18s %10.1f %10.0f %14.1f  %s%s\n", r.workload->name, r.ratio(), r.workload->targetRatio,
                     r.nsPerVoiceSample(), r.ratio() >= r.workload->targetRatio ? "" : "BELOW TARGET: ", r.workload->description);
    return 0;
}
