// MIDI input over the ports RtMidi finds (ALSA sequencer, JACK). ALSA ports
// are read through RtMidi, JACK ports through a JACK client of our own (see
// JackSource). Either calls back on its own thread; each message becomes one
// or more MIDIEVENTs in the input's queue, and the input's window hears
// MIDILIB_MSG_IN_DATA when events start waiting.
#include "input.h"

#include "callbackguard.h"
#include "jackports.h"
#include "midilib32.h"
#include "postgate.h"
#include "sound.h"
#include "sync.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <rtmidi/RtMidi.h>

#include <atomic>
#include <cerrno>
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
    // RtMidi reports a failed open on stderr before it throws: a sequencer
    // that is not there is not asked at all.
    if (alsaSequencerPresent()) {
        try {
            RtMidiIn in(RtMidi::LINUX_ALSA, clientName);
            in.setErrorCallback(ignoreRtMidiError);
            const unsigned count = in.getPortCount();
            for (unsigned i = 0; i < count; ++i)
                ports.push_back(PortRef{RtMidi::LINUX_ALSA, i, in.getPortName(i)});
        } catch (...) {
            // No sequencer after all; JACK may still have ports.
        }
    }
    if (const auto names = jackMidiPorts(JackPortIsOutput)) {
        for (const std::string& name : *names)
            ports.push_back(PortRef{RtMidi::UNIX_JACK, unsigned(ports.size()), name});
    }
    return ports;
}

class JackSource;

struct Input {
    ~Input();

    uint32_t handle = 0;
    PostGate gate;
    uint32_t sync = 0;
    std::string name;
    std::unique_ptr<RtMidiIn> port;   // an ALSA port
    std::unique_ptr<JackSource> jack; // or a JACK port

    // Closes the port; afterwards nothing more arrives.
    void release();

    std::mutex lock;
    bool started = false;
    bool announced = false;
    SteadyClock::time_point origin{};
    int64_t lastUnits = 0; // time of the previous queued event, in ms or ticks
    std::deque<MIDIEVENT> queue;
    MIDIEVENT current{};

    // Milliseconds since start, or clock ticks when opened with a clock;
    // `ago` is how long before now the message came in at its port.
    int64_t unitsNow(SteadyClock::duration ago = {}) const {
        if (sync) {
            double ticks = 0;
            return syncPosition(sync, &ticks) ? int64_t(std::floor(ticks)) : 0;
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - ago -
                                                                     origin)
            .count();
    }

    void push(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2, uint8_t data3) {
        if (queue.size() < maxQueued)
            queue.push_back(MIDIEVENT{time, status, data1, data2, data3});
    }

    void receive(const std::vector<unsigned char>& message, SteadyClock::duration ago = {}) {
        if (message.empty())
            return;
        bool post = false;
        {
            std::lock_guard guard(lock);
            if (!started)
                return;
            const int64_t units = unitsNow(ago);
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
        if (post)
            gate.post(MIDILIB_MSG_IN_DATA, handle, 0);
    }
};

// Set while a port's thread (RtMidi's, or JACK's process thread) is inside
// our callback, and so maybe inside a post.
thread_local bool inCallback = false;

void deliverMessage(Input* input, const std::vector<unsigned char>& message,
                    SteadyClock::duration ago) {
    inCallback = true;
    try {
        input->receive(message, ago);
    } catch (...) {
    }
    inCallback = false;
}

void onMessage(double, std::vector<unsigned char>* message, void* context) {
    if (message)
        deliverMessage(static_cast<Input*>(context), *message, {});
}

// A JACK MIDI input port of our own, connected from the chosen output port.
// The server applies a new connection only from a later cycle on, and what
// the peer sends before then is lost: the open waits until the connection is
// live, so a message sent once OpenMidiIn has returned arrives.
class JackSource {
public:
    explicit JackSource(Input* input) : input_(input) {}
    JackSource(const JackSource&) = delete;
    JackSource& operator=(const JackSource&) = delete;

    // Closing waits for a cycle in progress to leave our code: no callback
    // runs afterwards. Not from the process thread itself.
    ~JackSource() {
        guard_.shut();
        if (client_)
            jack_client_close(client_);
    }

