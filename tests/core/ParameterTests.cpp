// The parameter table and the setter as hosts and the editor use them.
#include "TestSupport.h"

#include <set>

using namespace Param;

namespace
{
struct Processor : testing::Test
{
    VroCore core;
    EngineSettings& s = core.getEngine().getSettings();
};

TEST_F (Processor, NamesAndTexts)
{
    EXPECT_EQ (core.getNumParameters(), 66);
    EXPECT_EQ (core.getParameterName (0), "");
    EXPECT_EQ (core.getParameterName (58), "");
    EXPECT_EQ (core.getParameterName (1), "Volume");
    EXPECT_EQ (core.getParameterName (51), "ARP / SEQ Sync Mode");
    EXPECT_EQ (core.getParameterName (65), "FM Intensity");
    EXPECT_EQ (core.getParameterName (66), "");
    EXPECT_EQ (core.getParameterName (-1), "");

    const struct { float value; const char* text; } texts[] = {
        { 0.125f, "0.13" }, { 0.5f, "0.50" }, { 1.0f, "1.00" }, { 0.0f, "0.00" }, { 0.375f, "0.38" }, { -0.0f, "0.00" },
    };
    for (const auto& t : texts)
    {
        core.setParameter (26, t.value);
        EXPECT_EQ (core.getParameterText (26), t.text) << t.value;
    }
    EXPECT_EQ (core.getParameterText (66), "");
    EXPECT_EQ (core.getParameter (66), 0.0f);
    EXPECT_EQ (core.getProgramName (3), "default");
    EXPECT_EQ (core.getNumPrograms(), 1);

    for (int i = 0; i < 66; ++i)
        EXPECT_EQ (core.isMetaParameter (i), i == 49 || i == 52 || (i >= 61 && i <= 64)) << i;
}

TEST_F (Processor, HostsSeeDefaultsAutomationAndTheTextOfAnyValue)
{
    // What the format wrappers read from the parameter objects: a "reset to default" gives the
    // start-up value, the eight switches and actions of the session (no program stores them) are
    // no automation lanes, and a lane or tooltip shows the text of the value it asks about.
    const auto& params = core.getParameters();
    ASSERT_EQ (params.size(), 66);
    const std::set<int> session { 0, MidiLearnActivated, MidiLearnDelete, Panic, SeqLock, SeqRecord, SeqReset, 58 };
    for (int i = 0; i < 66; ++i)
    {
        const auto& p = *params[i];
        EXPECT_EQ (p.getDefaultValue(), parameterTable[i].startValue) << i;
        EXPECT_EQ (p.isAutomatable(), session.count (i) == 0) << i;
        EXPECT_EQ (p.getName (64), core.getParameterName (i)) << i;
        EXPECT_EQ (p.isMetaParameter(), core.isMetaParameter (i)) << i;
    }
    EXPECT_EQ (params[Volume]->getDefaultValue(), 0.5f);

    core.setParameter (VcfCutoff, 0.25f);
    auto& cutoff = *params[VcfCutoff];
    const struct { float value; const char* text; } texts[] = { { 0.9f, "0.90" }, { 0.125f, "0.13" }, { 1.0f, "1.00" }, { 0.0f, "0.00" } };
    for (const auto& t : texts)
        EXPECT_EQ (cutoff.getText (t.value, 32), t.text) << t.value;
    EXPECT_EQ (cutoff.getCurrentValueAsText(), "0.25");
    EXPECT_EQ (cutoff.getText (0.9f, 2), "0.");

    // A typed text goes the way a host's value goes: held to the range; no number, no change.
    const struct { const char* text; float value; } typed[] = { { "0.4", 0.4f }, { "3", 1.0f }, { "-1", 0.0f }, { "loud", 0.25f }, { "", 0.25f } };
    for (const auto& t : typed)
        EXPECT_EQ (cutoff.getValueForText (t.text), t.value) << t.text;

    // Set through its object, a value takes the processor's own path.
    params[SeqEnabled]->setValue (1.0f);
    params[ArpEnabled]->setValue (1.0f);
    EXPECT_EQ (core.getParameter (SeqEnabled), 0.0f);
    params[Volume]->setValue (1.5f);
    EXPECT_EQ (params[Volume]->getValue(), 1.0f);
    EXPECT_DOUBLE_EQ (s.params[Volume], 19.0 * 7.2);
}

TEST_F (Processor, StartValues)
{
    EXPECT_EQ (core.getProgram().getProgramName(), "Startup");
    EXPECT_EQ (core.getProgram().getNames().category, "category 1");
    EXPECT_FLOAT_EQ (core.getParameter (Volume), 0.5f);
    EXPECT_FLOAT_EQ (core.getParameter (SeqSteps), 0.16666667f);
    EXPECT_EQ (core.getPattern().numberOfSteps, 16);
    EXPECT_EQ (s.transposeSemis, 0.0);
    EXPECT_EQ (s.rangeSemis, -12.0);
    EXPECT_EQ (core.getParameter (MidiLearnActivated), 0.0f);
    EXPECT_EQ (core.getLastChangedParameter(), 0);
}

TEST_F (Processor, ConversionsIntoEngineSettings)
{
    const struct { int index; float value; std::function<double()> read; double expected; } cases[] = {
        { Volume, 1.0f, [&] { return s.params[Volume]; }, 19.0 * 7.2 },
        { Volume, 0.0f, [&] { return s.params[Volume]; }, 0.0 },
        { VcoPwm, 0.2f, [&] { return s.params[VcoPwm]; }, 4.0 * (double) 0.2f * (double) 0.2f },
        { VcoPwm, 0.25f, [&] { return s.params[VcoPwm]; }, 0.25 },
        { Transpose, 0.74f, [&] { return s.transposeSemis; }, 0.0 },
        { Transpose, 0.75f, [&] { return s.transposeSemis; }, 12.0 },
        { Transpose, 0.0f, [&] { return s.transposeSemis; }, -12.0 },
        { VcoRange, 1.0f, [&] { return s.rangeSemis; }, 12.0 },
        { VcoRange, 0.0f, [&] { return s.rangeSemis; }, -24.0 },
        { VcfResonance, 1.0f, [&] { return s.resonance; }, 1.0 },
        { VcfResonance, 0.5f, [&] { return s.resonance; }, std::pow (2.0, 0.5) - 1.0 },
        { VcfModulation, 1.0f, [&] { return s.params[VcfModulation]; }, 0.5 },
        { Attack, 0.5f, [&] { return s.attack; }, 0.05 + 0.9 * 0.125 },
        { Decay, 1.0f, [&] { return s.decay; }, 1.0 },
        { Sustain, 0.3f, [&] { return s.sustain; }, (double) 0.3f },
        { Release, 0.5f, [&] { return s.release; }, 0.9 * 0.25 + 0.1 * 0.125 },
        { Release, 0.5f, [&] { return s.params[Release]; }, 0.5 },
        { VcfVolumeComp, 0.5f, [&] { return (double) s.volumeCompensation; }, 0.0 },
        { VcfVolumeComp, 0.51f, [&] { return (double) s.volumeCompensation; }, 1.0 },
        { SubOscMode, 0.5f, [&] { return (double) s.subOscMode; }, 1.0 },
        { SubOscMode, 0.0f, [&] { return s.subOscPulseWidth; }, 0.25 },
        { SeqSteps, 0.0f, [&] { return (double) core.getPattern().numberOfSteps; }, 1.0 },
        { SeqSteps, 1.0f, [&] { return (double) core.getPattern().numberOfSteps; }, 96.0 },
        { Poly, 1.0f, [&] { return (double) core.getEngine().getVoices().getVoiceCount(); }, 6.0 },
        { Poly, 0.0f, [&] { return (double) core.getEngine().getVoices().getVoiceCount(); }, 1.0 },
        { LfoInverted, 0.5f, [&] { return (double) core.getEngine().getLfo().invert; }, -1.0 },
        { LfoInverted, 0.49f, [&] { return (double) core.getEngine().getLfo().invert; }, 1.0 },
    };
    for (const auto& c : cases)
    {
        core.setParameter (c.index, c.value);
        EXPECT_DOUBLE_EQ (c.read(), c.expected) << core.getParameterName (c.index) << " = " << c.value;
        EXPECT_EQ (core.getParameter (c.index), c.value);
    }
}

TEST_F (Processor, FilterEnvelopeAmountFollowsTheRangeSwitch)
{
    core.setParameter (VcfEnvelope, 1.0f);
    EXPECT_DOUBLE_EQ (s.filterEnvAmount, 0.63);
    core.setParameter (VcfEnvelopeRange, 1.0f);
    EXPECT_DOUBLE_EQ (s.filterEnvAmount, 1.0);
    core.setParameter (VcfEnvelopeRange, 0.0f);
    EXPECT_DOUBLE_EQ (s.filterEnvAmount, 0.63);
}

TEST_F (Processor, ExclusiveGroupsClearTheOthersFirst)
{
    core.setParameter (SeqEnabled, 1.0f);
    core.setParameter (ArpEnabled, 1.0f);
    EXPECT_EQ (core.getParameter (SeqEnabled), 0.0f);
    EXPECT_EQ (s.params[SeqEnabled], 0.0);
    EXPECT_EQ (core.getParameter (ArpEnabled), 1.0f);
    EXPECT_EQ (core.getLastChangedParameter(), ArpEnabled);

    core.setParameter (FmPulse, 0.4f);
    core.setParameter (FmNoise, 0.2f);
    core.setParameter (FmSaw, 0.3f);
    for (int i : { FmPulse, FmSubOsc, FmNoise })
        EXPECT_EQ (core.getParameter (i), 0.0f) << i;
    EXPECT_EQ (core.getParameter (FmSaw), 0.3f);

    core.setParameter (FmNoise, 0.0f); // zero clears nothing
    EXPECT_EQ (core.getParameter (FmSaw), 0.3f);
    EXPECT_EQ (core.getLastChangedParameter(), FmNoise);
}

TEST_F (Processor, IgnoresBadIndicesAndNonFiniteValues)
{
    float before[66];
    for (int i = 0; i < 66; ++i)
        before[i] = core.getParameter (i);
    const double volumeSlot = s.params[Volume];

    core.setParameter (66, 0.3f);
    core.setParameter (-1, 0.3f);
    core.setParameter (Volume, std::numeric_limits<float>::quiet_NaN());
    core.setParameter (VcfResonance, std::numeric_limits<float>::infinity());
    core.setParameter (VcfCutoff, -std::numeric_limits<float>::infinity());

    for (int i = 0; i < 66; ++i)
        EXPECT_EQ (core.getParameter (i), before[i]) << i;
    EXPECT_EQ (s.params[Volume], volumeSlot);
    EXPECT_TRUE (std::isfinite (s.resonance));
}

TEST_F (Processor, ValuesOutsideTheRangeAreHeldToIt)
{
    // Through 20^v a host's 1.5 for "Volume" would be a gain of 637, and 1e30 an infinite one.
    const struct { int index; float sent, stored; } cases[] = {
        { Volume, 1.5f, 1.0f }, { Volume, 1.0e30f, 1.0f }, { Volume, -0.5f, 0.0f },
        { VcfModulation, 100.0f, 1.0f }, { SeqSteps, 1.5f, 1.0f }, { Transpose, -3.0f, 0.0f },
        { VcfCutoff, std::numeric_limits<float>::max(), 1.0f }, { VcfCutoff, 1.0e-30f, 1.0e-30f },
    };
    for (const auto& c : cases)
    {
        core.setParameter (c.index, c.sent);
        EXPECT_EQ (core.getParameter (c.index), c.stored) << c.index << " = " << c.sent;
    }
    core.setParameter (Volume, 1.5f);
    EXPECT_DOUBLE_EQ (s.params[Volume], 19.0 * 7.2);
    core.setParameter (SeqSteps, 1.5f);
    EXPECT_EQ (core.getPattern().numberOfSteps, 96);

    // A learned controller and the notifier's delivery end in the same setter.
    core.getNotifier().enqueue (VcfResonance, 7.0f);
    core.getBridge().deliver();
    EXPECT_EQ (core.getParameter (VcfResonance), 1.0f);
    EXPECT_DOUBLE_EQ (s.resonance, 1.0);
}

TEST_F (Processor, MomentaryParametersAct)
{
    auto& voices = core.getEngine().getVoices();
    core.getEngine().noteOn (60, 1.0);
    ASSERT_TRUE (voices.voice (0).active);
    core.setParameter (Panic, 1.0f);
    EXPECT_FALSE (voices.voice (0).active);
    EXPECT_EQ (core.getParameter (Panic), 1.0f);

    core.getPattern().steps[3].noteOffset = 7;
    core.setParameter (SeqReset, 1.0f);
    EXPECT_EQ (core.getPattern().steps[3].noteOffset, 0);

    core.getProgram().controllerMap[74] = 26;
    core.setParameter (MidiLearnDelete, 1.0f);
    EXPECT_EQ (core.getProgram().controllerMap[74], 0);
}

TEST_F (Processor, ReapplyingTheProgramKeepsNotesMapAndSteps)
{
    core.getProgram().controllerMap[74] = 26;
    core.getPattern().steps[5].noteOffset = 3;
    core.getEngine().noteOn (60, 1.0);
    core.setCurrentProgram (0);
    core.setCurrentProgram (5);
    EXPECT_TRUE (core.getEngine().getVoices().voice (0).active);
    EXPECT_EQ (core.getProgram().controllerMap[74], 26);
    EXPECT_EQ (core.getPattern().steps[5].noteOffset, 3);
}

TEST_F (Processor, ResetToDefaultsKeepsIdentity)
{
    core.getProgram().setProgramName ("Acid 2");
    core.getProgram().controllerMap[20] = 27;
    core.setParameter (VcfCutoff, 0.2f);
    core.setParameter (MidiLearnActivated, 1.0f);
    core.resetToDefaults();
    EXPECT_EQ (core.getParameter (VcfCutoff), 1.0f);
    EXPECT_EQ (core.getParameter (MidiLearnActivated), 0.0f);
    EXPECT_EQ (core.getProgram().getProgramName(), "Acid 2");
    EXPECT_EQ (core.getProgram().controllerMap[20], 27);
}
} // namespace
