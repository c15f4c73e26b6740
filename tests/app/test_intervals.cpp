#include "app/intervals.h"

#include <gtest/gtest.h>

TEST(IntervalNumbering, FoldsPitchIntervalsToMod12AndClass) {
    struct Case {
        int pitch, mod12, ic;
    };
    for (const Case c : {Case{24, 0, 0}, Case{12, 0, 0}, Case{18, 6, 6}, Case{19, 7, 5},
                         Case{1, 1, 1}, Case{11, 11, 1}, Case{7, 7, 5}, Case{0, 0, 0}}) {
        EXPECT_EQ(mod12Of(c.pitch), c.mod12) << c.pitch;
        EXPECT_EQ(intervalClassOf(mod12Of(c.pitch)), c.ic) << c.pitch;
    }
}

TEST(IntervalTally, CountersFollowFileOrder) {
    IntervalTally t;
    t.piCorrect = 1;
    t.piWrong[36] = 2;
    t.m12Correct = 3;
    t.m12Wrong[11] = 4;
    t.icCorrect = 5;
    t.icWrong[0] = 6;
    t.icWrong[6] = 7;
    EXPECT_EQ(t.counter(0), 1);
    EXPECT_EQ(t.counter(37), 2);
    EXPECT_EQ(t.counter(38), 3);
    EXPECT_EQ(t.counter(50), 4);
    EXPECT_EQ(t.counter(51), 5);
    EXPECT_EQ(t.counter(52), 6);
    EXPECT_EQ(t.counter(58), 7);
    int sum = 0;
    for (int i = 0; i < IntervalTally::kCounters; ++i)
        sum += t.counter(i);
    EXPECT_EQ(sum, 28);
}
