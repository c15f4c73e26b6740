// The clock: its rate against the steady clock, its beats and end
// notifications, pausing, and its controls. These tests are timed by
// nature; their bands are wide enough for a loaded two-core machine.
#include "midilib32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;

struct Posted {
    std::mutex lock;
    std::vector<uint32_t> messages;
    std::vector<uintptr_t> lparams;
    std::vector<uint32_t> wparams;
    std::vector<std::thread::id> threads;

    static void post(void* context, uint32_t message, uint32_t wparam, uintptr_t lparam) {
        auto* self = static_cast<Posted*>(context);
        std::lock_guard guard(self->lock);
        self->threads.push_back(std::this_thread::get_id());
        self->messages.push_back(message);
        self->wparams.push_back(wparam);
        self->lparams.push_back(lparam);
    }
    size_t count(uint32_t message) {
        std::lock_guard guard(lock);
        return size_t(std::count(messages.begin(), messages.end(), message));
    }
};

uint32_t position(uint32_t sync) {
    uint32_t ticks = 0xDEADBEEF;
    EXPECT_EQ(GetPosition(sync, &ticks), 0u);
    return ticks;
}

TEST(SyncClock, TicksAtItsTempoAndAnnouncesEachBeat) {
    Posted posted;
    MIDILIBWINDOW window{Posted::post, &posted};
    // 600 quarter notes per minute: a beat every 100 ms, 96 ticks each.
    const uint32_t sync = OpenSync(&window, 0, 100000, 96);
    ASSERT_GT(sync, 32u);
    EXPECT_EQ(position(sync), 0u);
    const auto start = steady_clock::now();
    ASSERT_EQ(StartSync(sync), 0u);
    std::this_thread::sleep_for(milliseconds(1050));
    const uint32_t ticks = position(sync);
    const double elapsed = duration<double, std::milli>(steady_clock::now() - start).count();
    // The position is computed from the time, so it is exact within the
    // time the two reads above took, whatever the load; 10 % of slack.
    EXPECT_NEAR(ticks, elapsed * 0.96, 0.96 * 100) << "elapsed " << elapsed << " ms";
    // Beats come from a thread that may be woken late (a beat or two on a
    // loaded machine), but never early: counted first, then the position.
    std::this_thread::sleep_for(milliseconds(300));
    const size_t beats = posted.count(MIDILIB_MSG_SYNC_BEAT);
    const uint32_t beatsDue = position(sync) / 96;
    EXPECT_GE(beats + 2, size_t(beatsDue));
    EXPECT_LE(beats, size_t(beatsDue));
    EXPECT_GE(beats, 9u);
    {
        std::lock_guard guard(posted.lock);
        EXPECT_EQ(posted.wparams.front(), sync);
        EXPECT_EQ(posted.lparams.front(), 1u) << "beats are numbered from 1";
    }
    ASSERT_EQ(StopSync(sync), 0u);
    const auto deadline = steady_clock::now() + seconds(5);
    while (posted.count(MIDILIB_MSG_SYNC_DONE) == 0 && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(2));
    EXPECT_EQ(posted.count(MIDILIB_MSG_SYNC_DONE), 1u);
    {
        // Every notification comes from the clock's own thread.
        std::lock_guard guard(posted.lock);
        for (const std::thread::id id : posted.threads) {
            EXPECT_NE(id, std::this_thread::get_id());
            EXPECT_EQ(id, posted.threads.front());
        }
    }
    ASSERT_EQ(CloseSync(sync), 0u);
    const size_t total = posted.count(MIDILIB_MSG_SYNC_BEAT);
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(posted.count(MIDILIB_MSG_SYNC_BEAT), total) << "nothing after close";
}

