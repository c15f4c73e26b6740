// The drill's rules without sound: drawing questions, grading in the three
// identify modes, the tallies, the clock, the Key Guide markers and the
// BEGIN/END cycle.

#include "tests/support/testdrill.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>

namespace {

using Table = std::vector<IntervalTally>;

Table tallyOf(const DrillState& d) {
    return Table(std::begin(d.sessionTally), std::end(d.sessionTally));
}

void allowOnly(DrillState& d, std::initializer_list<int> sizes) {
    for (bool& a : d.allowed)
        a = false;
    for (int s : sizes)
        d.allowed[s] = true;
}

class DrillTest : public ::testing::Test {
protected:
    FakeClock clock;
    RecordingDrill drill{clock};
    FakeKeyGuide guide;

    void SetUp() override {
        clock.time = 10'000;
        drill.setKeyGuide(&guide);
    }
    // A running drill whose current question is first..second.
    void runningWith(int first, int second) {
        ASSERT_TRUE(drill.beginDrill());
        drill.setQuestion(first, second);
    }
};

// ---- Drawing --------------------------------------------------------------

TEST_F(DrillTest, DrawsOnlyAllowedIntervalsWithinTheRange) {
    // Varying filters: every question keeps the invariants of the state.
    const std::vector<std::vector<int>> filters = {
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {3}, {13, 19, 23}, {1, 24}, {6, 18}};
    for (const auto& f : filters) {
        for (bool& a : drill.allowed)
            a = false;
        for (int s : f)
            drill.allowed[s] = true;
        for (int i = 0; i < 2000; ++i) {
            ASSERT_TRUE(drill.drawQuestion());
            ASSERT_GE(drill.notes[0], 43);
            ASSERT_LE(drill.notes[1], 67);
            ASSERT_LT(drill.notes[0], drill.notes[1]);
            ASSERT_EQ(std::min(drill.playOrder[0], drill.playOrder[1]), drill.notes[0]);
            ASSERT_EQ(std::max(drill.playOrder[0], drill.playOrder[1]), drill.notes[1]);
            ASSERT_EQ(drill.pitchInterval, drill.notes[1] - drill.notes[0]);
            ASSERT_TRUE(drill.allowed[drill.pitchInterval]) << drill.pitchInterval;
            ASSERT_EQ(drill.m12Interval, mod12Of(drill.pitchInterval));
            ASSERT_EQ(drill.intervalClass, intervalClassOf(drill.m12Interval));
            ASSERT_EQ(drill.toneLength[0], 500);
            ASSERT_EQ(drill.toneLength[1], 500);
        }
    }
}

TEST_F(DrillTest, OnlyTheOctaveGivesNAndNPlus12) {
    allowOnly(drill, {12});
    std::set<int> lows;
    for (int i = 0; i < 3000; ++i) {
        ASSERT_TRUE(drill.drawQuestion());
        ASSERT_EQ(drill.notes[1], drill.notes[0] + 12);
        ASSERT_GE(drill.notes[0], 43);
        ASSERT_LE(drill.notes[0], 55);
        ASSERT_EQ(drill.m12Interval, 0);
        ASSERT_EQ(drill.intervalClass, 0);
        lows.insert(drill.notes[0]);
    }
    EXPECT_EQ(lows.size(), 13u); // every n in 43..55 comes up
}

TEST_F(DrillTest, OnlyTwoOctavesGives43And67InEitherOrder) {
    allowOnly(drill, {24});
    int rising = 0, falling = 0;
    for (int i = 0; i < 400; ++i) {
        ASSERT_TRUE(drill.drawQuestion());
        ASSERT_EQ(drill.notes[0], 43);
        ASSERT_EQ(drill.notes[1], 67);
        (drill.playOrder[0] == 43 ? rising : falling)++;
    }
    EXPECT_GT(rising, 100);
    EXPECT_GT(falling, 100);
}

// Every ordered pair of distinct notes with an allowed interval is equally
// likely, so size d comes with weight 25 - d. Fixed seed: the statistic is
// the same on every run; the threshold (chi-square, 23 degrees of freedom,
// p about 1e-9) would only be passed by chance with a wrong weighting.
TEST_F(DrillTest, PitchIntervalDComesWithWeight25MinusD) {
    for (int d = 1; d <= 24; ++d)
        drill.allowed[d] = true;
    drill.seedRandom(20261208);
    constexpr int kDraws = 150'000;
    int seen[25] = {};
    int rising = 0;
    for (int i = 0; i < kDraws; ++i) {
        ASSERT_TRUE(drill.drawQuestion());
        ++seen[drill.pitchInterval];
        rising += drill.playOrder[0] < drill.playOrder[1];
    }
    double chi2 = 0;
    double chi2Uniform = 0;
    for (int d = 1; d <= 24; ++d) {
        const double expected = kDraws * (25.0 - d) / 300.0; // the weights add up to 300
        chi2 += (seen[d] - expected) * (seen[d] - expected) / expected;
        const double flat = kDraws / 24.0;
        chi2Uniform += (seen[d] - flat) * (seen[d] - flat) / flat;
    }
    EXPECT_LT(chi2, 75.0);
    EXPECT_GT(chi2Uniform, 1000.0); // the test can tell a wrong weighting
    // Rising and falling figures equally likely: within 5 standard deviations.
    EXPECT_LT(std::abs(rising - kDraws / 2.0), 5 * std::sqrt(kDraws / 4.0));
}

TEST_F(DrillTest, RandomBelowStaysInRangeAndGivesZeroForNoRoom) {
    EXPECT_EQ(drill.randomBelow(0), 0);
    EXPECT_EQ(drill.randomBelow(-3), 0);
    std::set<int> values;
    for (int i = 0; i < 1000; ++i) {
        const int v = drill.randomBelow(25);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 25);
        values.insert(v);
    }
    EXPECT_EQ(values.size(), 25u);
    drill.seedRandom(7);
    const int a = drill.randomBelow(1'000'000);
    drill.seedRandom(7);
    EXPECT_EQ(drill.randomBelow(1'000'000), a);
}

