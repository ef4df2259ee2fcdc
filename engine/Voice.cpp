#include "Voice.h"

#include <algorithm>

double Portamento::tick (double speed, bool linear, double target) noexcept
{
    if (linear != linearMode)
    {
        lastSpeed = -1.0;
        linearMode = linear;
    }

    if (current == target)
        return target;

    // A negative speed would make the glide's divisor cross zero and leave the pitch NaN for good.
    if (speed < 0.0)
        speed = 0.0;

    if (! linear)
    {
        if (speed != lastSpeed)
        {
            expCoefficient = cube (speed) * 40000.0 * rateScale;
            lastSpeed = speed;
        }
        current = (expCoefficient * current + target) / (expCoefficient + 1.0);
        return current;
    }

    const float s = (float) speed;
    if ((double) s != lastSpeed)
    {
        lastSpeed = (double) s;
        const double x = (double) (0.11f - 0.1f * s);
        linearStep = (pow6 (x / rateScale) + 9.99999993922529e-9 / rateScale) * 10000.0;
    }

    if (current > target)
    {
        current -= linearStep;
        if (current <= target)
            current = target;
    }
    else
    {
        current += linearStep;
        if (current >= target)
            current = target;
    }
    return current;
}

Voice::Voice (EngineSettings& s, MidiOutCollector* midiOutput) noexcept
    : oscillators (s), filter (s), settings (s), midiOut (midiOutput)
{
}

void Voice::sendNoteOn() noexcept
{
    // A step offset can push the key outside MIDI's range; the voice still sounds it, but the
    // host only ever receives valid note numbers.
    if (midiOut != nullptr && note >= 0 && note <= 127)
        midiOut->noteOn (note, std::max (1, (int) ((float) velocity * 127.0f))); // 0 would read as a note-off
}

void Voice::sendNoteOff() noexcept
{
    if (midiOut != nullptr && note >= 0 && note <= 127)
        midiOut->noteOff (note);
}

void Voice::release() noexcept
{
    if (active)
        sendNoteOff();
    active = false;
}

void Voice::trigger (int newNote, bool legato, bool noRetrigger, double newVelocity) noexcept
{
    tailCounter = 0;
    triggered = true;

    if (midiOut != nullptr)
    {
        if (active)
            sendNoteOff();
        const int previous = note;
        const double previousVelocity = velocity;
        note = newNote;
        velocity = newVelocity;
        sendNoteOn();
        note = previous;
        velocity = previousVelocity;
    }

    if (ampEnvelope.isIdle())
    {
        auto& o = oscillators;
        const double m = o.phase;
        if (std::abs (m - 2.0 * o.halfPhase) < 0.6)
            o.halfPhase = m * 0.5;
        if (std::abs (m - 4.0 * o.quarterPhase) < 0.6)
            o.quarterPhase = m * 0.25;
    }

    if (! noRetrigger)
    {
        ampEnvelope.retrigger();
        filterEnvelope.retrigger();
        velocity = newVelocity;
    }

    if (! legato)
        settings.cutoffSmootherPrimed = false;

    const double pitch = settings.tuning.pitchOf (newNote);
    portamentoMode = switchPosition (settings.params[Param::PortamentoMode], 3);
    if (portamentoMode == 0)
    {
        if (! active && ! legato)
        {
            portamento.current = pitch;
            velocity = newVelocity;
        }
    }
    else if (portamentoMode == 1)
    {
        portamento.current = pitch;
        velocity = newVelocity;
    }
    else if (portamentoMode == 2)
    {
        if (! active && ! legato)
            velocity = newVelocity;
    }

    note = newNote;
    notePitch = pitch;
    muted = ! settings.tuning.isMapped (newNote);
    active = true;
    released = false;
}

