// The engine's sound, pinned to the bit: fixed programs and phrases, one checksum per render.
// Work on how fast the engine runs must never move one of these; a changed checksum means the
// sound changed, whatever the reason.

#include "IeeeArithmetic.h"
#include "SoundFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace
{
/** Something that happens at a sample position: a note, a pedal, a parameter or a bend. */
struct Event
{
    int at;
    std::function<void (sound::Synth&)> act;
};

/** FNV-1a over the bits of every sample, so a change in the last bit of one sample shows. */
uint64_t checksum (const std::vector<double>& samples)
{
    uint64_t h = 14695981039346656037ull;
    for (double x : samples)
    {
        uint64_t bits;
        std::memcpy (&bits, &x, sizeof bits);
        for (int i = 0; i < 8; ++i)
        {
            h ^= (bits >> (8 * i)) & 0xffu;
            h *= 1099511628211ull;
        }
    }
    return h;
}

/** The floating-point mode a host may leave on its audio thread, for a render: VRO_TEST_HOST_MXCSR
    gives the register's value in hex (9fc0: flush-to-zero and denormals-are-zero). */
struct HostFloatingPointMode
{
#if VRO_HAS_MXCSR
    HostFloatingPointMode() : saved (_mm_getcsr())
    {
        if (const char* text = std::getenv ("VRO_TEST_HOST_MXCSR"))
            _mm_setcsr ((unsigned int) std::strtoul (text, nullptr, 16));
    }
    ~HostFloatingPointMode() { _mm_setcsr (saved); }
    unsigned int saved;
#endif
};

std::vector<double> play (sound::Synth& synth, std::vector<Event> events, int totalSamples)
{
    std::stable_sort (events.begin(), events.end(), [] (const Event& a, const Event& b) { return a.at < b.at; });
    std::vector<double> out;
    out.reserve ((size_t) totalSamples);
    size_t next = 0;
    const HostFloatingPointMode host;
    constexpr int block = 512;
    for (int start = 0; start < totalSamples; start += block)
    {
        const ScopedIeeeArithmetic engineMode; // as processBlock sets it around every block
        for (int i = start; i < std::min (start + block, totalSamples); ++i)
        {
            while (next < events.size() && events[next].at == i)
                events[next++].act (synth);
            double left = 0.0, right = 0.0;
            synth.engine->renderSample (left, right);
            out.push_back (left);
            out.push_back (right);
        }
    }
    return out;
}

Event on (int at, int note, double velocity) { return { at, [=] (sound::Synth& s) { s.engine->noteOn (note, velocity); } }; }
Event off (int at, int note) { return { at, [=] (sound::Synth& s) { s.engine->noteOff (note); } }; }
Event param (int at, int index, double v) { return { at, [=] (sound::Synth& s) { s.set (index, v); } }; }

/** Sixteenth notes at 120 bpm, each held for 90 % of its step, chromatically up over 36..48. */
std::vector<Event> chromaticLine (double rate, int seconds)
{
    const int step = (int) (rate * 60.0 / 120.0 / 4.0);
    std::vector<Event> events;
    for (int i = 0; (i + 1) * step <= (int) rate * seconds; ++i)
    {
        const int note = 36 + i % 13;
        events.push_back (on (i * step, note, 100.0 / 127.0));
        events.push_back (off (i * step + step * 9 / 10, note));
    }
    return events;
}

/** Six-note chords on C, F, G and A minor, a new one every half note at 120 bpm. */
std::vector<Event> chords (int seconds)
{
    constexpr int roots[] = { 48, 53, 55, 57 };
    const int halfNote = 22050;
    std::vector<Event> events;
    for (int c = 0; c * halfNote < 44100 * seconds; ++c)
    {
        const int root = roots[c % 4];
        const int third = c % 4 == 3 ? 3 : 4;
        for (int offset : { 0, third, 7, 12, 12 + third, 19 })
        {
            events.push_back (on (c * halfNote, root + offset, 100.0 / 127.0));
            events.push_back (off ((c + 1) * halfNote - 1, root + offset));
        }
    }
    return events;
}

struct Render
{
    const char* name;
    float sampleRate;
    int seconds;
    std::function<std::vector<Event> (sound::Synth&)> setUp;
    uint64_t expected;
};

const Render kRenders[] = {
    { "mono line", 44100.0f, 3, [] (sound::Synth&) { return chromaticLine (44100.0, 3); }, 0x45e2a04878d43a21ull },
    { "poly chords", 44100.0f, 4,
      [] (sound::Synth& s)
      {
          s.set (Param::Poly, 1.0);
          return chords (4);
      },
      0xfed0b8e1c53adaedull },
    { "poly, LFO gate and velocity", 44100.0f, 3,
      [] (sound::Synth& s)
      {
          s.set (Param::Poly, 1.0);
          s.set (Param::AdsrMode, 0.0);
          s.set (Param::LfoRate, 0.7);
          s.set (Param::SubOscMode, 1.0);
          s.set (Param::VelocityVolume, 0.8);
          s.set (Param::VelocityVcfEnvelope, 0.5);
          s.set (Param::VcfCutoff, 0.4);
          s.set (Param::VcfEnvelope, 0.5);
          s.set (Param::Release, 0.4);
          std::vector<Event> events;
          for (int i = 0; i < 10; ++i)
          {
              events.push_back (on (i * 9000, 40 + 5 * i, (20.0 + 10.0 * i) / 127.0));
              events.push_back (off (i * 9000 + 30000, 40 + 5 * i));
          }
          return events;
      },
      0xfa5120541596f961ull },
    { "arpeggio", 44100.0f, 3,
      [] (sound::Synth& s)
      {
          s.set (Param::ArpEnabled, 1.0);
          s.set (Param::ArpMode, 0.5);
          s.set (Param::Pulse, 0.6);
          s.set (Param::VcfResonance, 0.5);
          s.set (Param::VcfCutoff, 0.5);
          s.set (Param::VcfEnvelope, 0.7);
          return std::vector<Event> { on (0, 48, 0.8), on (10, 52, 0.8), on (20, 55, 0.8), on (30, 59, 0.8),
                                      off (88200, 59), off (88200, 55), off (88200, 52), off (88200, 48) };
      },
      0x33febea3cf24cb81ull },
    { "sequence", 44100.0f, 3,
      [] (sound::Synth& s)
      {
          s.set (Param::SeqEnabled, 1.0);
          s.set (Param::SeqSteps, 16.0 / 96.0);
          s.set (Param::Swing, 0.3);
          s.set (Param::VcfCutoff, 0.6);
          s.set (Param::VcfEnvelope, 0.5);
          auto& steps = s.engine->getPattern().steps;
          for (int i = 0; i < 16; ++i)
          {
              steps[i].noteOffset = (i * 5) % 13 - 6;
              steps[i].velocity = 0.3 + 0.04 * i;
              steps[i].length = i % 3 == 0 ? 0.5 : 1.0;
              steps[i].slide = i % 4 == 1;
              steps[i].slideAdsr = i % 5 == 2;
              steps[i].pause = i % 7 == 6;
          }
          return std::vector<Event> { on (0, 45, 0.9), off (110250, 45) };
      },
      0x4aad1735d23e61a9ull },
    { "resonant sweep", 44100.0f, 3,
      [] (sound::Synth& s)
      {
          s.set (Param::VcfResonance, 1.0);
          s.set (Param::VcfEnvelope, 0.6);
          s.set (Param::VcfEnvelopeRange, 1.0);
          s.set (Param::VcfVolumeComp, 1.0);
          s.set (Param::VcfKeyboard, 0.5);
          s.set (Param::Pulse, 0.7);
          s.set (Param::VcoPwm, 0.6);
          s.set (Param::VcoPwmMode, 1.0);
          s.set (Param::Noise, 0.1);
          s.set (Param::FmSaw, 1.0);
          s.set (Param::FmIntensity, 0.3);
          s.set (Param::CtrFilter, 0.5);
          s.set (Param::CtrVco, 0.2);
          std::vector<Event> events { on (0, 41, 1.0), off (120000, 41) };
          for (int at = 0; at < 132300; at += 256)
              events.push_back (param (at, Param::VcfCutoff, at / 132300.0));
          events.push_back ({ 60000, [] (sound::Synth& x) { x.engine->getSettings().pitchBend = 0.6; } });
          events.push_back ({ 90000, [] (sound::Synth& x) { x.engine->getSettings().pitchBend = -1.0; } });
          return events;
      },
      0xc6a478e1b9a3e535ull },
    { "48 kHz glide, gate and pedal", 48000.0f, 3,
      [] (sound::Synth& s)
      {
          s.set (Param::PortamentoMode, 0.0);
          s.set (Param::PortamentoValue, 0.4);
          s.set (Param::VcoModulation, 0.3);
          s.set (Param::LfoWaveform, 1.0 / 3.0);
          s.set (Param::VcaMode, 1.0);
          s.set (Param::DeClickAdsr, 1.0);
          s.set (Param::WhiteNoise, 1.0);
          s.set (Param::Noise, 0.05);
          s.set (Param::NoiseFloor, 1.0);
          s.set (Param::SubOscMode, 0.5);
          s.set (Param::Release, 0.5);
          auto events = chromaticLine (48000.0, 2);
          events.push_back (param (30000, Param::PortamentoLinear, 1.0));
          events.push_back ({ 50000, [] (sound::Synth& x) { x.engine->setSustain (true); } });
          events.push_back ({ 80000, [] (sound::Synth& x) { x.engine->setSustain (false); } });
          events.push_back (param (96000, Param::VcaMode, 0.0));
          events.push_back (param (96000, Param::Attack, 0.2));
          events.push_back (param (96000, Param::Sustain, 0.5));
          events.push_back (on (96000, 60, 0.7));
          events.push_back (on (100000, 67, 0.7));
          events.push_back (off (120000, 67));
          events.push_back (off (125000, 60));
          return events;
      },
      0x3ff25855813a469dull },
    // Host values (floats) at which C libraries' pow disagree in the last bit, one per conversion:
    // volume, resonance, filter envelope, filter modulation, LFO rate and vibrato depth.
    { "held note, conversions C libraries round apart", 44100.0f, 2,
      [] (sound::Synth& s)
      {
          s.set (Param::Volume, (double) 0.4076f);
          s.set (Param::VcfResonance, (double) 0.823f);
          s.set (Param::VcfCutoff, (double) 0.4509f);
          s.set (Param::VcfEnvelope, (double) 0.5826f);
          s.set (Param::VcfModulation, (double) 0.6571f);
          s.set (Param::LfoRate, (double) 0.0544f);
          s.set (Param::VcoModulation, (double) 0.5214f);
          s.set (Param::Pulse, 0.5);
          return std::vector<Event> { on (0, 45, 0.8), off (66150, 45) };
      },
      0xad4f6a667ba442d1ull },
};
} // namespace

