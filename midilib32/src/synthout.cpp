#include "synthout.h"

#include "fluidapi.h"
#include "outdevices.h"
#include "sound.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace midilib {

namespace {

const char* findSoundFont() {
    for (const char* path :
         {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2"}) {
        if (access(path, R_OK) == 0)
            return path;
    }
    return nullptr;
}

// The synthesizer opens in two steps. At once, on the caller's thread: is
// there a soundfont, and does an audio output seem to be there? Then, on a
// thread of its own: load the engine and the soundfont and connect the
// audio output, which together take 50 to 200 ms. Messages wait for that.
class SynthSink final : public OutSink {
public:
    ~SynthSink() override {
        if (starter_.joinable())
            starter_.join();
        if (driver_)
            api_->delete_fluid_audio_driver(driver_);
        if (synth_)
            api_->delete_fluid_synth(synth_);
        if (settings_)
            api_->delete_fluid_settings(settings_);
    }

    bool open(bool offline) {
        const char* soundFont = findSoundFont();
        if (!soundFont)
            return false;
        // The first output that seems present goes first; the later ones
        // stay as fallbacks should it refuse the engine.
        std::vector<const char*> drivers;
        if (!offline) {
            if (pulseServerLikely())
                drivers = {"pulseaudio", "alsa", "jack"};
            else if (alsaPlaybackPresent())
                drivers = {"alsa", "jack"};
            else if (jackServerLikely())
                drivers = {"jack"};
            else
                return false;
        }
        starter_ = std::thread([this, drivers, path = std::string(soundFont)] {
            const bool ready = start(drivers, path);
            std::lock_guard lock(mutex_);
            ready_ = ready;
            starting_ = false;
            started_.notify_all();
        });
        return true;
    }

    bool send(const uint8_t* b, size_t length) override {
        if (!waitUntilStarted() || length == 0)
            return false;
        const int channel = b[0] & 0x0F;
        switch (b[0] & 0xF0) {
        case 0x80:
            api_->fluid_synth_noteoff(synth_, channel, b[1]);
            return true;
        case 0x90:
            // Velocity 0 is a note-off; the engine treats it so.
            api_->fluid_synth_noteon(synth_, channel, b[1], b[2]);
            return true;
        case 0xA0:
            api_->fluid_synth_key_pressure(synth_, channel, b[1], b[2]);
            return true;
        case 0xB0:
            api_->fluid_synth_cc(synth_, channel, b[1], b[2]);
            return true;
        case 0xC0:
            api_->fluid_synth_program_change(synth_, channel, b[1]);
            return true;
        case 0xD0:
            api_->fluid_synth_channel_pressure(synth_, channel, b[1]);
            return true;
        case 0xE0:
            api_->fluid_synth_pitch_bend(synth_, channel, b[1] | (b[2] << 7));
            return true;
        default:
            if (b[0] == 0xF0 && length >= 2)
                api_->fluid_synth_sysex(synth_, reinterpret_cast<const char*>(b + 1),
                                        static_cast<int>(length - 2), nullptr, nullptr, nullptr, 0);
            return true; // other system messages mean nothing to a synthesizer
        }
    }

    void silence(const SoundingNotes&) override {
        // Still starting: nothing has been sent, so nothing sounds.
        {
            std::lock_guard lock(mutex_);
            if (!ready_)
                return;
        }
        api_->fluid_synth_all_notes_off(synth_, -1);
        api_->fluid_synth_all_sounds_off(synth_, -1);
    }

    bool render(float* left, float* right, uint32_t frames) override {
        if (!waitUntilStarted() || driver_)
            return false;
        return api_->fluid_synth_write_float(synth_, static_cast<int>(frames), left, 0, 1, right, 0,
                                             1) == FLUID_OK;
    }

private:
    bool start(const std::vector<const char*>& drivers, const std::string& soundFont) {
        awaitOutDevicesListing();
        api_ = fluidApi();
        if (!api_)
            return false;
        settings_ = api_->new_fluid_settings();
        if (!settings_)
            return false;
        api_->fluid_settings_setnum(settings_, "synth.sample-rate", SynthAudio::sampleRate);
        api_->fluid_settings_setnum(settings_, "synth.gain", SynthAudio::gain);
        api_->fluid_settings_setint(settings_, "audio.period-size", SynthAudio::periodSize);
        api_->fluid_settings_setint(settings_, "audio.periods", SynthAudio::periods);
        api_->fluid_settings_setint(settings_, "audio.jack.autoconnect", 1);
        api_->fluid_settings_setstr(settings_, "audio.jack.id", jackClientName);
        api_->fluid_settings_setstr(settings_, "audio.pulseaudio.media-role", "music");
        // Only the samples of the instruments the channels have selected are
        // read, when they are selected: the drill's piano and the drum kit
        // need a small part of the soundfont, which would otherwise take
        // some 6 MB of memory all the time.
        api_->fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
        synth_ = api_->new_fluid_synth(settings_);
        // The soundfont goes in before the audio output starts, so the first
        // periods are not held up by the load.
        if (!synth_ || api_->fluid_synth_sfload(synth_, soundFont.c_str(), 1) == FLUID_FAILED)
            return false;
        if (drivers.empty())
            return true;
        for (const char* name : drivers) {
            // The engine's JACK output would start a server of its own when
            // none runs, which takes seconds and fails without a sound card.
            if (std::string_view(name) == "jack" && !jackServerLikely())
                continue;
            api_->fluid_settings_setstr(settings_, "audio.driver", name);
            driver_ = api_->new_fluid_audio_driver2(settings_, renderPeriod, this);
            if (driver_)
                return true;
        }
        return false;
    }

    // The audio callback. With no voice sounding and the reverb's echo died
    // away, the engine would only compute silence: the driver's buffers
    // come zeroed, so the callback leaves them so and the port idles.
    static int renderPeriod(void* self, int frames, int nfx, float* fx[], int nout, float* out[]) {
        auto* sink = static_cast<SynthSink*>(self);
        if (sink->api_->fluid_synth_get_active_voice_count(sink->synth_) > 0)
            sink->quietFrames_ = 0;
        else if (sink->quietFrames_ >= echoFrames)
            return FLUID_OK;
        else
            sink->quietFrames_ += frames;
        if (nfx > 0)
            return sink->api_->fluid_synth_process(sink->synth_, frames, nfx, fx, nout, out);
        // Drivers without buffers of their own for the effects take them
        // mixed into the dry output.
        float* mixed[4] = {out[0], out[nout > 1 ? 1 : 0], out[0], out[nout > 1 ? 1 : 0]};
        return sink->api_->fluid_synth_process(sink->synth_, frames, 4, mixed, nout, out);
    }

    // Longer than the reverb's echo takes to fall below hearing.
    static constexpr int echoFrames = 3 * SynthAudio::sampleRate;

    bool waitUntilStarted() {
        std::unique_lock lock(mutex_);
        started_.wait_for(lock, std::chrono::seconds(10), [this] { return !starting_; });
        return ready_;
    }

    const FluidApi* api_ = nullptr;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_audio_driver_t* driver_ = nullptr;
    std::thread starter_;
    std::mutex mutex_;
    std::condition_variable started_;
    bool starting_ = true;
    bool ready_ = false;
    int quietFrames_ = echoFrames; // audio thread only
};

} // namespace

std::unique_ptr<OutSink> openSynth(bool offline) {
    quietSoundLibraries();
    auto sink = std::make_unique<SynthSink>();
    if (!sink->open(offline))
        return nullptr;
    return sink;
}

} // namespace midilib
