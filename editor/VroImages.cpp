#include "VroImages.h"

#if VRO_HAS_RESOURCES
 #include "BinaryData.h"
#endif

namespace VroImages
{
namespace
{
// On our images: which one it is, so draw() finds the twin from the image alone, and the twin once
// decoded.
const juce::Identifier idProperty ("vroImageId"), twinProperty ("vroDoubleSize");

struct Data { const char* data; int size; };

Data dataOf (Id id, bool doubleSize)
{
#if VRO_HAS_RESOURCES
    using namespace BinaryData;
    const auto pick = [doubleSize] (Data single, Data twin) { return doubleSize ? twin : single; };
    switch (id)
    {
        case Id::backgroundLight:   return pick ({ backgroundLight_png, backgroundLight_pngSize }, { backgroundLight_2x_png, backgroundLight_2x_pngSize });
        case Id::backgroundDark:    return pick ({ backgroundDark_png, backgroundDark_pngSize }, { backgroundDark_2x_png, backgroundDark_2x_pngSize });
        case Id::knobStrip50:       return pick ({ knobStrip50_png, knobStrip50_pngSize }, { knobStrip50_2x_png, knobStrip50_2x_pngSize });
        case Id::knobStrip4:        return pick ({ knobStrip4_png, knobStrip4_pngSize }, { knobStrip4_2x_png, knobStrip4_2x_pngSize });
        case Id::switchVertical3:   return pick ({ switchVertical3_png, switchVertical3_pngSize }, { switchVertical3_2x_png, switchVertical3_2x_pngSize });
        case Id::switchVertical2:   return pick ({ switchVertical2_png, switchVertical2_pngSize }, { switchVertical2_2x_png, switchVertical2_2x_pngSize });
        case Id::switchHorizontal3: return pick ({ switchHorizontal3_png, switchHorizontal3_pngSize }, { switchHorizontal3_2x_png, switchHorizontal3_2x_pngSize });
        case Id::sliderCapOrange:   return pick ({ sliderCapOrange_png, sliderCapOrange_pngSize }, { sliderCapOrange_2x_png, sliderCapOrange_2x_pngSize });
        case Id::sliderCapYellow:   return pick ({ sliderCapYellow_png, sliderCapYellow_pngSize }, { sliderCapYellow_2x_png, sliderCapYellow_2x_pngSize });
        case Id::sliderCapGreen:    return pick ({ sliderCapGreen_png, sliderCapGreen_pngSize }, { sliderCapGreen_2x_png, sliderCapGreen_2x_pngSize });
        case Id::buttonLed:         return pick ({ buttonLed_png, buttonLed_pngSize }, { buttonLed_2x_png, buttonLed_2x_pngSize });
        case Id::ledRed:            return pick ({ ledRed_png, ledRed_pngSize }, { ledRed_2x_png, ledRed_2x_pngSize });
        case Id::ledGreenRed:       return pick ({ ledGreenRed_png, ledGreenRed_pngSize }, { ledGreenRed_2x_png, ledGreenRed_2x_pngSize });
        case Id::aboutImage:        return pick ({ aboutImage_png, aboutImage_pngSize }, { aboutImage_2x_png, aboutImage_2x_pngSize });
    }
#else
    juce::ignoreUnused (id, doubleSize);
#endif
    return { nullptr, 0 };
}

juce::Image load (Id id, bool doubleSize)
{
    const auto d = dataOf (id, doubleSize);
    return d.data != nullptr ? juce::ImageCache::getFromMemory (d.data, d.size) : juce::Image();
}
/** The double-size twin of one of our images, decoded on first use. The image itself keeps it from
    then on: the cache drops pictures nobody holds, and the controls hold only the single-size one. */
juce::Image twinOf (const juce::Image& image)
{
    auto* properties = image.getProperties();
    if (properties == nullptr || ! properties->contains (idProperty))
        return {};

    if (auto* held = dynamic_cast<juce::ImagePixelData*> (properties->getWithDefault (twinProperty, {}).getObject()))
        return juce::Image (held);

    auto twin = getDoubleSize ((Id) (int) properties->getWithDefault (idProperty, 0));
    if (twin.isValid())
        properties->set (twinProperty, juce::var (twin.getPixelData()));
    return twin;
}
} // namespace

juce::Image get (Id id)
{
    auto image = load (id, false);
    if (auto* properties = image.getProperties())
        properties->set (idProperty, (int) id);
    return image;
}

juce::Image getDoubleSize (Id id)
{
    return load (id, true);
}

void draw (juce::Graphics& g, const juce::Image& image, juce::Rectangle<int> dest, juce::Rectangle<int> source)
{
    if (g.getInternalContext().getPhysicalPixelScaleFactor() > 1.0f)
        if (const auto twin = twinOf (image); twin.isValid())
        {
            const auto twice = source * 2;
            g.drawImage (twin, dest.getX(), dest.getY(), dest.getWidth(), dest.getHeight(),
                         twice.getX(), twice.getY(), twice.getWidth(), twice.getHeight());
            return;
        }

    g.drawImage (image, dest.getX(), dest.getY(), dest.getWidth(), dest.getHeight(),
                 source.getX(), source.getY(), source.getWidth(), source.getHeight());
}

void drawFrame (juce::Graphics& g, const juce::Image& strip, juce::Rectangle<int> dest, int frame, int frameWidth,
                int frameHeight, bool horizontalStrip)
{
    const juce::Point<int> origin = horizontalStrip ? juce::Point<int> (frame * frameWidth, 0) : juce::Point<int> (0, frame * frameHeight);
    draw (g, strip, dest, { origin.x, origin.y, frameWidth, frameHeight });
}
} // namespace VroImages
