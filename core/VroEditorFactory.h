#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

class VroCore;

/** Builds the editor window for a processor. */
juce::AudioProcessorEditor* createVroEditor (VroCore& processor);
