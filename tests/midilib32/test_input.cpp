// MIDI input from a real peer: a JACK MIDI output port made here is
// connected to the library's input. Needs the JACK test server that test.sh
// starts (JACK_DEFAULT_SERVER, JACK_NO_START_SERVER).
#include "midilib32.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;

struct Posted {
    std::mutex lock;
    std::vector<uint32_t> wparams;
    size_t dataMessages = 0;

    static void post(void* context, uint32_t message, uint32_t wparam, uintptr_t) {
        auto* self = static_cast<Posted*>(context);
        std::lock_guard guard(self->lock);
        if (message == MIDILIB_MSG_IN_DATA) {
            ++self->dataMessages;
            self->wparams.push_back(wparam);
        }
    }
    size_t count() {
        std::lock_guard guard(lock);
        return dataMessages;
    }
};

// Opens a client of the test server. The server refuses a new client for a
// moment while another one comes or goes (other test programs run beside
// this one), so it is asked for a while.
jack_client_t* openClient(const std::string& name) {
    const auto deadline = steady_clock::now() + seconds(5);
    do {
        jack_status_t status{};
        if (jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status))
            return client;
        std::this_thread::sleep_for(milliseconds(20));
    } while (steady_clock::now() < deadline);
    return nullptr;
}

// A JACK client of its own with one MIDI output port, as an outside program
// would be; `process` fills the port in each cycle. Closed first by its
// owner (declared last), so no cycle runs on what the owner frees.
class OutputClient {
public:
    OutputClient(const std::string& client, JackProcessCallback process, void* owner) {
        client_ = openClient(client);
        if (!client_)
            return;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        if (port_ && jack_set_process_callback(client_, process, owner) == 0 &&
            jack_activate(client_) == 0)
            name_ = jack_port_name(port_);
    }
    ~OutputClient() {
        if (client_)
            jack_client_close(client_);
    }
    OutputClient(const OutputClient&) = delete;
    OutputClient& operator=(const OutputClient&) = delete;

    const std::string& name() const { return name_; } // empty when not running
    // The port's buffer for this cycle, cleared.
    void* buffer(jack_nframes_t frames) const {
        void* buffer = jack_port_get_buffer(port_, frames);
        jack_midi_clear_buffer(buffer);
        return buffer;
    }

private:
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::string name_;
};

// What is sent goes out in the peer's next cycle, in order.
class Peer {
public:
    explicit Peer(const std::string& client) : out_(client, process, this) {}

    void send(std::vector<unsigned char> message) {
        std::lock_guard guard(lock_);
        pending_.push_back(std::move(message));
    }
    const std::string& name() const { return out_.name(); }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* peer = static_cast<Peer*>(self);
        void* buffer = peer->out_.buffer(frames);
        std::lock_guard guard(peer->lock_);
        for (const auto& message : peer->pending_)
            jack_midi_event_write(buffer, 0, message.data(), message.size());
        peer->pending_.clear();
        return 0;
    }

    std::mutex lock_;
    std::vector<std::vector<unsigned char>> pending_;
    OutputClient out_;
};

// A JACK client that sends one pitch bend in every cycle, its value the
// count of bends sent before it (14 bits). Like a client with work to do, it
// takes a while before it sends: an input whose connection the server
// applies while the cycle runs must not miss what comes of it.
class StreamPeer {
public:
    explicit StreamPeer(const std::string& client) : out_(client, process, this) {}

    const std::string& name() const { return out_.name(); }
    uint32_t sent() const { return sent_.load(); }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* peer = static_cast<StreamPeer*>(self);
        // A spin, not a sleep: a sleep on a busy machine may overrun the cycle.
        const auto until = steady_clock::now() + microseconds(1000);
        while (steady_clock::now() < until) {
        }
        void* buffer = peer->out_.buffer(frames);
        const uint32_t value = peer->sent_.load() & 0x3FFF;
        const jack_midi_data_t bend[3] = {0xE0, jack_midi_data_t(value & 0x7F),
                                          jack_midi_data_t(value >> 7)};
        if (jack_midi_event_write(buffer, 0, bend, 3) == 0)
            peer->sent_.fetch_add(1);
        return 0;
    }

    std::atomic<uint32_t> sent_{0};
    OutputClient out_;
};

