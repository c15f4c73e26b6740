// The built-in synthesizer and the output entry points, rendered offline:
// no sound card is needed.
#include "midilib32.h"
#include "midilib32_render.h"
#include "test_synth_audio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t rate = MIDILIB_RENDER_RATE;

struct Audio {
    std::vector<float> left, right;
};

using synthaudio::rms;

double fundamental(const std::vector<float>& s) {
    return synthaudio::fundamental(s, rate);
}

class SynthTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = OpenMidiOut(nullptr, 0, 0, 78624 | MIDILIB_OUT_OFFLINE);
        ASSERT_GT(port, 32u);
    }
    void TearDown() override {
        if (port > 32)
            CloseMidiOut(port);
    }
    Audio render(double seconds) {
        const auto frames = static_cast<uint32_t>(seconds * rate);
        Audio a{std::vector<float>(frames), std::vector<float>(frames)};
        EXPECT_EQ(RenderMidiOut(port, a.left.data(), a.right.data(), frames), frames);
        return a;
    }
    uint32_t put(uint8_t status, uint8_t d1, uint8_t d2, uint32_t time = MIDILIB_TIME_NOW) {
        MIDIEVENT e{time, status, d1, d2, 0};
        return PutMidiOut(port, &e);
    }
    uint32_t port = 0;
};

TEST_F(SynthTest, NoteSixtySevenSoundsAtItsPitchAndVelocityZeroStopsIt) {
    ASSERT_EQ(put(0x90, 67, 64) & 0xFFFF, 0u);
    const Audio on = render(0.5);
    const double level = rms(on.left, 0, on.left.size());
    EXPECT_GT(level, 0.003); // about -50 dBFS or louder: a user hears it
    EXPECT_NEAR(fundamental(on.left), 392.0, 2.0);

    ASSERT_EQ(put(0x90, 67, 0) & 0xFFFF, 0u);
    const Audio off = render(3.0);
    EXPECT_LT(rms(off.left, off.left.size() - rate / 2, off.left.size()), level / 1000);
}

TEST_F(SynthTest, OtherNotesSoundAtTheirOwnPitch) {
    const struct {
        uint8_t note;
        double hertz;
    } cases[] = {{43, 98.0}, {57, 220.0}, {60, 261.63}};
    for (const auto& c : cases) {
        put(0x90, c.note, 64);
        const Audio a = render(0.5);
        EXPECT_NEAR(fundamental(a.left), c.hertz, c.hertz / 200) << int(c.note);
        ResetMidiOut(port);
        render(0.5);
    }
}

// The synthesizer reads an instrument's samples when a channel selects it:
// instruments chosen after the start sound, at their pitch, and differ
// from the piano.
TEST_F(SynthTest, InstrumentsChosenAfterTheStartSound) {
    put(0x90, 69, 100);
    const Audio piano = render(0.5);
    ResetMidiOut(port);
    render(0.5);
    for (uint8_t program : {40, 73}) { // violin, flute
        put(0xC0, program, 0);
        put(0x90, 69, 100);
        const Audio a = render(0.5);
        EXPECT_GT(rms(a.left, 0, a.left.size()), 0.003) << int(program);
        EXPECT_NEAR(fundamental(a.left), 440.0, 2.5) << int(program);
        double difference = 0;
        for (size_t i = 0; i < a.left.size(); ++i)
            difference += std::fabs(a.left[i] - piano.left[i]);
        EXPECT_GT(difference / double(a.left.size()), 0.001) << int(program);
        ResetMidiOut(port);
        render(0.5);
    }
}

TEST_F(SynthTest, ResetLeavesSilenceOnEveryChannel) {
    put(0xB0, 64, 127); // sustain pedal down on channel 1: nothing ends by itself
    for (uint8_t channel = 0; channel < 16; ++channel)
        put(0x90 | channel, 48 + channel, 100);
    const Audio before = render(0.3);
    const double level = rms(before.left, before.left.size() - rate / 10, before.left.size());
    ASSERT_GT(level, 0.01);
    EXPECT_EQ(ResetMidiOut(port), 0u);
    const Audio after = render(1.0);
    // The voices stop at once; only the room's echo dies away.
    EXPECT_LT(rms(after.left, 0, rate / 20), level / 10);
    EXPECT_LT(rms(after.left, rate * 9 / 10, rate), 3e-5);
    EXPECT_LT(rms(after.right, rate * 9 / 10, rate), 3e-5);
}

TEST_F(SynthTest, ScheduledNotesSoundAtTheirMillisecond) {
    put(0x90, 60, 100, 500);
    const Audio a = render(1.0);
    const auto firstSound =
        std::find_if(a.left.begin(), a.left.end(), [](float x) { return std::fabs(x) > 1e-4; }) -
        a.left.begin();
    EXPECT_GE(firstSound, rate / 2);
    EXPECT_LT(firstSound, rate / 2 + rate / 100); // within 10 ms of its time
}

