#include "errors/generalnotation.h"
#include "errors/sessionreport.h"
#include "tests/core/localerun.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using errors::cumulativeProfileLines;
using errors::generalNotation;
using errors::sessionReportLines;
using errors::standardIntervalNames;
using Lines = std::vector<std::string>;

namespace {

struct ReportCase {
    const char* name;
    std::function<void(TallyTable&)> fill;
    Lines expected;
};

void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

// A major third asked five times (four right, once taken for three
// semitones) and a perfect fifth asked six times, all right.
void pitchExample(TallyTable& t) {
    t[4].piCorrect = 4;
    t[4].piWrong[3] = 1;
    t[7].piCorrect = 6;
}

const ReportCase kSessionCases[] = {
    {"PitchModeExample",
     pitchExample,
     {"major 3rd", "     correct  80%", "          pi 3  20%", "perfect 5th", "     correct 100%"}},
    {"Mod12ModeExample",
     [](TallyTable& t) {
         t[4].m12Correct = 4;
         t[4].m12Wrong[3] = 1;
         t[7].m12Correct = 6;
     },
     {"major 3rd", "     correct  80%", "     minor 3rd  20%", "perfect 5th", "     correct 100%"}},
    {"IntervalClassModeExample",
     [](TallyTable& t) {
         t[4].icCorrect = 4;
         t[4].icWrong[3] = 1;
         t[7].icCorrect = 6;
     },
     {"major 3rd", "     correct ic  80%", "          ic 3  20%", "perfect 5th",
      "     correct ic 100%"}},
    {"AllCorrectOneLinePerAskedInterval",
     [](TallyTable& t) {
         t[2].m12Correct = 3;
         t[12].m12Correct = 1;
         t[19].icCorrect = 7;
     },
     {"major 2nd", "     correct 100%", "octave", "     correct 100%", "perfect 5th + 8ve",
      "     correct ic 100%"}},
    {"RowAlwaysWrongShowsHeadingAlone",
     [](TallyTable& t) {
         t[5].piWrong[4] = 2;
         t[5].piWrong[6] = 1;
         t[6].m12Wrong[5] = 3;
         t[8].icWrong[3] = 1;
     },
     {"perfect 4th", "tritone", "minor 6th"}},
    {"EmptyTypedAnswersNeitherListedNorCounted",
     [](TallyTable& t) {
         pitchExample(t);
         t[4].piWrong[0] = 5;
     },
     {"major 3rd", "     correct  80%", "          pi 3  20%", "perfect 5th", "     correct 100%"}},
    {"OnlyEmptyAnswersMeanNothingAsked", [](TallyTable& t) { t[9].piWrong[0] = 3; }, {}},
    {"OctaveKeyWrongAnswerIsUnison",
     [](TallyTable& t) {
         t[7].m12Correct = 1;
         t[7].m12Wrong[0] = 1;
     },
     {"perfect 5th", "     correct  50%", "     unison  50%"}},
    {"RowsAscendWithCompoundNames",
     [](TallyTable& t) {
         t[24].piCorrect = 1;
         t[14].piCorrect = 1;
         t[1].piCorrect = 1;
         t[13].m12Correct = 1;
     },
     {"minor 2nd", "     correct 100%", "minor 9th", "     correct 100%", "major 9th",
      "     correct 100%", "double 8ve", "     correct 100%"}},
    {"BlocksInModeOrderWithWrongAnswersAscending",
     [](TallyTable& t) {
         t[3].icCorrect = 1;
         t[3].icWrong[6] = 1;
         t[3].icWrong[2] = 2;
         t[3].m12Correct = 2;
         t[3].m12Wrong[11] = 1;
         t[3].m12Wrong[4] = 1;
         t[3].piCorrect = 1;
         t[3].piWrong[15] = 1;
         t[3].piWrong[2] = 1;
     },
     {"minor 3rd", "     correct  33%", "          pi 2  33%", "          pi 15  33%",
      "     correct  50%", "     major 3rd  25%", "     major 7th  25%", "     correct ic  25%",
      "          ic 2  50%", "          ic 6  25%"}},
    {"NothingAskedNothingWritten", [](TallyTable&) {}, {}},
};

class SessionReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(SessionReport, WritesExpectedLines) {
    TallyTable table{};
    GetParam().fill(table);
    EXPECT_EQ(sessionReportLines(table, standardIntervalNames()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SessionReport, ::testing::ValuesIn(kSessionCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ProfileCase {
    const char* name;
    std::function<void(TallyTable&)> fill;
    const char* decimalPoint;
    Lines expected;
};

void PrintTo(const ProfileCase& c, std::ostream* os) {
    *os << c.name;
}

const ProfileCase kProfileCases[] = {
    {"PitchBlockSaysCorrectPi",
     pitchExample,
     ".",
     {"major 3rd", "     correct pi  80%", "          pi 3  20%", "perfect 5th",
      "     correct pi 100%"}},
    {"Mod12WrongAnswersTenSpacesGeneralNotation",
     [](TallyTable& t) {
         t[4].m12Correct = 13;
         t[4].m12Wrong[3] = 2;
         t[4].m12Wrong[5] = 1;
     },
     ".",
     {"major 3rd", "     correct  81%", "          minor 3rd 13%", "          perfect 4th 6.3%"}},
    {"FiftyPercentIsFifty",
     [](TallyTable& t) {
         t[2].m12Correct = 1;
         t[2].m12Wrong[1] = 1;
     },
     ".",
     {"major 2nd", "     correct  50%", "          minor 2nd 50%"}},
    {"LocaleDecimalSeparator",
     [](TallyTable& t) {
         t[9].m12Correct = 15;
         t[9].m12Wrong[8] = 1;
     },
     ",",
     {"major 6th", "     correct  94%", "          minor 6th 6,3%"}},
    {"IntervalClassBlockAsInSessionReport",
     [](TallyTable& t) {
         t[4].icCorrect = 4;
         t[4].icWrong[3] = 1;
     },
     ".",
     {"major 3rd", "     correct ic  80%", "          ic 3  20%"}},
    {"OnlyRowsOneTo24",
     [](TallyTable& t) {
         t[0].piCorrect = 5;
         t[13].m12Correct = 2;
         t[24].m12Correct = 1;
         t[25].m12Correct = 9;
         t[36].piCorrect = 9;
     },
     ".",
     {"minor 9th", "     correct 100%", "double 8ve", "     correct 100%"}},
    {"AllZeroFileIsEmpty", [](TallyTable&) {}, ".", {}},
};

class CumulativeProfile : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(CumulativeProfile, WritesExpectedLines) {
    TallyTable table{};
    GetParam().fill(table);
    EXPECT_EQ(cumulativeProfileLines(table, standardIntervalNames(), GetParam().decimalPoint),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CumulativeProfile, ::testing::ValuesIn(kProfileCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SessionReport, ReportOnlyRowsBeyondNamesHeadedBySize) {
    // Only a damaged file could fill these rows; they must not read past the names.
    TallyTable table{};
    table[30].m12Correct = 1;
    EXPECT_EQ(sessionReportLines(table, standardIntervalNames()),
              (Lines{"30", "     correct 100%"}));
}

TEST(SessionReport, DamagedCountsNeverDivideByZero) {
    // Counts that cancel out leave no positive total for the pitch block.
    TallyTable table{};
    table[4].piCorrect = 3;
    table[4].piWrong[2] = -3;
    table[4].m12Correct = 1;
    EXPECT_EQ(sessionReportLines(table, standardIntervalNames()),
              (Lines{"major 3rd", "     correct 100%"}));
}

TEST(IntervalNames, TableEnds) {
    const auto& names = standardIntervalNames();
    EXPECT_EQ(names[0], "unison");
    EXPECT_EQ(names[6], "tritone");
    EXPECT_EQ(names[12], "octave");
    EXPECT_EQ(names[14], "major 9th");
    EXPECT_EQ(names[18], "tritone + 8ve");
    EXPECT_EQ(names[24], "double 8ve");
}

struct NotationCase {
    float share;
    const char* decimalPoint;
    const char* expected;
};

class GeneralNotation : public ::testing::TestWithParam<NotationCase> {};

TEST_P(GeneralNotation, TwoSignificantDigits) {
    EXPECT_EQ(generalNotation(GetParam().share, GetParam().decimalPoint), GetParam().expected)
        << "share " << GetParam().share;
}

// Shares as the profile computes them: 100 * count / total in single precision.
float shareOf(int count, int total) {
    return static_cast<float>(100.0 * count / total);
}

INSTANTIATE_TEST_SUITE_P(
    Shares, GeneralNotation,
    ::testing::Values(
        NotationCase{shareOf(2, 3), ".", "67"}, NotationCase{shareOf(1, 3), ".", "33"},
        NotationCase{shareOf(1, 8), ".", "13"}, NotationCase{shareOf(1, 16), ".", "6.3"},
        NotationCase{shareOf(1, 20), ".", "5"}, NotationCase{shareOf(1, 200), ".", "0.5"},
        NotationCase{shareOf(249, 250), ".", "1E2"}, NotationCase{shareOf(1, 2), ".", "50"},
        NotationCase{shareOf(1, 16), ",", "6,3"}, NotationCase{shareOf(1, 200), ",", "0,5"},
        NotationCase{shareOf(1, 2), ",", "50"}, NotationCase{shareOf(199, 200), ".", "1E2"},
        NotationCase{99.4f, ".", "99"}, NotationCase{9.96f, ".", "10"},
        NotationCase{0.996f, ".", "1"}, NotationCase{0.05f, ".", "0.05"},
        NotationCase{0.0001f, ".", "0.0001"}, NotationCase{0.00001f, ".", "1E-5"},
        NotationCase{0.000025f, ",", "2,5E-5"}, NotationCase{1234.0f, ".", "1.2E3"},
        NotationCase{12.49f, ".", "12"}, NotationCase{-6.25f, ".", "-6.3"}));

} // namespace
