// The output port's scheduling, byte handling and notifications, on a sink
// that records what reaches the device, with time run by rendering.
#include "outport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace midilib;

namespace {

struct Sent {
    std::vector<uint8_t> bytes;
    int64_t frame; // rendered frames when the message reached the device
};

struct Recording {
    std::vector<Sent> sent;
    std::vector<SoundingNotes> silenced;
    int64_t frames = 0;
    bool refuse = false;
};

class RecordingSink final : public OutSink {
public:
    explicit RecordingSink(Recording& r) : r_(r) {}
    bool send(const uint8_t* bytes, size_t length) override {
        if (r_.refuse)
            return false;
        r_.sent.push_back({std::vector<uint8_t>(bytes, bytes + length), r_.frames});
        return true;
    }
    void silence(const SoundingNotes& sounding) override { r_.silenced.push_back(sounding); }
    bool render(float* left, float* right, uint32_t frames) override {
        for (uint32_t i = 0; i < frames; ++i)
            left[i] = right[i] = 0;
        r_.frames += frames;
        return true;
    }

private:
    Recording& r_;
};

struct Post {
    uint32_t message, wparam;
    uintptr_t lparam;
};

void recordPost(void* context, uint32_t message, uint32_t wparam, uintptr_t lparam) {
    static_cast<std::vector<Post>*>(context)->push_back({message, wparam, lparam});
}

constexpr uint32_t now = MIDILIB_TIME_NOW;

class OutPortTest : public ::testing::Test {
protected:
    // An offline port at 1000 frames per second: one frame per millisecond.
    void open(uint32_t capacity = 1024) {
        OutPort::Options options;
        options.window = &window;
        options.offline = true;
        options.capacity = capacity;
        options.framesPerSecond = 1000;
        port = std::make_unique<OutPort>(std::make_unique<RecordingSink>(rec), options);
        port->setHandle(77);
    }
    void run(uint32_t frames) {
        std::vector<float> l(frames), r(frames);
        ASSERT_EQ(port->render(l.data(), r.data(), frames), frames);
    }
    uint32_t put(uint32_t time, uint8_t status, uint8_t d1 = 0, uint8_t d2 = 0) {
        MIDIEVENT e{time, status, d1, d2, 0};
        return port->put(e);
    }
    std::vector<std::vector<uint8_t>> bytesSent() const {
        std::vector<std::vector<uint8_t>> out;
        for (const Sent& s : rec.sent)
            out.push_back(s.bytes);
        return out;
    }

    Recording rec;
    std::vector<Post> posts;
    MIDILIBWINDOW window{recordPost, &posts};
    std::unique_ptr<OutPort> port;
};

TEST_F(OutPortTest, ImmediateEventsGoOutAtOnceWithTheirLength) {
    open();
    EXPECT_EQ(put(now, 0x90, 67, 64), putTaken);
    EXPECT_EQ(put(now, 0xC1, 5), putTaken);
    EXPECT_EQ(put(now, 0xE2, 0x00, 0x40), putTaken);
    EXPECT_EQ(put(now, 0xF8), putTaken);
    EXPECT_EQ(bytesSent(), (std::vector<std::vector<uint8_t>>{
                               {0x90, 67, 64}, {0xC1, 5}, {0xE2, 0x00, 0x40}, {0xF8}}));
}

TEST_F(OutPortTest, MalformedEventsAreRefusedAndNothingIsSent) {
    open();
    const MIDIEVENT bad[] = {
        {now, 0x45, 1, 2, 0},                          // no status byte
        {now, 0x90, 0x80, 1, 0},                       // data byte with the top bit set
        {now, 0xB0, 7, 0xFF, 0}, {now, 0xF4, 0, 0, 0}, // undefined system common
        {now, 0xF9, 0, 0, 0},                          // undefined real time
        {5, 0x90, 200, 1, 0},                          // refused when scheduled too
    };
    for (const MIDIEVENT& e : bad) {
        MIDIEVENT copy = e;
        EXPECT_NE(port->put(copy) & 0xFFFF, 0u) << int(e.status);
    }
    run(10);
    EXPECT_TRUE(rec.sent.empty());
}

TEST_F(OutPortTest, DelaysCountFromThePreviousScheduledEvent) {
    open();
    put(250, 0x90, 60, 64);
    put(250, 0x90, 60, 0);
    put(0, 0x90, 64, 64);
    run(100);
    EXPECT_TRUE(rec.sent.empty());
    run(900);
    ASSERT_EQ(rec.sent.size(), 3u);
    EXPECT_EQ(rec.sent[0].frame, 250);
    EXPECT_EQ(rec.sent[1].frame, 500);
    EXPECT_EQ(rec.sent[2].frame, 500);
    EXPECT_EQ(rec.sent[2].bytes, (std::vector<uint8_t>{0x90, 64, 64}));

    // Once the last event lies in the past, the delay counts from now.
    put(100, 0x80, 64, 0);
    run(200);
    ASSERT_EQ(rec.sent.size(), 4u);
    EXPECT_EQ(rec.sent[3].frame, 1100);
}

TEST_F(OutPortTest, ImmediateEventsOvertakeScheduledOnes) {
    open();
    put(50, 0x90, 60, 64);
    put(now, 0x90, 62, 64);
    run(60);
    ASSERT_EQ(rec.sent.size(), 2u);
    EXPECT_EQ(rec.sent[0].bytes[1], 62);
    EXPECT_EQ(rec.sent[1].bytes[1], 60);
    EXPECT_EQ(rec.sent[1].frame, 50);
}

TEST_F(OutPortTest, MetaEventsKeepTheirPlaceInTimeButAreNotSent) {
    open();
    put(100, 0xFF, 0x51);
    put(100, 0x90, 60, 64);
    run(300);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].frame, 200);
}

