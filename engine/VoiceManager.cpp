#include "VoiceManager.h"

VoiceManager::VoiceManager (EngineSettings& s) noexcept : settings (s)
{
    for (int i = 0; i < numVoices; ++i)
    {
        voices[i] = new Voice (s, nullptr);
        voices[i]->randomize (i);
    }
}

VoiceManager::~VoiceManager()
{
    for (auto* v : voices)
        delete v;
}

void VoiceManager::noteOn (int note, double velocity) noexcept
{
    wake();
    const bool legatoMode = switchPosition (settings.params[Param::AdsrMode], 3) == 1;

    if (voiceCount > 1)
    {
        for (int i = activeVoices.size(); --i >= 0;)
            if (activeVoices[i]->ampEnvelope.isIdle())
                activeVoices.removeAt (i);

        // Legato is a mono-mode feature: every poly note starts its own voice's envelopes.
        allocate (note)->trigger (note, false, false, velocity);
        return;
    }

    // A key struck again while held (a host repeating its note-on) moves to the front; a second
    // entry would outlive the key's one note-off and hold the voice.
    heldNotes.removeFirst (note);
    heldNotes.pushFront (note);
    const bool noRetrigger = legatoMode && heldNotes.size() > 1;
    voices[0]->trigger (note, false, noRetrigger, velocity);
}

Voice* VoiceManager::allocate (int note) noexcept
{
    if (activeVoices.empty())
    {
        activeVoices.pushFront (voices[0]);
        return voices[0];
    }

    for (int i = 0; i < activeVoices.size(); ++i)
        if (activeVoices[i]->note == note)
            return activeVoices[i];

    for (int i = 0; i < voiceCount; ++i)
    {
        if (voices[i]->isFree())
        {
            activeVoices.removeFirst (voices[i]);
            activeVoices.pushFront (voices[i]);
            return voices[i];
        }
    }

    for (int i = activeVoices.size(); --i >= 0;)
    {
        if (! activeVoices[i]->active)
        {
            auto* v = activeVoices[i];
            activeVoices.removeAt (i);
            activeVoices.pushFront (v);
            return v;
        }
    }

    auto* oldest = activeVoices[activeVoices.size() - 1];
    activeVoices.removeAt (activeVoices.size() - 1);
    activeVoices.pushFront (oldest);
    return oldest;
}

void VoiceManager::noteOff (int note) noexcept
{
    wake();
    if (voiceCount > 1)
    {
        for (int i = 0; i < activeVoices.size(); ++i)
        {
            if (activeVoices[i]->note == note)
            {
                activeVoices[i]->release();
                return;
            }
        }
        return;
    }

    heldNotes.removeFirst (note);
    if (heldNotes.empty())
    {
        voices[0]->release();
        return;
    }

    if (voices[0]->note != heldNotes.front())
    {
        const bool legatoMode = switchPosition (settings.params[Param::AdsrMode], 3) == 1;
        voices[0]->trigger (heldNotes.front(), true, legatoMode, 0.0);
    }
}

void VoiceManager::setSustain (bool on) noexcept
{
    if (on == sustain)
        return;
    sustain = on;
    wake();
    for (auto* v : voices)
        v->sustained = on;
}

void VoiceManager::reset() noexcept
{
    wake();
    for (auto* v : voices)
    {
        v->active = false;
        v->sustained = false;
    }
    activeVoices.clear();
    heldNotes.clear();
}

void VoiceManager::trackLfoGate() noexcept
{
    const double s = settings.lfoSine;
    if (s > 0.0 && ! lfoWasPositive)
    {
        lfoRetriggerDone = false;
        lfoWasPositive = true;
    }
    else if (s <= 0.0)
        lfoWasPositive = false;
    else
        lfoRetriggerDone = true;
}

bool VoiceManager::renderVoices (double& left, double& right, bool lfoGate) noexcept
{
    const double s = settings.lfoSine;
    bool any = false;
    auto& filters = ladder.filters;
    auto& inputs = ladder.inputs;
    auto& outputs = ladder.outputs;
    auto& gains = ladder.gains;
    auto& heard = ladder.heard;
    int count = 0;
    // A lone voice (mono playing) renders straight through.
    const bool alone = (awake & (awake - 1)) == 0;
    // In voice order, so the sum keeps its order.
    for (uint32_t bits = awake; bits != 0; bits &= bits - 1)
    {
        const int i = __builtin_ctz (bits);
        auto* v = voices[i];
        if (v->isDormant())
        {
            awake &= ~(1u << i);
            continue;
        }

        // A voice that only carries the pedal flag and has never sounded (or has died away) is
        // not gated by the LFO, or unused voices would start playing.
        const bool gated = v->active || (v->sustained && v->triggered && v->isSounding());
        if (lfoGate && gated)
        {
            if (s > 0.0 && ! lfoRetriggerDone)
                v->trigger (v->note, false, false, v->velocity);
            else if (s <= 0.0)
                v->released = true;
        }
        if (alone)
            return v->render (left, right);
        double input = 0.0, gain = 0.0;
        const int run = v->beginRender (input, gain);
        if (run != Voice::noRun)
        {
            filters[count] = &v->filter;
            inputs[count] = input;
            gains[count] = gain;
            heard[count] = run == Voice::heardRun;
            ++count;
        }
        any = v->active || v->sustained || any;
    }
    quiet = awake == 0;

    // The voices' filter ladders side by side; their outputs are summed in voice order.
    if (count == 1)
        outputs[0] = filters[0]->core.runOversampled (inputs[0], filters[0]->decimator);
    else
        FilterCore::runOversampled (filters, inputs, outputs, count);
    for (int i = 0; i < count; ++i)
    {
        if (heard[i])
        {
            const double out = gains[i] * outputs[i];
            left += out;
            right += out;
        }
    }
    return any;
}

void VoiceManager::setSampleRate (double rate) noexcept
{
    wake();
    for (auto* v : voices)
        v->setSampleRate (rate);
}

void VoiceManager::setVoiceCount (int n) noexcept
{
    if (n == voiceCount)
        return;
    voiceCount = n;
    reset();
}
