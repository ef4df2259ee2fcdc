// The VST2 entry points. The framework's wrapper builds the effect record; a synth with no tail
// also announces that it makes no sound while stopped, which the wrapper only does for effects.
#if JucePlugin_Build_VST && defined (VRO_VST2_ENTRY)

#include <pluginterfaces/fst/fst.h>

extern "C" AEffect* vroFrameworkVstEntry (audioMasterCallback audioMaster);

namespace
{
AEffect* createEffect (audioMasterCallback audioMaster)
{
    auto* effect = vroFrameworkVstEntry (audioMaster);
    if (effect != nullptr)
        effect->flags |= effFlagsNoSoundInStop;
    return effect;
}
} // namespace

#if defined (_WIN32)
// Exported through cmake/windows/VroDrubbel.def, which also gives vroVstMain the name main.
extern "C" AEffect* VSTPluginMain (audioMasterCallback audioMaster)
{
    return createEffect (audioMaster);
}

extern "C" AEffect* vroVstMain (audioMasterCallback audioMaster)
{
    return createEffect (audioMaster);
}
#else
extern "C" __attribute__ ((visibility ("default"))) AEffect* VSTPluginMain (audioMasterCallback audioMaster)
{
    return createEffect (audioMaster);
}

extern "C" __attribute__ ((visibility ("default"))) AEffect* vroVstMain (audioMasterCallback audioMaster) asm ("main");
extern "C" __attribute__ ((visibility ("default"))) AEffect* vroVstMain (audioMasterCallback audioMaster)
{
    return createEffect (audioMaster);
}
#endif

#endif
