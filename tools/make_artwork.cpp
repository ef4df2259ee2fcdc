// Draws the editor's bitmaps (two panel skins, knob and switch strips, fader caps, buttons, LEDs
// and the about picture) and writes them as PNG files into the folder given as argument: once at
// their own size (name.png) and once at twice that size for high-density screens (name_2x.png).
// The application's icons go into its subfolder icons/ (vro-drubbel-SIZE.png).
// Usage: make_artwork <output folder>
#include <juce_graphics/juce_graphics.h>

#include <cmath>
#include <functional>
#include <iostream>

using namespace juce;

namespace
{
constexpr float pi = MathConstants<float>::pi;
constexpr float degrees = pi / 180.0f;

//==============================================================================
// Typography: URW's Helvetica-style faces when installed, the system sans-serif otherwise.
Typeface::Ptr loadFace (const char* fileName)
{
    for (auto* folder : { "/usr/share/fonts/opentype/urw-base35/", "/usr/share/fonts/truetype/urw-base35/" })
    {
        MemoryBlock data;
        if (File (String (folder) + fileName).loadFileAsData (data))
            if (auto face = Typeface::createSystemTypefaceFor (data.getData(), data.getSize()))
                return face;
    }
    std::cerr << "make_artwork: " << fileName << " not found, using the default sans-serif\n";
    return {};
}

Font face (const char* fileName, float height, float kerning = 0.0f)
{
    static std::map<String, Typeface::Ptr> cache;
    auto& tf = cache[fileName];
    if (tf == nullptr)
        tf = loadFace (fileName);
    Font f = tf != nullptr ? Font (tf) : Font (Font::getDefaultSansSerifFontName(), 10.0f, Font::bold);
    f.setHeight (height);
    f.setExtraKerningFactor (kerning);
    return f;
}

Font captionFont (float height = 9.5f) { return face ("NimbusSansNarrow-Bold.otf", height, 0.04f); }
Font headerFont (float height = 12.5f) { return face ("NimbusSans-Bold.otf", height, 0.12f); }
Font titleFont (float height) { return face ("NimbusSans-BoldItalic.otf", height, 0.02f); }
Font scaleFont (float height = 7.5f) { return face ("NimbusSansNarrow-Regular.otf", height); }

//==============================================================================
// Every picture is drawn in its logical pixels; the scale only multiplies the canvas and the
// context's transform, so the 2x set is the same drawing with twice the detail.
int artScale = 1;

/** A transparent picture of a size in logical pixels, and a context that draws into it in them. */
struct Canvas
{
    Canvas (int width, int height)
        : image (Image::ARGB, width * artScale, height * artScale, true), g (image)
    {
        if (artScale != 1)
            g.addTransform (AffineTransform::scale ((float) artScale));
    }

