#pragma once

namespace midilib {

// Turns off the diagnostics that the sound libraries print to stderr on
// their own (a missing sound server is an ordinary answer here, not news
// for the user's terminal), unless the program installed handlers of its
// own: those are left as they are. Safe to call often; acts once per
// process.
void quietSoundLibraries();

// Whether a JACK server answers now, asked through the library's one
// listing client (see jackports.h). Never starts one: starting a server
// takes seconds and fails on a machine without a sound card.
bool jackServerRunning();

// Quick looks (well under a millisecond each, no client made) for whether
// an audio output of each kind is there, in the order the synthesizer
// tries them. A yes may still fail when the engine connects.
bool pulseServerLikely();
bool alsaPlaybackPresent();
bool jackServerLikely();

// Whether the ALSA sequencer can be opened (the kernel has one).
bool alsaSequencerPresent();

} // namespace midilib
