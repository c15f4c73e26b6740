#include "app/drillstate.h"
#include "core/atomicfile.h"
#include "core/filenotices.h"
#include "errors/errorfile.h"
#include "tests/core/filefixtures.h"
#include "tests/core/localerun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using namespace errors;

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

std::string fixture(const std::string& name) {
    const char* root = std::getenv("TONYX_SOURCE_DIR");
    const fs::path base = root ? fs::path(root) : fs::path(TONYX_TEST_SOURCE_DIR);
    const auto data = readWholeFile((base / "tests/errors/data" / name).string());
    EXPECT_TRUE(data) << "missing fixture " << name;
    return data.value_or("");
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos;
         start = at + separator.size())
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The table the fixture valid.dat holds.
TallyTable validHistory() {
    TallyTable t{};
    t[7].piCorrect = 10;
    t[7].piWrong[5] = 1;
    t[4].m12Correct = 40;
    t[4].m12Wrong[3] = 10;
    t[12].icCorrect = 9;
    t[12].icWrong[5] = 3;
    return t;
}

// Every counter different, so a counter landing in the wrong place shows.
TallyTable numberedTable() {
    TallyTable t{};
    for (int r = 0; r < kTallyRows; ++r)
        for (int i = 0; i < IntervalTally::kCounters; ++i)
            t[static_cast<size_t>(r)].counter(i) = r * 100 + i;
    return t;
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tonyx-errors-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        path = (folder_ / "errors.dat").string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string read() const { return readWholeFile(path).value_or("<unreadable>"); }
    void write(const std::string& contents) const {
        ASSERT_TRUE(writeFileAtomically(path, contents));
    }

    fs::path folder_;
    std::string path;
};

TEST(ErrorFileFormat, CanonicalLayout) {
    TallyTable t{};
    // The first drill ever: perfect fifths in pitch mode, ten right, once 5.
    t[7].piCorrect = 10;
    t[7].piWrong[5] = 1;
    const std::string text = formatErrorFile(t);

    const auto lines = split(text, "\r\n");
    ASSERT_EQ(lines.size(), 38u);
    EXPECT_EQ(lines[0], "") << "the file starts with a line break";
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto numbers = split(lines[i], " ");
        ASSERT_EQ(numbers.size(), 59u) << "line " << i;
        for (size_t n = 0; n < numbers.size(); ++n) {
            std::string expected = "0";
            if (i == 8 && n == 0)
                expected = "10";
            if (i == 8 && n == 6)
                expected = "1";
            EXPECT_EQ(numbers[n], expected) << "line " << i << " number " << n + 1;
        }
    }
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
}

TEST(ErrorFileFormat, RoundTripsEveryCounterInPlace) {
    TallyTable t = numberedTable();
    t[36].icWrong[6] = kMax;
    t[0].piCorrect = std::numeric_limits<int32_t>::min();
    TallyTable back{};
    EXPECT_EQ(parseErrorFile(formatErrorFile(t), back), kErrorFileNumbers);
    EXPECT_EQ(back, t);
}

struct LayoutCase {
    const char* name;
    std::string (*transform)(const std::string& canonical);
};

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

const LayoutCase kLayouts[] = {
    {"Canonical", [](const std::string& s) { return s; }},
    {"OneLine", [](const std::string& s) { return replaceAll(s.substr(2), "\r\n", " "); }},
    {"LineFeedsOnly", [](const std::string& s) { return replaceAll(s, "\r\n", "\n"); }},
    {"TrailingLineBreak", [](const std::string& s) { return s + "\r\n"; }},
    {"TabsAndRunsOfSpaces", [](const std::string& s) { return replaceAll(s, " ", " \t  "); }},
    {"ExtraNumbersAfterTheLast", [](const std::string& s) { return s + " 5 6 7\r\n8 9 x"; }},
    {"OneNumberPerLine", [](const std::string& s) { return replaceAll(s, " ", "\n"); }},
};

class ErrorFileLayouts : public TempFolder, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(ErrorFileLayouts, ReadSameAndRewrittenCanonical) {
    const TallyTable history = numberedTable();
    const std::string canonical = formatErrorFile(history);
    write(GetParam().transform(canonical));

