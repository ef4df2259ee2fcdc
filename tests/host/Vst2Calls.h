#pragma once

// What a minimal VST 2.4 host needs to drive the plug-in: the opcode numbers, the entry point's
// type, the calls on the effect record and the identity every build must report. Shared by the
// Linux host test and the Windows host program, which builds without the test framework.
#include <pluginterfaces/fst/fst.h>

#include <string>

namespace vst2
{
// Public interface values.
enum : int
{
    effOpenOp = 0, effCloseOp = 1, effGetProgramOp = 3, effGetProgramNameOp = 5, effGetParamLabelOp = 6,
    effGetParamDisplayOp = 7, effGetParamNameOp = 8, effSetSampleRateOp = 10, effSetBlockSizeOp = 11,
    effMainsChangedOp = 12, effEditGetRectOp = 13, effEditOpenOp = 14, effEditCloseOp = 15, effEditIdleOp = 19,
    effGetChunkOp = 23, effSetChunkOp = 24, effProcessEventsOp = 25, effCanBeAutomatedOp = 26, effGetProgramNameIndexedOp = 29,
    effGetEffectNameOp = 45, effGetVendorStringOp = 47, effGetProductStringOp = 48, effGetVendorVersionOp = 49,
    effCanDoOp = 51
};
enum : int
{
    audioMasterAutomateOp = 0, audioMasterVersionOp = 1, audioMasterProcessEventsOp = 8,
    audioMasterGetCurrentProcessLevelOp = 23
};

using HostCallback = t_fstPtrInt (*) (AEffect*, int, int, t_fstPtrInt, void*, float);
using EntryPoint = AEffect* (*) (HostCallback);

/** The calls a host makes on the effect record. */
struct Effect
{
    AEffect* effect = nullptr;

    t_fstPtrInt dispatch (int op, int index = 0, t_fstPtrInt value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return effect->dispatcher (effect, op, index, value, ptr, opt);
    }

    std::string text (int op, int index = 0)
    {
        char buffer[256] = {};
        dispatch (op, index, 0, buffer);
        return buffer;
    }

    /** One three-byte MIDI message, delivered before the next processReplacing. */
    void sendMidi (int status, int data1, int data2, int deltaFrames)
    {
        t_fstMidiEvent ev {};
        ev.type = (t_fstEventType) 1;
        ev.byteSize = sizeof (ev);
        ev.deltaFrames = deltaFrames;
        ev.midiData[0] = (char) status;
        ev.midiData[1] = (char) data1;
        ev.midiData[2] = (char) data2;
        struct { int numEvents; t_fstPtrInt pad; t_fstEvent* events[1]; } events { 1, 0, { reinterpret_cast<t_fstEvent*> (&ev) } };
        dispatch (effProcessEventsOp, 0, 0, &events);
    }
};

// The identity every build reports.
constexpr int uniqueId = ('v' << 24) | ('D' << 16) | ('r' << 8) | 'b';
constexpr int version = 100;
// HasEditor, CanReplacing, ProgramChunks, IsSynth, NoSoundInStop.
constexpr int requiredFlags = (1 << 0) | (1 << 4) | (1 << 5) | (1 << 8) | (1 << 9);

struct CanDo
{
    const char* what;
    int answer;
};
constexpr CanDo canDoAnswers[] = {
    { "receiveVstEvents", 1 }, { "receiveVstMidiEvent", 1 }, { "receiveVstMidiEvents", 1 },
    { "sendVstEvents", 1 }, { "sendVstMidiEvent", 1 }, { "sendVstMidiEvents", 1 },
    { "receiveVstTimeInfo", 1 }, { "conformsToWindowRules", 1 }, { "bypass", 1 },
    { "openCloseAnyThread", -1 }, { "somethingElse", 0 },
};
} // namespace vst2
