#pragma once

#include "ParameterTable.h"
#include <juce_core/juce_core.h>

/** The one program in memory: name, origin, the 66 normalised values and the controller map. */
struct VroProgram
{
    VroProgram()
    {
        for (int i = 0; i < Param::Count; ++i)
            parameters[i] = parameterTable[i].startValue;
    }

    juce::String programName { "Startup" };
    juce::String path;
    juce::String category { "category 1" };
    float parameters[Param::Count] {};
    int controllerMap[256] {}; // MIDI controller -> parameter index; 0 = none
};
