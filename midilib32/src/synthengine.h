#pragma once

#include "fluidapi.h"

#include <memory>

namespace midilib {

// The path of the General MIDI soundfont the synthesizer plays, or null
// when none is installed.
const char* findSoundFont();

// A FluidSynth engine with the synthesizer's settings, without an audio
// output.
struct SynthEngine {
    SynthEngine() = default;
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;
    ~SynthEngine();

    const FluidApi* api = nullptr;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
};

// A new engine with no soundfont yet. Null when FluidSynth is missing.
std::unique_ptr<SynthEngine> makeSynthEngine();

// Loads the soundfont at `path` into `engine` on the calling thread.
bool loadSoundFont(const SynthEngine& engine, const char* path);

} // namespace midilib
