#pragma once
// JUCE's VST wrapper expects the VST2 SDK layout; Debian ships the interface as fst.
#include <pluginterfaces/fst/aeffect.h>
