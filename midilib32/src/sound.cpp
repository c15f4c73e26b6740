#include "sound.h"

#include <alsa/asoundlib.h>
#include <cstdarg>
#include <fluidsynth.h>
#include <jack/jack.h>
#include <mutex>

namespace midilib {

namespace {
void alsaSilent(const char*, int, const char*, int, const char*, ...) {}
void jackSilent(const char*) {}
} // namespace

void quietSoundLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(alsaSilent);
        jack_set_error_function(jackSilent);
        jack_set_info_function(jackSilent);
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

bool jackServerRunning() {
    quietSoundLibraries();
    jack_status_t status{};
    jack_client_t* client = jack_client_open("MidiLib32 probe", JackNoStartServer, &status);
    if (!client)
        return false;
    jack_client_close(client);
    return true;
}

bool alsaSequencerPresent() {
    quietSoundLibraries();
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return false;
    snd_seq_close(seq);
    return true;
}

} // namespace midilib
