#include "Envelope.h"

// Placeholder: linear-ish envelope until the exact curves land.
void Envelope::setSampleRate (double rate) noexcept { rateScale = rate * 3.5; fadeCoeff = rate * 500.0 / 44100.0; }

double Envelope::tick (double, bool gate, double, double sustain, double) noexcept
{
    if (! gate && state != idle)
        state = releaseState;
    switch (state)
    {
        case retriggerFade:
        case attackState: level += 0.01; if (level >= 1.0) { level = 1.0; state = decayState; } break;
        case decayState: level += (sustain - level) * 0.001; break;
        case releaseState: level -= 0.001; if (level <= 0.0) { level = 0.0; state = idle; } break;
        default: break;
    }
    return level;
}