    Image image;
    Graphics g;
};

//==============================================================================
void writePng (const Image& image, const File& folder, const String& name)
{
    const auto file = folder.getChildFile (name + ".png");
    file.deleteFile();
    FileOutputStream out (file);
    if (! out.openedOk() || ! PNGImageFormat().writeImageToStream (image, out))
    {
        std::cerr << "make_artwork: cannot write " << file.getFullPathName() << "\n";
        std::exit (1);
    }
    std::cout << file.getFileName() << " " << image.getWidth() << " x " << image.getHeight() << "\n";
}

/** A soft shadow: a stack of growing, faint copies of a rounded rectangle. */
void softShadow (Graphics& g, Rectangle<float> r, float corner, float spread, float alpha)
{
    const int layers = 6;
    for (int i = layers; i >= 1; --i)
    {
        const float grow = spread * (float) i / layers;
        g.setColour (Colours::black.withAlpha (alpha / layers));
        g.fillRoundedRectangle (r.expanded (grow), corner + grow);
    }
}

void softShadowEllipse (Graphics& g, Point<float> c, float radius, float spread, float alpha)
{
    const int layers = 7;
    for (int i = layers; i >= 1; --i)
    {
        const float r = radius + spread * (float) i / layers;
        g.setColour (Colours::black.withAlpha (alpha / layers));
        g.fillEllipse (c.x - r, c.y - r, 2 * r, 2 * r);
    }
}

Point<float> polar (Point<float> c, float radius, float angleFromTop)
{
    return { c.x + radius * std::sin (angleFromTop), c.y - radius * std::cos (angleFromTop) };
}

//==============================================================================
// Knob: dark knurled skirt, a softly lit cap and an orange pointer. Light comes from the upper left
// and stays put while the knob turns; the knurling and the pointer turn.
void drawKnob (Graphics& g, Point<float> c, float angle)
{
    softShadowEllipse (g, c.translated (1.2f, 2.2f), 16.5f, 3.5f, 0.55f);

    const float skirt = 18.0f;
    ColourGradient skirtFill (Colour (0xff3a3a3c), c.x - skirt, c.y - skirt, Colour (0xff0c0c0d), c.x + skirt, c.y + skirt, false);
    g.setGradientFill (skirtFill);
    g.fillEllipse (c.x - skirt, c.y - skirt, 2 * skirt, 2 * skirt);

    // Knurling: fine ridges round the skirt, turning with the knob.
    for (int i = 0; i < 40; ++i)
    {
        const float a = angle + (float) i * 2.0f * pi / 40.0f;
        const float lit = 0.5f + 0.5f * std::cos (a + 45.0f * degrees);
        g.setColour (Colour::greyLevel (0.10f + 0.22f * lit).withAlpha (0.9f));
        g.drawLine (Line<float> (polar (c, 14.6f, a), polar (c, 17.6f, a)), 1.0f);
    }
    g.setColour (Colours::black.withAlpha (0.7f));
    g.drawEllipse (c.x - skirt + 0.5f, c.y - skirt + 0.5f, 2 * skirt - 1, 2 * skirt - 1, 1.0f);

    const float cap = 13.5f;
    ColourGradient capFill (Colour (0xff58585c), c.x - cap * 0.7f, c.y - cap, Colour (0xff141415), c.x + cap * 0.6f, c.y + cap, false);
    g.setGradientFill (capFill);
    g.fillEllipse (c.x - cap, c.y - cap, 2 * cap, 2 * cap);
    // Spun-metal sheen on the cap face.
    ColourGradient sheen (Colours::white.withAlpha (0.16f), c.x - 4, c.y - 9, Colours::transparentWhite, c.x + 3, c.y + 4, true);
    g.setGradientFill (sheen);
    g.fillEllipse (c.x - cap + 1, c.y - cap + 1, 2 * cap - 2, 2 * cap - 2);
    g.setColour (Colours::white.withAlpha (0.18f));
    g.drawEllipse (c.x - cap + 0.5f, c.y - cap + 0.5f, 2 * cap - 1, 2 * cap - 1, 0.8f);

    // Pointer: an orange line from the cap centre over the skirt's edge.
    const auto inner = polar (c, 3.5f, angle), outer = polar (c, 16.8f, angle);
    g.setColour (Colours::black.withAlpha (0.45f));
    g.drawLine (Line<float> (inner.translated (0.4f, 0.8f), outer.translated (0.4f, 0.8f)), 3.2f);
    Path pointer;
    pointer.startNewSubPath (inner);
    pointer.lineTo (outer);
    g.setColour (Colour (0xffff7a1c));
    g.strokePath (pointer, PathStrokeType (2.6f, PathStrokeType::curved, PathStrokeType::rounded));
    g.setColour (Colour (0xffffc08a).withAlpha (0.6f));
    g.strokePath (pointer, PathStrokeType (0.8f, PathStrokeType::curved, PathStrokeType::rounded));
}

constexpr float knobSweepStart = -135.0f * degrees, knobSweep = 270.0f * degrees;
// Selector detents: upper left round to the right.
const float detentAngles[4] = { -72.0f * degrees, -24.0f * degrees, 24.0f * degrees, 72.0f * degrees };

/** A film strip of frames stacked top to bottom; drawFrame (g, i, top) draws frame i. */
template <typename DrawFrame>
Image frameStrip (int width, int frameHeight, int frames, DrawFrame drawFrame)
{
    Canvas canvas (width, frameHeight * frames);
    Graphics& g = canvas.g;
    for (int i = 0; i < frames; ++i)
    {
        // Each frame keeps its shadows and glows to itself.
        Graphics::ScopedSaveState frame (g);
        g.reduceClipRegion (0, frameHeight * i, width, frameHeight);
        drawFrame (g, i, (float) (frameHeight * i));
    }
    return canvas.image;
}

Image knobStrip (int frames, std::function<float (int)> angleOfFrame)
{
    return frameStrip (44, 44, frames, [&] (Graphics& g, int i, float top)
                       { drawKnob (g, { 22.0f, top + 21.5f }, angleOfFrame (i)); });
}

//==============================================================================
// Lever switch: a slotted plate at the left of the frame, so captions fit beside it.
constexpr float leverPlateX = 2.0f, leverPlateW = 18.0f;
const float leverY3[3] = { 20.0f, 45.5f, 71.0f };

void drawLever (Graphics& g, float top, float leverCentreY)
{
    const Rectangle<float> plate (leverPlateX, top + 6.0f, leverPlateW, 79.0f);
    softShadow (g, plate.translated (1.0f, 1.5f), 3.0f, 2.0f, 0.35f);
    g.setGradientFill (ColourGradient (Colour (0xff3b3b3e), plate.getX(), plate.getY(), Colour (0xff161617), plate.getRight(), plate.getBottom(), false));
    g.fillRoundedRectangle (plate, 3.0f);
    g.setColour (Colours::white.withAlpha (0.14f));
    g.drawRoundedRectangle (plate.reduced (0.5f), 3.0f, 1.0f);
    for (float y : { plate.getY() + 3.5f, plate.getBottom() - 3.5f })
    {
        g.setColour (Colour (0xff8a8a8c));
        g.fillEllipse (plate.getCentreX() - 1.5f, y - 1.5f, 3.0f, 3.0f);
    }

    const Rectangle<float> slot (plate.getCentreX() - 2.5f, top + 14.0f, 5.0f, 63.0f);
    g.setColour (Colour (0xff050505));
    g.fillRoundedRectangle (slot, 2.5f);

    // The paddle, lit from above, casting its shadow down the plate.
    const Rectangle<float> paddle (plate.getX() + 1.5f, top + leverCentreY - 6.5f, leverPlateW - 3.0f, 13.0f);
    softShadow (g, paddle.translated (0.8f, 2.5f), 2.5f, 2.5f, 0.6f);
    g.setGradientFill (ColourGradient (Colour (0xfff4f4f2), paddle.getX(), paddle.getY(), Colour (0xff8e8e8c), paddle.getX(), paddle.getBottom(), false));
    g.fillRoundedRectangle (paddle, 2.5f);
    g.setColour (Colours::black.withAlpha (0.55f));
    g.drawRoundedRectangle (paddle.reduced (0.4f), 2.5f, 0.8f);
    for (float dy : { -2.5f, 0.0f, 2.5f })
    {
        g.setColour (Colours::black.withAlpha (0.28f));
        g.drawHorizontalLine ((int) (paddle.getCentreY() + dy), paddle.getX() + 3.0f, paddle.getRight() - 3.0f);
    }
}

Image leverStrip (int positions)
{
    Canvas canvas (39, positions == 3 ? 274 : 182);
    Graphics& g = canvas.g;
    for (int i = 0; i < positions; ++i)
        if (Graphics::ScopedSaveState frame (g); g.reduceClipRegion (0, 91 * i, 39, 91))
            drawLever (g, 91.0f * (float) i, positions == 3 ? leverY3[i] : (i == 0 ? leverY3[0] : leverY3[2]));
    return canvas.image;
}

// Horizontal slide switch: dark pill with a ribbed light knob.
const float slideKnobX[3] = { 3.0f, 18.5f, 34.0f };

Image slideSwitchStrip()
{
    return frameStrip (59, 26, 3, [] (Graphics& g, int i, float top)
    {
        const Rectangle<float> pill (1.5f, top + 2.5f, 56.0f, 21.0f);
        g.setGradientFill (ColourGradient (Colour (0xff060606), 0, pill.getY(), Colour (0xff2a2a2c), 0, pill.getBottom(), false));
        g.fillRoundedRectangle (pill, 10.5f);
        g.setColour (Colours::white.withAlpha (0.22f));
        g.drawRoundedRectangle (pill.reduced (0.5f), 10.0f, 1.0f);

        const Rectangle<float> knob (slideKnobX[i], top + 4.5f, 22.0f, 17.0f);
        softShadow (g, knob.translated (0.5f, 1.5f), 7.0f, 1.5f, 0.6f);
        g.setGradientFill (ColourGradient (Colour (0xffefefed), 0, knob.getY(), Colour (0xff9c9c9a), 0, knob.getBottom(), false));
        g.fillRoundedRectangle (knob, 7.5f);
        g.setColour (Colours::black.withAlpha (0.5f));
        g.drawRoundedRectangle (knob.reduced (0.4f), 7.5f, 0.8f);
        for (int r = -2; r <= 2; ++r)
        {
            const float x = knob.getCentreX() + 3.0f * (float) r;
            g.setColour (Colours::black.withAlpha (0.3f));
            g.drawVerticalLine ((int) x, knob.getY() + 4.0f, knob.getBottom() - 4.0f);
            g.setColour (Colours::white.withAlpha (0.5f));
            g.drawVerticalLine ((int) x + 1, knob.getY() + 4.0f, knob.getBottom() - 4.0f);
        }
    });
}

//==============================================================================
// Fader cap: 20 px body at the left of the image, its shadow falling to the right.
constexpr float capBodyX = 1.0f, capBodyW = 20.0f, capBodyY = 3.0f, capBodyH = 42.0f;
constexpr int capCentreLine = 24; // from the cap image's top; the scales are printed to match

Image sliderCap (Colour line)
{
    Canvas canvas (47, 55);
    Graphics& g = canvas.g;
    const Rectangle<float> body (capBodyX, capBodyY, capBodyW, capBodyH);
    for (int i = 8; i >= 1; --i)
    {
        const float d = (float) i;
        g.setColour (Colours::black.withAlpha (0.07f));
        g.fillRoundedRectangle (body.translated (2.0f + 0.6f * d, 1.0f + 0.5f * d).expanded (0.4f * d), 3.0f + 0.4f * d);
    }

    g.setGradientFill (ColourGradient (Colour (0xff444447), body.getX(), body.getY(), Colour (0xff0d0d0e), body.getX(), body.getBottom(), false));
    g.fillRoundedRectangle (body, 2.5f);
    // Two bevelled halves tilting towards the centre line.
    auto upper = body.withTrimmedBottom (capBodyH / 2 + 1).reduced (2.0f, 2.0f);
    auto lower = body.withTrimmedTop (capBodyH / 2 + 1).reduced (2.0f, 2.0f);
    g.setGradientFill (ColourGradient (Colour (0xff5a5a5e), 0, upper.getY(), Colour (0xff1c1c1e), 0, upper.getBottom(), false));
    g.fillRoundedRectangle (upper, 1.5f);
    g.setGradientFill (ColourGradient (Colour (0xff101011), 0, lower.getY(), Colour (0xff333336), 0, lower.getBottom(), false));
    g.fillRoundedRectangle (lower, 1.5f);
    for (float y = upper.getY() + 3.0f; y < upper.getBottom() - 2.0f; y += 3.0f)
    {
        g.setColour (Colours::black.withAlpha (0.35f));
        g.drawHorizontalLine ((int) y, upper.getX() + 1.0f, upper.getRight() - 1.0f);
    }
    for (float y = lower.getY() + 3.0f; y < lower.getBottom() - 2.0f; y += 3.0f)
    {
        g.setColour (Colours::white.withAlpha (0.08f));
        g.drawHorizontalLine ((int) y, lower.getX() + 1.0f, lower.getRight() - 1.0f);
    }
    g.setColour (Colours::white.withAlpha (0.25f));
    g.drawHorizontalLine ((int) body.getY() + 1, body.getX() + 2.0f, body.getRight() - 2.0f);
    g.setColour (Colours::black);
    g.drawRoundedRectangle (body.reduced (0.5f), 2.5f, 1.0f);

    g.setColour (line);
    g.fillRect (body.getX() + 1.5f, (float) capCentreLine - 1.0f, capBodyW - 3.0f, 2.2f);
    g.setColour (line.brighter (0.6f).withAlpha (0.7f));
    g.fillRect (body.getX() + 1.5f, (float) capCentreLine - 1.0f, capBodyW - 3.0f, 0.7f);
    return canvas.image;
}

//==============================================================================
// LEDs: a small lens in a dark bezel; lit lenses glow past the bezel.
void drawLed (Graphics& g, Rectangle<float> lens, Colour colour, bool lit)
{
    g.setColour (Colour (0xff0a0a0a));
    g.fillRoundedRectangle (lens.expanded (1.5f), 2.5f);
    g.setColour (Colours::white.withAlpha (0.25f));
    g.drawRoundedRectangle (lens.expanded (2.0f), 3.0f, 0.8f);

    if (lit)
    {
        for (int i = 4; i >= 1; --i)
        {
            g.setColour (colour.withAlpha (0.09f));
            g.fillRoundedRectangle (lens.expanded (1.5f * (float) i), 2.0f + (float) i);
        }
        g.setGradientFill (ColourGradient (colour.brighter (0.9f), lens.getCentreX(), lens.getCentreY() - 1, colour, lens.getX(), lens.getY(), true));
        g.fillRoundedRectangle (lens, 1.5f);
    }
    else
    {
        g.setGradientFill (ColourGradient (colour.darker (0.3f), lens.getCentreX(), lens.getY(), colour.darker (2.2f), lens.getCentreX(), lens.getBottom(), false));
        g.fillRoundedRectangle (lens, 1.5f);
    }
    g.setColour (Colours::white.withAlpha (lit ? 0.55f : 0.2f));
    g.fillRoundedRectangle (lens.getX() + 1.5f, lens.getY() + 1.0f, lens.getWidth() - 3.0f, 1.6f, 0.8f);
}

const Rectangle<float> ledLens (5.0f, 7.0f, 12.0f, 7.0f);
const Colour ledRedColour (0xffff3a24), ledRedOff (0xff8a1e14), ledGreenColour (0xff4be35c);

Image ledStrip (bool greenWhenOff)
{
    return frameStrip (22, 21, 2, [greenWhenOff] (Graphics& g, int i, float top)
    {
        if (i == 0)
            drawLed (g, ledLens, greenWhenOff ? ledGreenColour : ledRedOff, greenWhenOff);
        else
            drawLed (g, ledLens.translated (0.0f, top), ledRedColour, true);
    });
}

// Push button with its LED above; captions go on the panel below it.
const Rectangle<float> buttonBody (12.0f, 10.5f, 28.0f, 23.5f);

Image buttonLedStrip()
{
    return frameStrip (52, 47, 2, [] (Graphics& g, int i, float top)
    {
        drawLed (g, Rectangle<float> (21.0f, top + 3.0f, 10.0f, 4.0f), i == 0 ? ledRedOff : ledRedColour, i == 1);

        const auto body = buttonBody.translated (0.0f, top);
        softShadow (g, body.translated (1.0f, 2.0f), 3.0f, 2.5f, 0.5f);
        g.setColour (Colour (0xff1a1a1a));
        g.fillRoundedRectangle (body.expanded (1.0f), 3.5f);
        g.setGradientFill (ColourGradient (Colour (0xfff2f2ef), 0, body.getY(), Colour (0xffb4b4b0), 0, body.getBottom(), false));
        g.fillRoundedRectangle (body, 3.0f);
        const auto face = body.reduced (3.0f, 3.0f);
        g.setGradientFill (ColourGradient (Colour (0xffdadad6), 0, face.getY(), Colour (0xfff6f6f4), 0, face.getBottom(), false));
        g.fillRoundedRectangle (face, 2.0f);
        g.setColour (Colours::white.withAlpha (0.8f));
        g.drawHorizontalLine ((int) body.getY() + 1, body.getX() + 3.0f, body.getRight() - 3.0f);
    });
}

//==============================================================================
// The panel, in either skin.
struct Theme
{
    Colour panelTop, panelBottom, fieldLine, headerTop, headerBottom, headerText, caption, scale, slot, accent, strip,
        stripText, logoFill, logoText, screen;
    bool dark;
};

const Theme lightTheme { Colour (0xffdededa), Colour (0xffcdcdc8), Colour (0xffa9a9a4), Colour (0xff2f3033), Colour (0xff1f2022),
                         Colour (0xffeeeeea), Colour (0xff262628), Colour (0xff3c3c3e), Colour (0xff141414), Colour (0xffe8651c),
                         Colour (0xff232426), Colour (0xffe6e6e2), Colour (0xff1d1e20), Colour (0xfff2f2ee), Colour (0x1a000000), false };
const Theme darkTheme { Colour (0xff35363a), Colour (0xff26272a), Colour (0xff4a4b50), Colour (0xffd4d4d0), Colour (0xffbdbdb8),
                        Colour (0xff1c1c1e), Colour (0xffd6d6d2), Colour (0xffb4b4b2), Colour (0xff070707), Colour (0xffff7a2a),
                        Colour (0xffc8c8c4), Colour (0xff1e1e20), Colour (0xffe4e4e0), Colour (0xff1e1e20), Colour (0x33000000), true };

struct Panel
{
    Graphics& g;
    const Theme& t;

