#include "StandaloneJackMidi.h"

#include <jack/midiport.h>
#include <dlfcn.h>
#include <thread>

namespace
{
// libjack is loaded at run time, as the framework's JACK device loads it: the application starts
// on machines without it and offers ALSA alone.
#define VRO_JACK_FUNCTIONS(X)                                                                           \
    X (jack_client_open) X (jack_client_close) X (jack_activate) X (jack_deactivate) X (jack_on_shutdown) \
    X (jack_set_process_callback) X (jack_port_register) X (jack_port_name) X (jack_port_by_name)     \
    X (jack_port_get_buffer) X (jack_port_get_connections) X (jack_connect) X (jack_free)              \
    X (jack_last_frame_time) X (jack_get_buffer_size) X (jack_midi_get_event_count)                    \
    X (jack_midi_event_get) X (jack_midi_clear_buffer) X (jack_midi_event_write)

struct JackApi
{
#define VRO_DECLARE(name) decltype (&::name) name = nullptr;
    VRO_JACK_FUNCTIONS (VRO_DECLARE)
#undef VRO_DECLARE

    bool loaded = false;

    JackApi()
    {
        auto* library = dlopen ("libjack.so.0", RTLD_LAZY);
        if (library == nullptr)
            return;
        bool all = true;
#define VRO_LOAD(name) all = all && (name = reinterpret_cast<decltype (name)> (dlsym (library, #name))) != nullptr;
        VRO_JACK_FUNCTIONS (VRO_LOAD)
#undef VRO_LOAD
        loaded = all;
    }
};

const JackApi& jack()
{
    static const JackApi api;
    return api;
}

const char* const connectionsKey = "jackMidiConnections";

// Room in the player's MIDI buffer for a busy block, so merging never has to grow it.
constexpr size_t midiBufferBytes = 32768;

struct AudioThreadInside
{
    explicit AudioThreadInside (std::atomic<int>& countToUse) noexcept : count (countToUse) { count.fetch_add (1); }
    ~AudioThreadInside() { count.fetch_sub (1); }
    std::atomic<int>& count;
};
} // namespace

bool StandaloneJackMidi::Queue::push (const Event& event) noexcept
{
    const auto scope = fifo.write (1);
    if (scope.blockSize1 == 1)
        events[(size_t) scope.startIndex1] = event;
    return scope.blockSize1 == 1;
}

void StandaloneJackMidi::Queue::clear() noexcept
{
    fifo.read (fifo.getNumReady());
}

StandaloneJackMidi::StandaloneJackMidi (juce::PropertySet* settingsToUse) : settings (settingsToUse) {}

StandaloneJackMidi::~StandaloneJackMidi()
{
    cancelPendingUpdate();
    setOpen (false);
}