TEST_F(DrillTest, NoAllowedIntervalDrawsNothingAndBeginRefuses) {
    allowOnly(drill, {});
    drill.setQuestion(50, 55);
    EXPECT_FALSE(drill.anyIntervalAllowed());
    EXPECT_FALSE(drill.drawQuestion());
    EXPECT_EQ(drill.pitchInterval, 5); // question untouched
    EXPECT_FALSE(drill.beginDrill());
    EXPECT_FALSE(drill.running);
    EXPECT_FALSE(drill.clockVisible);
    EXPECT_EQ(drill.steps,
              std::vector<std::string>{std::string("message: ") + DrillState::kNoIntervalsMessage});
    // Index 0 alone cannot form a question either.
    drill.allowed[0] = true;
    EXPECT_FALSE(drill.anyIntervalAllowed());
}

TEST_F(DrillTest, CorrectAnswerWithNoAllowedIntervalKeepsTheQuestion) {
    runningWith(48, 55);
    allowOnly(drill, {});
    drill.answerKey(vk::digit(7));
    EXPECT_EQ(drill.correctCount, 1);
    EXPECT_EQ(drill.sessionTally[7].m12Correct, 1);
    EXPECT_EQ(drill.notes[0], 48);
    EXPECT_EQ(drill.notes[1], 55);
    ASSERT_FALSE(drill.steps.empty());
    EXPECT_EQ(drill.steps.back(), std::string("message: ") + DrillState::kNoIntervalsMessage);
}

// ---- Grading --------------------------------------------------------------

struct KeyCase {
    const char* name;
    int mode;
    int pitch; // the question's pitch interval (from note 43)
    int key;   // virtual-key code
    bool correct;
    int slot; // wrong-answer slot in the mode's table, -1 for none
};

