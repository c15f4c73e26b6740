// Closing an output port from inside its own notification, on each thread
// that sends one, against the real library: a JACK port and the synthesizer
// on the JACK test server that test.sh starts, and the synthesizer offline.
#include "midilib32.h"
#include "midilib32_render.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;

// A close that waits for itself hangs for ever: the test program ends with
// a message instead of stalling the test run.
class Watchdog {
public:
    explicit Watchdog(const std::string& what, seconds limit) {
        thread_ = std::thread([this, what, limit] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                std::fprintf(stderr, "hung: %s\n", what.c_str());
                std::_Exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// A JACK client with a MIDI input port for the library's port to reach.
class MidiSink {
public:
    MidiSink() {
        jack_status_t status{};
        client_ = jack_client_open("tonyxclose", JackNoStartServer, &status);
        if (client_ &&
            (port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0)))
            name_ = jack_port_name(port_);
        if (client_)
            jack_activate(client_);
    }
    ~MidiSink() {
        if (client_)
            jack_client_close(client_);
    }
    MidiSink(const MidiSink&) = delete;
    MidiSink& operator=(const MidiSink&) = delete;

    // The output device that reaches this port, or 0 when it is not listed.
    uint32_t device() const {
        const uint32_t count = GetNumOutDevices();
        for (uint32_t i = 1; i < count; ++i) {
            char name[MIDILIB_NAME_SIZE];
            if (GetMidiOutDescription(i, name) && name_ == name)
                return i;
        }
        return 0;
    }

private:
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::string name_;
};

enum class Device { jackPort, synthOnJack, synthOffline };
enum class From { open, scheduler, render };

// Closes the port from its n-th notification sent on the chosen kind of
// thread (the test's own thread, or another), and counts what comes after.
struct Closer {
    std::thread::id testThread = std::this_thread::get_id();
    bool onTestThread = true;
    int closeAt = 1;
    std::atomic<int> seen{0};
    std::atomic<uint32_t> closeResult{99};
    std::atomic<bool> closed{false};
    std::atomic<int> afterClose{0};

    static void post(void* context, uint32_t message, uint32_t wparam, uintptr_t) {
        auto* self = static_cast<Closer*>(context);
        if (message != MIDILIB_MSG_OUT_BUFFER_READY)
            return;
        if (self->closed) {
            ++self->afterClose;
            return;
        }
        const bool onTestThread = std::this_thread::get_id() == self->testThread;
        if (onTestThread == self->onTestThread && ++self->seen == self->closeAt) {
            self->closeResult = CloseMidiOut(wparam);
            self->closed = true;
        }
    }
};

bool jackServerRequired() {
    const char* required = std::getenv("TONYX_REQUIRE_JACK");
    return required && std::string(required) == "1";
}

// Fills the port's queue until it refuses, so that it owes its window a
// notification once half has gone out.
void fillQueue(uint32_t port) {
    for (int i = 0; i < 4096; ++i) {
        MIDIEVENT e{1, 0xB0, 7, 100, 0};
        if ((PutMidiOut(port, &e) & 0xFFFF) == 3)
            return;
    }
    ADD_FAILURE() << "the queue never filled";
}

TEST(CloseFromNotification, EndsThePortOnEveryThreadThatNotifies) {
    const struct {
        const char* name;
        Device device;
        From from;
    } cases[] = {
        {"JACK port, during the open", Device::jackPort, From::open},
        {"JACK port, on the scheduler", Device::jackPort, From::scheduler},
        {"synthesizer on JACK, during the open", Device::synthOnJack, From::open},
        {"synthesizer on JACK, on the scheduler", Device::synthOnJack, From::scheduler},
        {"offline synthesizer, during the open", Device::synthOffline, From::open},
        {"offline synthesizer, while rendering", Device::synthOffline, From::render},
    };
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("tonyxcloseprobe", JackNoStartServer, &status);
    const bool haveJack = probe != nullptr;
    if (probe)
        jack_client_close(probe);
    if (!haveJack && jackServerRequired())
        FAIL() << "no JACK server";

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.device != Device::synthOffline && !haveJack)
            continue;
        Watchdog dog(c.name, seconds(30));
        MidiSink sink;
        uint32_t device = 0;
        uint32_t flags = 0;
        if (c.device == Device::jackPort) {
            device = sink.device();
            ASSERT_NE(device, 0u) << "the test's JACK port is not listed";
        } else if (c.device == Device::synthOffline) {
            flags = MIDILIB_OUT_OFFLINE;
        }
        Closer closer;
        closer.onTestThread = c.from != From::scheduler;
        closer.closeAt = c.from == From::render ? 2 : 1; // the open's comes first
        MIDILIBWINDOW window{Closer::post, &closer};
        const uint32_t port = OpenMidiOut(&window, device, 0, flags);
        ASSERT_GT(port, 32u);
        if (c.from != From::open) {
            fillQueue(port);
            std::vector<float> left(4800), right(4800);
            const auto deadline = steady_clock::now() + seconds(10);
            while (!closer.closed && steady_clock::now() < deadline) {
                if (c.from == From::render)
                    RenderMidiOut(port, left.data(), right.data(), 4800);
                else
                    std::this_thread::sleep_for(milliseconds(5));
            }
        }
        ASSERT_TRUE(closer.closed);
        EXPECT_EQ(closer.closeResult, 0u);
        MIDIEVENT e{MIDILIB_TIME_NOW, 0x90, 60, 1, 0};
        EXPECT_EQ(PutMidiOut(port, &e), 1u) << "the handle is gone";
        EXPECT_NE(CloseMidiOut(port), 0u);
        std::this_thread::sleep_for(milliseconds(50));
        EXPECT_EQ(closer.afterClose, 0) << "nothing is posted after the close";
    }
}

} // namespace