TEST_F(OutPortTest, ByteEventsAreGatheredIntoWholeMessages) {
    open();
    // An exclusive message in two packets (F0 then F7 continuation), with a
    // clock byte inside it, then raw bytes with running status.
    const uint8_t first[] = {0xF0, 0x7E, 0x7F, 0xF8};
    const uint8_t rest[] = {0x09, 0x01, 0xF7, 0x92, 60, 70, 61, 71, 0xF6};
    for (uint8_t b : first)
        put(now, 0xF0, b);
    for (uint8_t b : rest)
        put(now, 0xF7, b);
    EXPECT_EQ(
        bytesSent(),
        (std::vector<std::vector<uint8_t>>{
            {0xF8}, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0x92, 60, 70}, {0x92, 61, 71}, {0xF6}}));
}

TEST_F(OutPortTest, AnExclusiveMessageCutShortIsNotSent) {
    open();
    for (uint8_t b : {0xF0, 0x01, 0x02})
        put(now, 0xF0, b);
    put(now, 0xF7, 0x90); // a new status ends the unfinished message
    put(now, 0xF7, 60);
    put(now, 0xF7, 1);
    put(now, 0xF7, 2); // running status 90 goes on
    put(now, 0xF8);    // a real-time byte in between does not stop it
    put(now, 0xF7, 3);
    put(now, 0xF7, 0xF7); // a stray end byte cancels running status
    put(now, 0xF7, 5);    // so these data bytes belong to nothing
    put(now, 0xF7, 6);
    EXPECT_EQ(bytesSent(),
              (std::vector<std::vector<uint8_t>>{{0x90, 60, 1}, {0xF8}, {0x90, 2, 3}}));
}

TEST_F(OutPortTest, ResetDropsScheduledEventsAndSilencesWhatSounds) {
    open();
    put(now, 0x90, 60, 64);
    put(now, 0x93, 70, 64);
    put(now, 0x93, 71, 64);
    put(now, 0x83, 71, 0);
    put(10, 0x90, 62, 64);
    port->reset();
    run(100);
    EXPECT_EQ(rec.sent.size(), 4u); // the scheduled note never came
    ASSERT_EQ(rec.silenced.size(), 1u);
    EXPECT_TRUE(rec.silenced[0][0].test(60));
    EXPECT_TRUE(rec.silenced[0][3].test(70));
    EXPECT_FALSE(rec.silenced[0][3].test(71));
    EXPECT_EQ(rec.silenced[0][0].count() + rec.silenced[0][3].count(), 2u);
}

TEST_F(OutPortTest, FlushSendsEverythingNowInOrder) {
    open();
    put(1000, 0x90, 60, 64);
    put(1000, 0x90, 61, 64);
    port->flush();
    EXPECT_EQ(bytesSent(), (std::vector<std::vector<uint8_t>>{{0x90, 60, 64}, {0x90, 61, 64}}));
    EXPECT_EQ(port->queued(), 0u);
}

