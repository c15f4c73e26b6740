#pragma once

#include <fluidsynth.h>

namespace midilib {

// The parts of FluidSynth the synthesizer uses, looked up at run time.
// The engine and the sixty libraries it pulls in take 20 ms or more to
// load; loading them only when the synthesizer opens, on its own thread,
// keeps that out of a program's start-up.
struct FluidApi {
#define MIDILIB_FLUID_FUNCTIONS(X)                                                                 \
    X(new_fluid_settings)                                                                          \
    X(delete_fluid_settings)                                                                       \
    X(fluid_settings_setnum)                                                                       \
    X(fluid_settings_setint)                                                                       \
    X(fluid_settings_setstr)                                                                       \
    X(new_fluid_synth)                                                                             \
    X(delete_fluid_synth)                                                                          \
    X(new_fluid_audio_driver)                                                                      \
    X(new_fluid_audio_driver2)                                                                     \
    X(fluid_synth_process)                                                                         \
    X(fluid_synth_get_active_voice_count)                                                          \
    X(delete_fluid_audio_driver)                                                                   \
    X(fluid_synth_sfload)                                                                          \
    X(fluid_synth_noteon)                                                                          \
    X(fluid_synth_noteoff)                                                                         \
    X(fluid_synth_key_pressure)                                                                    \
    X(fluid_synth_cc)                                                                              \
    X(fluid_synth_program_change)                                                                  \
    X(fluid_synth_channel_pressure)                                                                \
    X(fluid_synth_pitch_bend)                                                                      \
    X(fluid_synth_sysex)                                                                           \
    X(fluid_synth_all_notes_off)                                                                   \
    X(fluid_synth_all_sounds_off)                                                                  \
    X(fluid_synth_write_float)                                                                     \
    X(fluid_set_log_function)
#define MIDILIB_FLUID_POINTER(name) decltype(&::name) name = nullptr;
    MIDILIB_FLUID_FUNCTIONS(MIDILIB_FLUID_POINTER)
#undef MIDILIB_FLUID_POINTER
};

// The engine, loaded on first use (any thread; later calls return at
// once) with its log turned off. Null when it is not installed.
const FluidApi* fluidApi();

} // namespace midilib
