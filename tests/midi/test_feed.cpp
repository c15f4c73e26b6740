#include "midi_test_support.h"

#include <algorithm>

namespace {

class PlaybackFeed : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        port.MidiLib = lib.get();
        ASSERT_TRUE(port.Open(0, 0));
        port.Feed = &feed;
        standin::reset();
    }
    // What the port sent, as "note@delta" in order.
    static std::vector<std::string> sent() {
        std::vector<std::string> out;
        for (const MIDIEVENT& e : standin::putEvents())
            out.push_back(std::to_string(e.data1) + "@" + std::to_string(e.time));
        return out;
    }
    static void fill(TMidiLibTrack& track,
                     const std::vector<std::pair<uint32_t, uint8_t>>& events) {
        for (auto [delta, data1] : events)
            track.append(midiEvent(delta, 0x90, data1, 64));
    }
    TMidiLibOut port;
    TMidiLibFeed feed;
};

} // namespace

TEST_F(PlaybackFeed, MergesTracksByTimeAndPlaysEqualTimesInListOrder) {
    TMidiLibTrack a, b;
    fill(a, {{5, 60}, {10, 61}, {0, 62}});
    fill(b, {{7, 70}, {1, 71}, {7, 72}});
    feed.addTrack(&a);
    feed.addTrack(&b);
    feed.Send(port);
    // Absolute: a 5,15,15  b 7,8,15.
    EXPECT_EQ(sent(), (std::vector<std::string>{"60@5", "70@2", "71@1", "61@7", "62@0", "72@0"}));
    EXPECT_EQ(a.position, 3u);
    EXPECT_EQ(b.position, 3u);
}

TEST_F(PlaybackFeed, SkipsRecordingAndMutedTracks) {
    TMidiLibTrack a, rec, mute;
    fill(a, {{1, 1}});
    fill(rec, {{0, 2}});
    fill(mute, {{0, 3}});
    rec.recording = true;
    mute.muted = true;
    for (auto* t : {&a, &rec, &mute})
        feed.addTrack(t);
    feed.Send(port);
    EXPECT_EQ(sent(), std::vector<std::string>{"1@1"});
    EXPECT_EQ(rec.position, 0u);
    EXPECT_EQ(mute.position, 0u);
}

TEST_F(PlaybackFeed, LongTracksPlayInBatchesInTheSameOrderAsOneMerge) {
    TMidiLibTrack a, b, c;
    std::vector<std::tuple<uint32_t, int, uint8_t>> all; // absolute time, list index, note
    uint32_t ta = 0, tb = 0, tc = 0;
    for (uint32_t i = 0; i < 1300; ++i) {
        const uint32_t da = i % 3, db = i % 5, dc = 2;
        fill(a, {{da, uint8_t(i % 100)}});
        fill(b, {{db, uint8_t(i % 100)}});
        all.emplace_back(ta += da, 0, uint8_t(i % 100));
        all.emplace_back(tb += db, 1, uint8_t(i % 100));
        if (i < 700) {
            fill(c, {{dc, uint8_t(i % 100)}});
            all.emplace_back(tc += dc, 2, uint8_t(i % 100));
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const auto& x, const auto& y) {
        return std::get<0>(x) != std::get<0>(y) ? std::get<0>(x) < std::get<0>(y)
                                                : std::get<1>(x) < std::get<1>(y);
    });
    std::vector<std::string> expected;
    uint32_t previous = 0;
    for (auto [time, list, note] : all) {
        expected.push_back(std::to_string(note) + "@" + std::to_string(time - previous));
        previous = time;
    }
    feed.addTrack(&a);
    feed.addTrack(&b);
    feed.addTrack(&c);
    feed.Send(port);
    EXPECT_EQ(sent(), expected);
}

TEST_F(PlaybackFeed, AnExclusiveRunKeepsToItsTrackUntilItEnds) {
    TMidiLibTrack a, b;
    a.append(midiEvent(0, 0xF0, 0xF0));
    a.append(midiEvent(5, 0xF7, 1));
    a.append(midiEvent(5, 0xF7, 0xF7));
    a.append(midiEvent(1, 0x90, 2, 64));
    fill(b, {{1, 70}, {20, 71}});
    feed.addTrack(&a);
    feed.addTrack(&b);
    feed.Send(port);
    // b's event at 1 waits for the run (0..10) and then goes out at once;
    // each later event keeps its distance to the one sent before it.
    EXPECT_EQ(sent(), (std::vector<std::string>{"240@0", "1@5", "247@5", "70@0", "2@10", "71@10"}));
}