TEST_F(OutPortTest, AFullQueueRefusesAndReportsRoomOnceHalfIsSent) {
    open(8);
    ASSERT_EQ(posts.size(), 0u);
    port->announceReady();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].message, MIDILIB_MSG_OUT_BUFFER_READY);
    EXPECT_EQ(posts[0].wparam, 77u);
    EXPECT_EQ(posts[0].lparam, 8u);

    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(put(10, 0x90, 60, 0), putTaken);
    const uint32_t refused = put(10, 0x90, 60, 0);
    EXPECT_NE(refused & 0xFFFF, 0u);
    run(35); // three sent: five still wait, more than half
    EXPECT_EQ(posts.size(), 1u);
    run(10); // four sent: room again
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[1].lparam, 4u);
    run(100);
    EXPECT_EQ(posts.size(), 2u); // told once per refusal
}

// What a playback feed does: on each buffer-ready message it puts events
// until one is refused. The post comes outside the port's locks, so the
// feed may put from inside it.
struct Feed {
    OutPort* port = nullptr;
    uint8_t next = 0, last = 100;
    int posts = 0;
    static void onPost(void* self, uint32_t, uint32_t, uintptr_t) {
        auto* feed = static_cast<Feed*>(self);
        ++feed->posts;
        while (feed->next < feed->last) {
            MIDIEVENT e{10, 0x90, feed->next, 64, 0};
            if (feed->port->put(e) != putTaken)
                break;
            ++feed->next;
        }
    }
};

TEST_F(OutPortTest, AFeedRefillingFromThePostStreamsEveryEventInTime) {
    Feed feed;
    window = MIDILIBWINDOW{Feed::onPost, &feed};
    open(8);
    feed.port = port.get();
    port->announceReady();
    EXPECT_EQ(feed.next, 8);
    run(1005);
    ASSERT_EQ(rec.sent.size(), 100u);
    for (uint8_t i = 0; i < 100; ++i) {
        EXPECT_EQ(rec.sent[i].bytes[1], i);
        EXPECT_EQ(rec.sent[i].frame, 10 * (i + 1)) << int(i);
    }
    EXPECT_GT(feed.posts, 10);
}

TEST_F(OutPortTest, ADeviceThatRefusesMakesPutFail) {
    open();
    rec.refuse = true;
    EXPECT_EQ(put(now, 0x90, 60, 64), putDeviceRefused);
}

TEST_F(OutPortTest, ClosedPortTakesNothingAndTellsNothing) {
    open(2);
    put(10, 0x90, 60, 64);
    put(10, 0x90, 60, 64);
    put(10, 0x90, 60, 64); // refused: a post would follow once room is made
    put(now, 0x90, 61, 64);
    port->close();
    EXPECT_EQ(put(now, 0x90, 60, 64), putNoPort);
    port->reset();
    port->flush();
    float l[4], r[4];
    EXPECT_EQ(port->render(l, r, 4), 0u);
    EXPECT_TRUE(posts.empty());
    ASSERT_EQ(rec.silenced.size(), 1u); // closing silences the note left on
    EXPECT_TRUE(rec.silenced[0][0].test(61));
}

} // namespace

namespace {

// A clock port's tick count, look by look: time counts only while the
// clock runs, at the tempo of the moment, and as milliseconds once the
// clock is gone.
TEST(TickCountTest, CountsRunningTimeAtTheTempoOfEachLook) {
    const struct Look {
        int64_t atMillis;
        bool running;
        double millisPerTick;
        double ticks; // expected after the look
    } looks[] = {
        {10, true, 2.0, 5.0},     // 10 ms at 2 ms a tick
        {500, false, 2.0, 5.0},   // paused: half a second does not count
        {510, true, 2.0, 10.0},   // running again
        {520, true, 0.5, 30.0},   // four times the tempo
        {530, false, 0.0, 40.0},  // the clock was closed: milliseconds
        {600, false, 1.25, 40.0}, // a stopped clock again
    };
    TickCount count;
    count.restart(0);
    for (const Look& look : looks) {
        count.advance(look.atMillis * 1000000, look.running, look.millisPerTick);
        EXPECT_DOUBLE_EQ(count.ticks, look.ticks) << "at " << look.atMillis << " ms";
    }
}

} // namespace