    TallyTable read{};
    EXPECT_EQ(readErrorFile(path, read), ErrorFileRead::Read);
    EXPECT_EQ(read, history);

    DrillState drill;
    drill.sessionTally[3].m12Correct = 1;
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Merged);
    TallyTable expected = history;
    expected[3].m12Correct += 1;
    EXPECT_EQ(this->read(), formatErrorFile(expected));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ErrorFileLayouts, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

struct TokenCase {
    const char* name;
    std::string_view text;
    std::vector<int32_t> firstCounters; // counters 0.. of row 0 afterwards
    int read;
    int damaged = 0;
};

class ErrorFileTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(ErrorFileTokens, ADamagedTokenKeepsItsPlaceAndTheRestIsRead) {
    TallyTable t{};
    t[0].piCorrect = 99; // whatever the table held before is cleared
    int damaged = -1;
    EXPECT_EQ(parseErrorFile(GetParam().text, t, &damaged), GetParam().read);
    EXPECT_EQ(damaged, GetParam().damaged);
    for (size_t i = 0; i < GetParam().firstCounters.size(); ++i)
        EXPECT_EQ(t[0].counter(static_cast<int>(i)), GetParam().firstCounters[i])
            << "counter " << i;
    int32_t rest = 0;
    for (size_t r = 0; r < t.size(); ++r)
        for (int i = 0; i < IntervalTally::kCounters; ++i)
            if (r > 0 || i >= static_cast<int>(GetParam().firstCounters.size()))
                rest |= t[r].counter(i);
    EXPECT_EQ(rest, 0) << "counters not read are 0";
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ErrorFileTokens,
    ::testing::Values(
        TokenCase{"Empty", "", {0}, 0}, TokenCase{"WhitespaceOnly", " \r\n\t ", {0}, 0},
        TokenCase{"Plain", "\r\n1 2 3", {1, 2, 3, 0}, 3},
        TokenCase{"LeadingZerosAndNegative", "007 -4 0", {7, -4, 0}, 3},
        TokenCase{"LetterInNumber", "1 2x 3", {1, 0, 3}, 3, 1},
        TokenCase{"PlusSign", "1 +2 3", {1, 2, 3}, 3},
        TokenCase{"LoneMinus", "1 - 3", {1, 0, 3}, 3, 1},
        TokenCase{"DecimalPoint", "1 2.5 3", {1, 0, 3}, 3, 1},
        TokenCase{"DecimalComma", "1 2,5 3", {1, 0, 3}, 3, 1},
        TokenCase{"LargestAndSmallest", "2147483647 -2147483648 1", {kMax, INT32_MIN, 1}, 3},
        TokenCase{"BeyondThirtyTwoBits", "5 2147483648 6", {5, 0, 6}, 3, 1},
        TokenCase{"BelowThirtyTwoBits", "5 -2147483649 6", {5, 0, 6}, 3, 1},
        TokenCase{"VeryLongNumber", "5 123456789012345678901234567890 6", {5, 0, 6}, 3, 1},
        TokenCase{"LeadingZerosUpTo32Characters", "00000000000000000000000000000007 8", {7, 8}, 2},
        TokenCase{
            "TokenOver32Characters", "1 000000000000000000000000000000007 8", {1, 0, 8}, 3, 1},
        TokenCase{"NulByte", std::string_view("4 \0 5", 5), {4, 0, 5}, 3, 1},
        TokenCase{"NulInsideANumber", std::string_view("4 1\0002 5", 7), {4, 0, 5}, 3, 1},
        TokenCase{"OnlyDamage", "x y", {0, 0, 0}, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

struct FixtureCase {
    const char* file;
    int read;
    TallyTable (*expected)();
};

class ErrorFileFixtures : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(ErrorFileFixtures, ReadAsStored) {
    TallyTable t{};
    EXPECT_EQ(parseErrorFile(fixture(GetParam().file), t), GetParam().read);
    EXPECT_EQ(t, GetParam().expected());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ErrorFileFixtures,
    ::testing::Values(FixtureCase{"valid.dat", kErrorFileNumbers, validHistory},
                      FixtureCase{"empty.dat", 0, [] { return TallyTable{}; }},
                      // Two full rows, then 20 ones of row 2.
                      FixtureCase{"short.dat", 2 * 59 + 20,
                                  [] {
                                      TallyTable t = validHistory();
                                      for (size_t r = 2; r < t.size(); ++r)
                                          t[r].clear();
                                      for (int i = 0; i < 20; ++i)
                                          t[2].counter(i) = 1;
                                      return t;
                                  }},
                      // "1O" at number 10 of row 4: that counter is 0,
                      // all the others are read.
                      FixtureCase{"malformed.dat", kErrorFileNumbers, validHistory},
                      FixtureCase{"huge.dat", kErrorFileNumbers,
                                  [] {
                                      TallyTable t{};
                                      for (auto& row : t)
                                          for (int i = 0; i < IntervalTally::kCounters; ++i)
                                              row.counter(i) = kMax;
                                      return t;
                                  }}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

using ErrorFileUpdates = TempFolder;

TEST_F(ErrorFileUpdates, FirstDrillWritesExactlyTheDrill) {
    DrillState drill;
    drill.sessionTally[7].piCorrect = 10;
    drill.sessionTally[7].piWrong[5] = 1;
    drill.sessionTally[24].m12Wrong[11] = 2;
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Created);

    const std::string text = read();
    EXPECT_EQ(text, formatErrorFile(drill.sessionTally));
    EXPECT_EQ(text.substr(0, 2), "\r\n");
    EXPECT_TRUE(text.back() >= '0' && text.back() <= '9');
    const auto lines = split(text, "\r\n");
    ASSERT_EQ(lines.size(), 38u);
    EXPECT_EQ(lines[8].substr(0, 15), "10 0 0 0 0 0 1 ");
}

TEST_F(ErrorFileUpdates, SecondDrillAddsCounterByCounter) {
    DrillState first;
    std::copy_n(numberedTable().begin(), kTallyRows, first.sessionTally);
    ASSERT_EQ(updateErrorFile(first, path), ErrorFileUpdate::Created);

    DrillState second;
    for (int k = 0; k < 7; ++k)
        second.sessionTally[5].icWrong[k] = k + 1;
    second.sessionTally[5].piCorrect = 1000;
    second.sessionTally[36].icWrong[6] = 1;
    EXPECT_EQ(updateErrorFile(second, path), ErrorFileUpdate::Merged);

    TallyTable expected = numberedTable();
    for (int k = 0; k < 7; ++k)
        expected[5].icWrong[k] += k + 1;
    expected[5].piCorrect += 1000;
    expected[36].icWrong[6] += 1;
    TallyTable onFile{};
    ASSERT_EQ(readErrorFile(path, onFile), ErrorFileRead::Read);
    EXPECT_EQ(onFile, expected);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(onFile[6].counter(i), 600 + i) << "the next row is untouched";
    EXPECT_EQ(read(), formatErrorFile(expected));
    // The working table holds the merged counts; the drill's own are unchanged.
    EXPECT_EQ(TallyTable(std::to_array(second.cumulativeTally)), expected);
    EXPECT_EQ(second.sessionTally[5].icWrong[6], 7);
}

TEST_F(ErrorFileUpdates, DeletingTheFileStartsTheHistoryAgain) {
    DrillState drill;
    drill.sessionTally[2].m12Correct = 4;
    ASSERT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Created);
    ASSERT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Merged);
    fs::remove(path);
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Created);
    EXPECT_EQ(read(), formatErrorFile(drill.sessionTally));
}

TEST_F(ErrorFileUpdates, DamagedFileReplacedByFullRowsOfWhatWasRead) {
    write(fixture("malformed.dat"));
    DrillState drill;
    drill.sessionTally[1].piCorrect = 1;
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::MergedDamaged);
    TallyTable expected{};
    ASSERT_EQ(parseErrorFile(fixture("malformed.dat"), expected), kErrorFileNumbers);
    expected[1].piCorrect += 1;
    EXPECT_EQ(read(), formatErrorFile(expected));
    EXPECT_EQ(readWholeFile(path + ".damaged"), fixture("malformed.dat"));
    (void)filenotices::take();
}

