#include "ArpSeqRig.h"

#include <gtest/gtest.h>

namespace
{
constexpr double kStep = 44100.0 / 8.0;
long long steps (double n) { return (long long) std::llround (n * kStep); }
} // namespace

TEST (ArpSeqSection, EverySilencedPlayerNoteReachesTheHostAsANoteOff)
{
    struct Action
    {
        const char* name;
        std::function<void (ArpSeqRig&)> silence;
    };
    const Action actions[] = {
        { "PANIC", [] (ArpSeqRig& r) { r.set (Param::Panic, 1.0); } },
        { "all notes off (MIDI Stop, CC 120/123)", [] (ArpSeqRig& r) { r.engine.allNotesOff(); } },
        { "SEQ Record on", [] (ArpSeqRig& r) { r.set (Param::SeqRecord, 1.0); } },
        { "hold off", [] (ArpSeqRig& r) { r.set (Param::SeqHold, 0.0); } },
        { "last key up", [] (ArpSeqRig& r) { r.noteOff (60); r.noteOff (64); } },
    };

    for (int player : { Param::ArpEnabled, Param::SeqEnabled })
    {
        for (const auto& a : actions)
        {
            SCOPED_TRACE (std::string (player == Param::ArpEnabled ? "arpeggiator, " : "sequencer, ") + a.name);
            ArpSeqRig rig;
            rig.set (player, 1.0);
            if (std::string (a.name) == "hold off")
                rig.set (Param::SeqHold, 1.0);
            rig.noteOn (60);
            rig.noteOn (64);
            rig.render (steps (2.5));
            if (rig.hangingNotes() != 1)
            {
                ADD_FAILURE() << "nothing sounding before the action";
                continue;
            }

            a.silence (rig);
            EXPECT_EQ (rig.hangingNotes(), 0); // at the sample it happened
            const auto ons = rig.noteOns().size();
            rig.render (steps (3));
            EXPECT_EQ (rig.noteOns().size(), ons);
        }
    }
}

TEST (ArpSeqSection, ReapplyingAnUnchangedHoldKeepsTheSequenceRunning)
{
    for (double hold : { 0.0, 1.0 })
    {
        SCOPED_TRACE ("hold " + std::to_string (hold));
        ArpSeqRig rig;
        rig.set (Param::SeqEnabled, 1.0);
        rig.set (Param::SeqHold, hold);
        rig.noteOn (60);
        rig.render (steps (1.5));
        rig.set (Param::SeqHold, hold);
        rig.engine.setHold (false); // the pedal going up does not undo the switch
        rig.render (steps (2));
        EXPECT_EQ (rig.noteOns().size(), 4u);
    }
}