    bool open(const std::string& source) {
        client_ = openJackClient(clientName);
        if (!client_)
            return false;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (!port_ || jack_set_process_callback(client_, process, this) != 0)
            return false;
        jack_on_shutdown(client_, onShutdown, this);
        if (jack_activate(client_) != 0)
            return false;
        const int connected = jack_connect(client_, source.c_str(), jack_port_name(port_));
        if (connected != 0 && connected != EEXIST)
            return false;
        // The server may apply the connection while a cycle runs, and that
        // cycle may run us before the peer. Once a cycle has begun with the
        // connection in place, the peer's callback runs before ours in it:
        // when ours has seen the connection twice, whatever the peer sends
        // from then on goes out in a cycle that carries it to us. On a busy
        // machine the server's cycles may stall for a good part of a second
        // and the wait allows for that; a server stalled for longer still
        // gets the input, whose connection goes live when the server runs
        // again (what the peer sends before then is lost).
        const auto deadline = SteadyClock::now() + std::chrono::seconds(2);
        while (!live_ && !shutDown_ && SteadyClock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        return !shutDown_;
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* source = static_cast<JackSource*>(self);
        if (!source->guard_.enter())
            return 0;
        source->read(frames);
        source->guard_.leave();
        return 0;
    }

    void read(jack_nframes_t frames) {
        if (!live_.load(std::memory_order_relaxed) && jack_port_connected(port_) > 0 &&
            ++connectedCycles_ >= 2)
            live_ = true;
        void* buffer = jack_port_get_buffer(port_, frames);
        const uint32_t count = buffer ? jack_midi_get_event_count(buffer) : 0;
        // An event's time is when it came in at the port, by the server's
        // frame clock, not when this callback got to run: on a busy machine
        // the callback may run long after its cycle began.
        const jack_time_t now = count ? jack_get_time() : 0;
        const jack_nframes_t cycleStart = count ? jack_last_frame_time(client_) : 0;
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0)
                continue;
            const jack_time_t at = jack_frames_to_time(client_, cycleStart + event.time);
            ago_ =
                std::chrono::microseconds(now > at ? std::min<jack_time_t>(now - at, maxAgo) : 0);
            const uint8_t* bytes = event.buffer;
            const uint8_t first = bytes[0];
            const uint8_t last = bytes[event.size - 1];
            if (gathering_ && first >= 0xF8 && event.size == 1) {
                deliver(bytes, 1); // real time inside an exclusive message
                continue;
            }
            if (gathering_ && (first < 0x80 || first == 0xF7)) {
                // The rest of an exclusive message sent in parts.
                message_.insert(message_.end(), bytes, bytes + event.size);
                if (last == 0xF7) {
                    gathering_ = false;
                    deliverMessage(input_, message_, ago_);
                }
                continue;
            }
            // Any other status ends an exclusive message cut short: dropped.
            gathering_ = false;
            if (first == 0xF0 && last != 0xF7) {
                message_.assign(bytes, bytes + event.size);
                gathering_ = true;
                continue;
            }
            deliver(bytes, event.size);
        }
    }

    void deliver(const uint8_t* bytes, size_t size) {
        single_.assign(bytes, bytes + size);
        deliverMessage(input_, single_, ago_);
    }

    static void onShutdown(void* self) { static_cast<JackSource*>(self)->shutDown_ = true; }

    Input* input_;
    CallbackGuard guard_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::atomic<bool> live_{false};
    std::atomic<bool> shutDown_{false};
    // A frame clock that is not settled yet cannot make an event older.
    static constexpr jack_time_t maxAgo = 1000000;

    // Touched only on JACK's process thread.
    SteadyClock::duration ago_{};
    int connectedCycles_ = 0;
    bool gathering_ = false;
    std::vector<unsigned char> message_;
    std::vector<unsigned char> single_;
};

// Ports go first: their callbacks use the rest of the input.
Input::~Input() {
    release();
}

void Input::release() {
    jack.reset();
    port.reset();
}

std::mutex tableLock;
std::map<uint32_t, std::shared_ptr<Input>> table;
uint32_t nextHandle = firstInputHandle;

std::shared_ptr<Input> find(uint32_t handle) {
    std::lock_guard guard(tableLock);
    const auto it = table.find(handle);
    return it == table.end() ? nullptr : it->second;
}

// Gives an open input its handle.
uint32_t admit(const std::shared_ptr<Input>& input) {
    std::lock_guard guard(tableLock);
    while (table.count(nextHandle) || nextHandle <= 32)
        ++nextHandle;
    input->handle = nextHandle++;
    table.emplace(input->handle, input);
    return input->handle;
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
        input->gate.setWindow(window);
        input->sync = sync;
        input->name = ref.name;
        if (ref.api == RtMidi::UNIX_JACK) {
            input->jack = std::make_unique<JackSource>(input.get());
            return input->jack->open(ref.name) ? admit(input) : 0;
        }
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
        return input->port->isPortOpen() ? admit(input) : 0;
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
        // Nothing is queued from here on; a post under way on another
        // thread ends before this returns, and none starts after.
        input->gate.close();
        // Destroying the port closes its client once no callback is inside
        // our code. Called from a post on the port's own thread, it cannot
        // wait for itself: another thread lets the port go once the callback
        // has returned.
        if (inCallback)
            std::thread([input] { input->release(); }).detach();
        else
            input->release();
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
