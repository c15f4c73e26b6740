// Times the program's start from outside it, against a bare Qt 6 window
// showing one line of text (bench_startup_bare --label, the least a window
// with words in it does), started in turn with it in the same run:
//
// - exec to the main window mapped on the X server (MapNotify);
// - exec to the window's first paint with its text: from the window's
//   mapping on, every change the client draws into it (XDamage) has the
//   launcher read the label area back (GetImage) until it holds text;
// - for the program, exec to the first note heard: as soon as the window
//   maps, the launcher presses BEGIN (XTest: a click at the button), and
//   its own client of the audio server (a JACK client fed by the
//   synthesizer's output ports, or a PulseAudio record stream from the null
//   sink's monitor) notes the first sample that is not silent.
//
// Each program then runs a second after its window mapped, so that the
// soundfont and the audio client count toward its memory, and is ended
// (SIGTERM, which the program takes as its window's closing).
//
//   bench_startup [runs] [--no-jack] [--no-pulse] [--only-jack] [--only-pulse]
//                 [--null-midi] [--also PROGRAM]
//
// Three cases in turn, each with one warm-up start of every program first,
// not counted: no audio server (JACK_DEFAULT_SERVER names a server that
// does not run; device 0 then refuses at once), device 0 on a JACK server
// with the dummy driver, and device 0 on a PulseAudio server with a null
// sink (left out when pulseaudio is not installed); the benchmark starts
// either server itself. With --null-midi the program is also timed with a
// MIDI library that does nothing (bin/nullmidi), and with --also another
// build of it (say, of an earlier version, to time before and after in one
// run). Needs an X server without a window manager (DISPLAY, for example
// an Xvfb): map notices of a managed window go to its frame.
#include "bench/xwatch.h"

#include <jack/jack.h>
#include <pulse/simple.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;
using namespace xwatch;

namespace {

double millisSince(SteadyClock::time_point start, SteadyClock::time_point t) {
    return std::chrono::duration<double, std::milli>(t - start).count();
}

// ---- The ears: the launcher's own clients of the audio server ----------

// -80 dBFS: well below a note (velocity 64 peaks near -30 dBFS at the
// library's gain), well above the reverb's idle noise.
constexpr float kAudible = 1e-4f;

// Notes when the first audible sample came in; each server's ear feeds it
// what it records, from a thread of that server's library.
class Ear {
public:
    virtual ~Ear() = default;

    // Listens for the next first sound (BEGIN was just pressed).
    void arm() { heardAt_ = 0; }

    // What the ear does between the launcher's looks at the X server.
    virtual void tend() {}

    // When the first audible sample came in since arm(); unset before.
    [[nodiscard]] std::optional<SteadyClock::time_point> heard() const {
        const int64_t at = heardAt_;
        if (at <= 0)
            return std::nullopt;
        return SteadyClock::time_point(SteadyClock::duration(at));
    }

protected:
    [[nodiscard]] bool listening() const { return heardAt_ == 0; }

    // The index of the first audible sample among `count`, -1 for none.
    static long firstAudible(const float* samples, size_t count) {
        for (size_t i = 0; i < count; ++i)
            if (std::fabs(samples[i]) > kAudible)
                return long(i);
        return -1;
    }

    void hear(SteadyClock::time_point at) {
        int64_t armed = 0;
        heardAt_.compare_exchange_strong(armed, at.time_since_epoch().count());
    }

private:
    std::atomic<int64_t> heardAt_{-1}; // -1 not armed, 0 armed, else heard
};

// The JACK client the library gives the synthesizer.
constexpr char kSynthPorts[] = "^MidiLib32 synthesizer:";

// A JACK client whose inputs the synthesizer's outputs are connected to as
// they appear; the time noted is the first audible sample's own, within
// the period that brought it.
class JackEar : public Ear {
public:
    bool open(const std::string& server) {
        jack_status_t status{};
        client_ = jack_client_open("tonyx-startup-ear",
                                   jack_options_t(JackNoStartServer | JackServerName), &status,
                                   server.c_str());
        if (!client_)
            return false;
        for (int i = 0; i < 2; ++i) {
            const std::string name = "in_" + std::to_string(i + 1);
            inputs_[i] = jack_port_register(client_, name.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsInput, 0);
        }
        jack_set_process_callback(client_, &JackEar::process, this);
        jack_set_port_registration_callback(client_, &JackEar::registered, this);
        return jack_activate(client_) == 0;
    }