void StandaloneJackMidi::setOpen (bool shouldBeOpen)
{
    if (shouldBeOpen == (client != nullptr))
        return;
    if (! shouldBeOpen)
        return close (true);

    const auto& api = jack();
    if (! api.loaded)
        return;
    jack_status_t status {};
    client = api.jack_client_open (JucePlugin_Name " MIDI", JackNoStartServer, &status);
    if (client == nullptr)
        return;
    midiIn = api.jack_port_register (client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    midiOut = api.jack_port_register (client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    serverGone = false;
    api.jack_on_shutdown (client, [] (void* arg) {
        auto* self = static_cast<StandaloneJackMidi*> (arg);
        self->active = false;
        self->serverGone = true;
        self->triggerAsyncUpdate();
    }, this);
    api.jack_set_process_callback (client, [] (jack_nframes_t n, void* self) {
        return static_cast<StandaloneJackMidi*> (self)->process (n);
    }, this);

    // Neither side runs yet: what an earlier opening left in the queues is dropped.
    incoming.clear();
    outgoing.clear();
    if (midiIn == nullptr || midiOut == nullptr || api.jack_activate (client) != 0)
        return close (false);
    active = true;
    connectSavedPorts();
}

void StandaloneJackMidi::close (bool keepConnections)
{
    // The audio thread leaves the client alone from here on; one inside finishes its block.
    active = false;
    while (audioThreadsInside.load() != 0)
        std::this_thread::yield();

    const auto& api = jack();
    if (keepConnections && ! serverGone)
        saveConnections();
    if (! serverGone)
        api.jack_deactivate (client);
    api.jack_client_close (client);
    client = nullptr;
    midiIn = midiOut = nullptr;
}

void StandaloneJackMidi::handleAsyncUpdate()
{
    if (serverGone && client != nullptr)
        close (false);
}

void StandaloneJackMidi::connectSavedPorts()
{
    const auto saved = settings != nullptr ? settings->getXmlValue (connectionsKey) : nullptr;
    if (saved == nullptr)
        return;
    const auto& api = jack();
    for (const auto* port : saved->getChildWithTagNameIterator ("FROM"))
        api.jack_connect (client, port->getStringAttribute ("port").toRawUTF8(), api.jack_port_name (midiIn));
    for (const auto* port : saved->getChildWithTagNameIterator ("TO"))
        api.jack_connect (client, api.jack_port_name (midiOut), port->getStringAttribute ("port").toRawUTF8());
}

void StandaloneJackMidi::saveConnections()
{
    if (settings == nullptr)
        return;
    const auto& api = jack();
    juce::XmlElement xml ("JACKMIDI");
    juce::StringArray listed;
    const auto add = [&] (const char* tag, const juce::String& port) {
        if (! listed.contains (tag + port))
        {
            listed.add (tag + port);
            xml.createNewChildElement (tag)->setAttribute ("port", port);
        }
    };
    for (const auto& [tag, port] : { std::pair { "FROM", midiIn }, std::pair { "TO", midiOut } })
        if (const auto** names = api.jack_port_get_connections (port))
        {
            for (auto** name = names; *name != nullptr; ++name)
                add (tag, juce::CharPointer_UTF8 (*name));
            api.jack_free (names);
        }

    // A port that is not there now (its program or keyboard is not running) stays remembered; one
    // that is there but was disconnected is forgotten.
    if (const auto saved = settings->getXmlValue (connectionsKey))
        for (const auto* port : saved->getChildIterator())
        {
            const auto name = port->getStringAttribute ("port");
            if (api.jack_port_by_name (client, name.toRawUTF8()) == nullptr)
                add (port->getTagName().toRawUTF8(), name);
        }
    settings->setValue (connectionsKey, &xml);
}

int StandaloneJackMidi::process (jack_nframes_t numFrames) noexcept
{
    const auto& api = jack();
    const auto start = api.jack_last_frame_time (client);

    auto* in = api.jack_port_get_buffer (midiIn, numFrames);
    const auto count = api.jack_midi_get_event_count (in);
    for (uint32_t i = 0; i < count; ++i)
    {
        jack_midi_event_t event;
        if (api.jack_midi_event_get (&event, in, i) != 0 || event.size == 0 || event.size > 3)
            continue;
        Event e { start + event.time, (uint8_t) event.size, {} };
        std::copy (event.buffer, event.buffer + event.size, e.bytes);
        incoming.push (e);
    }

    auto* out = api.jack_port_get_buffer (midiOut, numFrames);
    api.jack_midi_clear_buffer (out);
    int sent = 0;
    jack_nframes_t lastOffset = 0;
    int start1, size1, start2, size2;
    outgoing.fifo.prepareToRead (outgoing.fifo.getNumReady(), start1, size1, start2, size2);
    for (int i = 0; i < size1 + size2; ++i)
    {
        const auto& e = outgoing.events[(size_t) (i < size1 ? start1 + i : start2 + i - size1)];
        const auto offset = (int32_t) (dueFrame (e.frame, start, numFrames) - start);
        if (offset >= (int32_t) numFrames)
            break;
        lastOffset = std::max (lastOffset, (jack_nframes_t) std::max (offset, 0));
        api.jack_midi_event_write (out, lastOffset, e.bytes, e.size);
        ++sent;
    }
    outgoing.fifo.finishedRead (sent);
    return 0;
}

void StandaloneJackMidi::addInput (juce::MidiBuffer& midi, int numSamples) noexcept
{
    const AudioThreadInside inside (audioThreadsInside);
    blockStamped = active.load();
    if (! blockStamped)
        return;

    // The player may split a cycle into several blocks.
    const auto& api = jack();
    const auto start = api.jack_last_frame_time (client);
    if (start != cycleStart)
    {
        cycleStart = start;
        samplesInCycle = 0;
    }
    period = api.jack_get_buffer_size (client);
    blockStart = cycleStart + samplesInCycle;
    samplesInCycle += (jack_nframes_t) numSamples;

    int start1, size1, start2, size2, used = 0;
    incoming.fifo.prepareToRead (incoming.fifo.getNumReady(), start1, size1, start2, size2);
    for (; used < size1 + size2; ++used)
    {
        const auto& e = incoming.events[(size_t) (used < size1 ? start1 + used : start2 + used - size1)];
        const auto offset = (int32_t) (dueFrame (e.frame, cycleStart, period) - blockStart);
        if (offset >= numSamples)
            break;
        midi.addEvent (e.bytes, e.size, std::max (offset, 0));
    }
    incoming.fifo.finishedRead (used);
}

void StandaloneJackMidi::queueOutput (const juce::MidiBuffer& midi) noexcept
{
    const AudioThreadInside inside (audioThreadsInside);
    if (! blockStamped || ! active.load())
        return;
    for (const auto metadata : midi)
    {
        if (metadata.numBytes > 3)
            continue;
        Event e { blockStart + (jack_nframes_t) metadata.samplePosition, (uint8_t) metadata.numBytes, {} };
        std::copy (metadata.data, metadata.data + metadata.numBytes, e.bytes);
        outgoing.push (e);
    }
}

//==============================================================================
juce::AudioProcessor::BusesProperties JackMidiPlayerProcessor::busesOf (const juce::AudioProcessor& plugin)
{
    juce::AudioProcessor::BusesProperties buses;
    for (const bool isInput : { true, false })
        for (int i = 0; i < plugin.getBusCount (isInput); ++i)
        {
            const auto* bus = plugin.getBus (isInput, i);
            buses.addBus (isInput, bus->getName(), bus->getDefaultLayout(), bus->isEnabledByDefault());
        }
    return buses;
}

JackMidiPlayerProcessor::JackMidiPlayerProcessor (juce::AudioProcessor& pluginToPlay, StandaloneJackMidi& portsToUse)
    : juce::AudioProcessor (busesOf (pluginToPlay)), plugin (pluginToPlay), ports (portsToUse)
{
}

void JackMidiPlayerProcessor::prepareToPlay (double sampleRate, int blockSize)
{
    // What the player would do for the plug-in, with the layout it chose for this processor.
    plugin.setPlayConfigDetails (getTotalNumInputChannels(), getTotalNumOutputChannels(), sampleRate, blockSize);
    plugin.setProcessingPrecision (singlePrecision);
    plugin.prepareToPlay (sampleRate, blockSize);
    spareMidi.ensureSize (midiBufferBytes);
}

void JackMidiPlayerProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    // The player keeps its buffer for good: it takes over the spare one, made large before
    // playing started, so that merging never grows it.
    if (! midiBufferTakenOver)
    {
        spareMidi.clear();
        spareMidi.addEvents (midi, 0, -1, 0);
        midi.swapWith (spareMidi);
        midiBufferTakenOver = true;
    }

    ports.addInput (midi, buffer.getNumSamples());
    plugin.setPlayHead (getPlayHead());
    {
        const juce::ScopedLock lock (plugin.getCallbackLock());
        if (plugin.isSuspended())
            buffer.clear();
        else
            plugin.processBlock (buffer, midi);
    }
    plugin.setPlayHead (nullptr);
    ports.queueOutput (midi);
}