    void text (const String& s, float x, float y, float w, float h, Justification j, const Font& f, Colour c)
    {
        g.setColour (c);
        g.setFont (f);
        g.drawText (s, Rectangle<float> (x, y, w, h), j, false);
    }

    /** A caption centred on x, its top at y. */
    void caption (const String& s, float cx, float y, float size = 9.5f)
    {
        text (s, cx - 60.0f, y, 120.0f, size + 2.0f, Justification::centredTop, captionFont (size), t.caption);
    }

    void captionLeft (const String& s, float x, float y, float size = 9.5f, std::optional<Colour> colour = {})
    {
        text (s, x, y, 200.0f, size + 2.0f, Justification::topLeft, captionFont (size), colour.value_or (t.caption));
    }

    void captionRight (const String& s, float right, float y, float size = 9.5f)
    {
        text (s, right - 200.0f, y, 200.0f, size + 2.0f, Justification::topRight, captionFont (size), t.caption);
    }

    void header (float x0, float x1, float y0, float y1, const String& title, float titleCentre = -1.0f)
    {
        const Rectangle<float> bar (x0, y0, x1 - x0, y1 - y0);
        g.setGradientFill (ColourGradient (t.headerTop, 0, y0, t.headerBottom, 0, y1, false));
        g.fillRect (bar);
        g.setColour (Colours::white.withAlpha (t.dark ? 0.5f : 0.12f));
        g.drawHorizontalLine ((int) y0, x0, x1);
        g.setColour (Colours::black.withAlpha (0.35f));
        g.drawHorizontalLine ((int) y1 - 1, x0, x1);
        if (title.isNotEmpty())
        {
            const float cx = titleCentre >= 0.0f ? titleCentre : bar.getCentreX();
            // Narrow sections get a tighter title rather than one touching their edges.
            auto font = headerFont();
            while (font.getStringWidthFloat (title) > bar.getWidth() - 10.0f && font.getHeight() > 9.0f)
                font = headerFont (font.getHeight() - 0.5f).withExtraKerningFactor (0.06f);
            text (title, cx - 150.0f, y0, 300.0f, y1 - y0, Justification::centred, font, t.headerText);
        }
    }

