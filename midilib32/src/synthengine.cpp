#include "synthengine.h"

#include "synthout.h"

#include <malloc.h>
#include <unistd.h>

namespace midilib {

const char* findSoundFont() {
    for (const char* path :
         {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2"}) {
        if (access(path, R_OK) == 0)
            return path;
    }
    return nullptr;
}

SynthEngine::~SynthEngine() {
    if (synth)
        api->delete_fluid_synth(synth);
    if (settings)
        api->delete_fluid_settings(settings);
}

std::unique_ptr<SynthEngine> makeSynthEngine() {
    auto engine = std::make_unique<SynthEngine>();
    const FluidApi* api = fluidApi();
    if (!api)
        return nullptr;
    engine->api = api;
    engine->settings = api->new_fluid_settings();
    if (!engine->settings)
        return nullptr;
    fluid_settings_t* s = engine->settings;
    api->fluid_settings_setnum(s, "synth.sample-rate", SynthAudio::sampleRate);
    api->fluid_settings_setnum(s, "synth.gain", SynthAudio::gain);
    api->fluid_settings_setint(s, "synth.polyphony", SynthAudio::polyphony);
    api->fluid_settings_setint(s, "audio.period-size", SynthAudio::periodSize);
    api->fluid_settings_setint(s, "audio.periods", SynthAudio::periods);
    api->fluid_settings_setint(s, "audio.jack.autoconnect", 1);
    api->fluid_settings_setstr(s, "audio.jack.id", jackClientName);
    api->fluid_settings_setstr(s, "audio.pulseaudio.media-role", "music");
    // Only the samples of the instruments the channels have selected are
    // read, when they are selected: the drill's piano and the drum kit need
    // a small part of the soundfont, which would otherwise take some 6 MB
    // of memory all the time.
    api->fluid_settings_setint(s, "synth.dynamic-sample-loading", 1);
    engine->synth = api->new_fluid_synth(s);
    if (!engine->synth)
        return nullptr;
    return engine;
}

bool loadSoundFont(const SynthEngine& engine, const char* path) {
    const bool loaded = path && engine.api->fluid_synth_sfload(engine.synth, path, 1) != FLUID_FAILED;
    // Reading the soundfont's tables leaves some 2 MB of freed buffers
    // between what the synthesizer keeps; they go back to the system, where
    // they would otherwise stay in the process for as long as it runs.
    malloc_trim(0);
    return loaded;
}

} // namespace midilib
