#include "sound.h"

#include <alsa/asoundlib.h>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <jack/jack.h>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace midilib {

namespace {
void alsaSilent(const char*, int, const char*, int, const char*, ...) {}
void jackSilent(const char*) {}

// Whether `handler` is the sound library's own default: it lies in the
// same shared object as `libraryFunction`. A handler that lies anywhere
// else was installed by the program, and stays.
bool isLibraryDefault(const void* handler, const void* libraryFunction) {
    Dl_info handlerInfo{};
    Dl_info libraryInfo{};
    return handler && dladdr(handler, &handlerInfo) != 0 &&
           dladdr(libraryFunction, &libraryInfo) != 0 &&
           handlerInfo.dli_fbase == libraryInfo.dli_fbase;
}
} // namespace

void quietSoundLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (isLibraryDefault(reinterpret_cast<const void*>(snd_lib_error),
                             reinterpret_cast<const void*>(&snd_lib_error_set_handler)))
            snd_lib_error_set_handler(alsaSilent);
        if (isLibraryDefault(reinterpret_cast<const void*>(jack_error_callback),
                             reinterpret_cast<const void*>(&jack_set_error_function)))
            jack_set_error_function(jackSilent);
        if (isLibraryDefault(reinterpret_cast<const void*>(jack_info_callback),
                             reinterpret_cast<const void*>(&jack_set_info_function)))
            jack_set_info_function(jackSilent);
    });
}

namespace {

// Whether something listens on the Unix socket at `path`.
bool socketListens(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool listens = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return listens;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

bool pulseServerLikely() {
    if (!environment("PULSE_SERVER").empty())
        return true; // a server named by the user: only connecting tells
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    return (!runtime.empty() && socketListens(runtime + "/pulse/native")) ||
           socketListens("/run/user/" + std::to_string(getuid()) + "/pulse/native") ||
           socketListens("/var/run/pulse/native");
}

bool alsaPlaybackPresent() {
    quietSoundLibraries();
    // Without a sound card there is nothing to play on, and the look at the
    // cards costs far less than reading ALSA's configuration to open one.
    int card = -1;
    if (snd_card_next(&card) < 0 || card < 0)
        return false;
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    snd_pcm_close(pcm);
    return true;
}

bool jackServerLikely() {
    std::string server = environment("JACK_DEFAULT_SERVER");
    if (server.empty())
        server = "default";
    const std::string uid = std::to_string(getuid());
    // JACK 2 listens on a socket in /dev/shm; JACK 1 keeps a folder there.
    struct stat folder {};
    return socketListens("/dev/shm/jack_" + server + "_" + uid + "_0") ||
           stat(("/dev/shm/jack-" + uid + "/" + server).c_str(), &folder) == 0;
}

bool alsaSequencerPresent() {
    quietSoundLibraries();
    if (access("/dev/snd/seq", F_OK) != 0)
        return false; // the kernel has no sequencer: no need to read the configuration
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return false;
    snd_seq_close(seq);
    return true;
}

} // namespace midilib
