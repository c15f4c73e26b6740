#pragma once

#include "outport.h"

#include <memory>

namespace midilib {

// The built-in synthesizer, output device 0.
inline constexpr const char* synthDeviceName = "Built-in Synthesizer";
// The name its audio output goes by on a JACK server.
inline constexpr const char* jackClientName = "MidiLib32 synthesizer";

// Its audio settings. 256 frames x 2 periods at 48 kHz buffers 10.7 ms
// (a note waits up to one period more for its turn), half of the engine's
// own default, with room for a busy desktop; a sound server may round the
// figures to its own, and a JACK server plays at its own period.
struct SynthAudio {
    static constexpr int sampleRate = 48000;
    static constexpr int periodSize = 256;
    static constexpr int periods = 2;
    // The engine's default gain (0.2) leaves a single note near -43 dBFS.
    static constexpr double gain = 1.0;
    // Voices that may sound at once: four times what General MIDI asks of
    // a device, far more than a drill's chords with their release tails;
    // the engine's default (256) holds some 1.4 MB more all the time.
    static constexpr int polyphony = 128;
};

// Opens the synthesizer with the first audio output that takes it (a sound
// server, then the ALSA default device, then a running JACK server), or
// with none when `offline` is set. Returns once the audio output runs; the
// soundfont loads on a thread of its own, and messages sent meanwhile are
// kept, never waited for, and played as they were spaced once it is in.
// Null when there is no soundfont or no audio output takes the engine.
std::unique_ptr<OutSink> openSynth(bool offline);

} // namespace midilib
