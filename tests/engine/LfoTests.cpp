#include "Lfo.h"
#include "../CommaLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{
constexpr double kRate = 44100.0;

struct LfoRig
{
    explicit LfoRig (double rateValue = 0.5, double sync = 0.0, double bpm = 120.0)
    {
        settings.params[Param::LfoRate] = rateValue;
        settings.params[Param::LfoSync] = sync;
        settings.tempoBpm = bpm;
        lfo.updateRate();
    }

    /** Wraps counted over n samples. */
    int countWraps (int n)
    {
        int wraps = 0;
        for (int i = 0; i < n; ++i)
        {
            lfo.tick();
            wraps += settings.lfoWrapped ? 1 : 0;
        }
        return wraps;
    }

    EngineSettings settings { kRate };
    Lfo lfo { kRate, settings };
};
} // namespace

TEST (Lfo, FreeRateRunsFromTwoHundredthsToThirtyHertz)
{
    struct Case { double value; double hz; const char* text; };
    for (auto c : { Case { 0.0, 0.02, "0.02" }, Case { 1.0, 30.0, "30.00" }, Case { 0.5, (std::sqrt (30.0) - 1.0) * 29.98 / 29.0 + 0.02, "4.65" } })
    {
        LfoRig rig (c.value);
        EXPECT_NEAR (rig.lfo.rateHz, c.hz, 1e-9) << c.value;
        EXPECT_EQ (rig.lfo.getRateText(), c.text);
    }

    LfoRig runaway (200.0); // 30^200 Hz: the text stays short
    EXPECT_EQ (runaway.lfo.getRateText(), "2.75e+295");

    LfoRig thirty (1.0);
    EXPECT_NEAR (thirty.countWraps ((int) kRate * 2), 60, 1); // measured, not just computed
}

TEST (Lfo, SyncedRatesFollowTheTempoInNoteValues)
{
    struct Case { int position; double hz; const char* text; };
    const Case cases[] = {
        { 29, 8.0, "1/16" }, { 23, 2.0, "1/4" }, { 17, 0.5, "1/1" }, { 0, 0.03125, "16/1" }, { 31, 12.0, "1/16." },
        { 30, 8.0 * 1.3333333333, "1/16T" }, { 14, 0.25, "2/1" }, { 1, 8.0 / 16.0 / 15.0, "15/1" }, { 13, 8.0 / 48.0, "3/1" },
    };
    for (const auto& c : cases)
    {
        LfoRig rig (c.position / 31.0, 1.0);
        EXPECT_NEAR (rig.lfo.rateHz, c.hz, c.hz * 1e-12) << c.text;
        EXPECT_EQ (rig.lfo.getRateText(), c.text);
    }

    LfoRig eighths (29.0 / 31.0, 1.0, 90.0);
    EXPECT_NEAR (eighths.lfo.rateHz, 6.0, 1e-12);
    EXPECT_NEAR (eighths.countWraps ((int) kRate * 2), 12, 1);

    // A reading beyond the table keeps the last rate and text.
    eighths.settings.params[Param::LfoRate] = 1.2;
    eighths.lfo.updateRate();
    EXPECT_NEAR (eighths.lfo.rateHz, 6.0, 1e-12);
    EXPECT_EQ (eighths.lfo.getRateText(), "1/16");
}

TEST (Lfo, InversionFlipsOnlyTheModulationOutput)
{
    for (double waveform : { 0.0, 1.0 / 3.0, 1.0 })
    {
        LfoRig plain (0.8), inverted (0.8);
        plain.lfo.setWaveform (waveform);
        inverted.lfo.setWaveform (waveform);
        inverted.lfo.setInvert (0.5);
        for (int i = 0; i < 5000; ++i)
        {
            plain.lfo.tick();
            inverted.lfo.tick();
            ASSERT_EQ (inverted.settings.lfoOut, -plain.settings.lfoOut);
            ASSERT_EQ (inverted.settings.lfoTriangle, plain.settings.lfoTriangle);
            ASSERT_EQ (inverted.settings.lfoSine, plain.settings.lfoSine);
        }
    }
    LfoRig rig;
    rig.lfo.setInvert (0.49);
    EXPECT_EQ (rig.lfo.invert, 1.0f);
}

