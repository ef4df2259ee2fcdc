#include "ArpSeqSection.h"

#include <cmath>

namespace
{
enum ArpMode : int
{
    up = 0,
    upDown = 1,
    upDownRepeat = 2,
    down = 3,
    asPlayedReversed = 4,
    randomOrder = 5,
    asPlayed = 6
};

constexpr int kNumArpModes = 7;
constexpr double kTieLength = 0.95; // step lengths from here up tie into the next step
constexpr int kRecordRootNote = 60;

bool legatoAdsrMode (const EngineSettings& s) noexcept
{
    return switchPosition (s.params[Param::AdsrMode], 3) == 1;
}

void bubbleSort (int* values, int n, bool ascending) noexcept
{
    for (bool swapped = true; swapped;)
    {
        swapped = false;
        for (int i = 0; i + 1 < n; ++i)
        {
            if (ascending ? values[i] > values[i + 1] : values[i] < values[i + 1])
            {
                const int t = values[i];
                values[i] = values[i + 1];
                values[i + 1] = t;
                swapped = true;
            }
        }
    }
}
} // namespace

//==============================================================================
Arpeggiator::Arpeggiator (EngineSettings& s, MidiOutCollector& midiOut) noexcept
    : voice (s, &midiOut), settings (s)
{
    voice.randomize (0);
}

void Arpeggiator::setSampleRate (double rate) noexcept
{
    voice.setSampleRate (rate);
    random.setSampleRate (rate);
}

void Arpeggiator::addNote (int note) noexcept
{
    if (playCount <= 0)
        newPhrase = true;
    if (heldNotes.indexOf (note) < 0)
        heldNotes.pushFront (note);
    rebuild();
}

void Arpeggiator::noteOff (int note) noexcept
{
    heldNotes.removeFirst (note);
    if (hold)
        return; // the order keeps playing the released notes
    if (heldNotes.empty())
        voice.release();
    rebuild();
}

void Arpeggiator::setHold (bool on) noexcept
{
    if (on == hold)
        return;
    hold = on;
    if (! on)
        rebuild();
}

void Arpeggiator::setMode (double value) noexcept
{
    const float position = std::floor ((float) (6.0 * value + 0.5));
    mode = position >= 1.0f && position < (float) kNumArpModes ? (int) position : 0;
    if (hold)
        arrange(); // the latched notes, which may no longer be held
    else
        rebuild();
}

void Arpeggiator::rebuild() noexcept
{
    rawCount = heldNotes.size();
    for (int i = 0; i < rawCount; ++i)
        rawNotes[i] = heldNotes[i];
    arrange();
}

void Arpeggiator::arrange() noexcept
{
    const int n = rawCount;
    for (int i = 0; i < n; ++i)
        work[i] = rawNotes[i];

    if (mode == up || mode == upDown || mode == upDownRepeat)
    {
        bubbleSort (work, n, true);
    }
    else if (mode == down)
    {
        bubbleSort (work, n, false);
    }
    else if (mode == asPlayed)
    {
        for (int i = 0, j = n - 1; i < j; ++i, --j)
        {
            const int t = work[i];
            work[i] = work[j];
            work[j] = t;
        }
    }

    // The way back down: without the ends for "U&D", with both ends repeated for "U&D II".
    int count = n;
    if (mode == upDown && n > 2)
    {
        for (int i = n - 2; i >= 1; --i)
            work[count++] = work[i];
    }
    else if (mode == upDownRepeat)
    {
        for (int i = n - 1; i >= 0; --i)
            work[count++] = work[i];
    }

    for (int i = 0; i < count; ++i)
        playOrder[i] = work[i];
    playCount = count;
}

bool Arpeggiator::playStep (const PatternStep& step) noexcept
{
    if (playCount <= 0)
    {
        playIndex = 0;
        return false;
    }
    if (playIndex >= playCount)
        playIndex = 0;
    const int note = playOrder[playIndex];

    if (step.pause)
    {
        voice.release();
        return true; // the same note is next once the pause is over
    }

    int next = playIndex + 1;
    if (mode == randomOrder)
    {
        const int32_t seed = random.nextSeed();
        const double r = (double) ((float) (seed & 0x7FFFFFFF) * 0x1p-31f);
        next = (int) (r * (playCount - 1) + 0.5);
        if (next == playIndex)
            next += 1;
    }
    playIndex = next;

    if (playsSingleNote())
    {
        if (! ((voice.active || voice.sustained) && voice.note == note))
            voice.trigger (note, false, false, step.velocity);
        playIndex = 1;
        newPhrase = false;
        return false;
    }

    // The first step of a phrase always starts the envelopes, or a legato arpeggio that starts
    // from silence would never sound.
    const bool noRetrigger = (step.slideAdsr || legatoAdsrMode (settings)) && ! newPhrase;
    voice.release();
    voice.trigger (note, step.slide, noRetrigger, step.velocity);
    newPhrase = false;
    return true;
}

void Arpeggiator::clear() noexcept
{
    playCount = 0;
    rawCount = 0;
    heldNotes.clear();
    voice.release();
    voice.sustained = false;
}

//==============================================================================
SequencerPlayer::SequencerPlayer (EngineSettings& s, MidiOutCollector& midiOut) noexcept
    : voice (s, &midiOut), settings (s)
{
    voice.randomize (0);
}

void SequencerPlayer::addNote (int note) noexcept
{
    if (hold)
        notes.clear(); // a new key replaces the held root
    if (notes.indexOf (note) < 0)
    {
        newPhrase = true;
        notes.pushFront (note);
    }
}

void SequencerPlayer::noteOff (int note) noexcept
{
    if (hold)
        return;
    notes.removeFirst (note);
    if (notes.empty())
        voice.release();
}

