#include "Envelope.h"
#include "EngineSettings.h"

void Envelope::setSampleRate (double rate) noexcept
{
    rateScale = rate * 3.5;
    lastAttack = lastDecay = lastRelease = -1.0;
    fadeCoeff = rate * 500.0 / 44100.0;
}
