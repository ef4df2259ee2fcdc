// Loads the built VST2 library with dlopen and drives it through its entry point with a minimal
// host callback, as a VST 2.4 host does: identity, parameters, programs, chunks and a rendered note.
#include "PluginPaths.h"
#include "BareHostMain.h"
#include "Vst2Calls.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
using namespace vst2;

struct HostLog
{
    std::vector<std::vector<unsigned char>> midiOut;
    std::atomic<int> automations { 0 };
};
HostLog hostLog;

/** A host's own lock over its plug-in, held while it activates it and runs its blocks and taken
    again in its automation callback. A wait for it there that outlasts any sane hold counts as
    the deadlock it would be (instead of hanging the test); the holding thread may take it again. */
struct HostLock
{
    std::timed_mutex mutex;
    std::atomic<std::thread::id> holder {};
    int depth = 0;
    std::atomic<int> stuck { 0 };
    std::atomic<bool> used { false };

    bool lock (std::chrono::milliseconds patience)
    {
        if (holder.load() == std::this_thread::get_id())
        {
            ++depth;
            return true;
        }
        if (! mutex.try_lock_for (patience))
            return false;
        holder = std::this_thread::get_id();
        depth = 1;
        return true;
    }
    void unlock()
    {
        if (--depth == 0)
        {
            holder = std::thread::id();
            mutex.unlock();
        }
    }
};
HostLock hostLock;

t_fstPtrInt hostCallback (AEffect*, int opcode, int, t_fstPtrInt, void* ptr, float)
{
    switch (opcode)
    {
        case audioMasterVersionOp: return 2400;
        case audioMasterAutomateOp:
            ++hostLog.automations;
            if (hostLock.used && hostLock.stuck == 0)
            {
                if (hostLock.lock (std::chrono::seconds (3)))
                {
                    // A host records the value: a little work under its lock.
                    std::this_thread::sleep_for (std::chrono::microseconds (20));
                    hostLock.unlock();
                }
                else
                    ++hostLock.stuck;
            }
            return 0;
        case audioMasterProcessEventsOp:
        {
            auto* events = static_cast<t_fstEvents*> (ptr);
            for (int i = 0; i < events->numEvents; ++i)
            {
                auto* e = reinterpret_cast<t_fstMidiEvent*> (events->events[i]);
                if (e->type == 1)
                    hostLog.midiOut.push_back ({ (unsigned char) e->midiData[0], (unsigned char) e->midiData[1], (unsigned char) e->midiData[2] });
            }
            return 1;
        }
        default: return 0;
    }
}

