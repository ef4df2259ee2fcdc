// Renders the whole window in both skins into the build folder, for people to look at, and checks
// the artwork the window is drawn from.
#include "EditorFixture.h"
#include "BinaryData.h"
#include "VroImages.h"

#include <numeric>

using namespace editortest;

namespace
{
/** Brightness steps between neighbouring pixels (right and down) in an area, strongest first. */
std::vector<float> stepsIn (const juce::Image& image, juce::Rectangle<int> area)
{
    std::vector<float> steps;
    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);
    for (int y = area.getY(); y < area.getBottom() - 1; ++y)
        for (int x = area.getX(); x < area.getRight() - 1; ++x)
        {
            const float here = pixels.getPixelColour (x, y).getBrightness();
            steps.push_back (std::abs (pixels.getPixelColour (x + 1, y).getBrightness() - here));
            steps.push_back (std::abs (pixels.getPixelColour (x, y + 1).getBrightness() - here));
        }
    std::sort (steps.begin(), steps.end(), std::greater<float>());
    return steps;
}

double meanOfFirst (const std::vector<float>& steps, size_t count)
{
    const auto n = std::min (count, steps.size());
    return n > 0 ? std::accumulate (steps.begin(), steps.begin() + (std::ptrdiff_t) n, 0.0) / (double) n : 0.0;
}
} // namespace

TEST (EditorArtwork, ImagesHaveTheirSizesAndFrameLayouts)
{
    using Id = VroImages::Id;
    struct Case { Id id; int w, h; };
    for (auto c : { Case { Id::backgroundLight, 1062, 517 }, { Id::backgroundDark, 1062, 517 }, { Id::knobStrip50, 44, 2200 },
                    { Id::knobStrip4, 44, 176 }, { Id::switchVertical3, 39, 274 }, { Id::switchVertical2, 39, 182 },
                    { Id::switchHorizontal3, 59, 78 }, { Id::sliderCapOrange, 47, 55 }, { Id::sliderCapYellow, 47, 55 },
                    { Id::sliderCapGreen, 47, 55 }, { Id::buttonLed, 52, 94 }, { Id::ledRed, 22, 42 },
                    { Id::ledGreenRed, 22, 42 }, { Id::aboutImage, 460, 445 } })
    {
        const auto image = VroImages::get (c.id);
        SCOPED_TRACE ((int) c.id);
        EXPECT_EQ (image.getWidth(), c.w);
        EXPECT_EQ (image.getHeight(), c.h);
        EXPECT_TRUE (image.hasAlphaChannel());
        // Frames of the twin are exactly twice as large, so frame i covers the same area.
        const auto twin = VroImages::getDoubleSize (c.id);
        EXPECT_EQ (twin.getWidth(), 2 * c.w);
        EXPECT_EQ (twin.getHeight(), 2 * c.h);
        EXPECT_TRUE (twin.hasAlphaChannel());
    }
    // One decoded copy per process.
    EXPECT_EQ (VroImages::get (Id::knobStrip50).getPixelData(), VroImages::get (Id::knobStrip50).getPixelData());
}

TEST (EditorArtwork, SnapshotsOfBothSkins)
{
    const auto folder = juce::File (VRO_EDITOR_SNAPSHOT_DIR);
    folder.createDirectory();

    VroCore core;
    core.setParameter (10, 0.35f);
    core.setParameter (26, 0.7f);
    core.setParameter (27, 0.2f);
    core.setParameter (8, 1.0f);
    core.setParameter (46, 1.0f);
    core.setParameter (52, 1.0f);
    core.setParameter (61, 1.0f);
    core.setParameter (65, 0.4f);
    core.setParameter (59, 0.3f);
    pump();
    auto editor = openEditor (core);

    juce::Image shots[2];
    for (int skin = 0; skin < 2; ++skin)
    {
        if (editor->getBackgroundColourType() != skin)
            click (editor->getSkinButton());
        shots[skin] = editor->createComponentSnapshot (editor->getLocalBounds());
        juce::File file = folder.getChildFile (skin == 0 ? "editor-light.png" : "editor-dark.png");
        file.deleteFile();
        juce::FileOutputStream out (file);
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (shots[skin], out));
    }
    click (editor->getAboutButton());
    {
        auto file = folder.getChildFile ("editor-about.png");
        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat().writeImageToStream (editor->createComponentSnapshot (editor->getLocalBounds()), out);
    }
    click (editor->getSkinButton()); // back to light for whoever runs next

    EXPECT_EQ (shots[0].getWidth(), 1062);
    EXPECT_EQ (shots[0].getHeight(), 517);
    // The header bars swap: dark on the light panel, light on the dark one.
    EXPECT_LT (shots[0].getPixelAt (32, 56).getBrightness(), 0.3f);
    EXPECT_GT (shots[1].getPixelAt (32, 56).getBrightness(), 0.6f);
}

