// The library's MIDI output ports against a real peer: a JACK client of
// the test's own, with a MIDI input port, on the JACK server that the test
// command starts (a dummy-driver server needs no sound card).
#include "midilib32.h"
#include "midilib32_render.h"
#include "test_synth_audio.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class JackPeer {
public:
    // Long multi-byte names, so the library has to cut them.
    bool open() {
        const std::string client = "peer ümlaut " + std::to_string(getpid());
        jack_status_t status{};
        client_ = jack_client_open(client.c_str(), JackNoStartServer, &status);
        if (!client_)
            return false;
        port_ = jack_port_register(client_, "input ä ö ü ß", JACK_DEFAULT_MIDI_TYPE,
                                   JackPortIsInput, 0);
        if (!port_ || jack_set_process_callback(client_, process, this) != 0 ||
            jack_activate(client_) != 0)
            return false;
        fullName_ = jack_port_name(port_);
        return true;
    }
    void close() {
        if (client_)
            jack_client_close(client_);
        client_ = nullptr;
    }
    ~JackPeer() { close(); }

    const std::string& fullName() const { return fullName_; }

    // Waits (for the server's next cycles) until `count` messages came.
    std::vector<Bytes> waitFor(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(mutex_);
                if (received_.size() >= count)
                    return received_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::lock_guard lock(mutex_);
        return received_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        received_.clear();
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* peer = static_cast<JackPeer*>(self);
        void* buffer = jack_port_get_buffer(peer->port_, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        std::lock_guard lock(peer->mutex_);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0)
                peer->received_.emplace_back(event.buffer, event.buffer + event.size);
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::string fullName_;
    std::mutex mutex_;
    std::vector<Bytes> received_;
};

// Fails or skips the test when no JACK server answers (see PortTest). A
// server refuses a new client for a moment while another one comes or goes
// (other test programs run beside this one), so it is asked for a while.
bool jackServerMissing() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do {
        jack_status_t status{};
        if (jack_client_t* client = jack_client_open("probe", JackNoStartServer, &status)) {
            jack_client_close(client);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return true;
}

#define REQUIRE_JACK_SERVER()                                                                      \
    do {                                                                                           \
        if (jackServerMissing()) {                                                                 \
            const char* required = std::getenv("TONYX_REQUIRE_JACK");                              \
            if (required && std::string(required) == "1")                                          \
                FAIL() << "no JACK server reachable (JACK_DEFAULT_SERVER="                         \
                       << (std::getenv("JACK_DEFAULT_SERVER") ?: "") << ")";                       \
            GTEST_SKIP() << "no JACK server running";                                              \
        }                                                                                          \
    } while (0)

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The test command starts a server and asks for these tests to run.
        REQUIRE_JACK_SERVER();
        ASSERT_TRUE(peer.open());
        // Asking for the count takes the list of ports afresh.
        const uint32_t count = GetNumOutDevices();
        for (uint32_t i = 1; i < count; ++i) {
            char name[MIDILIB_NAME_SIZE];
            ASSERT_NE(GetMidiOutDescription(i, name), 0u);
            if (peer.fullName().starts_with(name) && std::strlen(name) > 0) {
                device = i;
                deviceName = name;
            }
        }
        ASSERT_NE(device, 0u) << "the peer's port " << peer.fullName() << " is not listed";
    }
    void TearDown() override {
        if (port > 32)
            CloseMidiOut(port);
    }
    uint32_t put(uint8_t status, uint8_t d1, uint8_t d2 = 0, uint32_t time = MIDILIB_TIME_NOW) {
        MIDIEVENT e{time, status, d1, d2, 0};
        return PutMidiOut(port, &e);
    }

    JackPeer peer;
    uint32_t device = 0;
    std::string deviceName;
    uint32_t port = 0;
};

TEST_F(PortTest, LongNamesAreCutOnACharacterBoundary) {
    const std::string& full = peer.fullName();
    ASSERT_GT(full.size(), 31u);
    EXPECT_LE(deviceName.size(), 31u);
    EXPECT_GE(deviceName.size(), 28u); // a character is at most 4 bytes
    // The next byte of the full name starts a character.
    EXPECT_NE(static_cast<unsigned char>(full[deviceName.size()]) & 0xC0, 0x80);
}

