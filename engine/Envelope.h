#pragma once

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