class MidiInput : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            GTEST_SKIP() << "no JACK test server: test.sh starts one";
    }

    // The input device whose name starts with `prefix`.
    static uint32_t deviceNamed(const std::string& prefix) {
        const uint32_t count = GetNumInDevices();
        for (uint32_t i = 0; i < count; ++i) {
            char name[MIDILIB_NAME_SIZE];
            if (GetMidiInDescription(i, name) && std::string(name).rfind(prefix, 0) == 0)
                return i;
        }
        ADD_FAILURE() << "no input device named " << prefix << " among " << count;
        return count;
    }

    // Every event that arrives within `wait` once at least `want` are there.
    static std::vector<MIDIEVENT> collect(uint32_t input, size_t want,
                                          milliseconds wait = milliseconds(3000)) {
        std::vector<MIDIEVENT> events;
        const auto deadline = steady_clock::now() + wait;
        while (events.size() < want && steady_clock::now() < deadline) {
            while (const LPMIDIEVENT e = GetMidiIn(input))
                events.push_back(*e);
            std::this_thread::sleep_for(milliseconds(5));
        }
        return events;
    }

    // Once an input is open its connection is live and every message a
    // peer sends arrives (see AMessageSentRightAfterTheOpenArrives): one
    // send, and the time it was sent, to compare with the times measured.
    struct Delivery {
        std::vector<MIDIEVENT> events;
        steady_clock::time_point sent;
    };
    static Delivery deliver(Peer& peer, uint32_t input, const std::vector<unsigned char>& message,
                            size_t events) {
        Delivery delivery;
        delivery.sent = steady_clock::now();
        peer.send(message);
        delivery.events = collect(input, events);
        return delivery;
    }

    Posted posted;
    MIDILIBWINDOW window{Posted::post, &posted};
};

