// Times the end of the program: from the close of its main window (the
// window manager's WM_DELETE_WINDOW, as the close box sends it) to the
// window gone from the screen, and from there to the process ended.
// Needs an X server (DISPLAY), for example Xvfb, with or without a window
// manager.
//
//   bench_exit [runs]
//
// Each run starts the program in a fresh temporary folder holding
// readme.txt, leaves it a second after its main window shows (the
// synthesizer and the port listing are up by then), and closes it.
#include "bench/xwatch.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

using namespace xwatch;

namespace {

struct Run {
    double toGone = -1; // close to window unmapped, ms
    double toEnd = -1;  // window unmapped to process ended, ms
};

Run runOnce(xcb_connection_t* c, xcb_window_t root, const std::string& program,
            const fs::path& folder) {
    Run run;
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");
    xcb_window_t window = 0;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(20);
    while (!window && SteadyClock::now() < deadline) {
        window = findMainWindow(c, root, uint32_t(child), pidAtom);
        if (!window)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!window) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return run;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
    xcb_client_message_event_t close{};
    close.response_type = XCB_CLIENT_MESSAGE;
    close.format = 32;
    close.window = window;
    close.type = atom(c, "WM_PROTOCOLS");
    close.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
    close.data.data32[1] = XCB_CURRENT_TIME;
    const auto closed = SteadyClock::now();
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&close));
    xcb_flush(c);

    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    SteadyClock::time_point gone{};
    int status = 0;
    while (true) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const int type = event->response_type & 0x7F;
            if ((type == XCB_UNMAP_NOTIFY || type == XCB_DESTROY_NOTIFY) &&
                gone == SteadyClock::time_point{})
                gone = SteadyClock::now();
            std::free(event);
        }
        if (waitpid(child, &status, WNOHANG) == child)
            break;
        poll(&fd, 1, 1);
    }
    const auto ended = SteadyClock::now();
    if (gone == SteadyClock::time_point{})
        gone = ended;
    run.toGone = std::chrono::duration<double, std::milli>(gone - closed).count();
    run.toEnd = std::chrono::duration<double, std::milli>(ended - gone).count();
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "bench_exit: no X server (set DISPLAY, e.g. to an Xvfb)\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const fs::path program = fs::canonical("/proc/self/exe").parent_path() / "tonyx";
    const fs::path folder = fs::temp_directory_path() / ("tonyx-exit-" + std::to_string(getpid()));
    fs::create_directories(folder);
    fs::copy_file(TONYX_README, folder / "readme.txt", fs::copy_options::overwrite_existing);

    std::vector<double> toGone, toEnd;
    int failed = 0;
    for (int i = 0; i < runs; ++i) {
        const Run run = runOnce(c, root, program.string(), folder);
        if (run.toGone < 0) {
            ++failed;
            continue;
        }
        toGone.push_back(run.toGone);
        toEnd.push_back(run.toEnd);
    }
    fs::remove_all(folder);
    xcb_disconnect(c);
    if (toEnd.empty()) {
        std::printf("the main window never showed in %d runs\n", failed);
        return 1;
    }
    std::printf("close to window gone: median %.1f ms (max %.1f); window gone to process ended: "
                "median %.1f ms (max %.1f) over %zu runs%s\n",
                median(toGone), *std::max_element(toGone.begin(), toGone.end()), median(toEnd),
                *std::max_element(toEnd.begin(), toEnd.end()), toEnd.size(),
                failed ? " (some runs never showed the window)" : "");
    return 0;
}