TEST_F(ErrorFileUpdates, CountersSaturateInsteadOfWrapping) {
    write(fixture("huge.dat"));
    DrillState drill;
    drill.sessionTally[4].m12Correct = 3;
    drill.sessionTally[4].m12Wrong[2] = kMax;
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Merged);
    TallyTable onFile{};
    ASSERT_EQ(readErrorFile(path, onFile), ErrorFileRead::Read);
    EXPECT_EQ(onFile[4].m12Correct, kMax);
    EXPECT_EQ(onFile[4].m12Wrong[2], kMax);
    EXPECT_EQ(onFile[4].m12Wrong[3], kMax);
    EXPECT_EQ(read().size(), fixture("huge.dat").find("\r\n99999999999"))
        << "extra numbers dropped";
}

TEST(ErrorFileAdd, SaturatesBothWays) {
    TallyTable sum{}, drill{};
    sum[0].piCorrect = kMax - 1;
    drill[0].piCorrect = 5;
    sum[1].piCorrect = INT32_MIN + 1;
    drill[1].piCorrect = -5;
    sum[2].icWrong[6] = 40;
    drill[2].icWrong[6] = 2;
    addTallies(sum, drill);
    EXPECT_EQ(sum[0].piCorrect, kMax);
    EXPECT_EQ(sum[1].piCorrect, INT32_MIN);
    EXPECT_EQ(sum[2].icWrong[6], 42);
}

