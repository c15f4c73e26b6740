#include "fluidapi.h"

#include <dlfcn.h>

namespace midilib {

namespace {

const FluidApi* load() {
    // A program that uses the engine itself may have set its log functions;
    // they are process-wide, and ours would replace them.
    void* present = dlopen("libfluidsynth.so.3", RTLD_NOW | RTLD_NOLOAD);
    if (present)
        dlclose(present);
    // Kept for the life of the process: the engine's threads may outlive
    // any one synthesizer's teardown by a moment.
    void* library = dlopen("libfluidsynth.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static FluidApi api;
    bool complete = true;
#define MIDILIB_FLUID_LOOKUP(name)                                                                 \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name));                        \
    complete = complete && api.name;
    MIDILIB_FLUID_FUNCTIONS(MIDILIB_FLUID_LOOKUP)
#undef MIDILIB_FLUID_LOOKUP
    if (!complete)
        return nullptr;
    if (!present) {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            api.fluid_set_log_function(level, nullptr, nullptr);
    }
    return &api;
}

} // namespace

const FluidApi* fluidApi() {
    static const FluidApi* const api = load();
    return api;
}

} // namespace midilib
