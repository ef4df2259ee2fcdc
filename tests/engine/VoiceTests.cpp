#include "SynthEngine.h"
#include <gtest/gtest.h>

TEST (Engine, Builds)
{
    MidiOutCollector out;
    SynthEngine engine (44100.0f, out);
    double l = 0, r = 0;
    engine.renderSample (l, r);
    EXPECT_EQ (l, r);
}
