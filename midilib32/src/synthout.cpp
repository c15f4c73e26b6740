#include "synthout.h"

#include "sound.h"

#include <chrono>
#include <condition_variable>
#include <fluidsynth.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

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

class SynthSink final : public OutSink {
public:
    ~SynthSink() override {
        if (driver_)
            delete_fluid_audio_driver(driver_);
        if (loader_.joinable())
            loader_.join();
        if (synth_)
            delete_fluid_synth(synth_);
        if (settings_)
            delete_fluid_settings(settings_);
    }

    bool open(bool offline) {
        const char* soundFont = findSoundFont();
        if (!soundFont)
            return false;
        settings_ = new_fluid_settings();
        if (!settings_)
            return false;
        fluid_settings_setnum(settings_, "synth.sample-rate", SynthAudio::sampleRate);
        fluid_settings_setnum(settings_, "synth.gain", SynthAudio::gain);
        fluid_settings_setint(settings_, "audio.period-size", SynthAudio::periodSize);
        fluid_settings_setint(settings_, "audio.periods", SynthAudio::periods);
        fluid_settings_setint(settings_, "audio.jack.autoconnect", 1);
        fluid_settings_setstr(settings_, "audio.pulseaudio.media-role", "music");
        synth_ = new_fluid_synth(settings_);
        if (!synth_)
            return false;
        if (!offline && !openDriver())
            return false;
        loader_ = std::thread([this, path = std::string(soundFont)] {
            const bool loaded = fluid_synth_sfload(synth_, path.c_str(), 1) != FLUID_FAILED;
            std::lock_guard lock(mutex_);
            loaded_ = loaded;
            loading_ = false;
            ready_.notify_all();
        });
        return true;
    }

    bool send(const uint8_t* b, size_t length) override {
        if (!waitForSoundFont() || length == 0)
            return false;
        const int channel = b[0] & 0x0F;
        switch (b[0] & 0xF0) {
        case 0x80:
            fluid_synth_noteoff(synth_, channel, b[1]);
            return true;
        case 0x90:
            // Velocity 0 is a note-off; the engine treats it so.
            fluid_synth_noteon(synth_, channel, b[1], b[2]);
            return true;
        case 0xA0:
            fluid_synth_key_pressure(synth_, channel, b[1], b[2]);
            return true;
        case 0xB0:
            fluid_synth_cc(synth_, channel, b[1], b[2]);
            return true;
        case 0xC0:
            fluid_synth_program_change(synth_, channel, b[1]);
            return true;
        case 0xD0:
            fluid_synth_channel_pressure(synth_, channel, b[1]);
            return true;
        case 0xE0:
            fluid_synth_pitch_bend(synth_, channel, b[1] | (b[2] << 7));
            return true;
        default:
            if (b[0] == 0xF0 && length >= 2)
                fluid_synth_sysex(synth_, reinterpret_cast<const char*>(b + 1),
                                  static_cast<int>(length - 2), nullptr, nullptr, nullptr, 0);
            return true; // other system messages mean nothing to a synthesizer
        }
    }

    void silence(const SoundingNotes&) override {
        fluid_synth_all_notes_off(synth_, -1);
        fluid_synth_all_sounds_off(synth_, -1);
    }

    bool render(float* left, float* right, uint32_t frames) override {
        if (driver_)
            return false;
        waitForSoundFont();
        return fluid_synth_write_float(synth_, static_cast<int>(frames), left, 0, 1, right, 0, 1) ==
               FLUID_OK;
    }

private:
    bool openDriver() {
        for (const char* name : {"pulseaudio", "alsa", "jack"}) {
            // The engine's JACK output would start a server of its own.
            if (std::string_view(name) == "jack" && !jackServerRunning())
                continue;
            fluid_settings_setstr(settings_, "audio.driver", name);
            driver_ = new_fluid_audio_driver(settings_, synth_);
            if (driver_)
                return true;
        }
        return false;
    }

    // The soundfont takes tens of milliseconds to load; a message that comes
    // sooner waits for it rather than sounding nothing.
    bool waitForSoundFont() {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, std::chrono::seconds(10), [this] { return !loading_; });
        return loaded_;
    }

    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_audio_driver_t* driver_ = nullptr;
    std::thread loader_;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool loading_ = true;
    bool loaded_ = false;
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