TEST_F(ErrorFileUpdates, UnreadableFileLeftUntouched) {
    // Something named errors.dat that cannot be read as a file, whoever runs the test.
    fs::create_directory(path);
    fs::path inside = fs::path(path) / "keep";
    ASSERT_TRUE(writeFileAtomically(inside.string(), "history"));
    DrillState drill;
    drill.sessionTally[3].piCorrect = 2;
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Unreadable);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(readWholeFile(inside.string()), "history");
    TallyTable t{};
    EXPECT_EQ(readErrorFile(path, t), ErrorFileRead::Unreadable);
    EXPECT_EQ(drill.sessionTally[3].piCorrect, 2);
}

TEST_F(ErrorFileUpdates, PipeUnderTheNameIsNotWaitedOn) {
    // Opening a pipe for reading would wait for a writer that never comes.
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    DrillState drill;
    drill.sessionTally[3].piCorrect = 2;
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Unreadable);
    EXPECT_TRUE(fs::is_fifo(path));
}

TEST_F(ErrorFileUpdates, UnwritableFolderReportedNotThrown) {
    const std::string nowhere = (folder_ / "no-such-folder" / "errors.dat").string();
    DrillState drill;
    drill.sessionTally[3].piCorrect = 2;
    EXPECT_EQ(updateErrorFile(drill, nowhere), ErrorFileUpdate::WriteFailed);
    EXPECT_FALSE(fileExists(nowhere));
}

TEST_F(ErrorFileUpdates, MissingFileReadsAsAllZero) {
    TallyTable t = numberedTable();
    EXPECT_EQ(readErrorFile(path, t), ErrorFileRead::Missing);
    EXPECT_EQ(t, TallyTable{});
}

// ---- Files the user keeps ------------------------------------------------------

using filefixtures::Odd;

class ErrorFileOdd : public TempFolder, public ::testing::WithParamInterface<Odd> {};

TEST_P(ErrorFileOdd, IsLeftAsItIsAndTheUserIsTold) {
    filefixtures::make(GetParam(), path);
    (void)filenotices::take();
    DrillState drill;
    drill.sessionTally[3].piCorrect = 2;
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Unreadable);
    EXPECT_EQ(fs::symlink_status(path).type(),
              GetParam() == Odd::DevZeroLink ? fs::file_type::symlink
              : GetParam() == Odd::Fifo      ? fs::file_type::fifo
              : GetParam() == Odd::Folder    ? fs::file_type::directory
                                             : fs::file_type::regular);
    const std::string notice = filenotices::take();
    EXPECT_NE(notice.find(fs::absolute(path).string()), std::string::npos) << notice;
    EXPECT_NE(notice.find("left as it was"), std::string::npos) << notice;
    TallyTable t = numberedTable();
    EXPECT_EQ(readErrorFile(path, t), ErrorFileRead::Unreadable);
    EXPECT_EQ(t, TallyTable{});
}

