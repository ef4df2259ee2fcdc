#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Shows the step and preset menus. The answer arrives asynchronously (0 when dismissed); tests
    replace the launcher to answer for the user or to host the menu inside a component. */
namespace MenuLauncher
{
using Launch = std::function<void (juce::PopupMenu, juce::PopupMenu::Options, std::function<void (int)>)>;

extern Launch show;
} // namespace MenuLauncher
