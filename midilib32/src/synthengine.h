#pragma once

#include "fluidapi.h"

#include <future>
#include <memory>

namespace midilib {

// The path of the General MIDI soundfont the synthesizer plays, or null
// when none is installed.
const char* findSoundFont();

// A FluidSynth engine with the synthesizer's settings, without an audio
// output. Its soundfont may still be loading on another thread: the
// engine waits for that load before it goes.
struct SynthEngine {
    SynthEngine() = default;
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;
    ~SynthEngine();

    const FluidApi* api = nullptr;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    // Whether the soundfont went in, when another thread loads it (the
    // preparation below); set when that load ends.
    std::shared_future<bool> soundFont;
};

// A new engine with no soundfont yet. Null when FluidSynth is missing.
std::unique_ptr<SynthEngine> makeSynthEngine();

// Loads the soundfont at `path` into `engine` on the calling thread.
bool loadSoundFont(const SynthEngine& engine, const char* path);

// Starts making an engine and loading its soundfont on a thread of its
// own, once, when an audio output is likely to take it: together they take
// 50 ms or more, which the first open of the synthesizer then finds done
// or under way.
void startPreparingSynth();

// The engine that startPreparingSynth made, to the first caller only; it
// waits until the engine is made, not for its soundfont. Null when none was
// started, it was taken already, or it could not be made.
std::unique_ptr<SynthEngine> takePreparedSynth();

} // namespace midilib
