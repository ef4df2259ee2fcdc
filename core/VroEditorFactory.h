#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

class VroCore;

/** Builds the editor window for a processor. The plug-in hands one to VroCore; tools and tests
    that have no user interface leave it out and get a processor without an editor. */
using VroEditorFactory = juce::AudioProcessorEditor* (*) (VroCore&);