int Voice::beginRender (double& ladderInput, double& gain) noexcept
{
    const auto& p = settings.params;
    const bool gateMode = p[Param::VcaMode] < 0.5;
    // The pedal holds notes that were played; a voice never triggered has none, and before its
    // first sample its envelopes still sit in attack.
    const bool gate = (active || (sustained && triggered)) && ! released;

    if (ampEnvelope.isIdle())
    {
        filterEnvelope.level = 0.0;
        // Saturates, so a voice held idle by the pedal for hours never wraps around into a new tail.
        if (tailCounter < tailSamples && ++tailCounter < tailSamples)
        {
            // Keep the oscillators, DC blocker and filter running so the next note starts from
            // settled states.
            double s = 0.0;
            oscillators.render (s, notePitch, 1.0);
            ladderInput = dcBlocker.process (s);
            filter.prepare (velocity, 0.0, oscillators);
            return tailRun;
        }
        return noRun;
    }

    double e = 0.0;
    if (active || ! filterEnvelope.isIdle())
        e = filterEnvelope.tick (settings.attackSmoothed + 0.00017, gate,
                                 settings.decaySmoothed * decayFactor, settings.sustainSmoothed,
                                 settings.release + 0.002);

    if (portamentoMode == 1)
        portamento.current = notePitch;
    else
        portamento.tick (p[Param::PortamentoValue], p[Param::PortamentoLinear] >= 0.5, notePitch);

    double s = 0.0;
    oscillators.render (s, portamento.current * detune, e);
    ladderInput = dcBlocker.process (s);
    filter.prepare (velocity, filterEnvelope.level, oscillators);

    double attack, release, sustainLevel;
    const double d = p[Param::DeClickAdsr] >= 0.5 ? 0.0005 : 0.0;
    ampEnvelope.skipFade = d > 0.0;
    if (gateMode)
    {
        ampEnvelope.skipFade = true;
        attack = d;
        release = d * 0.5;
        sustainLevel = 1.0;
    }
    else
    {
        attack = settings.attackSmoothed * attackFactor + d;
        release = settings.release + d;
        sustainLevel = settings.sustainSmoothed;
    }
    ampEnvelope.tick (attack, gate, settings.decaySmoothed * decayFactor, sustainLevel, release);

    const double a = std::max (ampEnvelope.level - 0.02, 0.0);
    const double v = p[Param::VelocityVolume];
    gain = (velocity * v + (1.0 - v)) * a;
    return muted ? tailRun : heardRun;
}

bool Voice::render (double& left, double& right) noexcept
{
    double input = 0.0, gain = 0.0;
    const int run = beginRender (input, gain);
    if (run != noRun)
    {
        const double s = filter.core.runOversampled (input, filter.decimator);
        if (run == heardRun)
        {
            const double out = gain * s;
            left += out;
            right += out;
        }
    }
    return active || sustained;
}

void Voice::setSampleRate (double rate) noexcept
{
    oscillators.setSampleRate (rate);
    filter.setSampleRate (rate);
    ampEnvelope.setSampleRate (rate);
    filterEnvelope.setSampleRate (rate);
    portamento.setSampleRate (rate);
    tailSamples = (int) (rate * 10000.0 / 44100.0);
    dcBlocker.setSampleRate (rate);
    tailCounter = 0;
}

void Voice::randomize (int seed) noexcept
{
    // The sequence of juce::Random (48-bit LCG) seeded with the voice index, written out so the
    // engine needs no framework.
    int64_t state = seed;
    auto nextDouble = [&state]
    {
        state = (int64_t) ((((uint64_t) state) * 0x5deece66dULL + 11) & 0xffffffffffffULL);
        return (double) (uint32_t) (int) (state >> 16) / (4294967295.0 + 1.0);
    };
    const double u1 = nextDouble();
    const double u2 = nextDouble();
    detune = 1.0 + (u1 - 0.5) * 9e-5;
    attackFactor = 1.0;
    decayFactor = 1.0 + (u2 - 0.5) * 0.4;
}

void Voice::rest() noexcept
{
    active = sustained = released = false;
    ampEnvelope.state = filterEnvelope.state = Envelope::idle;
    ampEnvelope.level = filterEnvelope.level = 0.0;
    portamento.current = notePitch;
    oscillators.rest();
    filter.decimator = Decimator {};
    filter.core.previousInput = 0.0;
    filter.fmSmoothed = 0.0;
    dcBlocker.output = dcBlocker.previousInput = 0.0;
    setSampleRate (filter.core.sampleRate); // the ladder and the smoothers
}
