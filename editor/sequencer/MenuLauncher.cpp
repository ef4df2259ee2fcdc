#include "MenuLauncher.h"

namespace MenuLauncher
{
Launch show = [] (juce::PopupMenu menu, juce::PopupMenu::Options options, std::function<void (int)> done)
{
    menu.showMenuAsync (options, std::move (done));
};
} // namespace MenuLauncher