TEST_F(PlaybackFeed, ARunThatOutlastsItsChunkEndsTheBatchAndGoesOnInTheNext) {
    TMidiLibTrack a, b;
    a.append(midiEvent(0, 0xF0, 0xF0));
    for (int i = 0; i < 600; ++i)
        a.append(midiEvent(1, 0xF7, 5));
    a.append(midiEvent(1, 0xF7, 0xF7));
    fill(b, {{2, 70}});
    feed.addTrack(&a);
    feed.addTrack(&b);

    // The port refuses at once, so exactly one batch is merged.
    standin::setPutResult(1);
    feed.Send(port);
    EXPECT_EQ(a.position, 512u);
    EXPECT_EQ(b.position, 0u);

    // The next buffer-ready message goes on with the run: b's event at 2
    // waits until the run's end at 601.
    standin::reset();
    standin::post(port.window(), MIDILIB_MSG_OUT_BUFFER_READY);
    deliverNotifications();
    const auto events = standin::putEvents();
    ASSERT_EQ(events.size(), 603u);
    EXPECT_EQ(events[601].data1, 0xF7);
    EXPECT_EQ(events[602].data1, 70);
    EXPECT_EQ(events[602].time, 0u);
    EXPECT_EQ(b.position, 1u);
}

TEST_F(PlaybackFeed, ARunWhoseTrackEndsStopsTheBatchBeforeOtherTracks) {
    TMidiLibTrack a, b;
    a.append(midiEvent(0, 0xF0, 0xF0));
    a.append(midiEvent(1, 0xF7, 5));
    fill(b, {{0, 70}});
    b.events()[0].time = 3;
    feed.addTrack(&a);
    feed.addTrack(&b);
    standin::setPutResult(1);
    feed.Send(port);
    EXPECT_EQ(a.position, 2u);
    EXPECT_EQ(b.position, 0u);
}

TEST_F(PlaybackFeed, BufferReadyServesTheFeedThenTheHandlerAndResumesAfterARefusal) {
    TMidiLibTrack a;
    fill(a, {{0, 60}, {10, 61}, {10, 62}});
    feed.addTrack(&a);
    std::vector<size_t> sentWhenReady;
    port.OutBufferReady = [&](QObject*) { sentWhenReady.push_back(standin::putEvents().size()); };

    standin::setPutResult(1); // buffer full: the first event is refused
    standin::post(port.window(), MIDILIB_MSG_OUT_BUFFER_READY);
    deliverNotifications();
    EXPECT_EQ(standin::putEvents().size(), 1u);

    standin::reset();
    standin::post(port.window(), MIDILIB_MSG_OUT_BUFFER_READY);
    deliverNotifications();
    EXPECT_EQ(sent(), (std::vector<std::string>{"60@0", "61@10", "62@10"}));
    EXPECT_EQ(sentWhenReady, (std::vector<size_t>{1, 3}));

    // A message still queued when the port closes leaves the tracks alone.
    TMidiLibTrack more;
    fill(more, {{0, 63}});
    feed.addTrack(&more);
    standin::post(port.window(), MIDILIB_MSG_OUT_BUFFER_READY);
    port.Close();
    deliverNotifications();
    EXPECT_EQ(more.position, 0u);
    EXPECT_EQ(sentWhenReady.size(), 2u);
    ASSERT_TRUE(port.Open(0, 0));

    // Exhausted: further messages send nothing.
    more.position = 1;
    standin::reset();
    standin::post(port.window(), MIDILIB_MSG_OUT_BUFFER_READY);
    deliverNotifications();
    EXPECT_TRUE(standin::putEvents().empty());
}

TEST_F(PlaybackFeed, PlaysTheTracksOfAFile) {
    standin::setFileTracks(
        {{midiEvent(0, 0x90, 60, 64), midiEvent(4, 0x80, 60, 0)}, {midiEvent(2, 0x90, 67, 64)}});
    TMidiLibSMF smf;
    smf.MidiLib = lib.get();
    ASSERT_TRUE(smf.OpenRead("song.mid"));
    for (size_t i = 0; i < smf.trackCount(); ++i)
        smf.ReadTrack(smf.track(i));
    feed.addTracks(smf);
    EXPECT_EQ(feed.cursorCount(), 2u);
    standin::reset();
    feed.Send(port);
    EXPECT_EQ(sent(), (std::vector<std::string>{"60@0", "67@2", "60@2"}));
    feed.clear();
}
