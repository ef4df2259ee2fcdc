#include "ArpSeqSection.h"
#include <cmath>

// Placeholder until the arpeggiator and sequencer land.
Arpeggiator::Arpeggiator (EngineSettings& s, MidiOutCollector& midiOut) noexcept : voice (s, &midiOut), settings (s) { voice.randomize (0); }
void Arpeggiator::setSampleRate (double rate) noexcept { voice.setSampleRate (rate); random.setSampleRate (rate); }
void Arpeggiator::addNote (int) noexcept {}
void Arpeggiator::noteOff (int) noexcept {}
void Arpeggiator::setHold (bool on) noexcept { hold = on; }
void Arpeggiator::setMode (double value) noexcept { mode = (int) std::floor ((float) (6.0 * value + 0.5)); }
bool Arpeggiator::playStep (const PatternStep&) noexcept { return false; }
void Arpeggiator::clear() noexcept {}
void Arpeggiator::rebuild() noexcept {}
void Arpeggiator::arrange() noexcept {}

SequencerPlayer::SequencerPlayer (EngineSettings& s, MidiOutCollector& midiOut) noexcept : voice (s, &midiOut), settings (s) { voice.randomize (0); }
void SequencerPlayer::addNote (int) noexcept {}
void SequencerPlayer::noteOff (int) noexcept {}
bool SequencerPlayer::playStep (const PatternStep&) noexcept { return false; }
void SequencerPlayer::clear() noexcept {}

ArpSeqSection::ArpSeqSection (double rate, EngineSettings& s, Lfo& l, MidiOutCollector& midiOut) noexcept
    : clock (rate, s), arpeggiator (s, midiOut), sequencer (s, midiOut), settings (s), lfo (l)
{
    restartPattern();
}
void ArpSeqSection::setSampleRate (double rate) noexcept { clock.setSampleRate (rate); arpeggiator.setSampleRate (rate); sequencer.voice.setSampleRate (rate); }
void ArpSeqSection::noteOn (int) noexcept {}
void ArpSeqSection::noteOff (int) noexcept {}
bool ArpSeqSection::render (double&, double&) noexcept { return false; }
void ArpSeqSection::advance() noexcept {}
void ArpSeqSection::restartPattern() noexcept { stepIndex = 0; nextStep = currentStep = &pattern.steps[0]; pattern.changed = true; }
void ArpSeqSection::reset() noexcept {}
void ArpSeqSection::setHold (bool on) noexcept { holdOn = on; }
void ArpSeqSection::recordStep (float, int) noexcept {}
void ArpSeqSection::recordChanged() noexcept {}