    /** A section: its header bar and a field down to y1 framed by a fine line. */
    void section (float x0, float x1, float y0, float headerBottom, float y1, const String& title)
    {
        const Rectangle<float> field (x0, headerBottom, x1 - x0, y1 - headerBottom);
        g.setColour (t.screen.withMultipliedAlpha (0.35f));
        g.fillRect (field);
        g.setColour (t.fieldLine);
        g.drawRect (field.expanded (0.0f, 0.0f), 1.0f);
        g.setColour (Colours::white.withAlpha (t.dark ? 0.05f : 0.45f));
        g.drawHorizontalLine ((int) y1, x0, x1);
        header (x0, x1, y0, headerBottom, title);
    }

    /** Fader slots with a 0 to 10 ladder; numerals at the left of the first when asked. */
    void faderGroup (std::initializer_list<int> xs, int top, bool numerals = true)
    {
        const float step = 77.0f / 10.0f;
        for (int x : xs)
        {
            const float cx = (float) x + capBodyX + capBodyW / 2.0f;
            for (int k = 0; k <= 10; ++k)
            {
                const float y = std::round ((float) top + (float) capCentreLine + (10 - k) * step) + 0.5f;
                const bool major = k % 5 == 0;
                g.setColour (t.scale.withAlpha (major ? 1.0f : 0.75f));
                g.drawLine (cx - (major ? 10.5f : 8.5f), y, cx - 4.0f, y, major ? 1.1f : 0.8f);
                g.drawLine (cx + 4.0f, y, cx + (major ? 10.5f : 8.5f), y, major ? 1.1f : 0.8f);
            }
            const Rectangle<float> slot (cx - 2.0f, (float) top + 9.0f, 4.0f, 107.0f);
            g.setColour (Colours::white.withAlpha (t.dark ? 0.08f : 0.55f));
            g.fillRoundedRectangle (slot.expanded (1.0f).translated (0.3f, 0.6f), 2.5f);
            g.setColour (t.slot);
            g.fillRoundedRectangle (slot, 2.0f);
        }
        if (! numerals)
            return;
        const float cx = (float) *xs.begin() + capBodyX + capBodyW / 2.0f;
        for (int k = 0; k <= 10; k += 2)
        {
            const float y = std::round ((float) top + (float) capCentreLine + (10 - k) * step);
            text (String (k), cx - 26.0f, y - 4.5f, 14.0f, 9.0f, Justification::centredRight, scaleFont (8.0f), t.scale);
        }
    }