TEST_F(PortTest, ThePeerReceivesExactlyTheBytesSent) {
    port = OpenMidiOut(nullptr, device, 0, 78624);
    ASSERT_GT(port, 32u);
    EXPECT_EQ(put(0x90, 60, 64) & 0xFFFF, 0u);
    EXPECT_EQ(put(0x80, 60, 0, 20) & 0xFFFF, 0u);
    for (uint8_t b : {0xF0, 0x7D, 0x01, 0x02, 0xF7})
        EXPECT_EQ(put(0xF0, b, 0, 0) & 0xFFFF, 0u);
    EXPECT_EQ(put(0xC3, 12) & 0xFFFF, 0u);
    const std::vector<Bytes> expected = {{0xC3, 12}, // sent at once, before the scheduled ones
                                         {0x90, 60, 64},
                                         {0x80, 60, 0},
                                         {0xF0, 0x7D, 0x01, 0x02, 0xF7}};
    auto got = peer.waitFor(4);
    ASSERT_EQ(got.size(), 4u);
    // The first note-on went out at once; the program change came after it.
    EXPECT_EQ(got[0], expected[1]);
    EXPECT_EQ(got[1], expected[0]);
    EXPECT_EQ(got[2], expected[2]);
    EXPECT_EQ(got[3], expected[3]);
}

// A JACK cycle carries some 32 KB of MIDI: a longer exclusive message is
// refused as it is put (result 5), and never holds back what comes after.
TEST_F(PortTest, AnExclusiveMessageTooLongForACycleIsRefusedAndLaterOnesGoOut) {
    port = OpenMidiOut(nullptr, device, 0, 78624);
    ASSERT_GT(port, 32u);
    const struct {
        size_t dataBytes;
        bool fits;
    } cases[] = {{30000, true}, {33000, false}, {65530, false}, {100, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dataBytes);
        peer.clear();
        EXPECT_EQ(put(0xF0, 0xF0), 0u);
        size_t refused = 0;
        for (size_t i = 0; i < c.dataBytes; ++i) {
            const uint32_t result = put(0xF0, static_cast<uint8_t>(i % 128));
            if (result != 0) {
                EXPECT_EQ(result, 5u);
                ++refused;
            }
        }
        EXPECT_EQ(put(0xF0, 0xF7), c.fits ? 0u : 5u);
        EXPECT_EQ(refused == 0, c.fits);
        EXPECT_EQ(put(0x90, 64, 1), 0u);
        const std::vector<Bytes> got = peer.waitFor(c.fits ? 2 : 1);
        ASSERT_EQ(got.size(), c.fits ? 2u : 1u);
        if (c.fits) {
            EXPECT_EQ(got[0].size(), c.dataBytes + 2);
            EXPECT_EQ(got[0].front(), 0xF0);
            EXPECT_EQ(got[0].back(), 0xF7);
        }
        EXPECT_EQ(got.back(), (Bytes{0x90, 64, 1})) << "later messages still go out";
    }
}

TEST_F(PortTest, ResetTurnsOffWhatSoundsOnEveryChannel) {
    port = OpenMidiOut(nullptr, device, 0, 78624);
    ASSERT_GT(port, 32u);
    put(0x92, 61, 90);
    put(0x90, 40, 90, 1000); // scheduled, dropped by the reset
    peer.waitFor(1);
    peer.clear();
    EXPECT_EQ(ResetMidiOut(port), 0u);
    // Channel by channel: a note-off for what sounds, then all notes off.
    std::vector<Bytes> expected;
    for (uint8_t channel = 0; channel < 16; ++channel) {
        if (channel == 2)
            expected.push_back({0x82, 61, 0});
        expected.push_back({static_cast<uint8_t>(0xB0 | channel), 123, 0});
    }
    EXPECT_EQ(peer.waitFor(expected.size()), expected);
}