TEST_F(DrillTest, GradesAnswerKeysInModes1And2) {
    const KeyCase cases[] = {
        {"12 by equals", 1, 12, vk::equals, true, -1},
        {"12 by grave", 1, 12, vk::grave, true, -1},
        {"12 not by 0 (minor 7th)", 1, 12, vk::digit(0), false, 10},
        {"24 by equals", 1, 24, vk::equals, true, -1},
        {"24 not by 0", 1, 24, vk::pad(0), false, 10},
        {"15 by key 3", 1, 15, vk::digit(3), true, -1},
        {"15 not by key 4", 1, 15, vk::digit(4), false, 4},
        {"7 not by equals: octave at 0", 1, 7, vk::equals, false, 0},
        {"10 by pad 0", 1, 10, vk::pad(0), true, -1},
        {"22 by main 0", 1, 22, vk::digit(0), true, -1},
        {"11 by minus", 1, 11, vk::minus, true, -1},
        {"11 by pad point", 1, 11, vk::padPoint, true, -1},
        {"9 by pad 9", 1, 9, vk::pad(9), true, -1},
        {"1 not by pad point", 1, 1, vk::padPoint, false, 11},
        {"19 (class 5) by key 5", 2, 19, vk::digit(5), true, -1},
        {"19 not by key 7: no slot", 2, 19, vk::digit(7), false, -1},
        {"19 not by minus: no slot", 2, 19, vk::minus, false, -1},
        {"12 (class 0) by key 0", 2, 12, vk::digit(0), true, -1},
        {"24 (class 0) by grave", 2, 24, vk::grave, true, -1},
        {"5 not by equals: class 0", 2, 5, vk::equals, false, 0},
        {"3 not by key 2", 2, 3, vk::digit(2), false, 2},
        {"8 (class 4) by key 4", 2, 8, vk::digit(4), true, -1},
        {"6 by pad 6", 2, 6, vk::pad(6), true, -1},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clk;
        RecordingDrill d(clk);
        d.mode = c.mode;
        ASSERT_TRUE(d.beginDrill());
        d.setQuestion(43, 43 + c.pitch);
        d.answerKey(c.key);

        Table expected(kTallyRows);
        IntervalTally& row = expected[c.pitch];
        if (c.correct)
            (c.mode == 1 ? row.m12Correct : row.icCorrect) = 1;
        else if (c.slot >= 0)
            (c.mode == 1 ? row.m12Wrong[c.slot] : row.icWrong[c.slot]) = 1;
        EXPECT_EQ(tallyOf(d), expected);
        EXPECT_EQ(d.correctCount, c.correct ? 1 : 0);
        EXPECT_EQ(d.incorrectCount, c.correct ? 0 : 1);
        EXPECT_EQ(d.answer, answerForKey(c.key));
        if (!c.correct) {
            EXPECT_EQ(d.pitchInterval, c.pitch); // the question waits
        }
    }
}

TEST_F(DrillTest, KeysDoNothingInMode0WhenUnmappedOrOutsideADrill) {
    const Table empty(kTallyRows);
    // Outside a drill: nothing graded or counted.
    drill.answerKey(vk::equals);
    drill.typedAnswer("0");
    EXPECT_EQ(drill.correctCount + drill.incorrectCount, 0);
    EXPECT_EQ(drill.answer, 0);
    EXPECT_EQ(tallyOf(drill), empty);
    EXPECT_EQ(drill.pitchInterval, 0);

    runningWith(43, 50);
    drill.answerKey(82);  // R is not an answer key
    drill.answerKey(300); // no key
    drill.mode = 0;       // answers come from the answer box only
    drill.answerKey(vk::digit(7));
    drill.mode = 1;
    drill.typedAnswer("7"); // the answer box grades only in mode 0
    EXPECT_EQ(drill.correctCount + drill.incorrectCount, 0);
    EXPECT_EQ(tallyOf(drill), empty);
}

struct TypedCase {
    const char* name;
    std::string text;
    int pitch;
    bool correct;
    int slot;   // piWrong slot, -1 for none
    int marker; // Key Guide marker shown, -1 for none
};

