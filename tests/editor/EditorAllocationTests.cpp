// The open editor reads the processor on the message thread while the audio thread plays; the
// audio thread still never allocates.

#include "AudioThreadAllocations.h"
#include "VroComponent.h"

#if VRO_COUNTS_ALLOCATIONS
TEST (NoAllocation, AnOpenEditorWhileTheSequencerPlays)
{
    VroCore processor (createVroEditor);
    processor.setParameter (Param::SeqEnabled, 1.0f);
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (allocationsWhilePlaying (processor, 3), 0);
}
#endif
