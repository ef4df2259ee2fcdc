#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The editor's embedded bitmaps, decoded once per process by the framework's image cache. */
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
} // namespace VroImages
