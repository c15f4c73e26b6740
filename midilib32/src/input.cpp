// MIDI input over the ports RtMidi finds (ALSA sequencer, JACK). RtMidi
// calls back on its own thread; each message becomes one or more MIDIEVENTs
// in the input's queue, and the input's window hears MIDILIB_MSG_IN_DATA
// when events start waiting.
#include "input.h"

#include "midilib32.h"
#include "sound.h"
#include "sync.h"

#include <rtmidi/RtMidi.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace midilib {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr uint32_t firstInputHandle = 0x02000000;
constexpr const char* clientName = "Tonyx";
// A reader that stops collecting must not let the queue eat all memory.
constexpr size_t maxQueued = size_t(1) << 20;

void ignoreRtMidiError(RtMidiError::Type, const std::string&, void*) {}

struct PortRef {
    RtMidi::Api api;
    unsigned index;
    std::string name;
};

std::vector<PortRef> listPorts() {
    quietSoundLibraries();
    std::vector<PortRef> ports;
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (const RtMidi::Api api : apis) {
        if (api != RtMidi::LINUX_ALSA && api != RtMidi::UNIX_JACK)
            continue;
        // RtMidi reports a failed open on stderr before it throws, and JACK
        // would try to start a server: back ends that are not there are
        // not asked at all.
        if (api == RtMidi::LINUX_ALSA && !alsaSequencerPresent())
            continue;
        if (api == RtMidi::UNIX_JACK && !jackServerRunning())
            continue;
        try {
            RtMidiIn in(api, clientName);
            in.setErrorCallback(ignoreRtMidiError);
            const unsigned count = in.getPortCount();
            for (unsigned i = 0; i < count; ++i)
                ports.push_back(PortRef{api, i, in.getPortName(i)});
        } catch (...) {
            // A back end without its server (no ALSA sequencer, no JACK) has no ports.
        }
    }
    return ports;
}

struct Input {
    uint32_t handle = 0;
    MIDILIBWINDOW window{};
    uint32_t sync = 0;
    std::string name;
    std::unique_ptr<RtMidiIn> port;

    std::mutex lock;
    bool started = false;
    bool announced = false;
    SteadyClock::time_point origin{};
    int64_t lastUnits = 0; // time of the previous queued event, in ms or ticks
    std::deque<MIDIEVENT> queue;
    MIDIEVENT current{};

    // Milliseconds since start, or clock ticks when opened with a clock.
    int64_t unitsNow() const {
        if (sync) {
            double ticks = 0;
            return syncPosition(sync, &ticks) ? int64_t(std::floor(ticks)) : 0;
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - origin)
            .count();
    }

    void push(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2, uint8_t data3) {
        if (queue.size() < maxQueued)
            queue.push_back(MIDIEVENT{time, status, data1, data2, data3});
    }

    void receive(const std::vector<unsigned char>& message) {
        if (message.empty())
            return;
        bool post = false;
        {
            std::lock_guard guard(lock);
            if (!started)
                return;
            const int64_t units = unitsNow();
            // A clock started again runs from 0: the time then restarts too.
            const uint32_t time =
                units > lastUnits ? uint32_t(std::min<int64_t>(units - lastUnits, 0xFFFFFFFE)) : 0;
            lastUnits = units;
            const uint8_t status = message[0];
            if (status == 0xF0 || status == 0xF7) {
                // Exclusive messages travel as byte events, as in a file.
                for (size_t i = 0; i < message.size(); ++i)
                    push(i == 0 ? time : 0, status, message[i], i == 0 ? 1 : 0, 0);
            } else {
                push(time, status, message.size() > 1 ? message[1] : 0,
                     message.size() > 2 ? message[2] : 0, message.size() > 3 ? message[3] : 0);
            }
            if (!announced && !queue.empty()) {
                announced = true;
                post = true;
            }
        }
        if (post && window.post)
            window.post(window.context, MIDILIB_MSG_IN_DATA, handle, 0);
    }
};

// Set while RtMidi's thread is inside our callback (and so inside a post).
thread_local bool inCallback = false;

void onMessage(double, std::vector<unsigned char>* message, void* context) {
    inCallback = true;
    try {
        if (message)
            static_cast<Input*>(context)->receive(*message);
    } catch (...) {
    }
    inCallback = false;
}

std::mutex tableLock;
std::map<uint32_t, std::shared_ptr<Input>> table;
uint32_t nextHandle = firstInputHandle;

std::shared_ptr<Input> find(uint32_t handle) {
    std::lock_guard guard(tableLock);
    const auto it = table.find(handle);
    return it == table.end() ? nullptr : it->second;
}

} // namespace

