#pragma once

#include "Voice.h"

/** A fixed-capacity ordered list of small values; front = most recent. Never allocates. */
template <typename T, int Capacity>
struct FixedList
{
    int size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    T& operator[] (int i) noexcept { return items[i]; }
    const T& operator[] (int i) const noexcept { return items[i]; }
    T front() const noexcept { return items[0]; }

    void pushFront (T v) noexcept
    {
        if (count == Capacity)
            --count; // the oldest entry falls off the end
        for (int i = count; i > 0; --i)
            items[i] = items[i - 1];
        items[0] = v;
        ++count;
    }

    void removeAt (int index) noexcept
    {
        for (int i = index; i < count - 1; ++i)
            items[i] = items[i + 1];
        --count;
    }

    int indexOf (T v) const noexcept
    {
        for (int i = 0; i < count; ++i)
            if (items[i] == v)
                return i;
        return -1;
    }

    bool removeFirst (T v) noexcept
    {
        const int i = indexOf (v);
        if (i < 0)
            return false;
        removeAt (i);
        return true;
    }

    void clear() noexcept { count = 0; }

    T items[(size_t) Capacity] {};
    int count = 0;
};

/** Twelve voices; mono last-note priority with legato, or poly allocation with stealing. */
class VoiceManager
{
public:
    static constexpr int numVoices = 12;

    explicit VoiceManager (EngineSettings& s) noexcept;
    ~VoiceManager();

    void noteOn (int note, double velocity) noexcept;
    void noteOff (int note) noexcept;
    void setSustain (bool on) noexcept;
    void reset() noexcept;
    /** Inline, so a silent pool costs its callers two tests and no call. */
    bool render (double& left, double& right) noexcept
    {
        const bool lfoGate = trackLfoGateIfUsed();
        if (quiet)
            return false;
        return renderVoices (left, right, lfoGate);
    }
    /** Every voice was dormant at the last render, and nothing has woken one since. */
    bool isQuiet() const noexcept { return quiet; }
    /** The LFO-gate part of render, also for callers that know the pool is quiet; true when
        "ADSR Mode" gates the voices by the LFO. */
    bool trackLfoGateIfUsed() noexcept
    {
        const bool lfoGate = settings.params[Param::AdsrMode] < 0.25;
        if (lfoGate)
            trackLfoGate();
        return lfoGate;
    }
    void setSampleRate (double rate) noexcept;
    void setVoiceCount (int n) noexcept;

    Voice& voice (int i) noexcept { return *voices[i]; }
    int getVoiceCount() const noexcept { return voiceCount; }

    FixedList<Voice*, numVoices> activeVoices;
    FixedList<int, 128> heldNotes; // mono keys, each once

private:
    Voice* allocate (int note) noexcept;
    void trackLfoGate() noexcept;
    bool renderVoices (double& left, double& right, bool lfoGate) noexcept;

    EngineSettings& settings;
    Voice* voices[numVoices];
    // The render's voices waiting for their filter ladders, run together.
    struct LadderBatch
    {
        VoiceFilter* filters[numVoices] {};
        double inputs[numVoices] {}, outputs[numVoices] {}, gains[numVoices] {};
        bool heard[numVoices] {};
    } ladder;
    int voiceCount = 12;
    bool sustain = false;
    bool lfoRetriggerDone = true, lfoWasPositive = false;
    // One bit per voice that may not be dormant; only a note, the pedal or a rate change wakes one,
    // so the render loop visits the sounding voices and a dormant one costs nothing.
    static constexpr uint32_t allVoices = (1u << numVoices) - 1u;
    uint32_t awake = allVoices;
    // Every voice was dormant at the last render, and nothing has woken one since.
    bool quiet = false;
    void wake() noexcept
    {
        quiet = false;
        awake = allVoices;
    }
};
