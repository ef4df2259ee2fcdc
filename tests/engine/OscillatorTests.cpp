#include "Oscillator.h"
#include "SoundFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
constexpr double kRate = 44100.0;

/** One oscillator section on its own settings record, all levels off, no noise floor. */
struct Section
{
    Section()
    {
        osc.setSampleRate (kRate);
        OscillatorSection::setSubOscMode (settings, 0.0);
        settings.params[Param::FineTune] = 0.5;
    }

    void level (int index, double v) { settings.params[index] = v; }

    std::vector<double> render (int n, double pitch, double envelope = 0.0)
    {
        std::vector<double> out ((size_t) n);
        for (auto& x : out)
        {
            x = 0.0;
            osc.render (x, pitch, envelope);
        }
        return out;
    }

    EngineSettings settings { kRate };
    OscillatorSection osc { settings };
};

/** Share of the power below maxHz lying more than `guardBins` from every harmonic of f0 (and DC). */
double inharmonicShare (const std::vector<double>& x, double f0, double maxHz)
{
    constexpr size_t n = 16384, from = 2048;
    constexpr int guardBins = 8;
    const auto power = sound::powerSpectrum (x, from, n);
    const double binHz = kRate / (double) n;
    double total = 0.0, alias = 0.0;
    for (size_t i = (size_t) guardBins; i < power.size() && (double) i * binHz < maxHz; ++i)
    {
        const double hz = (double) i * binHz;
        const double nearestHarmonic = std::round (hz / f0) * f0;
        total += power[i];
        if (std::abs (hz - nearestHarmonic) > guardBins * binHz)
            alias += power[i];
    }
    return alias / total;
}
} // namespace

TEST (Oscillator, StepTableHasTheReferenceShape)
{
    struct Row { int index; double value; };
    const Row rows[] = {
        { 0, 0.0 }, { 128, -1.0931489669019356e-4 }, { 256, 9.409189224243164e-4 }, { 512, 7.178186904639006e-3 },
        { 768, 7.072687149047852e-4 }, { 896, -0.18324950337409973 }, { 1024, 0.4591718018054962 },
        { 1028, 0.49300768971443176 }, { 1029, 0.5014476180076599 }, { 1152, 1.0867079496383667 },
        { 1280, 0.9620236754417419 }, { 1536, 0.9917411208152771 }, { 1792, 0.9989817142486572 },
        { 1920, 1.0001169443130493 },
    };
    const double* table = blepTable();
    for (const auto& row : rows)
        EXPECT_NEAR (table[row.index], row.value, 8.0e-7) << "index " << row.index;

    int minimumAt = 0, peakAt = 0;
    for (int i = 0; i < kBlepTableLength; ++i)
    {
        minimumAt = table[i] < table[minimumAt] ? i : minimumAt;
        peakAt = table[i] > table[peakAt] ? i : peakAt;
        EXPECT_EQ (table[i], (double) (float) table[i]) << "single precision at " << i;
    }
    EXPECT_EQ (minimumAt, 896);
    EXPECT_EQ (peakAt, 1152);
    EXPECT_LT (table[1028], 0.5);
    EXPECT_GT (table[1029], 0.5);
    for (int i = 2040; i < kBlepTableLength; ++i)
        EXPECT_EQ (table[i], 1.0) << i;
}

TEST (Oscillator, HighSawtoothAliasesFarLessThanANaiveOne)
{
    Section s;
    s.level (Param::Saw, 1.0);
    const auto bandLimited = s.render (20000, 100.0); // about 2.64 kHz
    const double f0 = s.osc.frequency;

    std::vector<double> naive (bandLimited.size());
    double phase = 0.0;
    for (auto& x : naive)
    {
        phase += f0 / kRate;
        if (phase >= 1.0)
            phase -= 1.0;
        x = phase - 0.5;
    }

    // Aliases that fold back into the band where the ear is most sensitive; the short step lets the
    // first harmonics above Nyquist fold to just below it, where they are hard to hear.
    constexpr double audibleHz = 15000.0;
    const double naiveShare = inharmonicShare (naive, f0, audibleHz);
    const double blepShare = inharmonicShare (bandLimited, f0, audibleHz);
    EXPECT_GT (naiveShare, 1.0e-3); // the measurement does see the naive aliasing
    EXPECT_LT (blepShare, naiveShare / 300.0) << "naive " << naiveShare << ", band-limited " << blepShare;
}

