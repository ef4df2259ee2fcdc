#pragma once
// Debian ships the VST2 interface as fst. Two adaptations for the framework's wrapper and host code:
// - the VST2 SDK layout it expects (pluginterfaces/vst2.x/aeffect.h and aeffectx.h);
// - a speaker arrangement with eight built-in speaker slots, as the framework sizes its
//   allocations for (fst declares a flexible array, which made every speaker-arrangement
//   request write past the end of its block).
#define t_fstSpeakerArrangement vro_fstFlexibleSpeakerArrangement
#define VstSpeakerArrangement vro_VstFlexibleSpeakerArrangement
#define FST2VST 1
#include <pluginterfaces/fst/fst.h>
#undef VstSpeakerArrangement
#undef t_fstSpeakerArrangement

typedef struct
{
    int type;
    int numChannels;
    t_fstSpeakerProperties speakers[8];
} t_fstSpeakerArrangement;
typedef t_fstSpeakerArrangement VstSpeakerArrangement;