TEST (Lfo, WaveformsHaveTheirShapes)
{
    LfoRig rig (1.0); // 30 Hz: 1470 samples per cycle
    double sineError = 0.0, triangleError = 0.0, squareMin = 1.0, squareMax = -1.0;
    double phase = 0.0;
    rig.lfo.setWaveform (1.0 / 3.0);
    for (int i = 0; i < 1400; ++i)
    {
        rig.lfo.tick();
        const double cycles = phase / 255.0;
        sineError = std::max (sineError, std::abs (rig.settings.lfoSine - std::sin (2.0 * M_PI * cycles * 255.0 / 256.0)));
        const double x = cycles * 255.0 / 256.0; // table position as a fraction of 256
        const double triangle = x < 0.25 ? 4.0 * x : x < 0.75 ? 2.0 - 4.0 * x : 4.0 * x - 4.0;
        triangleError = std::max (triangleError, std::abs (rig.settings.lfoTriangle - triangle));
        squareMin = std::min (squareMin, rig.settings.lfoOut);
        squareMax = std::max (squareMax, rig.settings.lfoOut);
        phase += rig.lfo.table.increment;
    }
    EXPECT_LT (sineError, 1e-4);
    EXPECT_LT (triangleError, 1e-9);
    EXPECT_EQ (squareMin, -1.0);
    EXPECT_EQ (squareMax, 1.0);
}

TEST (Lfo, SampleAndHoldChangesOnlyOnWrapsAndRestarts)
{
    LfoRig rig (1.0);
    rig.lfo.setWaveform (2.0 / 3.0);
    double held = rig.settings.lfoOut;
    int changes = 0, wraps = 0;
    for (int i = 0; i < (int) kRate; ++i)
    {
        rig.lfo.tick();
        if (rig.settings.lfoWrapped)
        {
            ++wraps;
            changes += rig.settings.lfoOut != held ? 1 : 0;
        }
        else
            ASSERT_EQ (rig.settings.lfoOut, held) << "sample " << i;
        held = rig.settings.lfoOut;
        ASSERT_LE (std::abs (held), 1.0);
    }
    EXPECT_NEAR (wraps, 30, 1);
    EXPECT_EQ (changes, wraps);

    rig.lfo.restart();
    EXPECT_EQ (rig.lfo.table.phase, 0.0);
    EXPECT_NE (rig.lfo.table.holdValue, held);
}

TEST (Lfo, PhaseStaysInsideTheTablesForAnyRate)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (double rateValue : { -50.0, -1.0, 2.0, 3.0, 5.0, 400.0, inf, std::numeric_limits<double>::quiet_NaN() })
    {
        for (double sync : { 0.0, 1.0 })
        {
            LfoRig rig (rateValue, sync, 1.0e300);
            for (double waveform : { 0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0 })
            {
                rig.lfo.setWaveform (waveform);
                for (int i = 0; i < 3000; ++i)
                {
                    rig.lfo.tick();
                    ASSERT_GE (rig.lfo.table.index, 0) << rateValue;
                    ASSERT_LE (rig.lfo.table.index, 255) << rateValue;
                    ASSERT_TRUE (std::isfinite (rig.settings.lfoOut) && std::abs (rig.settings.lfoOut) <= 1.7) << rateValue;
                    ASSERT_LE (std::abs (rig.settings.lfoSine), 1.0) << rateValue;
                }
            }
        }
    }
}

TEST (Lfo, RateTextsAreWrittenByTheReaderTheSameInEveryLocale)
{
    // The audio thread only stores the rate; the text is made when shown, with a point in every
    // locale (hosts set theirs, and a comma read "4,65").
    const char* chosen = test::useCommaLocale();
    ASSERT_NE (chosen, nullptr) << "no locale with a decimal comma installed: run scripts/install-deps.sh";
    LfoRig rig (0.5);
    const auto text = rig.lfo.getRateText();
    std::setlocale (LC_NUMERIC, "C");
    EXPECT_EQ (text, "4.65");
    EXPECT_EQ (RateReadout().text(), "-");
}