TEST (Oscillator, SubOscillatorRunsOneOrTwoOctavesDown)
{
    struct Case { double modeValue; double expectedHz; };
    for (auto c : { Case { 0.0, 110.0 }, Case { 0.5, 110.0 }, Case { 1.0, 220.0 } })
    {
        Section s;
        s.level (Param::SubOsc, 1.0);
        OscillatorSection::setSubOscMode (s.settings, c.modeValue);
        const auto x = s.render (40000, 69.0);
        EXPECT_NEAR (sound::dominantHz (x, 4096, 32768, kRate), c.expectedHz, 0.5) << "mode value " << c.modeValue;
    }
}

TEST (Oscillator, PulseWidthFollowsTheModulationModes)
{
    // The low part of the pulse lasts `width` of the cycle (squeezed by 0.992).
    struct Case { double pwm; double mode; double envelope; double triangle; double width; };
    const Case cases[] = {
        { 0.0, 0.5, 0.0, 0.0, 0.5 },                // no PWM in any mode
        { 0.0, 1.0, 1.0, 1.0, 0.5 },
        { 1.0, 0.5, 0.0, 0.0, 0.47 + 0.5005 },      // manual
        { 0.5, 0.5, 0.0, 0.0, 0.235 + 0.5005 },
        { 1.0, 0.0, 0.5, 0.0, 0.245 + 0.5005 },     // envelope
        { 1.0, 0.0, 0.0, 0.0, 0.5005 },
        { 1.0, 1.0, 0.0, -0.5, 0.1225 + 0.5005 },   // LFO triangle, whatever the envelope
        { 1.0, 1.0, 0.9, 1.0, 0.49 + 0.5005 },
        { 1.0, 2.0, 0.0, 0.0, 0.5 },                // a mode beyond the switch
    };
    for (const auto& c : cases)
    {
        Section s;
        s.level (Param::Pulse, 1.0);
        s.level (Param::VcoPwm, c.pwm);
        s.level (Param::VcoPwmMode, c.mode);
        s.settings.lfoTriangle = c.triangle;
        const auto x = s.render (44100, 33.0, c.envelope); // 55 Hz: the edge squeeze is 0.25 %
        int low = 0;
        for (size_t i = 1000; i < x.size(); ++i)
            low += x[i] < 0.0 ? 1 : 0;
        EXPECT_NEAR ((double) low / (double) (x.size() - 1000), c.width * 0.992, 3.0e-3)
            << "pwm " << c.pwm << " mode " << c.mode;
    }
}

TEST (Oscillator, PitchBendRangeIsWholeSemitonesUpToAnOctave)
{
    struct Case { double ctrVco; double bend; double semitones; };
    for (auto c : { Case { 1.0, 1.0, 12.0 }, Case { 1.0, -1.0, -12.0 }, Case { 0.5, 1.0, 6.0 },
                    Case { 0.04, 1.0, 0.0 }, Case { 0.1, -0.5, -0.5 } })
    {
        Section s;
        s.level (Param::CtrVco, c.ctrVco);
        s.settings.pitchBend = c.bend;
        s.render (1, 60.0);
        const double expectedHz = 440.0 * std::pow (2.0, (60.0 + c.semitones - 69.0) / 12.0);
        EXPECT_NEAR (s.osc.frequency / expectedHz, 1.0, 2.0e-4) << "ctr vco " << c.ctrVco << " bend " << c.bend;
    }
}