TEST_F(PortTest, APortThatIsGoneDoesNotOpen) {
    peer.close();
    EXPECT_LE(OpenMidiOut(nullptr, device, 0, 78624), 32u);
}

// A port that goes away while open (its program ended): notes put to it
// from then on are refused, so the program can tell its user, rather than
// taken and sent to nobody.
TEST_F(PortTest, APortThatGoesAwayRefusesLaterNotes) {
    port = OpenMidiOut(nullptr, device, 0, 78624);
    ASSERT_GT(port, 32u);
    EXPECT_EQ(put(0x90, 60, 100) & 0xFFFF, 0u);
    ASSERT_EQ(peer.waitFor(1).size(), 1u);
    peer.close();
    // The server tells of the port's going on its own thread.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    uint32_t result = 0;
    while ((result = put(0x80, 60, 0) & 0xFFFF) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(result, 4u) << "the device refused it";
}

// A JACK client with one audio input that keeps what it hears.
class AudioCapture {
public:
    ~AudioCapture() {
        if (client_)
            jack_client_close(client_);
    }
    bool open() {
        jack_status_t status{};
        client_ = jack_client_open("capture", JackNoStartServer, &status);
        if (!client_)
            return false;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        captured_.reserve(48000 * 10);
        return port_ && jack_set_process_callback(client_, process, this) == 0 &&
               jack_activate(client_) == 0;
    }
    double rate() const { return jack_get_sample_rate(client_); }
    // The audio output ports whose names start with `prefix`.
    std::set<std::string> outputs(const std::string& prefix) {
        std::set<std::string> names;
        const char** ports = jack_get_ports(client_, ("^" + prefix).c_str(),
                                            JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        for (size_t i = 0; ports && ports[i]; ++i)
            names.insert(ports[i]);
        if (ports)
            jack_free(ports);
        return names;
    }

    // Connects to the first output port starting with `prefix` that was not
    // there `before` (another test program may run a synthesizer too: the
    // server then numbers the later client's name), once it can.
    bool connectToNew(const std::string& prefix, const std::set<std::string>& before) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const std::string& name : outputs(prefix)) {
                // The port shows before its client is active; connecting
                // may have to wait for that.
                if (!before.count(name) &&
                    jack_connect(client_, name.c_str(), jack_port_name(port_)) == 0)
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void start() {
        std::lock_guard lock(mutex_);
        captured_.clear();
    }
    std::vector<float> take(size_t frames) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard lock(mutex_);
                if (captured_.size() >= frames)
                    return std::vector<float>(captured_.begin(), captured_.begin() + frames);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* capture = static_cast<AudioCapture*>(self);
        const auto* in = static_cast<const float*>(jack_port_get_buffer(capture->port_, frames));
        std::lock_guard lock(capture->mutex_);
        if (capture->captured_.size() + frames <= capture->captured_.capacity())
            capture->captured_.insert(capture->captured_.end(), in, in + frames);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::mutex mutex_;
    std::vector<float> captured_;
};

TEST(SynthesizerAudio, NotesSoundThroughARunningJackServerAndSilenceBetween) {
    REQUIRE_JACK_SERVER();
    AudioCapture capture;
    ASSERT_TRUE(capture.open());
    const std::set<std::string> before = capture.outputs("MidiLib32 synthesizer");
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, 78624);
    ASSERT_GT(port, 32u);
    ASSERT_TRUE(capture.connectToNew("MidiLib32 synthesizer", before));

    MIDIEVENT on{MIDILIB_TIME_NOW, 0x90, 67, 64, 0};
    capture.start();
    EXPECT_EQ(PutMidiOut(port, &on) & 0xFFFF, 0u);
    // The note sounds once the soundfont is in (later on a loaded machine):
    // measured from its onset.
    const std::vector<float> heard = capture.take(size_t(capture.rate() * 4));
    ASSERT_FALSE(heard.empty());
    size_t onset = 0;
    while (onset < heard.size() && std::abs(heard[onset]) < 1e-3f)
        ++onset;
    ASSERT_LT(onset + size_t(capture.rate() / 2), heard.size()) << "the note did not sound";
    const std::vector<float> note(heard.begin() + long(onset),
                                  heard.begin() + long(onset) + long(capture.rate() / 2));
    EXPECT_GT(synthaudio::rms(note, 0, note.size()), 0.003);
    EXPECT_NEAR(synthaudio::fundamental(note, capture.rate()), 392.0, 2.0);

    EXPECT_EQ(ResetMidiOut(port), 0u);
    capture.start();
    const auto second = size_t(capture.rate());
    const std::vector<float> after = capture.take(second + second / 4);
    ASSERT_FALSE(after.empty());
    // Within a second only the echo was left, and it has died away.
    EXPECT_LT(synthaudio::rms(after, second, after.size()), 1e-4);
    EXPECT_EQ(CloseMidiOut(port), 0u);
}

// A note put right after the open, while the soundfont still loads, is kept
// rather than waited for, and sounds at its pitch once the soundfont is in.
// The time the open and the put took is printed as a figure.
TEST(SynthesizerAudio, ANotePutWhileItLoadsSoundsOnceLoaded) {
    REQUIRE_JACK_SERVER();
    AudioCapture capture;
    ASSERT_TRUE(capture.open());
    const std::set<std::string> before = capture.outputs("MidiLib32 synthesizer");
    const auto opening = std::chrono::steady_clock::now();
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, 78624);
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_GT(port, 32u);
    capture.start();
    MIDIEVENT on{MIDILIB_TIME_NOW, 0x90, 67, 100, 0};
    EXPECT_EQ(PutMidiOut(port, &on) & 0xFFFF, 0u);
    const auto put = std::chrono::steady_clock::now();
    using ms = std::chrono::duration<double, std::milli>;
    std::printf("open %.1f ms, first put %.3f ms\n", ms(opened - opening).count(),
                ms(put - opened).count());
    ASSERT_TRUE(capture.connectToNew("MidiLib32 synthesizer", before));
    capture.start();

    const double rate = capture.rate();
    const std::vector<float> heard = capture.take(size_t(rate * 4));
    ASSERT_FALSE(heard.empty());
    size_t onset = 0;
    while (onset < heard.size() && std::abs(heard[onset]) < 1e-3f)
        ++onset;
    ASSERT_LT(onset + size_t(rate / 2), heard.size()) << "the note never sounded";
    const std::vector<float> note(heard.begin() + long(onset),
                                  heard.begin() + long(onset + size_t(rate / 2)));
    EXPECT_NEAR(synthaudio::fundamental(note, rate), 392.0, 3.0);
    EXPECT_EQ(CloseMidiOut(port), 0u);
}