TEST_F(DrillTest, GradesTypedAnswersInMode0) {
    const std::string long100 = std::string(98, '0') + "07"; // 100 characters
    const std::string long99 = std::string(97, '0') + "07";
    const TypedCase cases[] = {
        {"plain", "7", 7, true, -1, -1},
        {"other characters skipped", "a1b 9", 19, true, -1, -1},
        {"last line that holds text", "5\n12\n\n", 12, true, -1, -1},
        {"CR LF lines", "12\r\n7\r\n", 7, true, -1, -1},
        {"leading zeros", "0024", 24, true, -1, -1},
        {"empty is answer 0", "", 7, false, 0, 11},
        {"no digits is answer 0", "abc", 7, false, 0, 11},
        {"wrong within the keys", "4", 7, false, 4, 3},
        {"wrong 12", "12", 24, false, 12, 11},
        {"wrong above the keys", "13", 1, false, 13, -1},
        {"highest slot", "36", 5, false, 36, -1},
        {"above 36: no slot", "37", 5, false, -1, -1},
        {"largest 32-bit value", "2147483647", 5, false, -1, -1},
        {"too large for 32 bits", "2147483648", 5, false, -1, -1},
        {"far too large", "99999999999999999999999", 5, false, -1, -1},
        {"99 characters are read", long99, 7, true, -1, -1},
        {"100 characters are not", long100, 7, false, -1, -1},
    };
    for (const TypedCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clk;
        clk.time = 5000;
        RecordingDrill d(clk);
        FakeKeyGuide g;
        d.setKeyGuide(&g);
        d.mode = 0;
        ASSERT_TRUE(d.beginDrill());
        d.setQuestion(43, 43 + c.pitch);
        d.typedAnswer(c.text);

        Table expected(kTallyRows);
        if (c.correct)
            expected[c.pitch].piCorrect = 1;
        else if (c.slot >= 0)
            expected[c.pitch].piWrong[c.slot] = 1;
        EXPECT_EQ(tallyOf(d), expected);
        EXPECT_EQ(d.correctCount, c.correct ? 1 : 0);
        EXPECT_EQ(d.incorrectCount, c.correct ? 0 : 1);
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(g.shown[i], i == c.marker) << "marker " << i;
            EXPECT_EQ(g.markerDeadlines[i], i == c.marker ? 7000 : -1) << "marker " << i;
        }
    }
}

TEST_F(DrillTest, TallyRowIsTheAnsweredQuestions) {
    runningWith(43, 58); // 15 semitones
    drill.answerKey(vk::digit(3));
    EXPECT_EQ(drill.sessionTally[15].m12Correct, 1);
    // The next question is drawn; its answer goes to its own row.
    const int next = drill.pitchInterval;
    drill.answerKey(mod12Key(drill.m12Interval));
    EXPECT_EQ(drill.sessionTally[next].m12Correct, next == 15 ? 2 : 1);
    EXPECT_EQ(drill.correctCount, 2);
}

TEST_F(DrillTest, EndIsOfferedExactlyAtTheTenthCorrectAnswer) {
    ASSERT_TRUE(drill.beginDrill());
    drill.answerKey(vk::digit(drill.m12Interval == 1 ? 2 : 1)); // one wrong answer
    for (int n = 1; n <= 12; ++n) {
        drill.answerKey(mod12Key(drill.m12Interval));
        ASSERT_EQ(drill.correctCount, n);
        EXPECT_EQ(drill.endOffered(), n >= 10) << n;
    }
    EXPECT_EQ(drill.incorrectCount, 1);
    int tallied = 0;
    for (const IntervalTally& row : drill.sessionTally)
        tallied += row.m12Correct;
    EXPECT_EQ(tallied, 12);
}

// ---- Clock and markers --------------------------------------------------

TEST(DrillClockText, MinutesUnpaddedSecondsTwoDigits) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "0:00"},      {999, "0:00"},      {7000, "0:07"},        {59'999, "0:59"},
        {61'500, "1:01"}, {750'000, "12:30"}, {6'000'000, "100:00"},
    };
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(drillClockText(ms), text) << ms;
}

