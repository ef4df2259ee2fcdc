#include "VroImages.h"

#if VRO_HAS_RESOURCES
 #include "BinaryData.h"
#endif

namespace VroImages
{
juce::Image get (Id id)
{
#if VRO_HAS_RESOURCES
    using namespace BinaryData;
    const auto load = [] (const char* data, int size) { return juce::ImageCache::getFromMemory (data, size); };
    switch (id)
    {
        case Id::backgroundLight:   return load (backgroundLight_png, backgroundLight_pngSize);
        case Id::backgroundDark:    return load (backgroundDark_png, backgroundDark_pngSize);
        case Id::knobStrip50:       return load (knobStrip50_png, knobStrip50_pngSize);
        case Id::knobStrip4:        return load (knobStrip4_png, knobStrip4_pngSize);
        case Id::switchVertical3:   return load (switchVertical3_png, switchVertical3_pngSize);
        case Id::switchVertical2:   return load (switchVertical2_png, switchVertical2_pngSize);
        case Id::switchHorizontal3: return load (switchHorizontal3_png, switchHorizontal3_pngSize);
        case Id::sliderCapOrange:   return load (sliderCapOrange_png, sliderCapOrange_pngSize);
        case Id::sliderCapYellow:   return load (sliderCapYellow_png, sliderCapYellow_pngSize);
        case Id::sliderCapGreen:    return load (sliderCapGreen_png, sliderCapGreen_pngSize);
        case Id::buttonLed:         return load (buttonLed_png, buttonLed_pngSize);
        case Id::ledRed:            return load (ledRed_png, ledRed_pngSize);
        case Id::ledGreenRed:       return load (ledGreenRed_png, ledGreenRed_pngSize);
        case Id::aboutImage:        return load (aboutImage_png, aboutImage_pngSize);
    }
#else
    juce::ignoreUnused (id);
#endif
    return {};
}
} // namespace VroImages
