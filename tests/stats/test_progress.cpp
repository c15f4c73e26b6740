#include "stats/progress.h"

#include <gtest/gtest.h>

using namespace stats;

namespace {

constexpr int64_t kDay = 86400;
// 2026-12-08 00:00 UTC
constexpr int64_t kMidnight = 20795 * kDay;

DrillRecord drill(int64_t utc, int32_t score, int32_t right, int32_t wrong, int32_t offset = 0) {
    DrillRecord r;
    r.utcSeconds = utc;
    r.offsetSeconds = offset;
    r.score = score;
    r.right = right;
    r.wrong = wrong;
    r.allowed = "1-12";
    return r;
}

TEST(Progress, ByDrillEachDrillIsOnePoint) {
    const std::vector<DrillRecord> drills = {drill(kMidnight + 100, 1000, 10, 0),
                                             drill(kMidnight + 200, 1500, 15, 5)};
    const auto points = progressPoints(drills, ProgressGrouping::ByDrill);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].utcSeconds, kMidnight + 100);
    EXPECT_DOUBLE_EQ(points[0].score, 1000);
    EXPECT_DOUBLE_EQ(points[0].rightShare, 1.0);
    EXPECT_DOUBLE_EQ(points[1].rightShare, 0.75);
}

TEST(Progress, ByDayDrillsOfOneLocalDayMakeOnePoint) {
    const std::vector<DrillRecord> drills = {
        drill(kMidnight + 10 * 3600, 1000, 10, 10),
        drill(kMidnight + 20 * 3600, 2000, 30, 10),
        // 23:30 UTC is already the next day at UTC+1
        drill(kMidnight + 23 * 3600 + 1800, 500, 10, 0, 3600),
        drill(kMidnight + 2 * kDay, 700, 7, 3),
    };
    const auto points = progressPoints(drills, ProgressGrouping::ByDay);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].drills, 2);
    EXPECT_DOUBLE_EQ(points[0].score, 1500);
    EXPECT_DOUBLE_EQ(points[0].rightShare, 40.0 / 60.0); // answers, not drills, are shared
    EXPECT_EQ(points[0].utcSeconds, kMidnight);
    EXPECT_EQ(points[1].drills, 1);
    EXPECT_EQ(points[1].utcSeconds, kMidnight + kDay - 3600); // local midnight at UTC+1
    EXPECT_EQ(points[2].utcSeconds, kMidnight + 2 * kDay);
    EXPECT_TRUE(progressPoints({}, ProgressGrouping::ByDay).empty());
}

TEST(Progress, ThinningMergesRunsOfNeighboursIntoTheirMeans) {
    std::vector<DrillRecord> drills;
    for (int i = 0; i < 10; ++i)
        drills.push_back(drill(kMidnight + i * 60, 100 * (i + 1), i + 1, 1)); // 100..1000
    const auto all = progressPoints(drills, ProgressGrouping::ByDrill);
    EXPECT_EQ(thinned(all, 10).size(), 10u);
    EXPECT_EQ(thinned(all, 0).size(), 10u);
    const auto four = thinned(all, 4); // runs of 3, 3, 3 and 1
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[0].drills, 3);
    EXPECT_DOUBLE_EQ(four[0].score, 200);          // 100, 200, 300
    EXPECT_DOUBLE_EQ(four[0].position, 2);         // drills 1..3
    EXPECT_DOUBLE_EQ(four[0].rightShare, 6.0 / 9); // 1+2+3 right of 9 answers
    EXPECT_EQ(four[0].utcSeconds, kMidnight + 60); // the middle one's time
    EXPECT_DOUBLE_EQ(four[3].score, 1000);
    EXPECT_DOUBLE_EQ(four[3].position, 10);
    // Days are merged weighted by their drills.
    const std::vector<DrillRecord> days = {drill(kMidnight, 100, 1, 0),
                                           drill(kMidnight + 60, 300, 1, 0),
                                           drill(kMidnight + kDay, 1000, 1, 0)};
    const auto one = thinned(progressPoints(days, ProgressGrouping::ByDay), 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_DOUBLE_EQ(one[0].score, 1400.0 / 3);
    EXPECT_EQ(one[0].drills, 3);
}

TEST(Progress, SummaryHasTheBestTheLastAndTheLastSevenDays) {
    const int64_t now = kMidnight + 30 * kDay;
    const std::vector<DrillRecord> drills = {
        drill(now - 20 * kDay, 3000, 10, 0),   // the best, long ago
        drill(now - 7 * kDay, 100, 1, 1),      // exactly a week ago: out
        drill(now - 7 * kDay + 1, 1000, 8, 2), // just inside
        drill(now - 3600, 1200, 12, 8),        // the last
    };
    const ProgressSummary s = summarize(drills, now);
    EXPECT_EQ(s.drills, 4);
    EXPECT_EQ(s.bestScore, 3000);
    EXPECT_EQ(s.lastScore, 1200);
    EXPECT_DOUBLE_EQ(*s.lastRightShare, 0.6);
    EXPECT_EQ(s.weekDrills, 2);
    EXPECT_DOUBLE_EQ(*s.weekScore, 1100);
    EXPECT_DOUBLE_EQ(*s.weekRightShare, 20.0 / 30.0);

    const ProgressSummary stale = summarize(drills, now + 30 * kDay);
    EXPECT_EQ(stale.weekDrills, 0);
    EXPECT_FALSE(stale.weekScore.has_value());
    const ProgressSummary none = summarize({}, now);
    EXPECT_FALSE(none.bestScore.has_value());
    EXPECT_FALSE(none.lastScore.has_value());
}

} // namespace
