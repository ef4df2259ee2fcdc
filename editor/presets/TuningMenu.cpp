#include "TuningMenu.h"
#include "PresetDialogs.h"
#include "VroCore.h"

namespace TuningMenu
{
namespace
{
// Where the last tuning file came from, for the next dialog (this process).
juce::File& lastFolder()
{
    static juce::File folder = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    return folder;
}

void chooseFile (VroCore& core, bool scale, juce::Component* owner, std::function<void()> onDone)
{
    const bool owned = owner != nullptr;
    juce::Component::SafePointer<juce::Component> guard (owner);
    const PresetDialogs::Request request { scale ? "Load a Scala scale." : "Load a Scala keyboard mapping.", lastFolder(),
                                           scale ? "*.scl" : "*.kbm", PresetDialogs::Mode::open };
    PresetDialogs::runChooser (request, [&core, scale, owned, guard, onDone = std::move (onDone)] (const juce::File& file)
    {
        if ((owned && guard == nullptr) || file == juce::File())
            return;
        lastFolder() = file.getParentDirectory();
        juce::String error;
        if (! (scale ? core.loadScaleFile (file, error) : core.loadKeyboardMappingFile (file, error)))
            showProblem (error);
        if (onDone)
            onDone();
    });
}
} // namespace

std::function<void (const juce::String&)> showProblem = [] (const juce::String& message) { PresetDialogs::showAlert ("Tuning", message); };

void addTo (juce::PopupMenu& menu, VroCore& core)
{
    const auto tuning = core.getTuning();
    const bool standard = tuning.table.standard && tuning.scale.isEmpty() && tuning.mapping.isEmpty();
    juce::PopupMenu submenu;
    submenu.addItem (loadScaleId, "Load Scale (.scl)...");
    submenu.addItem (loadMappingId, "Load Keyboard Mapping (.kbm)...");
    submenu.addItem (standardId, "Standard Tuning", true, standard);
    menu.addSeparator();
    menu.addSubMenu ("Tuning", submenu);
}

bool run (int id, VroCore& core, juce::Component* owner, std::function<void()> onDone)
{
    switch (id)
    {
        case loadScaleId:   chooseFile (core, true, owner, std::move (onDone)); return true;
        case loadMappingId: chooseFile (core, false, owner, std::move (onDone)); return true;
        case standardId:    core.setStandardTuning(); return true;
        default:            return false;
    }
}
} // namespace TuningMenu

//==============================================================================
TuningLabel::TuningLabel (VroCore& processor) : core (processor)
{
    setInterceptsMouseClicks (false, false);
}

void TuningLabel::refresh()
{
    const auto description = core.getTuningDescription();
    if (description != text)
    {
        text = description;
        setTooltip (text);
        repaint();
    }
}

void TuningLabel::paint (juce::Graphics& g)
{
    g.setColour (findColour (juce::Label::textColourId));
    g.setFont (juce::Font (10.0f));
    const bool standard = text == "Standard Tuning";
    g.drawText (standard ? text : "Tuning: " + text, getLocalBounds(), juce::Justification::centred, true);
}