TEST (EditorArtwork, ScaledEditorIsAsSharpAsAtHundredPercent)
{
    VroCore core;
    core.setParameter (1, 0.7f);
    core.setParameter (26, 0.6f);
    core.setParameter (8, 1.0f);
    pump();
    auto editor = openEditor (core);

    // What a 200 % screen or a host's content scale of 2 asks the editor to paint.
    const auto single = editor->createComponentSnapshot (editor->getLocalBounds(), true, 1.0f);
    const auto twice = editor->createComponentSnapshot (editor->getLocalBounds(), true, 2.0f);
    save (single, "editor-scale1.png");
    save (twice, "editor-scale2.png");
    ASSERT_EQ (twice.getWidth(), 2124);
    ASSERT_EQ (twice.getHeight(), 1034);

    // The single-size picture enlarged: what a scaled screen would show from single-size bitmaps.
    juce::Image enlarged (juce::Image::ARGB, 2124, 1034, true);
    {
        juce::Graphics g (enlarged);
        g.setImageResamplingQuality (juce::Graphics::highResamplingQuality);
        g.drawImage (single, 0, 0, 2124, 1034, 0, 0, 1062, 517);
    }

    // VST3 and LV2 hosts' content scale reaches the editor as a transform (setScaleFactor): it
    // must paint exactly what the scaled snapshot shows.
    juce::Component host;
    host.setSize (2124, 1034);
    host.addAndMakeVisible (*editor);
    editor->setScaleFactor (2.0f);
    const auto hosted = host.createComponentSnapshot (host.getLocalBounds(), true, 1.0f);
    host.removeChildComponent (editor.get());

    // Edges are as steep in device pixels at 2x as at 1x: the strongest 2 % of the steps at 1x
    // lie along the outlines and letters; at 2x the same edges are twice as many pixels long.
    struct Case { const char* what; juce::Rectangle<int> area; };
    for (auto c : { Case { "Volume knob with its caption and scale", { 30, 315, 75, 80 } },
                    Case { "VCF header, fader caps and scales", { 648, 52, 170, 110 } },
                    Case { "push buttons and their LEDs", { 181, 359, 52, 94 } },
                    Case { "product title", { 846, 0, 192, 40 } } })
    {
        SCOPED_TRACE (c.what);
        const auto atOne = stepsIn (single, c.area);
        const auto count = atOne.size() / 50;
        const double one = meanOfFirst (atOne, count);
        const double two = meanOfFirst (stepsIn (twice, c.area * 2), 2 * count);
        const double blurred = meanOfFirst (stepsIn (enlarged, c.area * 2), 2 * count);
        std::cout << c.what << ": strongest steps " << one << " at 1x, " << two << " at 2x, " << blurred << " enlarged\n";
        EXPECT_GE (two, one);
        EXPECT_EQ (meanOfFirst (stepsIn (hosted, c.area * 2), 2 * count), two);
        EXPECT_LT (blurred, 0.6 * one); // the measure tells an enlarged picture apart
    }
}

TEST (EditorArtwork, ScaledEditorKeepsItsDoubleSizePicturesDecoded)
{
    // The image cache drops pictures that nobody holds a few seconds after their last use. The
    // single-size ones are held by the controls; their twins must be too, or a scaled editor
    // decodes them again on the first paint after every pause (the panel alone is 2124 x 1034).
    VroCore core;
    auto editor = openEditor (core);
    editor->createComponentSnapshot (editor->getLocalBounds(), true, 2.0f);
    juce::ImageCache::releaseUnusedImages();

    for (const void* data : { (const void*) BinaryData::backgroundLight_2x_png, (const void*) BinaryData::knobStrip50_2x_png,
                              (const void*) BinaryData::sliderCapOrange_2x_png, (const void*) BinaryData::ledRed_2x_png })
        EXPECT_TRUE (juce::ImageCache::getFromHashCode ((juce::int64) (juce::pointer_sized_int) data).isValid());
}
