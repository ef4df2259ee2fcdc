#pragma once

#include "EngineSettings.h"

/** One-pole ADSR with an overshooting attack, a decay that starts fast from full level and a
    release that slows as the level falls. Times are the curved 0..1 settings; the coefficients are
    time constants in samples, recomputed only when a setting changed. */
class Envelope
{
public:
    enum State : int { retriggerFade = -1, attackState = 0, decayState = 1, releaseState = 3, idle = 4 };

    void setSampleRate (double rate) noexcept;
    double tick (double attack, bool gate, double decay, double sustain, double release) noexcept;

    /** A note-on: fade out first when still sounding, else attack. */
    void retrigger() noexcept
    {
        state = (level > 0.0 && state <= decayState) ? retriggerFade : attackState;
    }

    bool isIdle() const noexcept { return state == idle; }

    double getAttackCoefficient() const noexcept { return attackCoeff; }
    double getDecayCoefficient() const noexcept { return decayCoeff; }
    double getReleaseCoefficient() const noexcept { return releaseCoeff; }

    int state = attackState;
    double level = 0.0;
    bool skipFade = false;

private:
    double rateScale = 44100.0 * 3.5, fadeCoeff = 500.0;
    double lastAttack = -1.0, lastDecay = -1.0, lastRelease = -1.0;
    double attackCoeff = 0.0, decayCoeff = 0.0, releaseCoeff = 0.0;
};

namespace envelope_detail
{
// A time constant of 1e15 samples is already frozen; the cap only keeps a runaway setting from
// turning the one-pole steps into inf / inf.
constexpr double kMaxCoefficient = 1.0e15;

inline double coefficient (double value) noexcept
{
    if (! (value >= 0.0)) // negative settings, and NaN
        return 0.0;
    return value < kMaxCoefficient ? value : kMaxCoefficient;
}
} // namespace envelope_detail

// Inline: two envelopes per voice tick every sample.
[[gnu::always_inline]] inline double Envelope::tick (double attack, bool gate, double decay, double sustain, double release) noexcept
{
    using envelope_detail::coefficient;
    if (attack != lastAttack)
    {
        lastAttack = attack;
        attackCoeff = coefficient ((attack + 0.0002) * rateScale * 1.4);
    }
    if (decay != lastDecay)
    {
        lastDecay = decay;
        decayCoeff = coefficient ((decay + 0.0002) * rateScale * 2.5);
    }
    if (release != lastRelease)
    {
        lastRelease = release;
        releaseCoeff = coefficient ((release + 8e-5) * rateScale * 2.8);
    }

    // A level outside 0..1 would make the decay and release steps divide by zero.
    if (! (sustain >= 0.0))
        sustain = 0.0;
    else if (sustain > 1.0)
        sustain = 1.0;

    if (! gate)
        state = releaseState;

    switch (state)
    {
        case retriggerFade:
            level = level * fadeCoeff / (fadeCoeff + 1.0);
            if (level <= 0.4 || skipFade)
                state = attackState;
            break;

        case attackState:
        {
            // Heads for 1.6 so that full level is reached in finite time.
            const double q = attackCoeff * 0.8;
            level = (level * q + 1.6) / (q + 1.0);
            if (level >= 1.0)
            {
                level = 1.0;
                state = decayState;
            }
            break;
        }

        case decayState:
        {
            // 4 % of the nominal time constant at full level, the nominal at 0.8, then 80 %.
            double q = decayCoeff;
            if (level > 0.8)
                q = (1.0 - (level - 0.8) * 5.0) * q * 0.96 + q * 0.04;
            else
                q = q * 0.8;
            level = (level * q + sustain - 1e-6) / (q + 1.0);
            if (level <= sustain)
                level = sustain;
            break;
        }

        case releaseState:
        {
            // 60 % of the nominal near full level, 20 % near zero; aims below zero so it ends.
            const double q = (0.6 - cube (1.0 - level) * 0.4) * releaseCoeff;
            level = (level * q - 0.0001) / (q + 1.0);
            if (level <= 0.0)
            {
                level = 0.0;
                state = idle;
            }
            break;
        }

        default:
            break;
    }
    return level;
}