TEST_F(MidiInput, MessagesFromAPeerArriveInOrderWithTheirTimes) {
    Peer peer("tonyxpeer");
    ASSERT_FALSE(peer.name().empty()) << "the peer did not start";
    const uint32_t input = OpenMidiIn(&window, deviceNamed(peer.name()), 0, 0);
    ASSERT_GT(input, 32u);
    // A second, started input on the same port tells when a message has
    // arrived, so the first is known to have seen it before its start.
    const uint32_t witness = OpenMidiIn(nullptr, deviceNamed(peer.name()), 0, 0);
    ASSERT_GT(witness, 32u);
    ASSERT_EQ(StartMidiIn(witness), 0u);
    peer.send({0x90, 60, 1}); // once: the open waited for the connection
    ASSERT_EQ(collect(witness, 1).size(), 1u);
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(GetMidiIn(input), nullptr) << "nothing is queued before StartMidiIn";
    ASSERT_EQ(CloseMidiIn(witness), 0u);

    ASSERT_EQ(StartMidiIn(input), 0u);
    const auto start = steady_clock::now();
    const Delivery note = deliver(peer, input, {0x90, 60, 100}, 1);
    ASSERT_EQ(note.events.size(), 1u);
    std::this_thread::sleep_for(milliseconds(200));
    const Delivery sysex = deliver(peer, input, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, 6);
    ASSERT_EQ(sysex.events.size(), 6u);
    const Delivery sensing = deliver(peer, input, {0xFE}, 1);
    ASSERT_EQ(sensing.events.size(), 1u);
    const Delivery bend = deliver(peer, input, {0xE3, 0x00, 0x40}, 1);
    ASSERT_EQ(bend.events.size(), 1u);

    const MIDIEVENT& on = note.events[0];
    EXPECT_EQ(on.status, 0x90);
    EXPECT_EQ(on.data1, 60);
    EXPECT_EQ(on.data2, 100);
    EXPECT_LE(on.time, uint32_t(duration_cast<milliseconds>(note.sent - start).count() + 150));
    // Milliseconds since the previous event: about the time between the
    // sends (the peer's and our JACK cycles may each be late under load).
    const double gap = duration<double, std::milli>(sysex.sent - note.sent).count();
    EXPECT_NEAR(sysex.events[0].time, gap, 120.0);
    const uint8_t bytes[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(sysex.events[i].status, 0xF0);
        EXPECT_EQ(sysex.events[i].data1, bytes[i]);
        EXPECT_EQ(sysex.events[i].data2, i == 0 ? 1 : 0) << "first byte event marked";
        if (i > 0) {
            EXPECT_EQ(sysex.events[i].time, 0u);
        }
    }
    EXPECT_EQ(sensing.events[0].status, 0xFE) << "active sensing is delivered";
    EXPECT_EQ(bend.events[0].status, 0xE3);
    EXPECT_EQ(bend.events[0].data1, 0x00);
    EXPECT_EQ(bend.events[0].data2, 0x40);
    EXPECT_EQ(GetMidiIn(input), nullptr);
    {
        std::lock_guard guard(posted.lock);
        ASSERT_FALSE(posted.wparams.empty());
        EXPECT_EQ(posted.wparams.front(), input);
    }

    // Once drained, the next event is announced again.
    const size_t announced = posted.count();
    ASSERT_EQ(deliver(peer, input, {0x80, 60, 0}, 1).events.size(), 1u);
    // The post follows the queueing on the peer's thread: wait for it.
    const auto deadline = steady_clock::now() + seconds(3);
    while (posted.count() == announced && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(posted.count(), announced + 1);

    ASSERT_EQ(StopMidiIn(input), 0u);
    peer.send({0x90, 61, 1});
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(GetMidiIn(input), nullptr) << "a stopped input queues nothing";
    ASSERT_EQ(CloseMidiIn(input), 0u);
    EXPECT_EQ(GetMidiIn(input), nullptr);
    EXPECT_NE(CloseMidiIn(input), 0u);
}

// The open returns only once the connection carries messages: a peer that
// sends in every cycle gets through everything it sends once OpenMidiIn
// and StartMidiIn have returned, beginning with its very next cycle, to
// inputs opened one after another and beside one another. A connection not
// yet live loses that first cycle.
TEST_F(MidiInput, AMessageSentRightAfterTheOpenArrives) {
    StreamPeer peer("tonyxstream");
    ASSERT_FALSE(peer.name().empty());
    uint32_t earlier = 0; // the previous round's input, still open
    for (int round = 0; round < 20; ++round) {
        // Looked up right before each open: other programs' ports come and
        // go, and a device's index with them.
        const uint32_t input = OpenMidiIn(&window, deviceNamed(peer.name()), 0, 0);
        ASSERT_GT(input, 32u);
        ASSERT_EQ(StartMidiIn(input), 0u);
        const uint32_t first = peer.sent() & 0x3FFF; // the next bend's value
        const std::vector<MIDIEVENT> events = collect(input, 20);
        ASSERT_GE(events.size(), 20u) << "round " << round;
        std::vector<uint32_t> values;
        for (const MIDIEVENT& e : events) {
            EXPECT_EQ(e.status, 0xE0);
            values.push_back(e.data1 | uint32_t(e.data2) << 7);
        }
        // Bends sent just before the start may come first; from the first
        // one sent after it, every one arrives, once and in order.
        const auto from = std::find(values.begin(), values.end(), first);
        ASSERT_TRUE(from != values.end()) << "round " << round << ": bend " << first
                                          << " lost, the first to arrive was " << values.front();
        for (auto it = from + 1; it != values.end(); ++it)
            ASSERT_EQ(*it, (*(it - 1) + 1) & 0x3FFF) << "round " << round << ": a gap or a repeat";
        if (earlier) {
            EXPECT_EQ(CloseMidiIn(earlier), 0u);
        }
        earlier = input;
    }
    EXPECT_EQ(CloseMidiIn(earlier), 0u);
}

// An exclusive message that the peer sends in parts arrives whole; a real-time
// byte between the parts passes at once.
TEST_F(MidiInput, AnExclusiveMessageInPartsArrivesWhole) {
    Peer peer("tonyxpeer5");
    ASSERT_FALSE(peer.name().empty()) << "the peer did not start";
    const uint32_t input = OpenMidiIn(&window, deviceNamed(peer.name()), 0, 0);
    ASSERT_GT(input, 32u);
    ASSERT_EQ(StartMidiIn(input), 0u);
    peer.send({0xF0, 0x43, 0x10});
    peer.send({0xF8});
    peer.send({0x4C, 0x00, 0xF7});
    const std::vector<MIDIEVENT> events = collect(input, 7);
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0].status, 0xF8);
    const uint8_t bytes[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(events[i + 1].status, 0xF0);
        EXPECT_EQ(events[i + 1].data1, bytes[i]);
    }
    // A part cut short by another status is dropped; the status arrives.
    peer.send({0xF0, 0x43});
    peer.send({0x90, 62, 90});
    const std::vector<MIDIEVENT> after = collect(input, 1);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].status, 0x90);
    EXPECT_EQ(after[0].data1, 62);
    EXPECT_EQ(CloseMidiIn(input), 0u);
}

