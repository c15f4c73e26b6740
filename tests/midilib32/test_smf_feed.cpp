// A two-track file written and read by the library, played through the
// program's playback feed onto the built-in synthesizer rendered offline:
// the notes sound in time order across the tracks, and every event of a
// file longer than many feed batches reaches the port.
#include "midi/midilib.h"
#include "midilib32.h"
#include "midilib32_render.h"
#include "test_smf_util.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double lowHz = 261.63;  // note 60
constexpr double highHz = 369.99; // note 66, no harmonic of note 60

struct Timed {
    uint32_t at; // milliseconds from the start: the port's unit without a clock
    MIDIEVENT event;
};

std::vector<MIDIEVENT> toDeltas(std::vector<Timed> timed) {
    std::stable_sort(timed.begin(), timed.end(),
                     [](const Timed& a, const Timed& b) { return a.at < b.at; });
    std::vector<MIDIEVENT> events;
    uint32_t last = 0;
    for (Timed& t : timed) {
        t.event.time = t.at - last;
        last = t.at;
        events.push_back(t.event);
    }
    return events;
}

// Magnitude of `hz` in a Hann-windowed stretch of `samples` (Goertzel).
double magnitude(const std::vector<float>& samples, size_t from, size_t length, double hz) {
    const double w = 2 * M_PI * hz / MIDILIB_RENDER_RATE;
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < length && from + i < samples.size(); ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(length - 1));
        const double s = samples[from + i] * hann + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2);
}

TEST(SmfFeed, TwoTrackFilePlaysInTimeOrderOnTheSynthesizer) {
    int argc = 1;
    char name[] = "test_smf_feed";
    char* argv[] = {name};
    QCoreApplication app(argc, argv);
    smftest::TempDir dir;
    const std::string path = dir.file("two.mid");

    // Track 0: note 60 from 0 to 200 ms. Track 1: note 66 from 300 to 500
    // ms, an exclusive message at 100 ms and 1500 controller changes, one a
    // millisecond, so that the feed needs many batches and buffer-ready
    // messages.
    const auto low =
        toDeltas({{0, {0, 0xC0, 0, 0, 0}}, {0, {0, 0x90, 60, 100, 0}}, {200, {0, 0x80, 60, 0, 0}}});
    std::vector<Timed> highTimed{{300, {0, 0x91, 66, 100, 0}}, {500, {0, 0x81, 66, 0, 0}}};
    const uint8_t identity[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    for (int i = 0; i < 6; ++i)
        highTimed.push_back({100, {0, 0xF0, identity[i], uint8_t(i == 0), 0}});
    for (uint32_t i = 0; i < 1500; ++i)
        highTimed.push_back({i, {0, 0xB1, 16, uint8_t(i % 128), 0}});
    const auto high = toDeltas(highTimed);
    {
        uint32_t tracks = 2;
        const uint32_t smf = OpenSMF(path.c_str(), 'w', 1, &tracks);
        ASSERT_GT(smf, 32u);
        auto lowEvents = low;
        auto highEvents = high;
        ASSERT_EQ(WriteSMF(smf, 0, lowEvents.data(), uint32_t(lowEvents.size())), low.size());
        ASSERT_EQ(WriteSMF(smf, 1, highEvents.data(), uint32_t(highEvents.size())), high.size());
        ASSERT_EQ(CloseSMF(smf), 0u);
    }

    TMidiLib binding;
    TMidiLibSMF file;
    file.MidiLib = &binding;
    ASSERT_TRUE(file.OpenRead(path));
    ASSERT_EQ(file.trackCount(), 2u);
    ASSERT_TRUE(file.ReadTrack(file.track(0)));
    ASSERT_TRUE(file.ReadTrack(file.track(1)));
    ASSERT_EQ(file.track(1)->count(), high.size());

    TMidiLibOut port;
    port.MidiLib = &binding;
    TMidiLibFeed feed;
    feed.addTracks(file);
    port.Feed = &feed;
    ASSERT_TRUE(port.Open(0, MIDILIB_OUT_OFFLINE));
    feed.Send(port);

    std::vector<float> left, right;
    const uint32_t chunk = MIDILIB_RENDER_RATE / 100; // 10 ms
    for (int i = 0; i < 180; ++i) {
        std::vector<float> l(chunk), r(chunk);
        ASSERT_EQ(RenderMidiOut(port.handle(), l.data(), r.data(), chunk), chunk);
        left.insert(left.end(), l.begin(), l.end());
        // Buffer-ready messages reach the feed through the event loop.
        QCoreApplication::processEvents();
    }
    port.Close();
    EXPECT_EQ(file.track(0)->position, file.track(0)->count());
    EXPECT_EQ(file.track(1)->position, file.track(1)->count()) << "every event reached the port";

    // 40 ms windows every 10 ms; a note sounds where its fundamental is
    // above a quarter of its loudest.
    const size_t window = MIDILIB_RENDER_RATE / 25, hop = MIDILIB_RENDER_RATE / 100;
    std::vector<double> lows, highs;
    for (size_t from = 0; from + window <= left.size(); from += hop) {
        lows.push_back(magnitude(left, from, window, lowHz));
        highs.push_back(magnitude(left, from, window, highHz));
    }
    const double lowMax = *std::max_element(lows.begin(), lows.end());
    const double highMax = *std::max_element(highs.begin(), highs.end());
    ASSERT_GT(lowMax, 0.0);
    ASSERT_GT(highMax, 0.0);
    auto onsetMs = [&](const std::vector<double>& m, double max) {
        for (size_t i = 0; i < m.size(); ++i)
            if (m[i] > max / 4)
                return double(i * 10 + 40); // the window's end
        return -1.0;
    };
    const double lowOnset = onsetMs(lows, lowMax);
    const double highOnset = onsetMs(highs, highMax);
    EXPECT_GE(lowOnset, 0.0);
    EXPECT_LE(lowOnset, 60.0) << "note 60 at 0 ms";
    EXPECT_GE(highOnset, 300.0 - 10) << "note 66 not before 300 ms";
    EXPECT_LE(highOnset, 300.0 + 60) << "note 66 at 300 ms";
}

} // namespace
