#include "ImageSlider.h"
#include "VroImages.h"
#include "VroInfoLabel.h"

ImageSlider::ImageSlider (juce::Image cap, int travelPixels, VroInfoLabel* label, int index)
    : juce::Slider (juce::String (index)),
      image (cap),
      travel (travelPixels),
      imageWidth (cap.getWidth()),
      imageHeight (cap.getHeight()),
      infoLabel (label)
{
    setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    setSliderStyle (juce::Slider::LinearVertical);
    setRange (0.0, 1.0, (double) 0.0001f);
    // Relative dragging: a press never makes the value jump, 100 px span the range.
    setMouseDragSensitivity (100);
    setSliderSnapsToMousePosition (false);
    setWantsKeyboardFocus (false);
    getProperties().set ("index", index);
}

ImageSlider::~ImageSlider() = default;

void ImageSlider::mouseEnter (const juce::MouseEvent& e)
{
    juce::Slider::mouseEnter (e);
    if (infoLabel != nullptr)
        infoLabel->showValue (getValue());
}

int ImageSlider::capTop() const noexcept
{
    const double p = (getValue() - getMinimum()) / (getMaximum() - getMinimum());
    return (int) ((1.0 - p) * travel);
}

void ImageSlider::paint (juce::Graphics& g)
{
    if (image.isValid())
        VroImages::draw (g, image, image.getBounds().withY (capTop()), image.getBounds());
}
