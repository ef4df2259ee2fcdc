#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <jack/jack.h>
#include <array>
#include <atomic>

/** The Standalone's MIDI ports on JACK: "midi_in" plays the instrument and "midi_out" carries the
    notes it sends, on a JACK client of their own ("VRO Drubbel MIDI"), open while the audio runs
    on JACK. The framework's JACK device has no MIDI and keeps its client to itself, so these ports
    cannot sit on the audio client. The ports' connections are kept in the settings and made again
    when the client opens.

    Events cross between this client and the audio client through lock-free queues, stamped with
    JACK's frame time; the audio thread and this client's process callback never allocate or wait. */
class StandaloneJackMidi : private juce::AsyncUpdater
{
public:
    explicit StandaloneJackMidi (juce::PropertySet* settingsToUse);
    ~StandaloneJackMidi() override;

    /** Opens the client (the JACK server must be running) or closes it; message thread. */
    void setOpen (bool shouldBeOpen);

    /** Audio thread, around each block the processor plays: merges the events due in it into
        `midi`, then queues the block's own output for the MIDI output port. */
    void addInput (juce::MidiBuffer& midi, int numSamples) noexcept;
    void queueOutput (const juce::MidiBuffer& midi) noexcept;

    /** The frame at which an event stamped `frame` is due in the cycle that starts at
        `cycleStart`. JACK runs the two clients in an order of its choosing: an event of the
        current cycle is due at its own time, one of the cycle before a period later, so either
        way the events keep their spacing. Frame times wrap around. */
    static jack_nframes_t dueFrame (jack_nframes_t frame, jack_nframes_t cycleStart, jack_nframes_t period) noexcept
    {
        return (int32_t) (frame - cycleStart) >= 0 ? frame : frame + period;
    }

private:
    // Longer messages (system exclusive) are not passed on: the instrument neither reads nor sends them.
    struct Event
    {
        jack_nframes_t frame;
        uint8_t size;
        uint8_t bytes[3];
    };

    struct Queue
    {
        bool push (const Event& event) noexcept;
        void clear() noexcept;
        juce::AbstractFifo fifo { 1024 };
        std::array<Event, 1024> events {};
    };

    int process (jack_nframes_t numFrames) noexcept;
    void close (bool keepConnections);
    void handleAsyncUpdate() override;
    void connectSavedPorts();
    void saveConnections();

    juce::PropertySet* settings;
    jack_client_t* client = nullptr;
    jack_port_t* midiIn = nullptr;
    jack_port_t* midiOut = nullptr;

    Queue incoming, outgoing;
    std::atomic<bool> active { false };
    // Closing waits (a block at most) until no audio thread is inside addInput or queueOutput.
    std::atomic<int> audioThreadsInside { 0 };
    std::atomic<bool> serverGone { false };

    // Audio thread only: where the current block lies in JACK's frame time.
    jack_nframes_t cycleStart = 0, blockStart = 0, samplesInCycle = 0, period = 0;
    bool blockStamped = false;
};

/** What the Standalone's player plays: the plug-in, with the JACK MIDI input's events merged into
    each block and the block's MIDI output handed to the JACK MIDI output. The player offers its
    output MIDI only to a hardware port, so it plays this instead of the plug-in. */
class JackMidiPlayerProcessor final : public juce::AudioProcessor
{
public:
    JackMidiPlayerProcessor (juce::AudioProcessor& pluginToPlay, StandaloneJackMidi& ports);

    const juce::String getName() const override { return plugin.getName(); }
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override { return plugin.checkBusesLayoutSupported (layouts); }
    void prepareToPlay (double sampleRate, int blockSize) override;
    void releaseResources() override { plugin.releaseResources(); }
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;
    double getTailLengthSeconds() const override { return plugin.getTailLengthSeconds(); }
    bool acceptsMidi() const override { return true; }
    bool producesMidi() const override { return true; }
    juce::AudioProcessorEditor* createEditor() override { return nullptr; }
    bool hasEditor() const override { return false; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}
    void getStateInformation (juce::MemoryBlock&) override {}
    void setStateInformation (const void*, int) override {}

private:
    static BusesProperties busesOf (const juce::AudioProcessor& plugin);

    juce::AudioProcessor& plugin;
    StandaloneJackMidi& ports;
    juce::MidiBuffer spareMidi;
    bool midiBufferTakenOver = false;
};