bool SequencerPlayer::playStep (const PatternStep& step) noexcept
{
    if (notes.empty())
        return false;

    // May leave MIDI's range: the voice sounds it (the oscillator limits its frequency), the host
    // is sent no note for it.
    const int pitch = notes[0] + step.noteOffset;
    voice.release();
    if (step.pause)
        return true;

    const bool noRetrigger = (step.slideAdsr || legatoAdsrMode (settings)) && ! newPhrase;
    voice.trigger (pitch, step.slide, noRetrigger, step.velocity);
    newPhrase = false;
    return true;
}

void SequencerPlayer::clear() noexcept
{
    notes.clear();
    voice.release();
    voice.sustained = false;
}

//==============================================================================
ArpSeqSection::ArpSeqSection (double rate, EngineSettings& s, Lfo& l, MidiOutCollector& midiOut) noexcept
    : clock (rate, s), arpeggiator (s, midiOut), sequencer (s, midiOut), settings (s), lfo (l)
{
    restartPattern();
    reset();
    restartPattern();
}

void ArpSeqSection::setSampleRate (double rate) noexcept
{
    clock.setSampleRate (rate);
    arpeggiator.setSampleRate (rate);
    sequencer.voice.setSampleRate (rate);
}

void ArpSeqSection::noteOn (int note) noexcept
{
    const auto& p = settings.params;
    const bool notRecording = ! (p[Param::SeqRecord] > 0.5);
    const bool arpOn = p[Param::ArpEnabled] > 0.5;
    const bool seqOn = p[Param::SeqEnabled] > 0.5;

    if ((arpeggiator.playCount <= 0 && arpOn && notRecording) || (sequencer.notes.empty() && seqOn && notRecording))
        restartPattern();

    clock.hostMode = switchPosition (p[Param::MainSyncMode], 4) == 1;

    const bool arpHadNotes = arpeggiator.playCount > 0;
    const bool seqHadNotes = ! sequencer.notes.empty();
    sequencer.addNote (note);
    arpeggiator.addNote (note);

    if (arpOn && ! arpHadNotes)
    {
        clock.startPhrase();
        if (clock.hostMode && notRecording)
        {
            arpeggiator.playStep (*currentStep);
            advance();
        }
    }

    if (seqOn && ! seqHadNotes)
    {
        clock.startPhrase();
        if (clock.hostMode && notRecording)
        {
            sequencer.playStep (*currentStep);
            advance();
        }
    }
}

void ArpSeqSection::noteOff (int note) noexcept
{
    arpeggiator.noteOff (note);
    sequencer.noteOff (note);
}

bool ArpSeqSection::render (double& left, double& right) noexcept
{
    const auto& p = settings.params;
    wrapStepIndex();

    double swingDelay = 0.0;
    if (nextStep->offbeat)
    {
        const double swing = (double) (float) p[Param::Swing];
        swingDelay = swing * swing * 0.5;
    }
    const bool fire = clock.tick (swingDelay);

    bool release = false;
    if (! clock.gateReleased && clock.sinceStep > currentStep->length)
    {
        clock.gateReleased = true;
        release = currentStep->length < kTieLength;
    }

    const bool restartLfo = p[Param::LfoTrigger] >= 0.5;

    if (p[Param::SeqEnabled] > 0.5)
    {
        if (! sequencer.notes.empty() && fire)
        {
            if (sequencer.playStep (*nextStep))
            {
                if (restartLfo)
                    lfo.restart();
                advance();
            }
        }
        else if (release)
        {
            sequencer.voice.release();
        }
        return sequencer.voice.render (left, right);
    }

    if (p[Param::ArpEnabled] > 0.5)
    {
        if (arpeggiator.playCount > 0 && fire)
        {
            if (arpeggiator.playStep (*nextStep))
            {
                if (restartLfo)
                    lfo.restart();
                advance();
            }
        }
        else if (release && arpeggiator.playCount > 1)
        {
            arpeggiator.voice.release();
        }
        return arpeggiator.voice.render (left, right);
    }

    return false;
}

void ArpSeqSection::wrapStepIndex() noexcept
{
    if (stepIndex >= pattern.numberOfSteps || stepIndex < 0)
    {
        stepIndex = 0;
        nextStep = &pattern.steps[0];
    }
}

void ArpSeqSection::advance() noexcept
{
    wrapStepIndex();
    currentStep = &pattern.steps[stepIndex];
    pattern.position = stepIndex;
    stepIndex += 1;
    if (stepIndex >= pattern.numberOfSteps)
        stepIndex = 0;
    nextStep = &pattern.steps[stepIndex];
}

void ArpSeqSection::restartPattern() noexcept
{
    stepIndex = 0;
    nextStep = currentStep = &pattern.steps[0];
    pattern.changed = true;
}

void ArpSeqSection::reset() noexcept
{
    sequencer.clear();
    arpeggiator.clear();
    pattern.changed = true;
}

void ArpSeqSection::setHold (bool on) noexcept
{
    // Re-applying an unchanged program re-sends "SEQ Hold"; that must not cut a running phrase.
    if (on == holdOn)
        return;
    holdOn = on;
    arpeggiator.setHold (on);
    sequencer.hold = on;
    if (! on)
    {
        arpeggiator.clear();
        sequencer.clear();
    }
}

void ArpSeqSection::recordStep (float velocity, int note) noexcept
{
    advance();
    auto& step = *currentStep;
    step.noteOffset = note - kRecordRootNote;
    step.velocity = (double) velocity;
    step.pause = false;
    step.slide = false;
    pattern.changed = true;
}

void ArpSeqSection::recordChanged() noexcept
{
    if (settings.params[Param::SeqRecord] > 0.5)
    {
        restartPattern();
        reset();
    }
}