TEST (Oscillator, FrequencyStaysFinitePositiveAndBelowNyquist)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (double pitch : { -1.0e6, -3000.0, -1.0, 0.0, 140.0, 1.0e6, inf, -inf, std::numeric_limits<double>::quiet_NaN() })
    {
        Section s;
        s.level (Param::Saw, 1.0);
        s.level (Param::Pulse, 1.0);
        s.level (Param::SubOsc, 1.0);
        const auto x = s.render (2000, pitch);
        EXPECT_TRUE (std::isfinite (s.osc.frequency) && s.osc.frequency > 0.0) << pitch;
        EXPECT_LE (s.osc.frequency, kRate * 0.5) << pitch;
        for (double v : x)
            ASSERT_TRUE (std::isfinite (v)) << pitch;
    }

    Section high;
    high.render (1, 140.0);
    EXPECT_EQ (high.osc.frequency, kRate * 0.5);
}

TEST (Oscillator, NoiseFloorIsAlwaysPresent)
{
    struct Case { double noiseFloor; double white; double ceiling; double floorRms; };
    for (auto c : { Case { 0.0, 0.0, 2.0e-9, 1.0e-11 }, Case { 0.0, 1.0, 2.0e-9, 5.0e-10 }, Case { 1.0, 1.0, 0.01, 2.5e-3 } })
    {
        Section s;
        s.level (Param::NoiseFloor, c.noiseFloor);
        s.level (Param::WhiteNoise, c.white);
        const auto x = s.render (20000, 60.0);
        double peak = 0.0;
        for (double v : x)
            peak = std::max (peak, std::abs (v));
        EXPECT_LE (peak, c.ceiling) << "floor " << c.noiseFloor << " white " << c.white;
        EXPECT_GT (sound::rms (x), c.floorRms) << "floor " << c.noiseFloor << " white " << c.white;
    }
}

TEST (Oscillator, VcoModulationDepthCurveAndSnap)
{
    EngineSettings s (kRate);
    auto depth = [&s] (double v, double snap)
    {
        s.params[Param::VcoModulation] = v;
        s.params[Param::VcoModSnap] = snap;
        OscillatorSection::setVcoModulation (s);
        return s.vcoModDepth;
    };
    EXPECT_EQ (depth (0.0, 0.0), 0.0);
    EXPECT_DOUBLE_EQ (depth (1.0, 0.0), 24.0);
    EXPECT_DOUBLE_EQ (depth (0.5, 0.0), (std::sqrt (2.0) - 1.0) * 24.0);

    double previous = -1.0;
    for (double v = 0.0; v <= 1.0; v += 0.01)
    {
        const double free = depth (v, 0.0);
        EXPECT_GE (free, previous) << "rises with the setting, at " << v;
        previous = free;
        const double snapped = depth (v, 1.0);
        EXPECT_EQ (snapped, std::round (snapped)) << v;
        EXPECT_NEAR (snapped, free, 0.5) << v;
    }
}

TEST (Oscillator, SwitchSettersReadTheirPositions)
{
    EngineSettings s (kRate);
    struct Case { double v; double range; double transpose; };
    for (auto c : { Case { 0.0, -24.0, -12.0 }, Case { 0.3, -12.0, 0.0 }, Case { 0.74, 0.0, 0.0 }, Case { 0.75, 0.0, 12.0 },
                    Case { 1.0, 12.0, 12.0 } })
    {
        OscillatorSection::setRange (s, c.v);
        OscillatorSection::setTranspose (s, c.v);
        EXPECT_EQ (s.rangeSemis, c.range) << c.v;
        EXPECT_EQ (s.transposeSemis, c.transpose) << c.v;
    }
    // Out-of-range readings leave the last position.
    OscillatorSection::setRange (s, 5.0);
    OscillatorSection::setTranspose (s, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ (s.rangeSemis, 12.0);
    EXPECT_EQ (s.transposeSemis, 12.0);

    for (auto [v, mode, width] : { std::tuple { 0.0, 0, 0.25 }, std::tuple { 0.5, 1, 0.5 }, std::tuple { 1.0, 2, 0.5 } })
    {
        OscillatorSection::setSubOscMode (s, v);
        EXPECT_EQ (s.subOscMode, mode);
        EXPECT_EQ (s.subOscPulseWidth, width);
    }
}