class Vst2Host : public testing::Test, protected vst2::Effect
{
protected:
    static void SetUpTestSuite()
    {
        library = dlopen (VRO_PATH (VRO_VST2_PATH), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE (library, nullptr) << dlerror();
    }

    void SetUp() override
    {
        ASSERT_NE (library, nullptr);
        auto entry = reinterpret_cast<EntryPoint> (dlsym (library, "VSTPluginMain"));
        ASSERT_NE (entry, nullptr);
        effect = entry (hostCallback);
        ASSERT_NE (effect, nullptr);
        dispatch (effOpenOp);
    }

    void TearDown() override
    {
        if (effect != nullptr)
            dispatch (effCloseOp);
    }

    static inline void* library = nullptr;
};

TEST_F (Vst2Host, BothEntryPointsAreExported)
{
    EXPECT_NE (dlsym (library, "VSTPluginMain"), nullptr);
    EXPECT_NE (dlsym (library, "main"), nullptr);
}

TEST_F (Vst2Host, EffectRecordCarriesTheIdentity)
{
    EXPECT_EQ (effect->magic, 0x56737450); // 'VstP'
    EXPECT_EQ (effect->numPrograms, 1);
    EXPECT_EQ (effect->numParams, 66);
    EXPECT_EQ (effect->numInputs, 2);
    EXPECT_EQ (effect->numOutputs, 2);
    EXPECT_EQ (effect->initialDelay, 0);
    EXPECT_EQ (effect->uniqueID, vst2::uniqueId);
    EXPECT_EQ (effect->version, vst2::version);
    EXPECT_EQ (effect->flags & vst2::requiredFlags, vst2::requiredFlags);

    EXPECT_EQ (text (effGetEffectNameOp), "VRO Drubbel");
    EXPECT_EQ (text (effGetProductStringOp), "VRO Drubbel");
    EXPECT_EQ (text (effGetVendorStringOp), "VRO-Velmora");
    EXPECT_EQ (dispatch (effGetVendorVersionOp), 100);
}

TEST_F (Vst2Host, CanDoAnswers)
{
    for (const auto& c : vst2::canDoAnswers)
        EXPECT_EQ (dispatch (effCanDoOp, 0, 0, (void*) c.what), c.answer) << c.what;
}

TEST_F (Vst2Host, ParametersAndProgram)
{
    EXPECT_EQ (text (effGetParamNameOp, 1), "Volume");
    EXPECT_EQ (text (effGetParamNameOp, 0), "");
    EXPECT_EQ (text (effGetParamDisplayOp, 1), "0.50");
    EXPECT_EQ (text (effGetParamLabelOp, 1), "");

    effect->setParameter (effect, 26, 0.125f);
    EXPECT_FLOAT_EQ (effect->getParameter (effect, 26), 0.125f);
    EXPECT_EQ (text (effGetParamDisplayOp, 26), "0.13");

    // Values are normalised: a host's 1.5 or -2 is held to the range, not turned into a gain of 637.
    effect->setParameter (effect, 1, 1.5f);
    EXPECT_EQ (effect->getParameter (effect, 1), 1.0f);
    EXPECT_EQ (text (effGetParamDisplayOp, 1), "1.00");
    effect->setParameter (effect, 1, -2.0f);
    EXPECT_EQ (effect->getParameter (effect, 1), 0.0f);

    // The session's own switches and actions are no automation lanes; the sound's parameters are.
    for (int index = 0; index < 66; ++index)
    {
        const bool session = index == 0 || index == 6 || index == 7 || index == 9 || index == 44 || index == 53 || index == 55 || index == 58;
        EXPECT_EQ (dispatch (effCanBeAutomatedOp, index), session ? 0 : 1) << index;
    }

    EXPECT_EQ (dispatch (effGetProgramOp), 0);
    EXPECT_EQ (text (effGetProgramNameOp), "default");
    EXPECT_EQ (text (effGetProgramNameIndexedOp, 0), "default");
}

TEST_F (Vst2Host, ChunkRoundTrip)
{
    effect->setParameter (effect, 26, 0.25f);
    effect->setParameter (effect, 27, 0.75f);

    void* data = nullptr;
    const auto size = dispatch (effGetChunkOp, 0, 0, &data);
    ASSERT_GT (size, 8);
    std::vector<char> saved ((const char*) data, (const char*) data + size);
    EXPECT_NE (std::string (saved.begin(), saved.end()).find ("filtercutoff=\"0.25\""), std::string::npos);

    effect->setParameter (effect, 26, 0.9f);
    effect->setParameter (effect, 27, 0.1f);
    // The host's own restore comes back as no automation it would record.
    hostLog.automations = 0;
    dispatch (effSetChunkOp, 0, (t_fstPtrInt) saved.size(), saved.data());
    std::this_thread::sleep_for (std::chrono::milliseconds (600)); // the wrapper tells the host from its message thread
    EXPECT_EQ (hostLog.automations.load(), 0);
    EXPECT_FLOAT_EQ (effect->getParameter (effect, 26), 0.25f);
    EXPECT_FLOAT_EQ (effect->getParameter (effect, 27), 0.75f);

    void* again = nullptr;
    const auto size2 = dispatch (effGetChunkOp, 0, 0, &again);
    ASSERT_EQ (size2, size);
    EXPECT_EQ (std::memcmp (again, saved.data(), (size_t) size), 0);
}

TEST_F (Vst2Host, RendersANoteAndReportsEngineNotesOnly)
{
    constexpr int block = 512;
    dispatch (effSetSampleRateOp, 0, 0, nullptr, 44100.0f);
    dispatch (effSetBlockSizeOp, 0, block);
    dispatch (effMainsChangedOp, 0, 1);

    std::vector<float> inL (block), inR (block), outL (block), outR (block);
    float* ins[] = { inL.data(), inR.data() };
    float* outs[] = { outL.data(), outR.data() };

    hostLog.midiOut.clear();
    sendMidi (0x90, 48, 100, 10);
    double energy = 0.0;
    bool finite = true, identical = true;
    for (int b = 0; b < 20; ++b)
    {
        effect->processReplacing (effect, ins, outs, block);
        for (int i = 0; i < block; ++i)
        {
            energy += outL[(size_t) i] * outL[(size_t) i];
            finite = finite && std::isfinite (outL[(size_t) i]);
            identical = identical && outL[(size_t) i] == outR[(size_t) i];
        }
    }
    EXPECT_TRUE (finite);
    EXPECT_TRUE (identical);
    EXPECT_GT (energy, 1.0e-3);
    // The plain voice pool plays no MIDI of its own, and incoming notes are not echoed.
    EXPECT_TRUE (hostLog.midiOut.empty());
    dispatch (effMainsChangedOp, 0, 0);
}
TEST_F (Vst2Host, SequencerNotesReachTheHost)
{
    constexpr int block = 512;
    dispatch (effSetSampleRateOp, 0, 0, nullptr, 44100.0f);
    dispatch (effSetBlockSizeOp, 0, block);
    effect->setParameter (effect, 52, 1.0f); // SEQ Enabled
    effect->setParameter (effect, 46, 0.0f); // SEQ Sync off: its own clock
    dispatch (effMainsChangedOp, 0, 1);

    std::vector<float> inL (block), inR (block), outL (block), outR (block);
    float* ins[] = { inL.data(), inR.data() };
    float* outs[] = { outL.data(), outR.data() };
    hostLog.midiOut.clear();
    sendMidi (0x90, 48, 100, 0);
    for (int b = 0; b < 100; ++b)
        effect->processReplacing (effect, ins, outs, block);
    int noteOns = 0;
    for (const auto& m : hostLog.midiOut)
        noteOns += (m[0] & 0xf0) == 0x90 && m[2] > 0 ? 1 : 0;
    EXPECT_GE (noteOns, 3);
    dispatch (effMainsChangedOp, 0, 0);
}

TEST_F (Vst2Host, AHostThatLocksInItsAutomationCallbackIsNeverLeftWaiting)
{
    // The host's audio thread and its activation calls hold the host's lock, which its automation
    // callback takes too; the plug-in meanwhile answers program changes and restores, and tells
    // the host of each from its own message thread.
    constexpr int block = 256;
    dispatch (effSetSampleRateOp, 0, 0, nullptr, 48000.0f);
    dispatch (effSetBlockSizeOp, 0, block);
    dispatch (effMainsChangedOp, 0, 1);
    void* chunk = nullptr;
    const auto chunkSize = dispatch (effGetChunkOp, 0, 0, &chunk);
    ASSERT_GT (chunkSize, 0);
    const std::vector<char> saved (static_cast<char*> (chunk), static_cast<char*> (chunk) + chunkSize);

    hostLock.used = true;
    const int automationsBefore = hostLog.automations;
    std::atomic<bool> running { true };
    std::thread audio ([&]
    {
        std::vector<float> inL (block), inR (block), outL (block), outR (block);
        float* ins[] = { inL.data(), inR.data() };
        float* outs[] = { outL.data(), outR.data() };
        for (int b = 0; running; ++b)
        {
            if (! hostLock.lock (std::chrono::seconds (10)))
            {
                ++hostLock.stuck;
                continue;
            }
            sendMidi (0xc0, b % 40, 0, 0);
            sendMidi (0x90, 40 + b % 12, 100, 8);
            effect->processReplacing (effect, ins, outs, block);
            hostLock.unlock();
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }
    });
    for (int round = 0; round < 300 && hostLock.stuck == 0; ++round)
    {
        ASSERT_TRUE (hostLock.lock (std::chrono::seconds (10)));
        std::this_thread::sleep_for (std::chrono::milliseconds (1)); // the host's own work first
        dispatch (effMainsChangedOp, 0, 0);
        dispatch (effMainsChangedOp, 0, 1);
        if (round % 10 == 0)
            dispatch (effSetChunkOp, 0, (t_fstPtrInt) saved.size(), const_cast<char*> (saved.data()));
        hostLock.unlock();
        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
    running = false;
    audio.join();
    hostLock.used = false;
    dispatch (effMainsChangedOp, 0, 0);
    EXPECT_EQ (hostLock.stuck, 0) << "the host's lock waited for the plug-in's, and the plug-in's for the host's";
    EXPECT_GT (hostLog.automations, automationsBefore) << "the host heard of no program change";
}
} // namespace

int main (int argc, char** argv)
{
    return runBareHostTests (argc, argv, "vro-vst2-home");
}
