#include "jackports.h"

#include "sound.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace midilib {

namespace {

class Lister {
public:
    ~Lister() {
        if (client_)
            jack_client_close(client_);
    }

    std::optional<std::vector<std::string>> ports(unsigned long flags) {
        std::lock_guard lock(mutex_);
        if (client_ && gone_) {
            jack_client_close(client_);
            client_ = nullptr;
        }
        if (!client_) {
            client_ = openJackClient("MidiLib32 lister");
            if (!client_)
                return std::nullopt;
            gone_ = false;
            jack_on_shutdown(client_, onShutdown, this);
        }
        std::vector<std::string> names;
        const char** found = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
        for (size_t i = 0; found && found[i]; ++i)
            names.emplace_back(found[i]);
        if (found)
            jack_free(found);
        return names;
    }

private:
    static void onShutdown(void* self) { static_cast<Lister*>(self)->gone_ = true; }

    std::mutex mutex_;
    // Never activated, so the server's cycles do not wake it.
    jack_client_t* client_ = nullptr;
    std::atomic<bool> gone_{false};
};

Lister& lister() {
    static Lister instance;
    return instance;
}

} // namespace

void keepJackListerAlive() {
    (void)lister();
}

std::optional<std::vector<std::string>> jackMidiPorts(unsigned long flags) {
    return lister().ports(flags);
}

bool jackServerRunning() {
    return jackMidiPorts(JackPortIsInput).has_value();
}

jack_client_t* openJackClient(const char* name) {
    quietSoundLibraries();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (jackServerLikely()) {
        jack_status_t status{};
        if (jack_client_t* client = jack_client_open(name, JackNoStartServer, &status))
            return client;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

} // namespace midilib
