// What output ports rely on when they schedule by a clock: milliseconds
// per tick at the clock's tempo and resolution, and whether it runs.
#include "internal.h"
#include "midilib32.h"

#include <gtest/gtest.h>

namespace {

using midilib::syncMillisPerTick;
using midilib::syncRunning;

TEST(SyncContract, MillisPerTickFollowsTempoAndResolution) {
    struct Case {
        uint32_t tempo, resolution;
        double millisPerTick;
    };
    const Case cases[] = {{500000, 96, 500.0 / 96},
                          {100000, 1000, 0.1},
                          {1000000, 1, 1000.0},
                          {0, 0, 500.0 / 96} /* the defaults */};
    for (const Case& c : cases) {
        const uint32_t sync = OpenSync(nullptr, 0, c.tempo, c.resolution);
        ASSERT_GT(sync, 32u);
        EXPECT_DOUBLE_EQ(syncMillisPerTick(sync), c.millisPerTick)
            << c.tempo << "/" << c.resolution;
        CloseSync(sync);
    }
    const uint32_t sync = OpenSync(nullptr, 0, 500000, 96);
    ASSERT_EQ(SetTempo(sync, 250000), 0u);
    EXPECT_DOUBLE_EQ(syncMillisPerTick(sync), 250.0 / 96);
    ASSERT_EQ(SetResolution(sync, 480), 0u);
    EXPECT_DOUBLE_EQ(syncMillisPerTick(sync), 250.0 / 480);
    CloseSync(sync);
    EXPECT_EQ(syncMillisPerTick(sync), 0.0) << "closed";
    EXPECT_EQ(syncMillisPerTick(0), 0.0);
}

TEST(SyncContract, RunningOnlyBetweenStartAndStopOrPause) {
    const uint32_t sync = OpenSync(nullptr, 0, 500000, 96);
    ASSERT_GT(sync, 32u);
    EXPECT_FALSE(syncRunning(sync)) << "a new clock stands";
    StartSync(sync);
    EXPECT_TRUE(syncRunning(sync));
    PauseSync(sync, 1);
    EXPECT_FALSE(syncRunning(sync));
    PauseSync(sync, 0);
    EXPECT_TRUE(syncRunning(sync));
    StopSync(sync);
    EXPECT_FALSE(syncRunning(sync));
    ReStartSync(sync);
    EXPECT_TRUE(syncRunning(sync));
    CloseSync(sync);
    EXPECT_FALSE(syncRunning(sync));
    EXPECT_FALSE(syncRunning(0xFFFFFFFFu));
}

} // namespace
