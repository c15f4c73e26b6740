#pragma once

// A recording stand-in for the MIDI library, built as libStandInMidi.so.
// It exports the library's 35 entry points under their decorated names, so
// a TMidiLib made with the name "StandInMidi" binds to it, and it records
// every call in order. Tests link this control interface directly: the
// library they load by name is the same loaded instance.

#include <midilib32.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace standin {

struct Call {
    std::string name;           // the entry point's C name ("PutMidiOut")
    std::vector<uint64_t> args; // arguments in order; pointers as addresses
    MIDIEVENT event{};          // the PutMidiOut event
    int64_t at = 0;             // time from the time source
};

std::vector<Call> calls();                           // every call in order since reset()
std::vector<MIDIEVENT> putEvents();                  // the events of PutMidiOut calls, in order
void reset();                                        // clears the log, restores defaults
void setDeviceNames(std::vector<std::string> names); // default: one device "Stand-in Synth"
void setOpenResult(uint32_t handle); // default 100, for every Open call (0 for a device not listed)
void setPutResult(uint32_t result);  // default 0
void setVersion(uint32_t version);   // default 0x0100
void setTimeSource(std::function<int64_t()> now); // stamps Call::at, e.g. a test clock

// ---- Further controls -------------------------------------------------

// The names of the calls only, in order.
std::vector<std::string> callNames();
// Input device names; default one device "Stand-in Keyboard".
void setInDeviceNames(std::vector<std::string> names);
// Events GetMidiIn hands out, in order; null once they are used up.
void setInputEvents(std::vector<MIDIEVENT> events);
// The window given to the last OpenMidiOut, OpenMidiIn or OpenSync
// (`openCall` names which); null when there was none.
HMIDILIBWINDOW lastWindow(const std::string& openCall);
// Posts `message` to `window` as the library would (from the calling thread).
void post(HMIDILIBWINDOW window, uint32_t message, uint32_t wparam = 0, uintptr_t lparam = 0);

// The file OpenSMF reads: one event list per track. ReadSMF hands the
// events out in order, at most `room` (and at most the read limit) a call.
void setFileTracks(std::vector<std::vector<MIDIEVENT>> tracks);
void setReadLimit(uint32_t eventsPerCall); // default: no limit beyond room
// What ReadMetaEvent finds: data of meta event `type` on `track`.
void setMetaEvent(uint32_t track, uint8_t type, std::vector<uint8_t> data);
// The path of the last OpenSMF.
std::string lastPath();
// Events WriteSMF received for `track`, in order, over all calls.
std::vector<MIDIEVENT> writtenEvents(uint32_t track);
struct Meta {
    uint32_t track;
    uint8_t type;
    std::vector<uint8_t> data;
};
std::vector<Meta> writtenMeta();          // what WriteMetaEvent received, in order
void setWriteResult(int64_t written);     // WriteSMF's result; -1 (default): the count given
void setWriteMetaResult(uint32_t result); // default 0

} // namespace standin
