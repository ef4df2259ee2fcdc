#include "Envelope.h"
#include "EngineSettings.h"

namespace
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
} // namespace

void Envelope::setSampleRate (double rate) noexcept
{
    rateScale = rate * 3.5;
    lastAttack = lastDecay = lastRelease = -1.0;
    fadeCoeff = rate * 500.0 / 44100.0;
}

double Envelope::tick (double attack, bool gate, double decay, double sustain, double release) noexcept
{
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