TEST_F(DrillTest, ClockRunsFromBeginOnly) {
    drill.clockTick();
    EXPECT_TRUE(drill.clockTexts.empty());
    ASSERT_TRUE(drill.beginDrill());
    EXPECT_EQ(drill.startTime, 10'000);
    EXPECT_TRUE(drill.clockVisible);
    clock.time += 61'500;
    drill.clockTick();
    EXPECT_EQ(drill.clockTexts, (std::vector<std::string>{"0:00", "1:01"}));
}

TEST_F(DrillTest, MarkerShownForWrongAnswerAndHiddenByFirstTickAfterDeadline) {
    runningWith(43, 50);
    drill.answerKey(vk::digit(4));
    EXPECT_TRUE(guide.shown[3]);
    EXPECT_EQ(guide.repaints, 1);
    EXPECT_EQ(guide.markerDeadlines[3], 12'000);
    clock.time = 12'000; // not yet past the deadline
    drill.clockTick();
    EXPECT_TRUE(guide.shown[3]);
    clock.time = 12'001;
    drill.clockTick();
    EXPECT_FALSE(guide.shown[3]);
    EXPECT_EQ(guide.markerDeadlines[3], -1);
}

TEST_F(DrillTest, NoMarkerWhileTheGuideIsHidden) {
    runningWith(43, 50);
    guide.visible = false;
    drill.answerKey(vk::equals);
    EXPECT_EQ(drill.incorrectCount, 1);
    for (int i = 0; i < 12; ++i) {
        EXPECT_FALSE(guide.shown[i]);
        EXPECT_EQ(guide.markerDeadlines[i], -1);
    }
}

TEST_F(DrillTest, MarkersStayWhileTheGuideIsHiddenOrNoDrillRuns) {
    runningWith(43, 50);
    drill.answerKey(vk::minus);
    ASSERT_TRUE(guide.shown[10]);
    clock.time += 5000;
    guide.visible = false;
    drill.clockTick(); // a hidden guide is left alone
    EXPECT_TRUE(guide.shown[10]);
    guide.visible = true;
    drill.running = false;
    drill.clockTick(); // no drill: no tick work
    EXPECT_TRUE(guide.shown[10]);
    drill.running = true;
    drill.clockTick();
    EXPECT_FALSE(guide.shown[10]);
}

// ---- BEGIN and END ------------------------------------------------------

TEST_F(DrillTest, BeginKeepsCountersAndRefusesWhileRunning) {
    drill.incorrectCount = 3; // counters are reset by END, not by BEGIN
    ASSERT_TRUE(drill.beginDrill());
    EXPECT_TRUE(drill.running);
    EXPECT_EQ(drill.incorrectCount, 3);
    EXPECT_NE(drill.pitchInterval, 0);
    EXPECT_FALSE(drill.beginDrill());
}

struct EndCase {
    const char* name;
    std::vector<int> off; // sizes switched off, all others of 1..24 on
    bool include;         // the user's answer to the filter question
    std::vector<std::string> steps;
};

TEST_F(DrillTest, EndRunsItsStepsInOrderThenResets) {
    const EndCase cases[] = {
        {"no filters: merged unasked", {}, false, {"report", "errors", "score", "clear"}},
        {"large sizes off: not a filtered drill",
         {13, 24},
         false,
         {"report", "errors", "score", "clear"}},
        {"filtered, included", {3}, true, {"report", "ask", "errors", "score", "clear"}},
        {"filtered, left out", {12}, false, {"report", "ask", "score", "clear"}},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clk;
        RecordingDrill d(clk);
        for (int s = 1; s <= 24; ++s)
            d.allowed[s] = true;
        for (int s : c.off)
            d.allowed[s] = false;
        d.includeAnswer = c.include;
        ASSERT_TRUE(d.beginDrill());
        d.answerKey(vk::digit(d.m12Interval == 1 ? 2 : 1));
        for (int n = 0; n < 10; ++n)
            d.answerKey(mod12Key(d.m12Interval));
        ASSERT_TRUE(d.endOffered());
        d.endDrill();
        EXPECT_EQ(d.steps, c.steps);
        // The score window saw the drill's counters; the reset came after it.
        EXPECT_EQ(d.scoreCorrect, 10);
        EXPECT_EQ(d.scoreIncorrect, 1);
        EXPECT_EQ(d.correctCount, 0);
        EXPECT_EQ(d.incorrectCount, 0);
        EXPECT_FALSE(d.running);
        EXPECT_FALSE(d.clockVisible);
        EXPECT_FALSE(d.endOffered());
        EXPECT_EQ(tallyOf(d), Table(kTallyRows));
    }
}

TEST_F(DrillTest, EndOutsideADrillDoesNothing) {
    drill.endDrill();
    EXPECT_TRUE(drill.steps.empty());
}

} // namespace