    /** Tick ring of a 0..10 knob with numerals 0, 5, 10. */
    void knobRing (Point<float> c, bool numerals = true)
    {
        for (int k = 0; k <= 10; ++k)
        {
            const float a = knobSweepStart + knobSweep * (float) k / 10.0f;
            const bool major = k % 5 == 0;
            g.setColour (t.scale.withAlpha (major ? 1.0f : 0.8f));
            g.drawLine (Line<float> (polar (c, 20.5f, a), polar (c, major ? 25.5f : 23.5f, a)), major ? 1.3f : 0.9f);
        }
        if (! numerals)
            return;
        for (int k : { 0, 5, 10 })
        {
            const auto p = polar (c, 31.0f, knobSweepStart + knobSweep * (float) k / 10.0f);
            text (String (k), p.x - 10.0f, p.y - 4.5f, 20.0f, 9.0f, Justification::centred, scaleFont (8.5f), t.scale);
        }
    }

    void detentTicks (Point<float> c)
    {
        for (float a : detentAngles)
        {
            g.setColour (t.scale);
            g.drawLine (Line<float> (polar (c, 20.5f, a), polar (c, 25.0f, a)), 1.3f);
        }
    }

    void screw (float cx, float cy)
    {
        g.setGradientFill (ColourGradient (Colour (0xffd8d8d4), cx - 4, cy - 4, Colour (0xff6c6c6a), cx + 4, cy + 4, false));
        g.fillEllipse (cx - 4.5f, cy - 4.5f, 9.0f, 9.0f);
        g.setColour (Colours::black.withAlpha (0.5f));
        g.drawEllipse (cx - 4.5f, cy - 4.5f, 9.0f, 9.0f, 0.8f);
        g.drawLine (cx - 3.0f, cy + 1.5f, cx + 3.0f, cy - 1.5f, 1.2f);
    }

    /** Small wave symbols for captions and switch positions. */
    void waveSymbol (const String& kind, float cx, float cy, float w = 12.0f, float h = 7.0f)
    {
        Path p;
        const float x0 = cx - w / 2, x1 = cx + w / 2, y0 = cy - h / 2, y1 = cy + h / 2;
        if (kind == "pulse")
        {
            p.startNewSubPath (x0, y1);
            p.lineTo (x0 + w * 0.2f, y1); p.lineTo (x0 + w * 0.2f, y0); p.lineTo (x0 + w * 0.5f, y0);
            p.lineTo (x0 + w * 0.5f, y1); p.lineTo (x0 + w * 0.7f, y1); p.lineTo (x0 + w * 0.7f, y0);
            p.lineTo (x1, y0);
        }
        else if (kind == "narrow")
        {
            p.startNewSubPath (x0, y1);
            p.lineTo (x0 + w * 0.3f, y1); p.lineTo (x0 + w * 0.3f, y0); p.lineTo (x0 + w * 0.45f, y0);
            p.lineTo (x0 + w * 0.45f, y1); p.lineTo (x0 + w * 0.8f, y1); p.lineTo (x0 + w * 0.8f, y0);
            p.lineTo (x1, y0);
        }
        else if (kind == "saw")
        {
            p.startNewSubPath (x0, y1);
            p.lineTo (x0 + w * 0.5f, y0); p.lineTo (x0 + w * 0.5f, y1); p.lineTo (x1, y0); p.lineTo (x1, y1);
        }
        else if (kind == "triangle")
        {
            p.startNewSubPath (x0, y1);
            p.lineTo (x0 + w * 0.25f, y0); p.lineTo (x0 + w * 0.5f, y1); p.lineTo (x0 + w * 0.75f, y0); p.lineTo (x1, y1);
        }
        else if (kind == "square")
        {
            p.startNewSubPath (x0, y1);
            p.lineTo (x0, y0); p.lineTo (cx, y0); p.lineTo (cx, y1); p.lineTo (x1, y1); p.lineTo (x1, y0);
        }
        g.setColour (t.caption);
        g.strokePath (p, PathStrokeType (1.3f, PathStrokeType::mitered, PathStrokeType::square));
    }