TEST (PinnedSound, BaselineAndWideInstructionsGiveTheSameSamples)
{
    if (! FilterCore::usesWideInstructions())
        GTEST_SKIP() << "this processor runs the baseline only";
    for (const auto& r : kRenders)
    {
        std::vector<double> renders[2];
        for (int wide = 0; wide < 2; ++wide)
        {
            FilterCore::useWideInstructions (wide == 1);
            sound::Synth synth (r.sampleRate);
            auto events = r.setUp (synth);
            renders[wide] = play (synth, std::move (events), (int) r.sampleRate * r.seconds);
        }
        FilterCore::useWideInstructions (true);
        const auto mismatch = std::mismatch (renders[0].begin(), renders[0].end(), renders[1].begin(),
                                             [] (double a, double b) { return std::memcmp (&a, &b, sizeof a) == 0; });
        EXPECT_TRUE (mismatch.first == renders[0].end())
            << r.name << ": first differs at " << (mismatch.first - renders[0].begin()) / 2;
    }
}

TEST (PinnedSound, EveryRenderKeepsItsBits)
{
    for (const auto& r : kRenders)
    {
        sound::Synth synth (r.sampleRate);
        auto events = r.setUp (synth);
        const auto samples = play (synth, std::move (events), (int) r.sampleRate * r.seconds);
        char text[32];
        std::snprintf (text, sizeof text, "0x%016llxull", (unsigned long long) checksum (samples));
        EXPECT_EQ (checksum (samples), r.expected) << r.name << ": " << text;
        EXPECT_GT (sound::rms (samples), 1e-3) << r.name; // a pinned silence would pin nothing
    }
}

