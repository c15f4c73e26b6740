// The recording stand-in library. Built once as libStandInMidi.so with its
// control interface, and in variants that each break the binding one way
// (a missing entry point, undecorated names); the variants keep their
// state to themselves and export nothing else.

#include "tests/support/standin.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>

#define STANDIN_API __attribute__((visibility("default")))
#ifdef STANDIN_UNDECORATED
#define STANDIN_LABEL(name, bytes) __asm__(#name)
#else
#define STANDIN_LABEL(name, bytes) __asm__("_" #name "$" #bytes)
#endif
// Declares entry point `name` under its exported label; the body follows.
#define STANDIN_ENTRY(ret, name, bytes, params)                                                    \
    extern "C" STANDIN_API ret standin_##name params STANDIN_LABEL(name, bytes);                   \
    extern "C" ret standin_##name params

namespace {

struct State {
    std::recursive_mutex mutex;
    std::vector<standin::Call> calls;
    std::vector<std::string> outNames{"Stand-in Synth"};
    std::vector<std::string> inNames{"Stand-in Keyboard"};
    uint32_t openResult = 100;
    uint32_t putResult = 0;
    uint32_t version = 0x0100;
    std::function<int64_t()> now;
    std::deque<MIDIEVENT> input;
    MIDIEVENT delivered{};
    std::map<std::string, HMIDILIBWINDOW> windows;
    std::vector<std::vector<MIDIEVENT>> fileTracks;
    std::vector<size_t> readPositions;
    uint32_t readLimit = 0;
    std::map<std::pair<uint32_t, uint8_t>, std::vector<uint8_t>> meta;
    std::string path;
    std::map<uint32_t, std::vector<MIDIEVENT>> written;
    std::vector<standin::Meta> writtenMeta;
    int64_t writeResult = -1;
    uint32_t writeMetaResult = 0;
    uint32_t tempo = 500000;
    uint32_t resolution = 96;
    uint32_t smfResolution = 96;
};

State& state() {
    static State s;
    return s;
}

template <typename T> uint64_t arg(T value) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<uintptr_t>(value);
    else
        return static_cast<uint64_t>(value);
}

template <typename... Args> void record(const char* name, Args... args) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    standin::Call call{name, {arg(args)...}, {}, s.now ? s.now() : 0};
    s.calls.push_back(std::move(call));
}

[[maybe_unused]] void restoreDefaults() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.calls.clear();
    s.outNames = {"Stand-in Synth"};
    s.inNames = {"Stand-in Keyboard"};
    s.openResult = 100;
    s.putResult = 0;
    s.version = 0x0100;
    s.now = nullptr;
    s.input.clear();
    s.windows.clear();
    s.fileTracks.clear();
    s.readPositions.clear();
    s.readLimit = 0;
    s.meta.clear();
    s.path.clear();
    s.written.clear();
    s.writtenMeta.clear();
    s.writeResult = -1;
    s.writeMetaResult = 0;
    s.tempo = 500000;
    s.resolution = 96;
    s.smfResolution = 96;
}

uint32_t describe(const std::vector<std::string>& names, uint32_t device, char* name) {
    if (!name)
        return 0;
    std::memset(name, 0, MIDILIB_NAME_SIZE);
    if (device >= names.size())
        return 0;
    std::strncpy(name, names[device].c_str(), MIDILIB_NAME_SIZE - 1);
    return 1;
}

} // namespace

// ---- Entry points -----------------------------------------------------------

