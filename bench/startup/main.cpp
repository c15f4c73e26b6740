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
//   its own JACK client, fed by the synthesizer's audio output ports,
//   notes the first sample that is not silent.
//
// Each program then runs a second after its window mapped, so that the
// soundfont and the audio client count toward its memory, and is ended
// (SIGTERM, which the program takes as its window's closing).
//
//   bench_startup [runs] [--no-jack | --only-jack] [--null-midi] [--also PROGRAM]
//
// Two cases in turn, each with one warm-up start of every program first,
// not counted: no audio server (JACK_DEFAULT_SERVER names a server that
// does not run; device 0 then refuses at once), and device 0 on a JACK
// server with the dummy driver that the benchmark starts itself. With
// --null-midi the program is also timed with a MIDI library that does
// nothing (bin/nullmidi), and with --also another build of it (say, of
// an earlier version, to time before and after in one run). Needs an X server without a window
// manager (DISPLAY, for example an Xvfb): map notices of a managed window go to its frame.
#include "bench/xwatch.h"

#include <jack/jack.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;
using namespace xwatch;

namespace {

double millisSince(SteadyClock::time_point start, SteadyClock::time_point t) {
    return std::chrono::duration<double, std::milli>(t - start).count();
}

// ---- The ear: a JACK client fed by the synthesizer ---------------------

// The JACK client the library gives the synthesizer.
constexpr char kSynthPorts[] = "^MidiLib32 synthesizer:";
// -80 dBFS: well below a note (velocity 64 peaks near -30 dBFS at the
// library's gain), well above the reverb's idle noise.
constexpr float kAudible = 1e-4f;

class Ear {
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
        jack_set_process_callback(client_, &Ear::process, this);
        jack_set_port_registration_callback(client_, &Ear::registered, this);
        return jack_activate(client_) == 0;
    }

    ~Ear() {
        if (client_)
            jack_client_close(client_);
    }

    // Listens for the next first sound.
    void arm() { heardAt_ = 0; }

    // Connects the synthesizer's outputs that appeared since the last call.
    void connectNewPorts() {
        if (!client_ || !portsChanged_.exchange(false))
            return;
        const char** ports =
            jack_get_ports(client_, kSynthPorts, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        for (int i = 0; ports && ports[i]; ++i)
            jack_connect(client_, ports[i], jack_port_name(inputs_[i % 2]));
        jack_free(ports);
    }

    // When the first audible sample came in since arm(); unset before.
    [[nodiscard]] std::optional<SteadyClock::time_point> heard() const {
        const int64_t at = heardAt_;
        if (!at)
            return std::nullopt;
        return SteadyClock::time_point(SteadyClock::duration(at));
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* ear = static_cast<Ear*>(self);
        if (ear->heardAt_)
            return 0;
        for (jack_port_t* port : ear->inputs_) {
            const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
            for (jack_nframes_t f = 0; f < frames; ++f) {
                if (std::fabs(samples[f]) > kAudible) {
                    // The sample's own moment within the period just read.
                    const auto at = SteadyClock::now() -
                                    std::chrono::microseconds(int64_t(frames - f) * 1000000 /
                                                              jack_get_sample_rate(ear->client_));
                    ear->heardAt_ = at.time_since_epoch().count();
                    return 0;
                }
            }
        }
        return 0;
    }

    static void registered(jack_port_id_t, int, void* self) {
        static_cast<Ear*>(self)->portsChanged_ = true;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* inputs_[2] = {};
    std::atomic<int64_t> heardAt_{0};
    std::atomic<bool> portsChanged_{false};
};

// ---- The JACK server of the second case ------------------------------

class JackServer {
public:
    explicit JackServer(std::string name) : name_(std::move(name)) {
        pid_ = fork();
        if (pid_ == 0) {
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            execlp("jackd", "jackd", "-n", name_.c_str(), "-r", "-d", "dummy", "-r", "48000", "-p",
                   "256", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Up when a client can reach it.
        for (int i = 0; i < 100 && !up_; ++i) {
            jack_status_t status{};
            if (jack_client_t* probe = jack_client_open(
                    "tonyx-startup-probe", jack_options_t(JackNoStartServer | JackServerName),
                    &status, name_.c_str())) {
                jack_client_close(probe);
                up_ = true;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
    ~JackServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    [[nodiscard]] bool up() const { return up_; }
    [[nodiscard]] const std::string& name() const { return name_; }

private:
    std::string name_;
    pid_t pid_ = -1;
    bool up_ = false;
};

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
            const std::string& jackServer) {
    Run run;
    if (ear)
        ear->arm();
    const auto start = SteadyClock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        // What the program says (a JACK client that finds no server says a
        // lot) would only bury the figures.
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        if (!program.libraryPath.empty())
            setenv("LD_LIBRARY_PATH", program.libraryPath.c_str(), 1);
        setenv("JACK_DEFAULT_SERVER", jackServer.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
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
                    if (program.sounds)
                        pressBegin(x, window);
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
            ear->connectNewPorts();
            if (const auto heard = ear->heard(); heard && run.heard < 0)
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
             int runs, const fs::path& folder, const std::string& jackServer) {
    std::vector<Figures> figures(programs.size());
    const double loadBefore = loadAverage();
    for (int i = -1; i < runs; ++i) { // run -1 warms up
        for (size_t p = 0; p < programs.size(); ++p) {
            // Data files of earlier runs must not be read as this run's.
            fs::remove(folder / "errors.dat");
            fs::remove(folder / "hiscore.dat");
            const Run run = runOnce(x, ear, programs[p], folder, jackServer);
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
    bool noAudio = true, jack = true, nullMidi = false;
    std::string also;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--also" && i + 1 < argc)
            also = argv[++i];
        else if (a == "--no-jack")
            jack = false;
        else if (a == "--only-jack")
            noAudio = false;
        else if (a == "--null-midi")
            nullMidi = true;
        else if (std::atoi(argv[i]) > 0)
            runs = std::atoi(argv[i]);
        else {
            std::fprintf(stderr, "usage: bench_startup [runs] [--no-jack | --only-jack] "
                                 "[--null-midi] [--also PROGRAM]\n");
            return 2;
        }
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
    if (noAudio)
        runCase("No audio server (device 0 refuses at once)", x, nullptr, programs, runs, folder,
                "tonyx-startup-none" + suffix);
    if (jack) {
        JackServer server("tonyx-startup-bench" + suffix);
        Ear ear;
        if (!server.up() || !ear.open(server.name()))
            std::fprintf(stderr, "bench_startup: the JACK server (jackd, dummy driver) did not "
                                 "come up\n");
        else
            runCase("Device 0 on a JACK server (dummy driver, 48 kHz, 256 frames)", x, &ear,
                    programs, runs, folder, server.name());
    }
    fs::remove_all(folder);
    xcb_disconnect(x.c);
    return 0;
}