TEST(ClockPorts, DelaysCountTicksOfTheClockAtItsTempo) {
    // 600,000 us per quarter note at 100 ticks per quarter: 6 ms a tick.
    const uint32_t sync = OpenSync(nullptr, 0, 600000, 100);
    ASSERT_GT(sync, 32u);
    const uint32_t port = OpenMidiOut(nullptr, 0, sync, MIDILIB_OUT_OFFLINE);
    ASSERT_GT(port, 32u);
    MIDIEVENT on{50, 0x90, 60, 100, 0}; // 300 ms
    ASSERT_EQ(PutMidiOut(port, &on) & 0xFFFF, 0u);
    std::vector<float> left(rate / 2), right(rate / 2);
    ASSERT_EQ(RenderMidiOut(port, left.data(), right.data(), rate / 2), rate / 2);
    const auto firstSound =
        std::find_if(left.begin(), left.end(), [](float x) { return std::fabs(x) > 1e-4; }) -
        left.begin();
    EXPECT_GE(firstSound, rate * 3 / 10);
    EXPECT_LT(firstSound, rate * 3 / 10 + rate / 100);
    CloseMidiOut(port);
    CloseSync(sync);
}

TEST(OutDevices, ListStartsWithTheSynthesizerAndAgreesWithTheCount) {
    char name[MIDILIB_NAME_SIZE];
    ASSERT_NE(GetMidiOutDescription(0, name), 0u);
    EXPECT_STREQ(name, "Built-in Synthesizer");
    const uint32_t count = GetNumOutDevices();
    ASSERT_GE(count, 1u);
    for (uint32_t i = 0; i < count; ++i) {
        std::memset(name, 'x', sizeof name);
        EXPECT_NE(GetMidiOutDescription(i, name), 0u) << i;
        EXPECT_LE(std::strlen(name), 31u) << i;
    }
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(GetMidiOutDescription(count, name), 0u);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(GetMidiOutDescription(count, nullptr), 0u);
    EXPECT_LE(OpenMidiOut(nullptr, count, 0, 78624), 32u);
}

TEST(OutEntryPoints, BadHandlesFailWithoutHarm) {
    MIDIEVENT e{MIDILIB_TIME_NOW, 0x90, 60, 64, 0};
    float buffer[16];
    const uint32_t closed = OpenMidiOut(nullptr, 0, 0, MIDILIB_OUT_OFFLINE);
    ASSERT_GT(closed, 32u);
    ASSERT_EQ(CloseMidiOut(closed), 0u);
    for (uint32_t handle : {0u, 1u, 32u, 33u, 0xFFFFFFFFu, closed}) {
        EXPECT_NE(PutMidiOut(handle, &e) & 0xFFFF, 0u) << handle;
        EXPECT_NE(ResetMidiOut(handle), 0u) << handle;
        EXPECT_NE(FlushMidiOut(handle), 0u) << handle;
        EXPECT_NE(CloseMidiOut(handle), 0u) << handle;
        EXPECT_EQ(RenderMidiOut(handle, buffer, buffer, 16), 0u) << handle;
    }
    // A clock handle that names no clock is refused too.
    EXPECT_LE(OpenMidiOut(nullptr, 0, 12345, MIDILIB_OUT_OFFLINE), 32u);
}

TEST(OutEntryPoints, BadArgumentsOnAnOpenPortFail) {
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, MIDILIB_OUT_OFFLINE);
    ASSERT_GT(port, 32u);
    float buffer[16];
    EXPECT_NE(PutMidiOut(port, nullptr) & 0xFFFF, 0u);
    EXPECT_EQ(RenderMidiOut(port, nullptr, buffer, 16), 0u);
    EXPECT_EQ(RenderMidiOut(port, buffer, nullptr, 16), 0u);
    EXPECT_EQ(CloseMidiOut(port), 0u);
}

// With no audio output that takes the synthesizer (a sound server named
// but not answering, no sound card, no JACK server), device 0 does not open,
// rather than open and refuse every event.
TEST(OutDevices, TheSynthesizerDoesNotOpenWithoutAnAudioOutput) {
    const char* names[] = {"PULSE_SERVER", "JACK_DEFAULT_SERVER"};
    std::string saved[2];
    bool had[2];
    for (int i = 0; i < 2; ++i) {
        const char* value = std::getenv(names[i]);
        had[i] = value != nullptr;
        saved[i] = value ? value : "";
    }
    setenv("PULSE_SERVER", "unix:/nonexistent/tonyx-no-sound-server", 1);
    setenv("JACK_DEFAULT_SERVER", "tonyx-no-such-server", 1);
    const uint32_t port = OpenMidiOut(nullptr, 0, 0, 0);
    for (int i = 0; i < 2; ++i) {
        if (had[i])
            setenv(names[i], saved[i].c_str(), 1);
        else
            unsetenv(names[i]);
    }
    EXPECT_LE(port, 32u);
    if (port > 32)
        CloseMidiOut(port);
}

} // namespace