STANDIN_ENTRY(uint32_t, GetMidiLibVersion, 0, (void)) {
    record("GetMidiLibVersion");
    return state().version;
}
STANDIN_ENTRY(uint32_t, GetNumOutDevices, 0, (void)) {
    record("GetNumOutDevices");
    return uint32_t(state().outNames.size());
}
STANDIN_ENTRY(uint32_t, GetMidiOutDescription, 8, (uint32_t device, char* name)) {
    record("GetMidiOutDescription", device, name);
    return describe(state().outNames, device, name);
}
STANDIN_ENTRY(uint32_t, OpenMidiOut, 16,
              (HMIDILIBWINDOW window, uint32_t device, uint32_t sync, uint32_t flags)) {
    record("OpenMidiOut", window, device, sync, flags);
    state().windows["OpenMidiOut"] = window;
    // Like the library, a device that is not there does not open.
    return device < state().outNames.size() ? state().openResult : 0;
}
STANDIN_ENTRY(uint32_t, ResetMidiOut, 4, (uint32_t port)) {
    record("ResetMidiOut", port);
    return 0;
}
STANDIN_ENTRY(uint32_t, FlushMidiOut, 4, (uint32_t port)) {
    record("FlushMidiOut", port);
    return 0;
}
STANDIN_ENTRY(uint32_t, CloseMidiOut, 4, (uint32_t port)) {
    record("CloseMidiOut", port);
    return 0;
}
STANDIN_ENTRY(uint32_t, PutMidiOut, 8, (uint32_t port, LPMIDIEVENT event)) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record("PutMidiOut", port, event);
    if (event)
        s.calls.back().event = *event;
    return s.putResult;
}
STANDIN_ENTRY(uint32_t, GetNumInDevices, 0, (void)) {
    record("GetNumInDevices");
    return uint32_t(state().inNames.size());
}
STANDIN_ENTRY(uint32_t, GetMidiInDescription, 8, (uint32_t device, char* name)) {
    record("GetMidiInDescription", device, name);
    return describe(state().inNames, device, name);
}
STANDIN_ENTRY(uint32_t, OpenMidiIn, 16,
              (HMIDILIBWINDOW window, uint32_t device, uint32_t sync, uint32_t flags)) {
    record("OpenMidiIn", window, device, sync, flags);
    state().windows["OpenMidiIn"] = window;
    return device < state().inNames.size() ? state().openResult : 0;
}
STANDIN_ENTRY(uint32_t, StartMidiIn, 4, (uint32_t input)) {
    record("StartMidiIn", input);
    return 0;
}
STANDIN_ENTRY(uint32_t, StopMidiIn, 4, (uint32_t input)) {
    record("StopMidiIn", input);
    return 0;
}
STANDIN_ENTRY(uint32_t, CloseMidiIn, 4, (uint32_t input)) {
    record("CloseMidiIn", input);
    return 0;
}
STANDIN_ENTRY(LPMIDIEVENT, GetMidiIn, 4, (uint32_t input)) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record("GetMidiIn", input);
    if (s.input.empty())
        return nullptr;
    s.delivered = s.input.front();
    s.input.pop_front();
    return &s.delivered;
}
STANDIN_ENTRY(uint32_t, OpenSync, 16,
              (HMIDILIBWINDOW window, uint32_t flags, uint32_t tempo, uint32_t resolution)) {
    record("OpenSync", window, flags, tempo, resolution);
    State& s = state();
    s.windows["OpenSync"] = window;
    s.tempo = tempo;
    s.resolution = resolution;
    return s.openResult;
}
STANDIN_ENTRY(uint32_t, CloseSync, 4, (uint32_t sync)) {
    record("CloseSync", sync);
    return 0;
}
STANDIN_ENTRY(uint32_t, StopSync, 4, (uint32_t sync)) {
    record("StopSync", sync);
    return 0;
}
STANDIN_ENTRY(uint32_t, StartSync, 4, (uint32_t sync)) {
    record("StartSync", sync);
    return 0;
}
#ifndef STANDIN_OMIT_PAUSESYNC
STANDIN_ENTRY(uint32_t, PauseSync, 8, (uint32_t sync, uint32_t pause)) {
    record("PauseSync", sync, pause);
    return 0;
}
#endif
STANDIN_ENTRY(uint32_t, ReStartSync, 4, (uint32_t sync)) {
    record("ReStartSync", sync);
    return 0;
}
STANDIN_ENTRY(uint32_t, SetTempo, 8, (uint32_t sync, uint32_t tempo)) {
    record("SetTempo", sync, tempo);
    state().tempo = tempo;
    return 0;
}
STANDIN_ENTRY(uint32_t, SetResolution, 8, (uint32_t sync, uint32_t resolution)) {
    record("SetResolution", sync, resolution);
    state().resolution = resolution;
    return 0;
}
STANDIN_ENTRY(uint32_t, GetTempo, 4, (uint32_t sync)) {
    record("GetTempo", sync);
    return state().tempo;
}
STANDIN_ENTRY(uint32_t, GetResolution, 4, (uint32_t sync)) {
    record("GetResolution", sync);
    return state().resolution;
}
STANDIN_ENTRY(uint32_t, GetPosition, 8, (uint32_t sync, uint32_t* ticks)) {
    record("GetPosition", sync, ticks);
    if (ticks)
        *ticks = 1234;
    return 0;
}
#ifndef STANDIN_OMIT_OPENSMF
STANDIN_ENTRY(uint32_t, OpenSMF, 16,
              (const char* path, uint32_t mode, uint32_t format, uint32_t* tracks)) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record("OpenSMF", path, mode, format, tracks ? *tracks : 0);
    s.path = path ? path : "";
    if (mode == 'r') {
        s.readPositions.assign(s.fileTracks.size(), 0);
        if (tracks)
            *tracks = uint32_t(s.fileTracks.size());
    }
    return s.openResult;
}
#endif
STANDIN_ENTRY(uint32_t, CloseSMF, 4, (uint32_t smf)) {
    record("CloseSMF", smf);
    return 0;
}
STANDIN_ENTRY(uint32_t, RewindSMF, 4, (uint32_t smf)) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record("RewindSMF", smf);
    std::fill(s.readPositions.begin(), s.readPositions.end(), 0);
    return 0;
}
STANDIN_ENTRY(uint32_t, ReadSMF, 16,
              (uint32_t smf, uint32_t track, LPMIDIEVENT events, uint32_t room)) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record("ReadSMF", smf, track, events, room);
    if (track >= s.fileTracks.size() || track >= s.readPositions.size() || !events)
        return 0;
    const auto& list = s.fileTracks[track];
    size_t& at = s.readPositions[track];
    size_t n = std::min<size_t>(room, list.size() - at);
    if (s.readLimit)
        n = std::min<size_t>(n, s.readLimit);
    std::copy_n(list.begin() + ptrdiff_t(at), n, events);
    at += n;
    return uint32_t(n);
}
STANDIN_ENTRY(uint32_t, WriteSMF, 16,
              (uint32_t smf, uint32_t track, LPMIDIEVENT events, uint32_t count)) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record("WriteSMF", smf, track, events, count);
    auto& list = s.written[track];
    if (events)
        list.insert(list.end(), events, events + count);
    return s.writeResult < 0 ? count : uint32_t(s.writeResult);
}
STANDIN_ENTRY(uint32_t, GetSMFResolution, 4, (uint32_t smf)) {
    record("GetSMFResolution", smf);
    return state().smfResolution;
}
STANDIN_ENTRY(uint32_t, SetSMFResolution, 8, (uint32_t smf, uint32_t resolution)) {
    record("SetSMFResolution", smf, resolution);
    state().smfResolution = resolution;
    return 0;
}
STANDIN_ENTRY(int32_t, ReadMetaEvent, 20,
              (uint32_t smf, uint32_t track, uint32_t type, uint8_t** data, uint32_t* length)) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record("ReadMetaEvent", smf, track, type, data, length);
    auto found = s.meta.find({track, uint8_t(type)});
    if (found == s.meta.end() || !data || !length)
        return -1;
    *data = found->second.data();
    *length = uint32_t(found->second.size());
    return 0;
}
STANDIN_ENTRY(uint32_t, WriteMetaEvent, 20,
              (uint32_t smf, uint32_t track, uint32_t type, const uint8_t* data, uint32_t length)) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record("WriteMetaEvent", smf, track, type, data, length);
    std::vector<uint8_t> bytes;
    if (data)
        bytes.assign(data, data + length);
    s.writtenMeta.push_back({track, uint8_t(type), std::move(bytes)});
    return s.writeMetaResult;
}

