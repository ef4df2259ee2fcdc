// Renders the whole window in both skins into the build folder, for people to look at, and checks
// the artwork the window is drawn from.
#include "EditorFixture.h"
#include "VroImages.h"

using namespace editortest;

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