    ~JackEar() override {
        if (client_)
            jack_client_close(client_);
    }

    // Connects the synthesizer's outputs that appeared since the last call.
    void tend() override {
        if (!client_ || !portsChanged_.exchange(false))
            return;
        const char** ports =
            jack_get_ports(client_, kSynthPorts, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        for (int i = 0; ports && ports[i]; ++i)
            jack_connect(client_, ports[i], jack_port_name(inputs_[i % 2]));
        jack_free(ports);
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* ear = static_cast<JackEar*>(self);
        if (!ear->listening())
            return 0;
        for (jack_port_t* port : ear->inputs_) {
            const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
            if (const long f = firstAudible(samples, frames); f >= 0) {
                // The sample's own moment within the period just read.
                ear->hear(SteadyClock::now() -
                          std::chrono::microseconds(int64_t(frames - f) * 1000000 /
                                                    jack_get_sample_rate(ear->client_)));
                return 0;
            }
        }
        return 0;
    }

    static void registered(jack_port_id_t, int, void* self) {
        static_cast<JackEar*>(self)->portsChanged_ = true;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* inputs_[2] = {};
    std::atomic<bool> portsChanged_{false};
};

// Either server the benchmark starts runs at this rate.
constexpr uint32_t kRate = 48000;

// The ear records the null sink's monitor in float, in 2 ms fragments.
constexpr pa_sample_spec kPulseSpec{PA_SAMPLE_FLOAT32NE, kRate, 2};
constexpr size_t kFragmentFrames = kRate / 500;

// A record stream from the null sink's monitor, read on a thread of its
// own. The time noted is when the fragment holding the first audible sample
// reached the launcher, with nothing taken off: it counts the synthesizer's
// stream buffer in the server (some 3 ms), the null sink's rendering block
// and the monitor's fragment (1 to 2 ms each), and the reading thread's
// wake-up; a sound card would add its own buffer instead of the last two.
class PulseEar : public Ear {
public:
    bool open(const std::string& server, const std::string& source) {
        pa_buffer_attr attributes{};
        attributes.maxlength = attributes.tlength = attributes.prebuf = attributes.minreq =
            uint32_t(-1);
        attributes.fragsize = uint32_t(kFragmentFrames * pa_frame_size(&kPulseSpec));
        int error = 0;
        stream_ = pa_simple_new(server.c_str(), "tonyx-startup-ear", PA_STREAM_RECORD,
                                source.c_str(), "ear", &kPulseSpec, nullptr, &attributes, &error);
        if (!stream_)
            return false;
        reader_ = std::thread([this] { listen(); });
        return true;
    }

    ~PulseEar() override {
        // The null sink renders without pause, so the reader's next read
        // comes back within a fragment.
        stop_ = true;
        if (reader_.joinable())
            reader_.join();
        if (stream_)
            pa_simple_free(stream_);
    }

private:
    void listen() {
        std::vector<float> fragment(kFragmentFrames * kPulseSpec.channels);
        while (!stop_ && pa_simple_read(stream_, fragment.data(), fragment.size() * sizeof(float),
                                        nullptr) == 0) {
            if (listening() && firstAudible(fragment.data(), fragment.size()) >= 0)
                hear(SteadyClock::now());
        }
    }

    pa_simple* stream_ = nullptr;
    std::thread reader_;
    std::atomic<bool> stop_{false};
};

// ---- The audio servers the benchmark starts ------------------------------

// Variables a case puts in the environment of what it starts.
using Environment = std::vector<std::pair<std::string, std::string>>;

// In a child before its exec: what it says (a JACK client that finds no
// server says a lot) would only bury the figures.
void quietWith(const Environment& environment) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    for (const auto& [name, value] : environment)
        setenv(name.c_str(), value.c_str(), 1);
}

// A server started for one case and ended (SIGTERM to its own process)
// with it.
class Daemon {
public:
    Daemon(const std::vector<std::string>& command, const Environment& environment) {
        pid_ = fork();
        if (pid_ == 0) {
            quietWith(environment);
            std::vector<char*> argv;
            for (const std::string& word : command)
                argv.push_back(const_cast<char*>(word.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Daemon() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Up when a client can reach it: `reachable` is tried for 5 s at most.
    static bool waitUntil(const std::function<bool()>& reachable) {
        for (int i = 0; i < 100; ++i) {
            if (reachable())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    pid_t pid_ = -1;
};

// Names a JACK server for the programs, and keeps them from starting one.
Environment jackEnvironment(const std::string& server) {
    return {{"JACK_DEFAULT_SERVER", server}, {"JACK_NO_START_SERVER", "1"}};
}

class JackServer {
public:
    explicit JackServer(std::string name)
        : name_(std::move(name)), daemon_({"jackd", "-n", name_, "-r", "-d", "dummy", "-r",
                                           std::to_string(kRate), "-p", "256"},
                                          {}) {
        up_ = Daemon::waitUntil([&] {
            jack_status_t status{};
            jack_client_t* probe = jack_client_open(
                "tonyx-startup-probe", jack_options_t(JackNoStartServer | JackServerName), &status,
                name_.c_str());
            if (probe)
                jack_client_close(probe);
            return probe != nullptr;
        });
    }
    [[nodiscard]] bool up() const { return up_; }
    [[nodiscard]] const std::string& name() const { return name_; }

private:
    std::string name_;
    Daemon daemon_;
    bool up_ = false;
};

// A folder only this user may enter, removed with what it holds.
class PrivateFolder {
public:
    explicit PrivateFolder(fs::path path) : path_(std::move(path)) {
        fs::create_directories(path_);
        fs::permissions(path_, fs::perms::owner_all);
    }
    ~PrivateFolder() { fs::remove_all(path_); }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    [[nodiscard]] const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// PulseAudio with nothing but a null sink and its socket, in a runtime
// folder of its own: a program whose XDG_RUNTIME_DIR is that folder finds
// it there (pulse/native), as it would a desktop's.
class PulseServer {
public:
    static constexpr char kSink[] = "tonyx_bench";

    explicit PulseServer(fs::path folder)
        : folder_(std::move(folder)),
          daemon_({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                   "--use-pid-file=no", "-L",
                   std::string("module-null-sink sink_name=") + kSink +
                       " rate=" + std::to_string(kRate),
                   "-L", "module-native-protocol-unix"},
                  {{"XDG_RUNTIME_DIR", folder_.path()}, {"HOME", folder_.path()}}) {
        up_ = Daemon::waitUntil([&] {
            // The server named outright: libpulse starts none of its own.
            int error = 0;
            pa_simple* probe =
                pa_simple_new(address().c_str(), "tonyx-startup-probe", PA_STREAM_RECORD,
                              monitor().c_str(), "probe", &kPulseSpec, nullptr, nullptr, &error);
            if (probe)
                pa_simple_free(probe);
            return probe != nullptr;
        });
    }
    [[nodiscard]] bool up() const { return up_; }
    [[nodiscard]] std::string runtimeFolder() const { return folder_.path(); }
    [[nodiscard]] std::string address() const {
        return "unix:" + (folder_.path() / "pulse" / "native").string();
    }
    [[nodiscard]] static std::string monitor() { return std::string(kSink) + ".monitor"; }

private:
    PrivateFolder folder_; // outlives the server, which writes into it
    Daemon daemon_;
    bool up_ = false;
};

// Whether `program` is in one of the folders of $PATH.
bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "";
    while (!folders.empty()) {
        const size_t colon = folders.find(':');
        const fs::path folder(folders.substr(0, colon));
        if (!folder.empty() && access((folder / program).c_str(), X_OK) == 0)
            return true;
        folders = colon == std::string_view::npos ? "" : folders.substr(colon + 1);
    }
    return false;
}

// ---- The window: mapped, painted, BEGIN pressed --------------------------

struct XServer {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
    uint8_t damageEvent = 0;
};

// The area of the first label ("Correct:" at 52, 25 in both windows, below
// the program's menu bar), in window pixels.
constexpr int kAreaLeft = 40, kAreaTop = 10, kAreaWidth = 160, kAreaHeight = 80;

// Whether the label area holds painted text: mostly one background colour
// (not the black or white of an unpainted window on a bare X server), with
// some pixels much darker than it (the letters).
bool labelPainted(const XServer& x, xcb_window_t window) {
    xcb_get_image_reply_t* image =
        xcb_get_image_reply(x.c,
                            xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, kAreaLeft,
                                          kAreaTop, kAreaWidth, kAreaHeight, ~0u),
                            nullptr);
    if (!image)
        return false;
    bool painted = false;
    if (image->depth == 24 || image->depth == 32) {
        const auto* pixels = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
        const size_t count = size_t(xcb_get_image_data_length(image)) / 4;
        std::vector<uint32_t> sorted(pixels, pixels + count);
        std::sort(sorted.begin(), sorted.end());
        uint32_t common = 0;
        size_t best = 0;
        for (size_t i = 0; i < sorted.size();) {
            size_t j = i;
            while (j < sorted.size() && sorted[j] == sorted[i])
                ++j;
            if (j - i > best) {
                best = j - i;
                common = sorted[i];
            }
            i = j;
        }
        const auto light = [](uint32_t p) {
            return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
        };
        const uint32_t background = light(common);
        size_t dark = 0;
        for (size_t i = 0; i < count; ++i)
            dark += light(pixels[i]) * 2 < background;
        const uint32_t rgb = common & 0xFFFFFF;
        painted = rgb != 0 && rgb != 0xFFFFFF && best * 2 > count && dark >= 20;
    }
    std::free(image);
    return painted;
}

// BEGIN's middle in the program's window: at 258, 117 of the client area,
// below a menu bar some 25 pixels high (the button is 41 high, so the
// click lands on it for any bar from 5 to 45 pixels).
constexpr int kBeginX = 258, kBeginY = 117 + 25;

void pressBegin(const XServer& x, xcb_window_t window) {
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
        x.c, xcb_translate_coordinates(x.c, window, x.root, kBeginX, kBeginY), nullptr);
    if (!at)
        return;
    xcb_test_fake_input(x.c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, x.root, at->dst_x, at->dst_y,
                        0);
    xcb_test_fake_input(x.c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(x.c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(x.c);
    std::free(at);
}

// ---- One start -----------------------------------------------------------

struct Program {
    const char* label;
    std::string path;
    const char* argument; // null for none
    std::string libraryPath;
    bool sounds; // has a BEGIN to press
};

struct Run {
    double mapped = -1, painted = -1, heard = -1; // ms from exec; -1 never
    long peakKiB = 0;
    long privateKiB = 0; // a second after mapping
    bool libraryLoaded = false;
};

Run runOnce(const XServer& x, Ear* ear, const Program& program, const fs::path& folder,
            const Environment& environment) {
    Run run;
    const auto start = SteadyClock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        quietWith(environment);
        if (!program.libraryPath.empty())
            setenv("LD_LIBRARY_PATH", program.libraryPath.c_str(), 1);
        execl(program.path.c_str(), program.path.c_str(), program.argument,
              static_cast<char*>(nullptr));
        _exit(127);
    }
    xcb_window_t window = 0;
    xcb_damage_damage_t damage = 0;
    const auto checkPaint = [&] {
        if (run.painted < 0 && labelPainted(x, window))
            run.painted = millisSince(start, SteadyClock::now());
    };
    pollfd fd{xcb_get_file_descriptor(x.c), POLLIN, 0};
    const auto deadline = start + std::chrono::seconds(15);
    const bool listen = ear && program.sounds;
    SteadyClock::time_point nextLook{};
    while (SteadyClock::now() < deadline &&
           (run.mapped < 0 || run.painted < 0 || (listen && run.heard < 0))) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(x.c)) {
            const int type = event->response_type & 0x7F;
            if (type == XCB_MAP_NOTIFY && !window) {
                const auto now = SteadyClock::now();
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (isMainWindowOf(x.c, map->window, uint32_t(child), x.pidAtom)) {
                    run.mapped = millisSince(start, now);
                    window = map->window;
                    if (program.sounds) {
                        // Nothing before the press is this start's note.
                        if (ear)
                            ear->arm();
                        pressBegin(x, window);
                    }
                    damage = xcb_generate_id(x.c);
                    xcb_damage_create(x.c, damage, window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                    xcb_flush(x.c);
                    // Painted before the watch began?
                    checkPaint();
                }
            } else if (window && type == x.damageEvent + XCB_DAMAGE_NOTIFY) {
                checkPaint();
                xcb_damage_subtract(x.c, damage, XCB_NONE, XCB_NONE);
                xcb_flush(x.c);
            }
            std::free(event);
        }
        if (ear) {
            ear->tend();
            if (const auto heard = ear->heard(); listen && window && heard && run.heard < 0)
                run.heard = millisSince(start, *heard);
        }
        // The area is read every 5 ms as well: in a loaded run one start
        // in ten brought no damage notice that the launcher saw.
        if (window && run.painted < 0 && SteadyClock::now() >= nextLook) {
            checkPaint();
            nextLook = SteadyClock::now() + std::chrono::milliseconds(5);
        }
        poll(&fd, 1, 1);
    }
    if (damage) {
        xcb_damage_destroy(x.c, damage);
        xcb_flush(x.c);
    }
    if (run.mapped >= 0) {
        std::this_thread::sleep_until(start +
                                      std::chrono::milliseconds(int64_t(run.mapped) + 1000));
        run.libraryLoaded = mapsContain(child, "libMidiLib32.so");
        run.privateKiB = privateKiB(child);
    }
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.peakKiB = usage.ru_maxrss;
    // Events of this start must not be read as the next one's.
    while (xcb_generic_event_t* event = xcb_poll_for_event(x.c))
        std::free(event);
    return run;
}

// ---- One case: every program in turn, `runs` times -----------------------

struct Figures {
    std::vector<double> mapped, painted, heard;
    long peakKiB = 0, privateKiB = 0;
    int failed = 0, silent = 0, loaded = 0;
};

void printFigure(const char* what, const std::vector<double>& v, double yardstick) {
    if (v.empty())
        return;
    std::printf("  %-8s median %6.1f ms (%.1f to %.1f)", what, median(v),
                *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
    if (yardstick > 0)
        std::printf(", %.2fx the one-label window", median(v) / yardstick);
    std::printf("\n");
}

void runCase(const char* title, const XServer& x, Ear* ear, const std::vector<Program>& programs,
             int runs, const fs::path& folder, const Environment& environment) {
    std::vector<Figures> figures(programs.size());
    const double loadBefore = loadAverage();
    for (int i = -1; i < runs; ++i) { // run -1 warms up
        for (size_t p = 0; p < programs.size(); ++p) {
            // Data files of earlier runs must not be read as this run's.
            fs::remove(folder / "errors.dat");
            fs::remove(folder / "hiscore.dat");
            const Run run = runOnce(x, ear, programs[p], folder, environment);
            if (i < 0)
                continue;
            Figures& f = figures[p];
            if (run.mapped < 0 || run.painted < 0) {
                ++f.failed;
                continue;
            }
            f.mapped.push_back(run.mapped);
            f.painted.push_back(run.painted);
            if (run.heard >= 0)
                f.heard.push_back(run.heard);
            else if (ear && programs[p].sounds)
                ++f.silent;
            f.peakKiB = std::max(f.peakKiB, run.peakKiB);
            f.privateKiB = std::max(f.privateKiB, run.privateKiB);
            f.loaded += run.libraryLoaded;
        }
    }
    std::printf("%s (%d runs after a warm-up; load average %.2f before, %.2f after)\n", title, runs,
                loadBefore, loadAverage());
    const double mappedYardstick = median(figures[0].mapped);
    const double paintedYardstick = median(figures[0].painted);
    for (size_t p = 0; p < programs.size(); ++p) {
        const Figures& f = figures[p];
        std::printf("%s: peak resident %.1f MB, private %.1f MB a second after mapping",
                    programs[p].label, f.peakKiB / 1024.0, f.privateKiB / 1024.0);
        if (programs[p].sounds)
            std::printf(", MIDI library loaded in %d of %zu", f.loaded, f.mapped.size());
        std::printf("\n");
        printFigure("mapped", f.mapped, p ? mappedYardstick : 0);
        printFigure("painted", f.painted, p ? paintedYardstick : 0);
        if (ear && programs[p].sounds)
            printFigure("heard", f.heard, 0);
        if (f.failed)
            std::printf("  %d runs never showed a painted window\n", f.failed);
        if (f.silent)
            std::printf("  %d runs never sounded\n", f.silent);
    }
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 10;
    bool noAudio = true, jack = true, pulse = true, onlyJack = false, onlyPulse = false;
    bool nullMidi = false;
    std::string also;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--also" && i + 1 < argc)
            also = argv[++i];
        else if (a == "--no-jack")
            jack = false;
        else if (a == "--no-pulse")
            pulse = false;
        else if (a == "--only-jack")
            onlyJack = true;
        else if (a == "--only-pulse")
            onlyPulse = true;
        else if (a == "--null-midi")
            nullMidi = true;
        else if (std::atoi(argv[i]) > 0)
            runs = std::atoi(argv[i]);
        else {
            std::fprintf(stderr, "usage: bench_startup [runs] [--no-jack] [--no-pulse] "
                                 "[--only-jack] [--only-pulse] [--null-midi] [--also PROGRAM]\n");
            return 2;
        }
    }
    if (onlyJack || onlyPulse) {
        noAudio = false;
        jack = onlyJack;
        pulse = onlyPulse;
    }
    // Looking for a server that is not up yet is no news.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    XServer x;
    x.c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x.c)) {
        std::fprintf(stderr, "bench_startup: no X server (set DISPLAY, e.g. to an Xvfb)\n");
        return 2;
    }
    x.root = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data->root;
    const xcb_query_extension_reply_t* damageExtension =
        xcb_get_extension_data(x.c, &xcb_damage_id);
    const xcb_query_extension_reply_t* testExtension = xcb_get_extension_data(x.c, &xcb_test_id);
    if (!damageExtension || !damageExtension->present || !testExtension ||
        !testExtension->present) {
        std::fprintf(stderr, "bench_startup: the X server lacks the DAMAGE or XTEST extension\n");
        return 2;
    }
    x.damageEvent = damageExtension->first_event;
    std::free(xcb_damage_query_version_reply(
        x.c, xcb_damage_query_version(x.c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
        nullptr));
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x.c, x.root, XCB_CW_EVENT_MASK, &mask);
    x.pidAtom = atom(x.c, "_NET_WM_PID");
    xcb_flush(x.c);

    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const fs::path folder =
        fs::temp_directory_path() / ("tonyx-startup-" + std::to_string(getpid()));
    fs::create_directories(folder);
    fs::copy_file(TONYX_README, folder / "readme.txt", fs::copy_options::overwrite_existing);

    // The yardstick first: ratios are taken to it.
    std::vector<Program> programs = {{"bare Qt 6 window, one label",
                                      (bin / "bench_startup_bare").string(), "--label", "", false},
                                     {"tonyx", (bin / "tonyx").string(), nullptr, "", true}};
    if (nullMidi)
        programs.push_back({"tonyx, null MIDI", (bin / "tonyx").string(), nullptr,
                            (bin / "nullmidi").string(), false});

    if (!also.empty())
        programs.push_back({also.c_str(), fs::absolute(also).string(), nullptr, "", true});

    const std::string suffix = "-" + std::to_string(getpid());
    // The cases with no JACK server name one that does not run.
    const Environment noJack = jackEnvironment("tonyx-startup-none" + suffix);
    if (noAudio)
        runCase("No audio server (device 0 refuses at once)", x, nullptr, programs, runs, folder,
                noJack);
    if (jack) {
        JackServer server("tonyx-startup-bench" + suffix);
        JackEar ear;
        if (!server.up() || !ear.open(server.name()))
            std::fprintf(stderr, "bench_startup: the JACK server (jackd, dummy driver) did not "
                                 "come up\n");
        else
            runCase("Device 0 on a JACK server (dummy driver, 48 kHz, 256 frames)", x, &ear,
                    programs, runs, folder, jackEnvironment(server.name()));
    }
    if (pulse && !onPath("pulseaudio")) {
        std::printf("Device 0 on a PulseAudio server: left out, pulseaudio is not installed\n\n");
    } else if (pulse) {
        PulseServer server(fs::temp_directory_path() / ("tonyx-startup-pulse" + suffix));
        PulseEar ear;
        Environment environment = noJack;
        environment.emplace_back("XDG_RUNTIME_DIR", server.runtimeFolder());
        if (!server.up() || !ear.open(server.address(), PulseServer::monitor()))
            std::fprintf(stderr, "bench_startup: the PulseAudio server (null sink) did not come "
                                 "up\n");
        else
            runCase("Device 0 on a PulseAudio server (null sink, 48 kHz)", x, &ear, programs, runs,
                    folder, environment);
    }
    fs::remove_all(folder);
    xcb_disconnect(x.c);
    return 0;
}
