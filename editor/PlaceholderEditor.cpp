#include "VroCore.h"
#include "VroEditorFactory.h"

namespace
{
/** A plain window of the final size until the bitmap editor lands. */
class PlaceholderEditor : public juce::AudioProcessorEditor
{
public:
    explicit PlaceholderEditor (VroCore& p) : juce::AudioProcessorEditor (p) { setSize (1062, 517); }

    void paint (juce::Graphics& g) override
    {
        g.fillAll (juce::Colour (0xff2b2d31));
        g.setColour (juce::Colours::white);
        g.setFont (28.0f);
        g.drawText ("VRO Drubbel", getLocalBounds(), juce::Justification::centred);
    }
};
} // namespace

juce::AudioProcessorEditor* createVroEditor (VroCore& processor)
{
    return new PlaceholderEditor (processor);
}
