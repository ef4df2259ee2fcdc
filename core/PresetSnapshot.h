#pragma once

#include "ParameterTable.h"
#include "StepPattern.h"
#include <juce_core/juce_core.h>
#include <memory>
#include <vector>

/** A program document read into plain values: everything readProgramXml takes from it. Reading
    and applying are apart so that a MIDI program change can apply a preset on the audio thread
    from memory, without text, files or allocation. */
struct ProgramReading
{
    enum class Status
    {
        notADocument, // no root, or not a "vro" root
        noPrograms,   // no "programs" element
        noProgram,    // an empty "programs" element
        program       // a first element to read
    };
    Status status = Status::notADocument;

    bool isProgram = false; // the first element is a "program": its values, names and path count
    juce::String programName, category, path;
    float values[Param::Count] {}; // the stored keys, older versions already converted

    bool hasSequencer = false;
    int numberOfSteps = 16, stepsRead = 0;
    PatternStep steps[StepPattern::maxSteps];

    int controllerMap[256] {};
    bool mapped[256] {};
};

namespace ProgramDocument
{
void read (const juce::XmlElement* root, ProgramReading& reading);
}

/** The programs of the preset list (every preset file, in the list's order) read into memory.
    Built by the preset library whenever the folder or its files change, never changed once
    published; the audio thread only reads one that the processor has handed to it. */
struct PresetSnapshot
{
    struct Program
    {
        juce::String path, fileName; // full path; the file name without its extension
        juce::int64 size = 0, modified = 0;
        bool parsed = false;         // false: not a document, only the path is taken
        ProgramReading reading;
    };

    juce::String folder;
    std::vector<std::shared_ptr<const Program>> programs;
};
