// A JACK client for the Standalone's test: plays into a MIDI input while it listens to audio outputs
// and to a MIDI output, and prints what it heard.
//
// Usage: jack-midi-probe [--no-program] MIDI_INPUT MIDI_OUTPUT AUDIO_OUTPUT...
// At once it sends program change 0 (unless told not to); a little after a second (not at the
// start of a JACK period) it holds notes 60 and 64 for a second and a half, then lets go. It prints
// the audio's peak before the notes and while they are held, the note-ons that came from
// MIDI_OUTPUT, and for those: the frames from the chord to the first, the JACK period, and how much
// the frames between one and the next vary:
//     peak-before 0.000000
//     peak-during 0.312000
//     notes-out 6
//     latency 512
//     period 256
//     spread 1
//     xruns 0
// Timing is not comparable across an xrun (a cycle that came late), so the number of those since
// the chord is printed too.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace
{
struct Probe
{
    jack_client_t* client = nullptr;
    jack_port_t* midiOut = nullptr;
    jack_port_t* midiIn = nullptr;
    std::vector<jack_port_t*> audioIns;
    double sampleRate = 48000.0;

    std::atomic<bool> started { false };
    std::atomic<int> xruns { 0 };
    int xrunsBeforeChord = 0;
    std::atomic<bool> finished { false };
    long long frames = 0;
    bool programSent = false, notesOnSent = false, notesOffSent = false;
    float peakBefore = 0.0f, peakDuring = 0.0f;
    jack_nframes_t period = 0;
    std::array<long long, 64> noteFrames {};
    int notesOut = 0;

    long long at (double seconds) const { return (long long) (seconds * sampleRate); }
    long long chordFrame() const { return at (1.0) + 100; }

    // Sends a message due at frame `due`, if it falls into this cycle.
    bool sendAt (void* buffer, long long due, jack_nframes_t cycleFrames, const std::vector<jack_midi_data_t>& bytes)
    {
        if (due < frames || due >= frames + cycleFrames)
            return false;
        jack_midi_event_write (buffer, (jack_nframes_t) (due - frames), bytes.data(), bytes.size());
        return true;
    }

    int process (jack_nframes_t n)
    {
        auto* out = jack_port_get_buffer (midiOut, n);
        jack_midi_clear_buffer (out);
        if (! started.load())
            return 0;

        if (! programSent)
            programSent = sendAt (out, frames, n, { 0xc0, 0 });
        period = n;
        if (! notesOnSent)
        {
            notesOnSent = sendAt (out, chordFrame(), n, { 0x90, 60, 100 }) && sendAt (out, chordFrame(), n, { 0x90, 64, 100 });
            xrunsBeforeChord = xruns.load();
        }
        if (! notesOffSent)
            notesOffSent = sendAt (out, at (2.5), n, { 0x80, 60, 0 }) && sendAt (out, at (2.5), n, { 0x80, 64, 0 });

        // The sound of the program change settles first; the notes' release is not listened to.
        for (auto* port : audioIns)
        {
            const auto* samples = static_cast<const float*> (jack_port_get_buffer (port, n));
            for (jack_nframes_t i = 0; i < n; ++i)
            {
                const auto frame = frames + i;
                const auto level = std::fabs (samples[i]);
                if (frame >= at (0.5) && frame < at (1.0))
                    peakBefore = std::max (peakBefore, level);
                else if (frame >= at (1.1) && frame < at (2.5))
                    peakDuring = std::max (peakDuring, level);
            }
        }

        auto* in = jack_port_get_buffer (midiIn, n);
        const auto count = jack_midi_get_event_count (in);
        for (uint32_t i = 0; i < count; ++i)
        {
            jack_midi_event_t event;
            if (jack_midi_event_get (&event, in, i) == 0 && event.size == 3
                && (event.buffer[0] & 0xf0) == 0x90 && event.buffer[2] > 0 && notesOut < (int) noteFrames.size())
                noteFrames[(size_t) notesOut++] = frames + event.time;
        }

        frames += n;
        if (frames >= at (2.8))
            finished.store (true);
        return 0;
    }
};
} // namespace

int main (int argc, char** argv)
{
    Probe probe;
    if (argc > 1 && std::string (argv[1]) == "--no-program")
    {
        probe.programSent = true;
        --argc;
        ++argv;
    }
    if (argc < 4)
    {
        std::fprintf (stderr, "usage: jack-midi-probe [--no-program] MIDI_INPUT MIDI_OUTPUT AUDIO_OUTPUT...\n");
        return 2;
    }

    probe.client = jack_client_open ("midi-probe", JackNoStartServer, nullptr);
    if (probe.client == nullptr)
    {
        std::fprintf (stderr, "no JACK server\n");
        return 1;
    }
    probe.sampleRate = jack_get_sample_rate (probe.client);
    probe.midiOut = jack_port_register (probe.client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    probe.midiIn = jack_port_register (probe.client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    for (int i = 3; i < argc; ++i)
        probe.audioIns.push_back (jack_port_register (probe.client, ("in_" + std::to_string (i - 2)).c_str(),
                                                      JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
    jack_set_process_callback (probe.client, [] (jack_nframes_t n, void* arg) { return static_cast<Probe*> (arg)->process (n); }, &probe);
    jack_set_xrun_callback (probe.client, [] (void* arg) { static_cast<Probe*> (arg)->xruns.fetch_add (1); return 0; }, &probe);
    if (jack_activate (probe.client) != 0)
        return 1;

    int failed = jack_connect (probe.client, jack_port_name (probe.midiOut), argv[1]) != 0;
    failed |= jack_connect (probe.client, argv[2], jack_port_name (probe.midiIn)) != 0;
    for (int i = 3; i < argc; ++i)
        failed |= jack_connect (probe.client, argv[i], jack_port_name (probe.audioIns[(size_t) (i - 3)])) != 0;
    if (failed)
    {
        std::fprintf (stderr, "could not connect the ports\n");
        jack_client_close (probe.client);
        return 1;
    }

    probe.started.store (true);
    for (int i = 0; i < 100 && ! probe.finished.load(); ++i)
        std::this_thread::sleep_for (std::chrono::milliseconds (100));
    jack_deactivate (probe.client);
    jack_client_close (probe.client);
    if (! probe.finished.load())
    {
        std::fprintf (stderr, "the JACK server did not run the probe\n");
        return 1;
    }

    std::printf ("peak-before %f\npeak-during %f\nnotes-out %d\n", (double) probe.peakBefore,
                 (double) probe.peakDuring, probe.notesOut);
    if (probe.notesOut >= 2)
    {
        long long least = probe.noteFrames[1] - probe.noteFrames[0], most = least;
        for (size_t i = 2; i < (size_t) probe.notesOut; ++i)
        {
            least = std::min (least, probe.noteFrames[i] - probe.noteFrames[i - 1]);
            most = std::max (most, probe.noteFrames[i] - probe.noteFrames[i - 1]);
        }
        std::printf ("latency %lld\nperiod %u\nspread %lld\n", probe.noteFrames[0] - probe.chordFrame(),
                     probe.period, most - least);
    }
    std::printf ("xruns %d\n", probe.xruns.load() - probe.xrunsBeforeChord);
    return 0;
}