INSTANTIATE_TEST_SUITE_P(Odd, ErrorFileOdd,
                         ::testing::Values(Odd::Fifo, Odd::DevZeroLink, Odd::Folder, Odd::Oversize),
                         [](const auto& info) {
                             return std::string(filefixtures::nameOf(info.param));
                         });

TEST_F(ErrorFileUpdates, DamagedTokensAreKeptInACopyAndTheRestMerged) {
    const std::string damaged = fixture("damaged_tokens.dat");
    write(damaged);
    (void)filenotices::take();
    DrillState drill;
    drill.sessionTally[7].piCorrect = 1;
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::MergedDamaged);
    TallyTable expected = validHistory(); // "+10" reads as 10; the two bad tokens were zeros
    expected[7].piCorrect += 1;
    EXPECT_EQ(read(), formatErrorFile(expected));
    EXPECT_EQ(readWholeFile(path + ".damaged"), damaged);
    const std::string notice = filenotices::take();
    EXPECT_NE(notice.find(fs::absolute(path).string() + ".damaged"), std::string::npos) << notice;

    // Told once: the file is whole again.
    EXPECT_EQ(updateErrorFile(drill, path), ErrorFileUpdate::Merged);
    EXPECT_EQ(filenotices::take(), "");
    EXPECT_EQ(readWholeFile(path + ".damaged"), damaged);
}

struct KeepCase {
    const char* name;
    fs::perms mode;
    bool viaLink;
    ErrorFileUpdate update;
};

class ErrorFileKeeping : public TempFolder, public ::testing::WithParamInterface<KeepCase> {};

TEST_P(ErrorFileKeeping, ModeAndLinkAreKept) {
    const fs::path synced = folder_ / "synced";
    fs::create_directories(synced);
    const fs::path file = GetParam().viaLink ? synced / "errors.dat" : fs::path(path);
    filefixtures::writeText(file, formatErrorFile(validHistory()));
    fs::permissions(file, GetParam().mode);
    if (GetParam().viaLink)
        fs::create_symlink("synced/errors.dat", path);
    (void)filenotices::take();

    DrillState drill;
    drill.sessionTally[7].piCorrect = 1;
    EXPECT_EQ(updateErrorFile(drill, path), GetParam().update);
    TallyTable expected = validHistory();
    if (GetParam().update == ErrorFileUpdate::Merged)
        expected[7].piCorrect += 1;
    EXPECT_EQ(filefixtures::readText(file), formatErrorFile(expected));
    EXPECT_EQ(fs::status(file).permissions(), GetParam().mode);
    EXPECT_EQ(fs::is_symlink(path), GetParam().viaLink);
    EXPECT_EQ(filenotices::take().empty(), GetParam().update == ErrorFileUpdate::Merged);
}

using P = fs::perms;
INSTANTIATE_TEST_SUITE_P(
    Keeping, ErrorFileKeeping,
    ::testing::Values(
        KeepCase{"Private600", P::owner_read | P::owner_write, false, ErrorFileUpdate::Merged},
        KeepCase{"ReadOnly444", P::owner_read | P::group_read | P::others_read, false,
                 ErrorFileUpdate::WriteFailed},
        KeepCase{"Symlinked", P::owner_read | P::owner_write | P::group_read, true,
                 ErrorFileUpdate::Merged},
        KeepCase{"SymlinkedReadOnly", P::owner_read, true, ErrorFileUpdate::WriteFailed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ErrorFileUpdates, AFullDiskIsToldAndTheOldFileKept) {
    filefixtures::FullDisk disk(folder_ / "small");
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    const std::string onDisk = (folder_ / "small" / "errors.dat").string();
    ASSERT_TRUE(writeFileAtomically(onDisk, formatErrorFile(validHistory())));
    disk.fill();
    (void)filenotices::take();
    DrillState drill;
    drill.sessionTally[7].piCorrect = 1;
    EXPECT_EQ(updateErrorFile(drill, onDisk), ErrorFileUpdate::WriteFailed);
    EXPECT_EQ(readWholeFile(onDisk), formatErrorFile(validHistory()));
    const std::string notice = filenotices::take();
    EXPECT_NE(notice.find(onDisk), std::string::npos) << notice;
    EXPECT_NE(notice.find(systemReason(ENOSPC)), std::string::npos) << notice;
}

} // namespace