    /** Label beside a switch position, or a recessed read-out window. */
    void readoutWindow (float x, float y, float w, float h)
    {
        g.setColour (t.screen);
        g.fillRoundedRectangle (x, y, w, h, 2.0f);
        g.setColour (Colours::white.withAlpha (t.dark ? 0.06f : 0.5f));
        g.drawHorizontalLine ((int) (y + h), x + 1.0f, x + w - 1.0f);
    }
};

Image background (const Theme& t)
{
    Canvas canvas (1062, 517);
    Graphics& g = canvas.g;
    Panel p { g, t };

    // Panel with a faint horizontal brushing.
    g.setGradientFill (ColourGradient (t.panelTop, 0, 0, t.panelBottom, 0, 517, false));
    g.fillAll();
    Random random (1062517);
    for (int y = 0; y < 517; ++y)
    {
        g.setColour ((random.nextBool() ? Colours::white : Colours::black).withAlpha (0.012f + 0.012f * random.nextFloat()));
        g.drawHorizontalLine (y, 0.0f, 1062.0f);
    }
    g.setColour (Colours::black.withAlpha (t.dark ? 0.6f : 0.35f));
    g.drawRect (0, 0, 1062, 517, 1);
    g.setColour (Colours::white.withAlpha (t.dark ? 0.07f : 0.6f));
    g.drawHorizontalLine (1, 1.0f, 1061.0f);

    for (auto [x, y] : { std::pair { 11.0f, 505.0f }, { 1051.0f, 505.0f }, { 11.0f, 270.0f }, { 1051.0f, 270.0f } })
        p.screw (x, y);

    // ---------------------------------------------------------------- above the panel
    // Maker logo: a badge with the maker's letters and name.
    {
        const Rectangle<float> badge (26.0f, 8.0f, 74.0f, 32.0f);
        g.setColour (t.logoFill);
        g.fillRoundedRectangle (badge, 4.0f);
        g.setColour (t.accent);
        g.fillRect (badge.getX() + 7.0f, badge.getBottom() - 9.0f, 60.0f, 1.5f);
        p.text ("VRO", badge.getX(), badge.getY() + 1.0f, badge.getWidth(), 20.0f, Justification::centred, face ("NimbusSans-Bold.otf", 21.0f, 0.18f), t.logoText);
        p.text ("VELMORA", badge.getX(), badge.getBottom() - 8.0f, badge.getWidth(), 8.0f, Justification::centred, face ("NimbusSans-Bold.otf", 6.5f, 0.5f), t.logoText.withAlpha (0.85f));
    }

    p.captionRight ("ARPEGGIATOR / SEQUENCER", 248.0f, 14.0f, 9.0f);
    p.captionRight ("SYNC MODE", 248.0f, 25.0f, 9.0f);

    p.captionRight ("MIDI LEARN", 750.0f, 11.0f, 9.5f);
    p.captionRight ("WRITE / DELETE", 750.0f, 22.0f, 8.0f);
    p.caption ("LEARN", 768.0f, 31.0f, 8.0f);
    p.caption ("DEL ALL", 802.0f, 31.0f, 8.0f);

    // Product title.
    {
        p.text ("Drubbel", 846.0f, 1.0f, 192.0f, 34.0f, Justification::centredRight, titleFont (33.0f), t.caption);
        p.text ("VRO", 836.0f, 8.0f, 84.0f, 14.0f, Justification::centredRight, face ("NimbusSans-Bold.otf", 12.0f, 0.25f), t.accent);
        p.text ("BASS  SYNTHESIZER", 836.0f, 22.0f, 84.0f, 10.0f, Justification::centredRight, captionFont (7.5f).withExtraKerningFactor (0.12f), t.caption);
        g.setColour (t.accent);
        g.fillRect (846.0f, 37.0f, 192.0f, 2.0f);
    }

    // ---------------------------------------------------------------- sections
    const float topHead = 52.0f, topHeadEnd = 82.0f, topEnd = 280.0f;
    const float lowHead = 284.0f, lowHeadEnd = 314.0f, lowEnd = 473.0f;
    struct Section { float x0, x1; const char* title; };
    for (auto s : { Section { 26, 103, "TUNE" }, { 107, 229, "MODULATOR" }, { 233, 444, "VCO" }, { 448, 644, "SOURCE MIXER" },
                    { 648, 815, "VCF" }, { 819, 863, "VCA" }, { 867, 1038, "ENV" } })
        p.section (s.x0, s.x1, topHead, topHeadEnd, topEnd, s.title);
    for (auto s : { Section { 26, 229, "MASTER" }, { 233, 331, "PITCH / MOD" }, { 335, 410, "VELOCITY" }, { 414, 1038, "" } })
        p.section (s.x0, s.x1, lowHead, lowHeadEnd, lowEnd, s.title);
    p.text ("ARPEGGIATOR / SEQUENCER", 560.0f, lowHead, 330.0f, 30.0f, Justification::centred, headerFont(), t.headerText);

    // Strip under the bottom row.
    g.setGradientFill (ColourGradient (t.strip, 0, 473, t.strip.darker (0.15f), 0, 491, false));
    g.fillRect (26.0f, 473.0f, 1012.0f, 18.0f);
    const auto stripCaption = [&] (const String& s, float x) { p.captionLeft (s, x, 477.0f, 9.0f, t.stripText); };
    stripCaption ("RESET", 448.0f);
    stripCaption ("RECORD SEQUENCE", 506.0f);
    stripCaption ("LOAD SEQUENCE", 624.0f);
    stripCaption ("EDIT MODE  (VELOCITY / LENGTH)", 730.0f);

    // ---------------------------------------------------------------- TUNE
    {
        const Point<float> c (66.0f, 173.5f);
        p.caption ("FINE TUNE", c.x, 124.0f);
        for (int k = 0; k <= 10; ++k)
        {
            const float a = knobSweepStart + knobSweep * (float) k / 10.0f;
            g.setColour (t.scale.withAlpha (k == 5 ? 1.0f : 0.8f));
            g.drawLine (Line<float> (polar (c, 20.5f, a), polar (c, k == 5 ? 26.5f : 23.5f, a)), k == 5 ? 1.4f : 0.9f);
        }
        const auto flat = polar (c, 30.0f, knobSweepStart), sharp = polar (c, 30.0f, knobSweepStart + knobSweep);
        p.text ("b", flat.x - 8.0f, flat.y - 6.0f, 12.0f, 12.0f, Justification::centred, face ("NimbusSans-Bold.otf", 11.0f), t.caption);
        p.text ("#", sharp.x - 4.0f, sharp.y - 6.0f, 12.0f, 12.0f, Justification::centred, face ("NimbusSans-Bold.otf", 11.0f), t.caption);
    }

    // ---------------------------------------------------------------- MODULATOR
    p.caption ("LFO/CLK", 132.0f, 87.0f);
    p.caption ("RATE", 132.0f, 97.0f);
    p.faderGroup ({ 121 }, 110);
    {
        const Point<float> c (188.0f, 173.5f);
        p.caption ("WAVE", c.x, 87.0f);
        p.caption ("FORM", c.x, 97.0f);
        p.detentTicks (c);
        const auto at = [&] (int i, float r) { return polar (c, r, detentAngles[i]); };
        p.waveSymbol ("triangle", at (0, 31).x - 2.0f, at (0, 31).y, 10.0f, 6.0f);
        p.waveSymbol ("square", at (1, 31).x - 1.0f, at (1, 31).y - 1.0f, 9.0f, 6.0f);
        p.captionLeft ("RANDOM", at (2, 29).x - 1.0f, at (2, 29).y - 6.0f, 8.0f);
        // Below its tick, where the knob's skirt has already curved away.
        p.captionRight ("NOISE", 228.0f, 182.0f, 7.5f);
    }
    p.caption ("SYNC", 139.0f, 266.0f, 8.5f);
    p.caption ("TRIG", 175.0f, 266.0f, 8.5f);
    p.caption ("INV", 211.0f, 266.0f, 8.5f);

    // ---------------------------------------------------------------- VCO
    p.caption ("MOD", 258.0f, 92.0f);
    p.faderGroup ({ 247 }, 110);
    {
        const Point<float> c (315.0f, 173.5f);
        p.caption ("RANGE", c.x, 92.0f);
        p.detentTicks (c);
        const char* feet[] = { "16'", "8'", "4'", "2'" };
        for (int i = 0; i < 4; ++i)
        {
            const auto q = polar (c, 31.0f, detentAngles[i]);
            p.text (feet[i], q.x - 10.0f, q.y - 5.5f, 20.0f, 11.0f, Justification::centred, captionFont (9.0f), t.caption);
        }
    }
    p.caption ("PW", 369.0f, 92.0f);
    p.faderGroup ({ 358 }, 110, false);
    for (auto [label, i] : { std::pair { "LFO", 0 }, { "MAN", 1 }, { "ENV", 2 } })
        p.captionLeft (label, 393.0f + leverPlateX + leverPlateW + 3.0f, 135.0f + leverY3[i] - 5.5f, 8.5f);
    p.captionLeft ("SNAP TO NOTE", 271.0f, 249.0f, 8.5f);

    // ---------------------------------------------------------------- SOURCE MIXER
    p.waveSymbol ("pulse", 473.0f, 97.5f);
    p.waveSymbol ("saw", 496.0f, 97.5f);
    p.caption ("SUB", 521.0f, 87.0f);
    p.caption ("OSC", 521.0f, 97.0f);
    p.caption ("NOISE", 620.0f, 92.0f);
    p.faderGroup ({ 462, 485, 510 }, 110);
    p.faderGroup ({ 609 }, 110, false);
    {
        const float x = 543.0f + leverPlateX + leverPlateW + 3.0f;
        p.captionLeft ("1 OCT", x, 135.0f + leverY3[0] - 5.5f, 8.5f);
        p.captionLeft ("2 OCT", x, 135.0f + leverY3[1] - 5.5f, 8.5f);
        p.captionLeft ("2 OCT", x, 135.0f + leverY3[2] - 5.5f, 8.5f);
        p.waveSymbol ("narrow", x + 29.0f, 135.0f + leverY3[2], 10.0f, 6.0f);
    }
    p.captionLeft ("FILTER FM", 543.0f, 262.0f, 8.5f);
    p.captionRight ("WHITE NOISE", 607.0f, 249.0f, 8.5f);
    // The intensity bar is dark in both skins, so its well stays light on the dark panel.
    if (t.dark)
    {
        g.setColour (Colour (0xffa4a4a0));
        g.fillRoundedRectangle (466.0f, 262.0f, 72.0f, 12.0f, 2.0f);
    }
    else
        p.readoutWindow (466.0f, 262.0f, 72.0f, 12.0f);

    // ---------------------------------------------------------------- VCF
    p.caption ("FREQ", 675.0f, 92.0f);
    p.caption ("RES", 699.0f, 92.0f);
    p.caption ("ENV", 743.0f, 92.0f);
    p.caption ("MOD", 766.0f, 92.0f);
    p.caption ("KYB", 791.0f, 92.0f);
    p.faderGroup ({ 664, 688 }, 110);
    p.faderGroup ({ 732, 755, 780 }, 110);
    p.captionLeft ("VOLUME", 689.0f, 245.0f, 8.5f);
    p.captionLeft ("COMP", 689.0f, 254.0f, 8.5f);
    p.captionLeft ("FULL RANGE", 757.0f, 245.0f, 8.5f);
    p.captionLeft ("ENVELOPE", 757.0f, 254.0f, 8.5f);

    // ---------------------------------------------------------------- VCA
    p.captionRight ("ENV", 839.0f, 135.0f + leverY3[0] - 5.5f, 8.5f);
    p.captionRight ("GATE", 839.0f, 135.0f + leverY3[2] - 5.5f, 8.5f);

    // ---------------------------------------------------------------- ENV
    p.captionRight ("GATE+", 891.0f, 135.0f + leverY3[0] - 10.0f, 8.5f);
    p.captionRight ("TRIG", 891.0f, 135.0f + leverY3[0] - 1.0f, 8.5f);
    p.captionRight ("GATE", 891.0f, 135.0f + leverY3[1] - 5.5f, 8.5f);
    p.captionRight ("LFO", 891.0f, 135.0f + leverY3[2] - 5.5f, 8.5f);
    for (auto [label, x] : { std::pair { "A", 940.0f }, { "D", 963.0f }, { "S", 988.0f }, { "R", 1011.0f } })
        p.caption (label, x, 90.0f, 12.0f);
    p.faderGroup ({ 929, 952, 977, 1000 }, 110);
    p.captionLeft ("DE-CLICK ATTACK / RELEASE", 916.0f, 249.0f, 8.5f);

    // ---------------------------------------------------------------- MASTER
    p.caption ("VOLUME", 66.0f, 318.0f);
    p.knobRing ({ 66.0f, 366.5f });
    p.caption ("PORTAMENTO", 136.0f, 318.0f);
    p.knobRing ({ 136.0f, 366.5f });
    p.caption ("POLY", 207.0f, 397.0f, 8.5f);
    p.caption ("PANIC", 207.0f, 444.5f, 8.5f);
    p.caption ("TRANSPOSE", 66.5f, 399.0f, 8.5f);
    p.caption ("PORTAMENTO", 137.5f, 399.0f, 8.5f);
    for (int i = 0; i < 3; ++i)
    {
        const char* transpose[] = { "L", "N", "H" };
        const char* porta[] = { "AUTO", "OFF", "ON" };
        p.caption (transpose[i], 37.0f + slideKnobX[i] + 11.0f, 410.0f, 8.0f);
        // The ends align with the switch's edges, so the longer words keep clear of the middle one.
        const float x = 108.0f + slideKnobX[i] + 11.0f;
        if (i == 0)
            p.captionLeft (porta[i], 108.0f, 410.0f, 8.0f);
        else if (i == 2)
            p.captionRight (porta[i], 167.0f, 410.0f, 8.0f);
        else
            p.caption (porta[i], x, 410.0f, 8.0f);
    }
    p.captionLeft ("NOISE F", 78.0f, 459.0f, 8.5f);
    p.captionLeft ("LINEAR", 148.0f, 459.0f, 8.5f);
    p.readoutWindow (178.0f, 456.0f, 45.0f, 15.0f);

    // ---------------------------------------------------------------- PITCH / MOD, VELOCITY
    p.caption ("VCO", 258.0f, 320.0f);
    p.caption ("VCF", 282.0f, 320.0f);
    p.caption ("MOD", 306.0f, 320.0f);
    p.faderGroup ({ 247, 271, 295 }, 340);
    p.caption ("ENV", 360.0f, 320.0f);
    p.caption ("VOL", 383.0f, 320.0f);
    p.faderGroup ({ 349, 372 }, 340);

    // ---------------------------------------------------------------- ARPEGGIATOR / SEQUENCER
    {
        const auto headerCaption = [&] (const String& s, float x) { p.text (s, x, 293.0f, 80.0f, 12.0f, Justification::centredLeft, captionFont (9.5f), t.headerText); };
        headerCaption ("LOCK", 448.0f);
        headerCaption ("HOLD", 506.0f);
        p.text ("SWING", 870.0f, 293.0f, 80.0f, 12.0f, Justification::centredRight, captionFont (9.5f), t.headerText);
    }
    p.caption ("TEMPO", 443.0f, 318.0f);
    p.knobRing ({ 443.0f, 366.5f });
    p.caption ("SYNC", 505.0f, 358.0f, 8.5f);
    p.caption ("STEPS", 551.0f, 318.0f);
    p.knobRing ({ 551.0f, 366.5f });
    p.readoutWindow (529.0f, 392.0f, 45.0f, 17.0f);
    p.caption ("ARP", 505.0f, 447.0f, 8.5f);
    p.caption ("SEQ", 558.0f, 447.0f, 8.5f);
    p.caption ("MODE", 452.5f, 447.0f, 8.5f);

    return canvas.image;
}

//==============================================================================
/** A sawtooth of `teeth` teeth, each toothWidth wide, from (left, bottom) rising to top: a light
    line in a soft glow of six faint strokes, each glowStep wider than the last. */
void drawGlowingSaw (Graphics& g, float left, float bottom, float toothWidth, float top, int teeth,
                     float lineWidth, float glowStep)
{
    Path saw;
    saw.startNewSubPath (left, bottom);
    for (int i = 0; i < teeth; ++i)
    {
        const float x0 = left + toothWidth * (float) i;
        saw.lineTo (x0 + toothWidth, top);
        saw.lineTo (x0 + toothWidth, bottom);
    }
    for (int i = 6; i >= 1; --i)
    {
        g.setColour (Colour::greyLevel (0.9f).withAlpha (0.05f));
        g.strokePath (saw, PathStrokeType (glowStep * (float) i, PathStrokeType::mitered));
    }
    g.setColour (Colour::greyLevel (0.95f));
    g.strokePath (saw, PathStrokeType (lineWidth, PathStrokeType::mitered));
}

//==============================================================================
Image aboutPicture()
{
    Canvas canvas (460, 445);
    Graphics& g = canvas.g;
    const Rectangle<float> all (0.0f, 0.0f, 460.0f, 445.0f);
    g.setGradientFill (ColourGradient (Colour::greyLevel (0.20f), 0, 0, Colour::greyLevel (0.06f), 0, 445, false));
    g.fillRoundedRectangle (all, 8.0f);
    g.setColour (Colour::greyLevel (0.55f));
    g.drawRoundedRectangle (all.reduced (1.0f), 8.0f, 1.5f);

    // A glowing sawtooth over a fine grid, in grey.
    g.setColour (Colour::greyLevel (0.16f));
    for (float x = 20; x < 440; x += 20)
        g.drawVerticalLine ((int) x, 40.0f, 230.0f);
    for (float y = 40; y <= 230; y += 19)
        g.drawHorizontalLine ((int) y, 20.0f, 440.0f);
    drawGlowingSaw (g, 20.0f, 200.0f, 84.0f, 70.0f, 5, 1.6f, 2.0f);

    const auto draw = [&] (const String& s, float y, float h, const Font& f, float grey)
    {
        g.setColour (Colour::greyLevel (grey));
        g.setFont (f);
        g.drawText (s, Rectangle<float> (0.0f, y, 460.0f, h), Justification::centred, false);
    };
    draw ("VRO", 240.0f, 22.0f, face ("NimbusSans-Bold.otf", 18.0f, 0.4f), 0.75f);
    draw ("Drubbel", 258.0f, 58.0f, titleFont (56.0f), 0.96f);
    draw ("ANALOGUE-STYLE BASS AND LEAD SYNTHESIZER", 318.0f, 14.0f, captionFont (10.0f).withExtraKerningFactor (0.15f), 0.7f);
    g.setColour (Colour::greyLevel (0.4f));
    g.fillRect (130.0f, 344.0f, 200.0f, 1.0f);
    draw ("Design, sound and code: VRO-Velmora", 356.0f, 14.0f, face ("NimbusSans-Regular.otf", 11.5f), 0.8f);
    draw ("Made with the JUCE framework", 372.0f, 14.0f, face ("NimbusSans-Regular.otf", 11.5f), 0.8f);
    draw (String::fromUTF8 ("\u00a9 VRO-Velmora"), 388.0f, 14.0f, face ("NimbusSans-Regular.otf", 11.5f), 0.8f);
    draw ("CLICK ANYWHERE TO CLOSE", 418.0f, 12.0f, captionFont (8.5f).withExtraKerningFactor (0.2f), 0.5f);
    return canvas.image;
}

//==============================================================================
// The application icon: the about picture's glowing sawtooth over a knob of the panel, on a dark
// tile. Drawn at each size rather than scaled down, so the small ones stay crisp.
Image appIcon (int size)
{
    constexpr float units = 64.0f; // drawn in these, scaled to the icon's pixels
    Image image (Image::ARGB, size, size, true);
    Graphics g (image);
    g.addTransform (AffineTransform::scale ((float) size / units));

    const Rectangle<float> tile (2.0f, 2.0f, 60.0f, 60.0f);
    g.setGradientFill (ColourGradient (Colour::greyLevel (0.24f), 0, 2, Colour::greyLevel (0.06f), 0, 62, false));
    g.fillRoundedRectangle (tile, 11.0f);
    g.setColour (Colour::greyLevel (0.55f));
    g.drawRoundedRectangle (tile.reduced (0.5f), 10.5f, 1.0f);

    drawGlowingSaw (g, 9.0f, 27.0f, 23.0f, 10.0f, 2, 2.0f, 0.9f);

    // The knob at 0.8 of its panel size, turned a little past noon.
    g.addTransform (AffineTransform::scale (0.8f).translated (32.0f, 44.0f));
    drawKnob (g, { 0.0f, 0.0f }, 40.0f * degrees);
    return image;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: make_artwork <output folder>\n";
        return 2;
    }
    const File folder = File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    folder.createDirectory();

