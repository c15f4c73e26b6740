#pragma once

// What the benchmarks that start the program share: finding its main window
// on the X server, reading a process's memory, and medians.
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace xwatch {

// Every program the benchmarks start titles its main window so; the
// program's other windows (the Key Guide is mapped just before it) do not.
inline constexpr char kMainTitle[] = "Identify intervals";

inline xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

inline std::string property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t a) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, a, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr);
    std::string value;
    if (reply)
        value.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                     size_t(xcb_get_property_value_length(reply)));
    std::free(reply);
    return value;
}

// The process that says it owns `w` (_NET_WM_PID), 0 when it does not say.
inline uint32_t windowPid(xcb_connection_t* c, xcb_window_t w, xcb_atom_t pidAtom) {
    const std::string p = property(c, w, pidAtom);
    uint32_t pid = 0;
    if (p.size() == 4)
        std::memcpy(&pid, p.data(), 4);
    return pid;
}

// Whether `w` is the main window of process `pid`.
inline bool isMainWindowOf(xcb_connection_t* c, xcb_window_t w, uint32_t pid, xcb_atom_t pidAtom) {
    return windowPid(c, w, pidAtom) == pid && property(c, w, XCB_ATOM_WM_NAME) == kMainTitle;
}

// The main window of process `pid` among the root's children and (under a
// window manager, which frames them) their children.
inline xcb_window_t findMainWindow(xcb_connection_t* c, xcb_window_t parent, uint32_t pid,
                                   xcb_atom_t pidAtom, int depth = 0) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr);
    if (!tree)
        return 0;
    xcb_window_t found = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        if (isMainWindowOf(c, children[i], pid, pidAtom))
            found = children[i];
        else if (depth < 2)
            found = findMainWindow(c, children[i], pid, pidAtom, depth + 1);
    }
    std::free(tree);
    return found;
}

// Private_Clean + Private_Dirty: what the process holds by itself, without
// shared memory of other processes (a JACK server maps its whole engine,
// about 100 MB, into each client) or shared libraries' file pages.
inline long privateKiB(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key, unit;
    long value = 0, total = 0;
    while (rollup >> key) {
        if (key == "Private_Clean:" || key == "Private_Dirty:") {
            rollup >> value >> unit;
            total += value;
        }
    }
    return total;
}

inline bool mapsContain(pid_t pid, const char* name) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(name) != std::string::npos)
            return true;
    return false;
}

// The 1-minute load average, as /proc/loadavg gives it.
inline double loadAverage() {
    std::ifstream load("/proc/loadavg");
    double one = -1;
    load >> one;
    return one;
}

inline double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t half = v.size() / 2;
    return v.size() % 2 ? v[half] : (v[half - 1] + v[half]) / 2;
}

} // namespace xwatch
