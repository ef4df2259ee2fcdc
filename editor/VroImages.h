#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The editor's embedded bitmaps, decoded once per process by the framework's image cache. Each has
    a twin drawn at twice the size, which scaled editors (high-density screens, host content scale)
    draw instead, so they stay as sharp as at 100 %. */
namespace VroImages
{
enum class Id
{
    backgroundLight,
    backgroundDark,
    knobStrip50,
    knobStrip4,
    switchVertical3,
    switchVertical2,
    switchHorizontal3,
    sliderCapOrange,
    sliderCapYellow,
    sliderCapGreen,
    buttonLed,
    ledRed,
    ledGreenRed,
    aboutImage
};

/** The shared image, or a null image when the data is missing from the build. */
juce::Image get (Id id);

/** The twin at twice the size of get (id), or a null image when missing. */
juce::Image getDoubleSize (Id id);

/** Draws the source rectangle of image into dest (both in image pixels of get()). When the context
    maps an editor pixel to more than one device pixel and image is one of ours, the same area of
    its double-size twin is drawn instead; any other image is drawn as given. */
void draw (juce::Graphics& g, const juce::Image& image, juce::Rectangle<int> dest, juce::Rectangle<int> source);

/** Draws one frame of a film strip into dest, through draw(): the frames lie side by side in a
    horizontal strip and stacked top to bottom otherwise. */
void drawFrame (juce::Graphics& g, const juce::Image& strip, juce::Rectangle<int> dest, int frame, int frameWidth,
                int frameHeight, bool horizontalStrip);
} // namespace VroImages
