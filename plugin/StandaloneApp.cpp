// The Standalone application: the framework's window around the plug-in, whose title says so when
// no audio output could be opened, instead of leaving a silent window that looks as if it played.
#include <juce_audio_plugin_client/juce_audio_plugin_client.h>
#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_audio_plugin_client/utility/juce_CreatePluginFilter.h>
#include <juce_audio_plugin_client/Standalone/juce_StandaloneFilterWindow.h>

namespace
{
class StandaloneWindow : public juce::StandaloneFilterWindow, private juce::ChangeListener
{
public:
    StandaloneWindow (const juce::String& title, juce::PropertySet* settings)
        : juce::StandaloneFilterWindow (title, juce::LookAndFeel::getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
                                        settings, false),
          plainTitle (title)
    {
        getDeviceManager().addChangeListener (this);
        showOutputState();
    }

    ~StandaloneWindow() override
    {
        getDeviceManager().removeChangeListener (this);
    }

private:
    void changeListenerCallback (juce::ChangeBroadcaster*) override
    {
        showOutputState();
    }

    void showOutputState()
    {
        auto* device = getDeviceManager().getCurrentAudioDevice();
        const bool playing = device != nullptr && device->isOpen() && device->getActiveOutputChannels().countNumberOfSetBits() > 0;
        setName (playing ? plainTitle : plainTitle + " - no audio output: choose one in Options > Audio/MIDI Settings");
    }

    juce::String plainTitle;
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