TEST(SyncClock, PauseHoldsThePositionAndRestartGoesOn) {
    const uint32_t sync = OpenSync(nullptr, 0, 10000, 100); // 10 ticks per ms
    ASSERT_GT(sync, 32u);
    ASSERT_EQ(StartSync(sync), 0u);
    std::this_thread::sleep_for(milliseconds(30));
    ASSERT_EQ(PauseSync(sync, 1), 0u);
    const uint32_t paused = position(sync);
    EXPECT_GT(paused, 0u);
    std::this_thread::sleep_for(milliseconds(40));
    EXPECT_EQ(position(sync), paused);
    const auto resuming = steady_clock::now();
    ASSERT_EQ(PauseSync(sync, 0), 0u);
    std::this_thread::sleep_for(milliseconds(20));
    const uint32_t resumed = position(sync);
    const double running = duration<double, std::milli>(steady_clock::now() - resuming).count();
    EXPECT_GT(resumed, paused);
    EXPECT_LE(resumed, paused + running * 10 + 10) << "the 40 ms pause did not count";

    ASSERT_EQ(StopSync(sync), 0u);
    const uint32_t stopped = position(sync);
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(position(sync), stopped);
    ASSERT_EQ(ReStartSync(sync), 0u);
    std::this_thread::sleep_for(milliseconds(10));
    EXPECT_GT(position(sync), stopped) << "restart goes on from the stop";
    const auto starting = steady_clock::now();
    ASSERT_EQ(StartSync(sync), 0u);
    const uint32_t started = position(sync);
    const double since = duration<double, std::milli>(steady_clock::now() - starting).count();
    EXPECT_LE(started, since * 10 + 10) << "start begins at 0 again";
    EXPECT_EQ(CloseSync(sync), 0u);
}

TEST(SyncClock, TempoAndResolutionChangeTheRateFromNowOn) {
    const uint32_t sync = OpenSync(nullptr, 0, 0, 0);
    ASSERT_GT(sync, 32u);
    EXPECT_EQ(GetTempo(sync), 500000u) << "0 asks for the default";
    EXPECT_EQ(GetResolution(sync), 96u);
    EXPECT_NE(SetTempo(sync, 0), 0u);
    EXPECT_NE(SetResolution(sync, 0), 0u);
    ASSERT_EQ(SetTempo(sync, 250000), 0u);
    ASSERT_EQ(SetResolution(sync, 480), 0u);
    EXPECT_EQ(GetTempo(sync), 250000u);
    EXPECT_EQ(GetResolution(sync), 480u);

    ASSERT_EQ(StartSync(sync), 0u);
    std::this_thread::sleep_for(milliseconds(50));
    ASSERT_EQ(PauseSync(sync, 1), 0u);
    const uint32_t before = position(sync);
    ASSERT_EQ(SetResolution(sync, 960), 0u);
    EXPECT_NEAR(position(sync), before * 2.0, 2.0) << "same place in quarter notes";
    ASSERT_EQ(SetTempo(sync, 1000), 0u);
    EXPECT_NEAR(position(sync), before * 2.0, 2.0) << "a tempo change does not jump";
    EXPECT_EQ(CloseSync(sync), 0u);
}

// A clock closed from inside its own notification, beat or end, ends there:
// the close returns and nothing more is posted.
TEST(SyncClock, ClosingFromItsOwnNotificationEndsTheClock) {
    for (const uint32_t closingMessage : {MIDILIB_MSG_SYNC_BEAT, MIDILIB_MSG_SYNC_DONE}) {
        struct Closer {
            uint32_t closingMessage = 0;
            std::atomic<uint32_t> sync{0};
            std::atomic<int> posts{0};
            std::atomic<uint32_t> closeResult{99};
            static void post(void* context, uint32_t message, uint32_t, uintptr_t) {
                auto* self = static_cast<Closer*>(context);
                ++self->posts;
                if (message == self->closingMessage && self->closeResult == 99u)
                    self->closeResult = CloseSync(self->sync);
            }
        } closer;
        closer.closingMessage = closingMessage;
        MIDILIBWINDOW window{Closer::post, &closer};
        closer.sync = OpenSync(&window, 0, 20000, 96); // a beat every 20 ms
        ASSERT_GT(closer.sync.load(), 32u);
        ASSERT_EQ(StartSync(closer.sync), 0u);
        if (closingMessage == MIDILIB_MSG_SYNC_DONE) {
            ASSERT_EQ(StopSync(closer.sync), 0u);
        }
        const auto deadline = steady_clock::now() + seconds(5);
        while (closer.closeResult == 99u && steady_clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(5));
        EXPECT_EQ(closer.closeResult, 0u) << closingMessage;
        const int posts = closer.posts;
        std::this_thread::sleep_for(milliseconds(100));
        EXPECT_EQ(closer.posts, posts) << "nothing after the close, " << closingMessage;
        EXPECT_EQ(GetTempo(closer.sync), 0u);
    }
}

