// The Standalone application: the framework's window around the plug-in, whose title says so when
// no audio output could be opened, instead of leaving a silent window that looks as if it played,
// and which on JACK offers a MIDI input and output.
#include "StandaloneJackMidi.h"
#include <juce_audio_plugin_client/juce_audio_plugin_client.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_audio_plugin_client/utility/juce_CreatePluginFilter.h>
#include <juce_audio_plugin_client/Standalone/juce_StandaloneFilterWindow.h>

namespace
{
class StandaloneWindow : public juce::StandaloneFilterWindow, private juce::ChangeListener, private juce::AsyncUpdater
{
public:
    StandaloneWindow (const juce::String& title, juce::PropertySet* settings)
        : juce::StandaloneFilterWindow (title, juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
                                        settings, false),
          plainTitle (title),
          jackMidi (settings)
    {
        playWithJackMidi();
        getDeviceManager().addChangeListener (this);
        followDevice();
    }

    ~StandaloneWindow() override
    {
        cancelPendingUpdate();
        getDeviceManager().removeChangeListener (this);
        pluginHolder->stopPlaying();
        jackMidi.setOpen (false);
    }

private:
    void changeListenerCallback (juce::ChangeBroadcaster*) override
    {
        followDevice();
    }

    // The framework's "Reset to default state" makes a new plug-in, puts it into the window and
    // has the player play it directly; it is wrapped again once the reset is over.
    void childrenChanged() override
    {
        juce::StandaloneFilterWindow::childrenChanged();
        triggerAsyncUpdate();
    }

    void handleAsyncUpdate() override
    {
        if (pluginHolder->player.getCurrentProcessor() != played.get())
            playWithJackMidi();
    }

    void playWithJackMidi()
    {
        pluginHolder->stopPlaying();
        played = nullptr;
        if (auto* plugin = getAudioProcessor())
        {
            played = std::make_unique<JackMidiPlayerProcessor> (*plugin, jackMidi);
            pluginHolder->player.setProcessor (played.get());
        }
    }

    void followDevice()
    {
        auto* device = getDeviceManager().getCurrentAudioDevice();
        const bool open = device != nullptr && device->isOpen();
        const bool playing = open && device->getActiveOutputChannels().countNumberOfSetBits() > 0;
        setName (playing ? plainTitle : plainTitle + " - no audio output: choose one in Options > Audio/MIDI Settings");
        jackMidi.setOpen (open && getDeviceManager().getCurrentAudioDeviceType() == "JACK");
    }

    juce::String plainTitle;
    StandaloneJackMidi jackMidi;
    std::unique_ptr<JackMidiPlayerProcessor> played;
};

class StandaloneApp : public juce::JUCEApplication
{
public:
    StandaloneApp()
    {
        juce::PropertiesFile::Options options;
        options.applicationName = getApplicationName();
        options.filenameSuffix = ".settings";
        options.folderName = "~/.config";
        appProperties.setStorageParameters (options);
    }

    const juce::String getApplicationName() override { return juce::CharPointer_UTF8 (JucePlugin_Name); }
    const juce::String getApplicationVersion() override { return JucePlugin_VersionString; }
    bool moreThanOneInstanceAllowed() override { return true; }
    void anotherInstanceStarted (const juce::String&) override {}

    void initialise (const juce::String&) override
    {
        window = std::make_unique<StandaloneWindow> (getApplicationName(), appProperties.getUserSettings());
        window->setVisible (true);
    }

    void shutdown() override
    {
        window = nullptr;
        appProperties.saveIfNeeded();
    }

    void systemRequestedQuit() override
    {
        if (window != nullptr)
            window->pluginHolder->savePluginState();

        // An open dialog closes first; the quit is asked again once it has.
        if (juce::ModalComponentManager::getInstance()->cancelAllModalComponents())
            juce::Timer::callAfterDelay (100, [] {
                if (auto* app = juce::JUCEApplicationBase::getInstance())
                    app->systemRequestedQuit();
            });
        else
            quit();
    }

private:
    juce::ApplicationProperties appProperties;
    std::unique_ptr<StandaloneWindow> window;
};
} // namespace

juce::JUCEApplicationBase* juce_CreateApplication();
juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new StandaloneApp();
}