std::string fitDeviceName(const std::string& name) {
    if (name.size() < MIDILIB_NAME_SIZE)
        return name;
    size_t cut = MIDILIB_NAME_SIZE - 1;
    // Never cut inside a UTF-8 sequence: back up over continuation bytes.
    while (cut > 0 && (uint8_t(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

} // namespace midilib

using namespace midilib;

extern "C" MIDILIB32_API uint32_t GetNumInDevices(void) {
    try {
        return uint32_t(listPorts().size());
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t GetMidiInDescription(uint32_t device, char* name) {
    try {
        if (!name)
            return 0;
        name[0] = 0;
        const auto ports = listPorts();
        if (device >= ports.size())
            return 0;
        const std::string fitted = fitDeviceName(ports[device].name);
        std::memcpy(name, fitted.c_str(), fitted.size() + 1);
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t OpenMidiIn(HMIDILIBWINDOW window, uint32_t device, uint32_t sync,
                                             uint32_t /*flags*/) {
    try {
        if (sync && !syncExists(sync))
            return 0;
        const auto ports = listPorts();
        if (device >= ports.size())
            return 0;
        const PortRef& ref = ports[device];
        auto input = std::make_shared<Input>();
        if (window)
            input->window = *window;
        input->sync = sync;
        input->name = ref.name;
        input->port = std::make_unique<RtMidiIn>(ref.api, clientName);
        input->port->setErrorCallback(ignoreRtMidiError);
        // Ports may have come or gone since the list was made: find the name again.
        unsigned index = ref.index;
        if (index >= input->port->getPortCount() || input->port->getPortName(index) != ref.name) {
            const unsigned count = input->port->getPortCount();
            index = count;
            for (unsigned i = 0; i < count; ++i)
                if (input->port->getPortName(i) == ref.name)
                    index = i;
            if (index == count)
                return 0;
        }
        // Sysex, timing and active sensing are all delivered.
        input->port->ignoreTypes(false, false, false);
        input->port->setCallback(onMessage, input.get());
        input->port->openPort(index, "in");
        if (!input->port->isPortOpen())
            return 0;
        std::lock_guard guard(tableLock);
        while (table.count(nextHandle) || nextHandle <= 32)
            ++nextHandle;
        input->handle = nextHandle++;
        table.emplace(input->handle, input);
        return input->handle;
    } catch (...) {
        return 0;
    }
}

extern "C" MIDILIB32_API uint32_t StartMidiIn(uint32_t handle) {
    try {
        const auto input = find(handle);
        if (!input)
            return 1;
        std::lock_guard guard(input->lock);
        if (!input->started) {
            input->started = true;
            input->origin = SteadyClock::now();
            input->lastUnits = 0;
            if (input->sync) {
                input->lastUnits = input->unitsNow();
            }
        }
        return 0;
    } catch (...) {
        return 1;
    }
}

extern "C" MIDILIB32_API uint32_t StopMidiIn(uint32_t handle) {
    try {
        const auto input = find(handle);
        if (!input)
            return 1;
        std::lock_guard guard(input->lock);
        input->started = false;
        return 0;
    } catch (...) {
        return 1;
    }
}

extern "C" MIDILIB32_API uint32_t CloseMidiIn(uint32_t handle) {
    try {
        std::shared_ptr<Input> input;
        {
            std::lock_guard guard(tableLock);
            const auto it = table.find(handle);
            if (it == table.end())
                return 1;
            input = it->second;
            table.erase(it);
        }
        {
            std::lock_guard guard(input->lock);
            input->started = false;
        }
        // Destroying the port closes its client, which waits for a callback
        // in progress: after this nothing more is queued or posted. Called
        // from a post on the port's own thread, it cannot wait for itself:
        // another thread lets the port go once the callback has returned
        // (nothing is queued meanwhile, the input being stopped).
        if (inCallback)
            std::thread([input] { input->port.reset(); }).detach();
        else
            input->port.reset();
        return 0;
    } catch (...) {
        return 1;
    }
}

extern "C" MIDILIB32_API LPMIDIEVENT GetMidiIn(uint32_t handle) {
    try {
        const auto input = find(handle);
        if (!input)
            return nullptr;
        std::lock_guard guard(input->lock);
        if (input->queue.empty()) {
            input->announced = false;
            return nullptr;
        }
        input->current = input->queue.front();
        input->queue.pop_front();
        // The table keeps the input alive, so `current` stays valid until the
        // next GetMidiIn or CloseMidiIn.
        return &input->current;
    } catch (...) {
        return nullptr;
    }
}