// ---- Control interface ------------------------------------------------------

#ifndef STANDIN_VARIANT
namespace standin {

STANDIN_API std::vector<Call> calls() {
    std::lock_guard lock(state().mutex);
    return state().calls;
}

STANDIN_API std::vector<std::string> callNames() {
    std::vector<std::string> names;
    for (const Call& call : calls())
        names.push_back(call.name);
    return names;
}

STANDIN_API std::vector<MIDIEVENT> putEvents() {
    std::vector<MIDIEVENT> events;
    for (const Call& call : calls())
        if (call.name == "PutMidiOut")
            events.push_back(call.event);
    return events;
}

STANDIN_API void reset() {
    restoreDefaults();
}

STANDIN_API void setDeviceNames(std::vector<std::string> names) {
    std::lock_guard lock(state().mutex);
    state().outNames = std::move(names);
}

STANDIN_API void setInDeviceNames(std::vector<std::string> names) {
    std::lock_guard lock(state().mutex);
    state().inNames = std::move(names);
}

STANDIN_API void setOpenResult(uint32_t handle) {
    state().openResult = handle;
}
STANDIN_API void setPutResult(uint32_t result) {
    state().putResult = result;
}
STANDIN_API void setVersion(uint32_t version) {
    state().version = version;
}

STANDIN_API void setTimeSource(std::function<int64_t()> now) {
    std::lock_guard lock(state().mutex);
    state().now = std::move(now);
}

STANDIN_API void setInputEvents(std::vector<MIDIEVENT> events) {
    std::lock_guard lock(state().mutex);
    state().input.assign(events.begin(), events.end());
}

STANDIN_API HMIDILIBWINDOW lastWindow(const std::string& openCall) {
    std::lock_guard lock(state().mutex);
    auto found = state().windows.find(openCall);
    return found == state().windows.end() ? nullptr : found->second;
}

STANDIN_API void post(HMIDILIBWINDOW window, uint32_t message, uint32_t wparam, uintptr_t lparam) {
    if (window && window->post)
        window->post(window->context, message, wparam, lparam);
}

STANDIN_API void setFileTracks(std::vector<std::vector<MIDIEVENT>> tracks) {
    std::lock_guard lock(state().mutex);
    state().fileTracks = std::move(tracks);
    state().readPositions.assign(state().fileTracks.size(), 0);
}

STANDIN_API void setReadLimit(uint32_t eventsPerCall) {
    state().readLimit = eventsPerCall;
}

STANDIN_API void setMetaEvent(uint32_t track, uint8_t type, std::vector<uint8_t> data) {
    std::lock_guard lock(state().mutex);
    state().meta[{track, type}] = std::move(data);
}

STANDIN_API std::string lastPath() {
    std::lock_guard lock(state().mutex);
    return state().path;
}

STANDIN_API std::vector<MIDIEVENT> writtenEvents(uint32_t track) {
    std::lock_guard lock(state().mutex);
    return state().written[track];
}

STANDIN_API std::vector<Meta> writtenMeta() {
    std::lock_guard lock(state().mutex);
    return state().writtenMeta;
}

STANDIN_API void setWriteResult(int64_t written) {
    state().writeResult = written;
}
STANDIN_API void setWriteMetaResult(uint32_t result) {
    state().writeMetaResult = result;
}

} // namespace standin
#endif
