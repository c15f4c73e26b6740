#include "synthout.h"

#include "callbackguard.h"
#include "fluidapi.h"
#include "outdevices.h"
#include "sound.h"
#include "synthengine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace midilib {

namespace {

// The synthesizer opens in two steps. On the caller's thread: is there a
// soundfont, and does an audio output take the engine? (OpenMidiOut fails
// when none does.) Then, on a thread of its own: load the soundfont, which
// takes 50 to 200 ms, unless the engine prepared at the program's start
// (synthengine.h) has it in or under way. Messages sent meanwhile never wait: they are kept
// with the time they were sent and played, spaced as they came, once the
// soundfont is in.
class SynthSink final : public OutSink {
public:
    ~SynthSink() override {
        {
            std::lock_guard lock(mutex_);
            state_ = State::closing;
            pending_.clear();
        }
        changed_.notify_all();
        if (starter_.joinable())
            starter_.join();
        // The audio thread may be inside the engine: keep it out first.
        guard_.shut();
        if (driver_)
            engine_->api->delete_fluid_audio_driver(driver_);
    }

    bool open(bool offline) {
        offline_ = offline;
        const char* soundFont = findSoundFont();
        if (!soundFont)
            return false;
        if (offline) {
            starter_ = std::thread(
                [this, path = std::string(soundFont)] { finishStart(engineReady(path)); });
            return true;
        }
        // The first output that seems present goes first; the later ones
        // stay as fallbacks should it refuse the engine.
        std::vector<const char*> drivers;
        if (pulseServerLikely())
            drivers = {"pulseaudio", "alsa", "jack"};
        else if (alsaPlaybackPresent())
            drivers = {"alsa", "jack"};
        else if (jackServerLikely())
            drivers = {"jack"};
        if (drivers.empty())
            return false;
        if (!engine_)
            engine_ = makeSynthEngine();
        if (!engine_ || !startAudio(drivers))
            return false;
        starter_ =
            std::thread([this, path = std::string(soundFont)] { finishStart(engineReady(path)); });
        return true;
    }

    bool send(const uint8_t* b, size_t length) override {
        if (length == 0)
            return false;
        {
            std::lock_guard lock(mutex_);
            if (state_ == State::failed || state_ == State::closing)
                return false;
            if (state_ != State::ready) {
                if (pending_.size() >= maxPending)
                    return false;
                pending_.push_back({std::vector<uint8_t>(b, b + length), SteadyClock::now()});
                return true;
            }
        }
        play(b, length);
        return true;
    }

    void silence(const SoundingNotes&) override {
        {
            std::lock_guard lock(mutex_);
            pending_.clear();
            // Still loading: nothing has been played, so nothing sounds.
            if (state_ == State::starting || state_ == State::failed || state_ == State::closing)
                return;
        }
        engine_->api->fluid_synth_all_notes_off(engine_->synth, -1);
        engine_->api->fluid_synth_all_sounds_off(engine_->synth, -1);
    }

    bool render(float* left, float* right, uint32_t frames) override {
        if (!offline_)
            return false;
        {
            // Offline, time stands still until rendered: waiting here for
            // the soundfont loses nothing.
            std::unique_lock lock(mutex_);
            changed_.wait(
                lock, [this] { return state_ != State::starting && state_ != State::replaying; });
            if (state_ != State::ready)
                return false;
        }
        return engine_->api->fluid_synth_write_float(engine_->synth, static_cast<int>(frames), left,
                                                     0, 1, right, 0, 1) == FLUID_OK;
    }

private:
    using SteadyClock = std::chrono::steady_clock;
    enum class State { starting, replaying, ready, failed, closing };
    struct Pending {
        std::vector<uint8_t> bytes;
        SteadyClock::time_point sent;
    };
    // Far more than a program puts while a soundfont loads.
    static constexpr size_t maxPending = 65536;

    // On the starter thread: the engine with its soundfont in.
    bool engineReady(const std::string& path) {
        if (!engine_)
            engine_ = makeSynthEngine();
        if (!engine_)
            return false;
        // A port listing under way and the load would slow each other down
        // while a program starts and waits for its device list.
        if (!offline_)
            awaitOutDevicesListing();
        return loadSoundFont(*engine_, path.c_str());
    }

    // The audio output starts before the soundfont is in; it plays silence
    // until then without touching the engine, which the load holds.
    bool startAudio(const std::vector<const char*>& drivers) {
        for (const char* name : drivers) {
            // The engine's JACK output would start a server of its own when
            // none runs, which takes seconds and fails without a sound card.
            if (std::string_view(name) == "jack" && !jackServerLikely())
                continue;
            engine_->api->fluid_settings_setstr(engine_->settings, "audio.driver", name);
            driver_ = engine_->api->new_fluid_audio_driver2(engine_->settings, renderPeriod, this);
            if (driver_)
                return true;
        }
        return false;
    }