// A port may close while its soundfont still loads on its starter thread,
// and a port opened later, with an engine of its own, plays.
TEST(SynthesizerAudio, APortMayCloseWhileItsSoundFontLoads) {
    REQUIRE_JACK_SERVER();
    MIDIEVENT on{MIDILIB_TIME_NOW, 0x90, 67, 100, 0};
    const uint32_t first = OpenMidiOut(nullptr, 0, 0, 78624);
    ASSERT_GT(first, 32u);
    EXPECT_EQ(PutMidiOut(first, &on) & 0xFFFF, 0u);
    EXPECT_EQ(CloseMidiOut(first), 0u);

    const uint32_t later = OpenMidiOut(nullptr, 0, 0, 78624 | MIDILIB_OUT_OFFLINE);
    ASSERT_GT(later, 32u);
    EXPECT_EQ(PutMidiOut(later, &on) & 0xFFFF, 0u);
    const uint32_t frames = MIDILIB_RENDER_RATE / 2;
    std::vector<float> left(frames), right(frames);
    ASSERT_EQ(RenderMidiOut(later, left.data(), right.data(), frames), frames);
    EXPECT_NEAR(synthaudio::fundamental(left, MIDILIB_RENDER_RATE), 392.0, 2.0);
    EXPECT_EQ(CloseMidiOut(later), 0u);
}

} // namespace
