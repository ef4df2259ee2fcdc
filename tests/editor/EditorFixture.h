#pragma once

#include "FilmStripKnob.h"
#include "ImageSlider.h"
#include "ImageToggleButton.h"
#include "LogoPanel.h"
#include "VroButton.h"
#include "VroComboBox.h"
#include "VroComponent.h"
#include "VroCore.h"
#include "VroInfoLabel.h"
#include "sequencer/BoxedSimpleSlider.h"
#include "sequencer/VroSequencer.h"

#include <gtest/gtest.h>

namespace juce
{
// The framework's message pump step; the build has no modal loops, so runDispatchLoopUntil is absent.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace editortest
{
/** Writes a picture into the build's snapshot folder, for people to look at. */
inline void save (const juce::Image& image, const juce::String& name)
{
    const auto folder = juce::File (VRO_EDITOR_SNAPSHOT_DIR);
    folder.createDirectory();
    auto file = folder.getChildFile (name);
    file.deleteFile();
    juce::FileOutputStream out (file);
    ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (image, out));
}

/** Pumps messages until done() holds, at most timeoutMs; says whether it came. A loaded machine may
    run timers late, so a test waits for what must happen rather than for a fixed time. */
template <typename Done>
bool pumpUntil (Done&& done, int timeoutMs = 5000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
    }
    return true;
}

/** Lets queued messages (change broadcasts, clicks, timers) run for a while. */
inline void pump (int milliseconds = 30)
{
    pumpUntil ([] { return false; }, milliseconds);
}

/** Records what the host would hear. */
struct HostSpy : juce::AudioProcessorListener
{
    struct Event { char kind; int index; float value; };

    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override { events.push_back ({ 'v', index, value }); }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override { events.push_back ({ 'b', index, 0.0f }); }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override { events.push_back ({ 'e', index, 0.0f }); }

    std::vector<Event> events;
};

/** The control standing for a parameter, of the given kind. */
template <typename T>
T* control (juce::Component& editor, int index)
{
    for (auto* child : editor.getChildren())
        if (auto* c = dynamic_cast<T*> (child); c != nullptr && VroComponent::parameterIndexOf (c) == index)
            return c;
    return nullptr;
}

inline std::unique_ptr<VroComponent> openEditor (VroCore& core)
{
    return std::unique_ptr<VroComponent> (dynamic_cast<VroComponent*> (createVroEditor (core)));
}

/** A mouse event on a component, as the framework's mouse source would deliver it. */
inline juce::MouseEvent mouseAt (juce::Component& c, juce::Point<float> position, juce::Point<float> downAt, bool dragged)
{
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position,
                             juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), 1.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                             &c, &c, now, downAt, now, 1, dragged);
}

/** Presses, drags vertically by dy pixels (negative = up) in a few moves, and releases. */
inline void dragVertically (juce::Component& c, float dy, int moves = 5)
{
    const juce::Point<float> start ((float) c.getWidth() / 2.0f, (float) c.getHeight() / 2.0f);
    c.mouseDown (mouseAt (c, start, start, false));
    for (int i = 1; i <= moves; ++i)
        c.mouseDrag (mouseAt (c, start.translated (0.0f, dy * (float) i / (float) moves), start, true));
    c.mouseUp (mouseAt (c, start.translated (0.0f, dy), start, true));
}

/** Clicks a button through the framework's click path (state flip, clicked, listeners) and returns
    as soon as the click has been handled, before any timer it started can run. */
inline void click (juce::Button& b)
{
    struct Heard : juce::Button::Listener
    {
        void buttonClicked (juce::Button*) override { clicked = true; }
        bool clicked = false;
    } heard;
    b.addListener (&heard);
    b.triggerClick();
    const bool delivered = pumpUntil ([&] { return heard.clicked; });
    b.removeListener (&heard);
    EXPECT_TRUE (delivered) << "the click never arrived";
}
} // namespace editortest
