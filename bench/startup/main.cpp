// Times the program from exec to its main window shown (mapped on the X
// server; the window titled as the main window, shown the same way by
// all), against a bare Qt 6 window timed in the same run, and reports
// each one's peak memory. A bare window showing one line of text is timed
// too: it tells what any window with words in it adds to the bare one.
// Needs an X server (DISPLAY), for example Xvfb.
//
//   bench_startup [runs]
//
// Each program runs in a fresh temporary folder holding readme.txt, is
// left running for a second after its window shows (so background work
// such as loading the soundfont counts toward its peak memory), and is
// then ended.
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

namespace {

struct Run {
    double millis = -1; // exec to window mapped; -1 when it never showed
    long peakKiB = 0;
    long privateKiB = 0; // private memory one second after showing
    bool libraryLoaded = false;
};

uint32_t windowPid(xcb_connection_t* c, xcb_window_t window, xcb_atom_t pidAtom) {
    auto cookie = xcb_get_property(c, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    uint32_t pid = 0;
    if (reply && xcb_get_property_value_length(reply) == 4)
        std::memcpy(&pid, xcb_get_property_value(reply), 4);
    std::free(reply);
    return pid;
}

// The main window is told from the program's other windows (the Key Guide
// is shown, and mapped, just before it) by its title.
constexpr char kMainTitle[] = "Identify intervals";

bool hasMainTitle(xcb_connection_t* c, xcb_window_t window) {
    auto cookie =
        xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    bool same = false;
    if (reply) {
        const int length = xcb_get_property_value_length(reply);
        same = length == int(sizeof kMainTitle - 1) &&
               std::memcmp(xcb_get_property_value(reply), kMainTitle, size_t(length)) == 0;
    }
    std::free(reply);
    return same;
}

// Private_Clean + Private_Dirty: what the process holds by itself, without
// shared memory of other processes (a JACK server maps its whole engine,
// about 100 MB, into each client) or shared libraries' file pages.
long privateKiB(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0, total = 0;
    std::string unit;
    while (rollup >> key) {
        if (key == "Private_Clean:" || key == "Private_Dirty:") {
            rollup >> value >> unit;
            total += value;
        }
    }
    return total;
}

bool mapsContain(pid_t pid, const char* name) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(name) != std::string::npos)
            return true;
    return false;
}

Run runOnce(xcb_connection_t* c, xcb_atom_t pidAtom, const std::string& program,
            const char* argument, const fs::path& folder, const std::string& libraryPath) {
    Run run;
    const auto start = SteadyClock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        if (!libraryPath.empty())
            setenv("LD_LIBRARY_PATH", libraryPath.c_str(), 1);
        execl(program.c_str(), program.c_str(), argument, static_cast<char*>(nullptr));
        _exit(127);
    }
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    const auto deadline = start + std::chrono::seconds(20);
    while (run.millis < 0 && SteadyClock::now() < deadline) {
        xcb_generic_event_t* event = xcb_poll_for_event(c);
        if (!event) {
            poll(&fd, 1, 50);
            continue;
        }
        if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
            const auto now = SteadyClock::now();
            auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (windowPid(c, map->window, pidAtom) == static_cast<uint32_t>(child) &&
                hasMainTitle(c, map->window))
                run.millis = std::chrono::duration<double, std::milli>(now - start).count();
        }
        std::free(event);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    run.libraryLoaded = mapsContain(child, "libMidiLib32.so");
    run.privateKiB = privateKiB(child);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.peakKiB = usage.ru_maxrss;
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "bench_startup: no X server (set DISPLAY, e.g. to an Xvfb)\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    auto atomCookie = xcb_intern_atom(c, 0, 11, "_NET_WM_PID");
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, atomCookie, nullptr);
    const xcb_atom_t pidAtom = atom ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(atom);
    xcb_flush(c);

    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const fs::path folder =
        fs::temp_directory_path() / ("tonyx-startup-" + std::to_string(getpid()));
    fs::create_directories(folder);
    fs::copy_file(TONYX_README, folder / "readme.txt", fs::copy_options::overwrite_existing);

    const struct {
        const char* label;
        std::string program;
        const char* argument; // null for none
        std::string libraryPath;
    } programs[] = {
        {"bare Qt 6 window", (bin / "bench_startup_bare").string(), nullptr, ""},
        {"tonyx", (bin / "tonyx").string(), nullptr, ""},
        {"tonyx, null MIDI", (bin / "tonyx").string(), nullptr, (bin / "nullmidi").string()},
        {"bare, one label", (bin / "bench_startup_bare").string(), "--label", ""}};
    constexpr int kinds = 4;
    std::vector<double> times[kinds];
    long peak[kinds] = {}, privateMax[kinds] = {};
    int loaded = 0, failed[kinds] = {};
    for (int i = 0; i < runs; ++i) {
        for (int p = 0; p < kinds; ++p) {
            // Errors from earlier runs must not be read as this run's.
            fs::remove(folder / "errors.dat");
            fs::remove(folder / "hiscore.dat");
            const Run run = runOnce(c, pidAtom, programs[p].program, programs[p].argument, folder,
                                    programs[p].libraryPath);
            if (run.millis < 0) {
                ++failed[p];
                continue;
            }
            times[p].push_back(run.millis);
            peak[p] = std::max(peak[p], run.peakKiB);
            privateMax[p] = std::max(privateMax[p], run.privateKiB);
            if (p == 1 && run.libraryLoaded)
                ++loaded;
        }
    }
    fs::remove_all(folder);
    xcb_disconnect(c);

    for (int p = 0; p < kinds; ++p) {
        std::printf("%-17s exec to window shown: median %.1f ms over %zu runs (min %.1f, max "
                    "%.1f), peak memory (resident) %.1f MB, private %.1f MB%s\n",
                    programs[p].label, median(times[p]), times[p].size(),
                    times[p].empty() ? 0 : *std::min_element(times[p].begin(), times[p].end()),
                    times[p].empty() ? 0 : *std::max_element(times[p].begin(), times[p].end()),
                    peak[p] / 1024.0, privateMax[p] / 1024.0,
                    failed[p] ? " (some runs never showed a window)" : "");
    }
    std::printf("the real MIDI library loaded by tonyx in %d of %zu runs\n", loaded,
                times[1].size());
    for (int p = 1; p < kinds; ++p) {
        if (!times[0].empty() && !times[p].empty())
            std::printf("ratio %s / bare: %.2f\n", programs[p].label,
                        median(times[p]) / median(times[0]));
    }
    if (!times[1].empty() && !times[3].empty())
        std::printf("ratio tonyx / bare, one label: %.2f\n", median(times[1]) / median(times[3]));
    return 0;
}
