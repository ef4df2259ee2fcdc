#include "VroComponent.h"
#include "VroCore.h"

// The format wrappers' entry: the processor with its editor.
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VroCore (createVroEditor);
}