TEST_F(MidiInput, WithAClockTimesAreTicks) {
    Peer peer("tonyxpeer2");
    ASSERT_FALSE(peer.name().empty()) << "the peer did not start";
    const uint32_t sync = OpenSync(nullptr, 0, 100000, 1000); // 10 ticks per ms
    ASSERT_GT(sync, 32u);
    ASSERT_EQ(StartSync(sync), 0u);
    const uint32_t input = OpenMidiIn(&window, deviceNamed(peer.name()), sync, 0);
    ASSERT_GT(input, 32u);
    ASSERT_EQ(StartMidiIn(input), 0u);
    const Delivery on = deliver(peer, input, {0x90, 60, 100}, 1);
    ASSERT_EQ(on.events.size(), 1u);
    std::this_thread::sleep_for(milliseconds(150));
    const Delivery off = deliver(peer, input, {0x80, 60, 0}, 1);
    ASSERT_EQ(off.events.size(), 1u);
    const double gap = duration<double, std::milli>(off.sent - on.sent).count();
    EXPECT_NEAR(off.events[0].time, gap * 10, 1500.0);
    EXPECT_EQ(CloseMidiIn(input), 0u);
    EXPECT_EQ(CloseSync(sync), 0u);
}

TEST_F(MidiInput, ClosingFromItsOwnNotificationEndsTheInput) {
    struct Closer {
        std::atomic<int> posts{0};
        std::atomic<uint32_t> closeResult{99};
        static void post(void* context, uint32_t message, uint32_t wparam, uintptr_t) {
            auto* self = static_cast<Closer*>(context);
            if (message == MIDILIB_MSG_IN_DATA && self->posts++ == 0)
                self->closeResult = CloseMidiIn(wparam);
        }
    } closer;
    MIDILIBWINDOW closing{Closer::post, &closer};
    Peer peer("tonyxpeer3");
    ASSERT_FALSE(peer.name().empty()) << "the peer did not start";
    const uint32_t input = OpenMidiIn(&closing, deviceNamed(peer.name()), 0, 0);
    ASSERT_GT(input, 32u);
    ASSERT_EQ(StartMidiIn(input), 0u);
    peer.send({0x90, 60, 100});
    const auto deadline = steady_clock::now() + seconds(3);
    while (closer.closeResult == 99u && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(closer.closeResult, 0u);
    peer.send({0x80, 60, 0});
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(closer.posts, 1) << "nothing after the close";
    EXPECT_EQ(GetMidiIn(input), nullptr);
}

// Closing while the port's thread is inside a notification: the close waits
// for it to end, the port's thread is never cut off inside the library, and
// nothing is posted afterwards.
TEST_F(MidiInput, ClosingWhileANotificationRunsWaitsForIt) {
    // The notification holds on until the test is about to close, then a
    // little longer: the close begins while it runs, whatever the load.
    struct Slow {
        std::atomic<bool> inside{false};
        std::atomic<bool> closing{false};
        std::atomic<int> posts{0};
        std::thread::id from;
        static void post(void* context, uint32_t message, uint32_t, uintptr_t) {
            auto* self = static_cast<Slow*>(context);
            if (message != MIDILIB_MSG_IN_DATA)
                return;
            self->from = std::this_thread::get_id();
            ++self->posts;
            self->inside = true;
            const auto cap = steady_clock::now() + seconds(5);
            while (!self->closing && steady_clock::now() < cap)
                std::this_thread::yield();
            const auto until = steady_clock::now() + milliseconds(20);
            while (steady_clock::now() < until) {
            }
            self->inside = false;
        }
    };
    StreamPeer peer("tonyxstream2");
    ASSERT_FALSE(peer.name().empty());
    for (int round = 0; round < 10; ++round) {
        Slow slow;
        MIDILIBWINDOW slowWindow{Slow::post, &slow};
        const uint32_t input = OpenMidiIn(&slowWindow, deviceNamed(peer.name()), 0, 0);
        ASSERT_GT(input, 32u);
        ASSERT_EQ(StartMidiIn(input), 0u);
        const auto deadline = steady_clock::now() + seconds(5);
        while (!slow.inside && steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_TRUE(slow.inside) << "round " << round;
        slow.closing = true;
        ASSERT_EQ(CloseMidiIn(input), 0u);
        EXPECT_FALSE(slow.inside) << "round " << round << ": the close returned during a post";
        EXPECT_NE(slow.from, std::this_thread::get_id()) << "posted from the port's thread";
        const int posts = slow.posts;
        std::this_thread::sleep_for(milliseconds(30));
        EXPECT_EQ(slow.posts, posts);
    }
}

TEST_F(MidiInput, LongNamesAreCutOnACharacterBoundary) {
    // "é" is two bytes; the cut at 31 bytes falls inside one.
    Peer peer("tonyxp\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
              "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
    ASSERT_FALSE(peer.name().empty()) << "the peer did not start";
    const uint32_t device = deviceNamed("tonyxp\xC3\xA9");
    char name[MIDILIB_NAME_SIZE];
    std::memset(name, 'x', sizeof name);
    ASSERT_NE(GetMidiInDescription(device, name), 0u);
    const size_t length = std::strlen(name);
    EXPECT_EQ(length, 30u) << "6 + 12 whole characters of 2 bytes";
    EXPECT_EQ(std::string(name, length), peer.name().substr(0, 30));
}

TEST_F(MidiInput, BadDevicesAndHandlesFail) {
    const uint32_t count = GetNumInDevices();
    char name[MIDILIB_NAME_SIZE] = "unchanged";
    EXPECT_EQ(GetMidiInDescription(count, name), 0u);
    EXPECT_EQ(name[0], 0);
    EXPECT_EQ(GetMidiInDescription(0, nullptr), 0u);
    EXPECT_LE(OpenMidiIn(&window, count, 0, 0), 32u);
    EXPECT_LE(OpenMidiIn(&window, 0, 0x12345, 0), 32u) << "no such clock";
    for (const uint32_t bad : {0u, 32u, 0xFFFFFFFFu}) {
        EXPECT_NE(StartMidiIn(bad), 0u);
        EXPECT_NE(StopMidiIn(bad), 0u);
        EXPECT_NE(CloseMidiIn(bad), 0u);
        EXPECT_EQ(GetMidiIn(bad), nullptr);
    }
}

} // namespace