// CloseSync waits for a notification under way on the clock's thread: a
// caller may free the window's target as soon as it returns.
TEST(SyncClock, CloseWaitsForTheEndNotificationUnderWay) {
    // The notification holds on until the test is about to close, then a
    // little longer: the close begins while it runs, whatever the load.
    struct Slow {
        std::atomic<bool> inside{false};
        std::atomic<bool> closing{false};
        std::atomic<int> done{0};
        static void post(void* context, uint32_t message, uint32_t, uintptr_t) {
            auto* self = static_cast<Slow*>(context);
            if (message != MIDILIB_MSG_SYNC_DONE)
                return;
            self->inside = true;
            const auto cap = steady_clock::now() + seconds(5);
            while (!self->closing && steady_clock::now() < cap)
                std::this_thread::yield();
            std::this_thread::sleep_for(milliseconds(30));
            ++self->done;
            self->inside = false;
        }
    };
    for (int round = 0; round < 5; ++round) {
        Slow slow;
        MIDILIBWINDOW window{Slow::post, &slow};
        const uint32_t sync = OpenSync(&window, 0, 500000, 96);
        ASSERT_GT(sync, 32u);
        ASSERT_EQ(StartSync(sync), 0u);
        ASSERT_EQ(StopSync(sync), 0u);
        const auto deadline = steady_clock::now() + seconds(5);
        while (!slow.inside && steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_TRUE(slow.inside) << "the end is told from the clock's thread";
        slow.closing = true;
        ASSERT_EQ(CloseSync(sync), 0u);
        EXPECT_FALSE(slow.inside) << "round " << round;
        EXPECT_EQ(slow.done, 1);
    }
}

TEST(SyncClock, BadHandlesFail) {
    const uint32_t sync = OpenSync(nullptr, 0, 500000, 96);
    ASSERT_GT(sync, 32u);
    EXPECT_NE(GetPosition(sync, nullptr), 0u);
    ASSERT_EQ(CloseSync(sync), 0u);
    uint32_t ticks = 7;
    for (const uint32_t bad : {sync, 0u, 1u, 32u, 0xFFFFFFFFu}) {
        EXPECT_NE(CloseSync(bad), 0u);
        EXPECT_NE(StartSync(bad), 0u);
        EXPECT_NE(StopSync(bad), 0u);
        EXPECT_NE(PauseSync(bad, 1), 0u);
        EXPECT_NE(ReStartSync(bad), 0u);
        EXPECT_NE(SetTempo(bad, 1), 0u);
        EXPECT_NE(SetResolution(bad, 1), 0u);
        EXPECT_EQ(GetTempo(bad), 0u);
        EXPECT_EQ(GetResolution(bad), 0u);
        EXPECT_NE(GetPosition(bad, &ticks), 0u);
    }
    EXPECT_EQ(ticks, 7u);
}

TEST(SyncClock, ManyClocksOpenAndCloseApart) {
    std::vector<uint32_t> clocks;
    for (int i = 0; i < 40; ++i) {
        clocks.push_back(OpenSync(nullptr, 0, 1000 + i, 96));
        ASSERT_GT(clocks.back(), 32u);
    }
    for (size_t i = 0; i < clocks.size(); ++i)
        EXPECT_EQ(GetTempo(clocks[i]), 1000u + i);
    for (const uint32_t sync : clocks)
        EXPECT_EQ(CloseSync(sync), 0u);
}

} // namespace