    for (int scale : { 1, 2 })
    {
        artScale = scale;
        const auto name = [scale] (const char* base) { return scale == 1 ? String (base) : String (base) + "_" + String (scale) + "x"; };
        writePng (background (lightTheme), folder, name ("backgroundLight"));
        writePng (background (darkTheme), folder, name ("backgroundDark"));
        writePng (knobStrip (50, [] (int i) { return knobSweepStart + knobSweep * (float) i / 49.0f; }), folder, name ("knobStrip50"));
        writePng (knobStrip (4, [] (int i) { return detentAngles[i]; }), folder, name ("knobStrip4"));
        writePng (leverStrip (3), folder, name ("switchVertical3"));
        writePng (leverStrip (2), folder, name ("switchVertical2"));
        writePng (slideSwitchStrip(), folder, name ("switchHorizontal3"));
        writePng (sliderCap (Colour (0xffff7a1c)), folder, name ("sliderCapOrange"));
        writePng (sliderCap (Colour (0xfff2cf2a)), folder, name ("sliderCapYellow"));
        writePng (sliderCap (Colour (0xff52d068)), folder, name ("sliderCapGreen"));
        writePng (buttonLedStrip(), folder, name ("buttonLed"));
        writePng (ledStrip (false), folder, name ("ledRed"));
        writePng (ledStrip (true), folder, name ("ledGreenRed"));
        writePng (aboutPicture(), folder, name ("aboutImage"));
    }

    // The desktop's icons (not embedded): the sizes the Debian package installs.
    const auto icons = folder.getChildFile ("icons");
    icons.createDirectory();
    for (int size : { 48, 128, 256, 512 })
        writePng (appIcon (size), icons, "vro-drubbel-" + String (size));
    return 0;
}
