#include "synthengine.h"

#include "sound.h"
#include "synthout.h"

#include <condition_variable>
#include <mutex>
#include <thread>
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
    // A load still running on the preparing thread writes into the engine.
    if (soundFont.valid())
        soundFont.wait();
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
    return path && engine.api->fluid_synth_sfload(engine.synth, path, 1) != FLUID_FAILED;
}

namespace {

// Joined when the library goes; an engine nobody took goes with it.
class Preparation {
public:
    ~Preparation() {
        if (thread_.joinable())
            thread_.join();
    }

    void start() {
        std::lock_guard lock(mutex_);
        if (started_)
            return;
        started_ = true;
        thread_ = std::thread([this] { prepare(); });
    }

    std::unique_ptr<SynthEngine> take() {
        std::unique_lock lock(mutex_);
        if (!started_ || taken_)
            return nullptr;
        taken_ = true;
        made_.wait(lock, [this] { return done_; });
        return std::move(engine_);
    }

private:
    void prepare() {
        std::unique_ptr<SynthEngine> engine = makeSynthEngine();
        SynthEngine* const made = engine.get();
        std::promise<bool> loaded;
        if (made)
            made->soundFont = loaded.get_future().share();
        {
            std::lock_guard lock(mutex_);
            engine_ = std::move(engine);
            done_ = true;
        }
        made_.notify_all();
        // From here the engine may be in a port's hands, which keeps it
        // until the answer below.
        if (made)
            loaded.set_value(loadSoundFont(*made, findSoundFont()));
    }

    std::mutex mutex_;
    std::condition_variable made_;
    bool started_ = false;
    bool taken_ = false;
    bool done_ = false;
    std::unique_ptr<SynthEngine> engine_;
    std::thread thread_;
};

Preparation& preparation() {
    static Preparation p;
    return p;
}

} // namespace

void startPreparingSynth() {
    // Without an audio output the synthesizer never opens: nothing to make.
    if (!pulseServerLikely() && !alsaPlaybackPresent() && !jackServerLikely())
        return;
    preparation().start();
}

std::unique_ptr<SynthEngine> takePreparedSynth() {
    return preparation().take();
}

} // namespace midilib
