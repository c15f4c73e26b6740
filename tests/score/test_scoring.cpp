#include "score/scoring.h"

#include <gtest/gtest.h>

namespace {

struct ScoreCase {
    const char* name;
    int32_t correct;
    int32_t incorrect;
    int64_t elapsedMs;
    int32_t elapsedSeconds;
    const char* timeText;
    int32_t timePoints;
    const char* percentText;
    int32_t score;
};

class ComputeScore : public testing::TestWithParam<ScoreCase> {};

TEST_P(ComputeScore, GivesTheShownValuesAndTheTruncatedScore) {
    const ScoreCase& c = GetParam();
    const ScoreResult r = computeScore(c.correct, c.incorrect, c.elapsedMs);
    EXPECT_EQ(r.correct, c.correct);
    EXPECT_EQ(r.incorrect, c.incorrect);
    EXPECT_EQ(r.elapsedSeconds, c.elapsedSeconds);
    EXPECT_EQ(formatTimePerInterval(r.timePerInterval), c.timeText);
    EXPECT_EQ(r.timePoints, c.timePoints);
    EXPECT_EQ(formatPercentage(r.correctFraction), c.percentText);
    EXPECT_EQ(r.score, c.score);
}

INSTANTIATE_TEST_SUITE_P(
    Drills, ComputeScore,
    testing::Values(
        // 2083 x 0.8 + 40 = 1706.4
        ScoreCase{"WorkedExample", 20, 5, 96000, 96, "4.8", 2083, "80.0%", 1706},
        ScoreCase{"NoWrongAnswers", 20, 0, 96000, 96, "4.8", 2083, "100.0%", 2083 + 40},
        ScoreCase{"PartSecondsAreDropped", 20, 5, 96999, 96, "4.8", 2083, "80.0%", 1706},
        // 1797 x 32/35 + 64 = 1706.97...
        ScoreCase{"RawScoreJustBelowNextWholeIsTruncated", 32, 3, 178000, 178, "5.6", 1797, "91.4%",
                  1706},
        // 1.6 as a float is a little above 1.6, so the time points fall to 6249.
        ScoreCase{"TimePerIntervalIsAFloat", 10, 0, 16000, 16, "1.6", 6249, "100.0%", 6249 + 20},
        // 10/11 as a float is a little above it: 6666 x 0.90909094 = 6060.0002;
        // in double it is below and would give 6079.
        ScoreCase{"CorrectFractionIsAFloat", 10, 1, 15000, 15, "1.5", 6666, "90.9%", 6080},
        ScoreCase{"UnderASecondIsTimedAsOneSecond", 10, 0, 999, 1, "0.1", 99999, "100.0%",
                  99999 + 20},
        ScoreCase{"AClockThatWentBackIsTimedAsOneSecond", 10, 0, -5000, 1, "0.1", 99999, "100.0%",
                  99999 + 20},
        ScoreCase{"NoCorrectAnswerDividesByOne", 0, 4, 20000, 20, "20.0", 500, "0.0%", 0},
        ScoreCase{"NoAnswersAtAll", 0, 0, 20000, 20, "20.0", 500, "0.0%", 0}),
    [](const testing::TestParamInfo<ScoreCase>& info) { return info.param.name; });

TEST(ComputeScore, AHugeDrillSaturatesInsteadOfOverflowing) {
    const ScoreResult r = computeScore(2000000000, 0, 1000);
    EXPECT_EQ(r.elapsedSeconds, 1);
    EXPECT_GT(r.timePoints, 0);
    EXPECT_EQ(r.score, std::numeric_limits<int32_t>::max());
}

struct EligibilityCase {
    const char* name;
    std::vector<int> switchedOff;
    bool eligible;
};

class Eligibility : public testing::TestWithParam<EligibilityCase> {};

TEST_P(Eligibility, OnlyIntervalsUpToTheOctaveCount) {
    bool allowed[25];
    std::fill(std::begin(allowed), std::end(allowed), true);
    for (const int interval : GetParam().switchedOff)
        allowed[interval] = false;
    EXPECT_EQ(eligibleForHighScores(allowed), GetParam().eligible);
}

std::vector<int> aboveTheOctave() {
    std::vector<int> v;
    for (int i = 13; i <= 24; ++i)
        v.push_back(i);
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Filters, Eligibility,
    testing::Values(EligibilityCase{"AllAllowed", {}, true},
                    EligibilityCase{"OnlyAboveTheOctaveOff", aboveTheOctave(), true},
                    EligibilityCase{"UnisonOffDoesNotMatter", {0}, true},
                    EligibilityCase{"MinorSecondOff", {1}, false},
                    EligibilityCase{"OctaveOff", {12}, false},
                    EligibilityCase{"TritoneOffAndAboveTheOctaveOn", {6}, false}),
    [](const testing::TestParamInfo<EligibilityCase>& info) { return info.param.name; });

} // namespace