    // Plays what was sent while the soundfont loaded, keeping the spacing
    // it was sent with (offline, time stands still: all at once), then lets
    // later messages through directly.
    void finishStart(bool loaded) {
        std::unique_lock lock(mutex_);
        if (state_ == State::closing)
            return;
        if (!loaded) {
            state_ = State::failed;
            pending_.clear();
            changed_.notify_all();
            return;
        }
        loaded_ = true;
        state_ = State::replaying;
        const auto start = SteadyClock::now();
        const auto first = pending_.empty() ? start : pending_.front().sent;
        while (!pending_.empty()) {
            const auto due = start + (pending_.front().sent - first);
            if (!offline_ &&
                changed_.wait_until(lock, due, [this] { return state_ == State::closing; }))
                return;
            if (pending_.empty())
                break; // a reset dropped them meanwhile
            const Pending next = std::move(pending_.front());
            pending_.pop_front();
            lock.unlock();
            play(next.bytes.data(), next.bytes.size());
            lock.lock();
        }
        if (state_ == State::replaying)
            state_ = State::ready;
        changed_.notify_all();
    }

    void play(const uint8_t* b, size_t length) {
        const int channel = b[0] & 0x0F;
        switch (b[0] & 0xF0) {
        case 0x80:
            engine_->api->fluid_synth_noteoff(engine_->synth, channel, b[1]);
            break;
        case 0x90:
            // Velocity 0 is a note-off; the engine treats it so.
            engine_->api->fluid_synth_noteon(engine_->synth, channel, b[1], b[2]);
            break;
        case 0xA0:
            engine_->api->fluid_synth_key_pressure(engine_->synth, channel, b[1], b[2]);
            break;
        case 0xB0:
            engine_->api->fluid_synth_cc(engine_->synth, channel, b[1], b[2]);
            break;
        case 0xC0:
            engine_->api->fluid_synth_program_change(engine_->synth, channel, b[1]);
            break;
        case 0xD0:
            engine_->api->fluid_synth_channel_pressure(engine_->synth, channel, b[1]);
            break;
        case 0xE0:
            engine_->api->fluid_synth_pitch_bend(engine_->synth, channel, b[1] | (b[2] << 7));
            break;
        default:
            if (b[0] == 0xF0 && length >= 2)
                engine_->api->fluid_synth_sysex(
                    engine_->synth, reinterpret_cast<const char*>(b + 1),
                    static_cast<int>(length - 2), nullptr, nullptr, nullptr, 0);
            break; // other system messages mean nothing to a synthesizer
        }
    }

    // The audio callback. With no voice sounding and the reverb's echo died
    // away, the engine would only compute silence: the driver's buffers
    // come zeroed, so the callback leaves them so and the port idles.
    static int renderPeriod(void* self, int frames, int nfx, float* fx[], int nout, float* out[]) {
        auto* sink = static_cast<SynthSink*>(self);
        if (!sink->guard_.enter())
            return FLUID_OK;
        const int result = sink->renderGuarded(frames, nfx, fx, nout, out);
        sink->guard_.leave();
        return result;
    }

    int renderGuarded(int frames, int nfx, float* fx[], int nout, float* out[]) {
        if (!loaded_.load(std::memory_order_acquire))
            return FLUID_OK;
        if (engine_->api->fluid_synth_get_active_voice_count(engine_->synth) > 0)
            quietFrames_ = 0;
        else if (quietFrames_ >= echoFrames)
            return FLUID_OK;
        else
            quietFrames_ += frames;
        if (nfx > 0)
            return engine_->api->fluid_synth_process(engine_->synth, frames, nfx, fx, nout, out);
        // Drivers without buffers of their own for the effects take them
        // mixed into the dry output.
        float* mixed[4] = {out[0], out[nout > 1 ? 1 : 0], out[0], out[nout > 1 ? 1 : 0]};
        return engine_->api->fluid_synth_process(engine_->synth, frames, 4, mixed, nout, out);
    }

    // Longer than the reverb's echo takes to fall below hearing.
    static constexpr int echoFrames = 3 * SynthAudio::sampleRate;

    std::unique_ptr<SynthEngine> engine_;
    fluid_audio_driver_t* driver_ = nullptr;
    bool offline_ = false;
    std::thread starter_;
    CallbackGuard guard_;
    std::atomic<bool> loaded_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::starting;
    std::deque<Pending> pending_;
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
