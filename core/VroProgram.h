#pragma once

#include "ParameterTable.h"
#include "SharedValue.h"
#include <juce_core/juce_core.h>

/** The one program in memory: name, origin, the 66 normalised values and the controller map.

    Who may touch what (the rest of the threading rules are in Threading.h):
    - parameters and controllerMap: any thread, one value at a time.
    - the names: any thread but the audio thread, always as a copy taken under the lock.
    - a whole program (a host's restore or save, a preset load, a MIDI program change) is written
      or read under the lock, so a save holds one program and two programs never mix. The audio
      thread only tries the lock: a program change that finds it held waits for the next block. */
struct VroProgram
{
    VroProgram()
    {
        for (int i = 0; i < Param::Count; ++i)
            parameters[i] = parameterTable[i].startValue;
    }

    VroProgram& operator= (const VroProgram& other)
    {
        if (this == &other)
            return *this;
        const auto otherNames = other.getNames();
        const juce::ScopedLock sl (lock);
        for (int i = 0; i < Param::Count; ++i)
            parameters[i] = other.parameters[i].get();
        for (int i = 0; i < 256; ++i)
            controllerMap[i] = other.controllerMap[i].get();
        names = otherNames;
        return *this;
    }
    VroProgram (const VroProgram& other) { *this = other; }

    struct Names
    {
        juce::String programName { "Startup" };
        juce::String path;
        juce::String category { "category 1" };
    };

    Names getNames() const
    {
        const juce::ScopedLock sl (lock);
        return names;
    }
    void setNames (const Names& n)
    {
        const juce::ScopedLock sl (lock);
        names = n;
    }
    juce::String getProgramName() const { return getNames().programName; }
    juce::String getPath() const { return getNames().path; }
    void setProgramName (const juce::String& name) { const juce::ScopedLock sl (lock); names.programName = name; }
    void setPath (const juce::String& path) { const juce::ScopedLock sl (lock); names.path = path; }

    SharedValue<float> parameters[Param::Count];
    SharedValue<int> controllerMap[256]; // MIDI controller -> parameter index; 0 = none

    /** Held for a whole program's writing or reading. Re-entrant, so a holder may use the name
        accessors. */
    mutable juce::CriticalSection lock;

private:
    Names names;
};