TEST (PinnedSound, ParametersSetInAHostsFloatingPointModeGiveTheSameBits)
{
#if VRO_HAS_MXCSR
    // Hosts set parameters from their own threads, in whatever mode those run: here rounding up,
    // flush-to-zero and denormals-are-zero. Values where the conversions round apart most easily.
    constexpr unsigned int hostBits = 0x4000u | ScopedIeeeArithmetic::kFlushToZero | ScopedIeeeArithmetic::kDenormalsAreZero;
    constexpr std::pair<int, float> values[] = {
        { Param::Volume, 0.4076f }, { Param::VcfResonance, 0.823f }, { Param::VcfCutoff, 0.4509f },
        { Param::VcfEnvelope, 0.5826f }, { Param::VcfModulation, 0.6571f }, { Param::LfoRate, 0.0544f },
        { Param::VcoModulation, 0.15f }, { Param::Attack, 0.13f }, { Param::Decay, 0.37f }, { Param::Sustain, 0.6f },
        { Param::Release, 0.29f }, { Param::VcoPwm, 0.21f }, { Param::Pulse, 0.5f }, { Param::ArpEnabled, 1.0f },
        { Param::SeqSync, 0.0f }, { Param::SeqTempo, 0.63f },
    };
    uint64_t sums[2] = {};
    for (int host = 0; host < 2; ++host)
    {
        sound::Synth synth;
        const unsigned int saved = _mm_getcsr();
        _mm_setcsr (saved | (host == 1 ? hostBits : 0u));
        for (auto [index, value] : values)
            synth.set (index, (double) value);
        _mm_setcsr (saved);
        sums[host] = checksum (play (synth, { on (0, 45, 0.8), on (10, 52, 0.8), off (30000, 45), off (30000, 52) }, 44100));
    }
    EXPECT_EQ (sums[1], sums[0]);
#else
    GTEST_SKIP() << "no floating-point mode register to set on this processor";
#endif
}
