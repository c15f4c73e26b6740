#include "core/atomicfile.h"
#include "core/filenotices.h"
#include "score/highscores.h"
#include "tests/core/filefixtures.h"
#include "tests/core/localerun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

HighScoreEntry entry(int32_t score, int32_t correct = 20, int32_t incorrect = 5, float time = 4.8f,
                     double date = 46363) {
    return HighScoreEntry{date, correct, incorrect, time, score};
}

std::string fixture(const char* name) {
    const char* root = std::getenv("TONYX_SOURCE_DIR");
    const fs::path path = fs::path(root ? root : ".") / "tests/score/data" / name;
    const std::optional<std::string> text = readWholeFile(path.string());
    if (!text)
        ADD_FAILURE() << "missing fixture " << path;
    return text.value_or("");
}

// A fresh folder per test, removed afterwards.
class HighScoreFolder : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tonyx-hiscore-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        path_ = (folder_ / kHighScoreFileName).string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
    }
    void store(const std::vector<HighScoreEntry>& table) {
        ASSERT_TRUE(writeFileAtomically(path_, formatHighScoreFile(table)));
    }
    std::vector<HighScoreEntry> stored() const {
        const std::optional<std::string> text = readWholeFile(path_);
        EXPECT_TRUE(text.has_value());
        return parseHighScoreFile(text.value_or(""));
    }

    fs::path folder_;
    std::string path_;
};

// ---- Dates -------------------------------------------------------------

TEST(DayNumber, CountsDaysFromTheLastDaysOf1899) {
    struct Case {
        int y, m, d;
        int64_t day;
    };
    for (const Case c :
         {Case{1899, 12, 30, 0}, Case{1900, 1, 1, 2}, Case{1900, 3, 1, 61},
          Case{1999, 12, 31, 36525}, Case{2000, 2, 29, 36585}, Case{2026, 12, 7, 46363},
          Case{2100, 3, 1, 73110}, Case{1, 1, 1, -693593}, Case{9999, 12, 31, 2958465}})
        EXPECT_EQ(dayNumber(c.y, c.m, c.d), c.day) << c.y << "-" << c.m << "-" << c.d;
}

TEST(DayNumber, ShowsAsMonthDayYearWithTheGivenSeparator) {
    struct Case {
        double date;
        const char* separator;
        const char* text;
    };
    for (const Case c :
         {Case{46363, "/", "12/07/26"}, Case{46363, ".", "12.07.26"}, Case{46363, "-", "12-07-26"},
          Case{2, "/", "01/01/00"}, Case{36585, "/", "02/29/00"}, Case{0, "/", "12/30/99"},
          Case{2958465, "/", "12/31/99"}, Case{1e300, "/", "--/--/--"},
          Case{-1e9, "/", "--/--/--"}})
        EXPECT_EQ(formatDayNumber(c.date, c.separator), c.text) << c.date;
}

TEST(DateSeparator, IsTakenFromTheShortDateFormat) {
    struct Case {
        const char* format;
        const char* separator;
    };
    for (const Case c : {Case{"M/d/yy", "/"}, Case{"dd.MM.yy", "."}, Case{"yyyy. MM. dd.", "."},
                         Case{"dd-MM-yyyy", "-"}, Case{"d MMM yyyy", "/"}, Case{"", "/"},
                         Case{"'le' d/M/yy", "/"}, Case{"'a.m.' d-M-yy", "-"}})
        EXPECT_EQ(dateSeparatorOf(c.format), c.separator) << c.format;
}

// ---- The file ------------------------------------------------------------

TEST(HighScoreFile, EachRecordIsIntroducedByCrLfWithNoneAfterTheLast) {
    const std::vector<HighScoreEntry> table = {entry(1706), entry(1151, 12, 9, 6.25f)};
    EXPECT_EQ(formatHighScoreFile(table), "\r\n46363 20 5 4.8 1706\r\n46363 12 9 6.25 1151");
    EXPECT_EQ(formatHighScoreFile({}), "");
}

TEST(HighScoreFile, WritesDatesAndTimesInGeneralNotation) {
    struct Case {
        HighScoreEntry e;
        const char* text;
    };
    for (const Case& c :
         {Case{entry(900, 30, 0, 100.0f / 30.0f), "\r\n46363 30 0 3.33333 900"},
          Case{entry(-7, 1, 2, 1234567.0f, 2958465), "\r\n2.95846e+06 1 2 1.23457e+06 -7"},
          Case{entry(5, 1, 2, 0.00001f, 0), "\r\n0 1 2 1e-05 5"}})
        EXPECT_EQ(formatHighScoreFile({c.e}), c.text);
}

TEST(HighScoreFile, ReadsBackExactlyWhatWasWritten) {
    std::vector<HighScoreEntry> table;
    for (int i = 0; i < kHighScoreFileEntries; ++i)
        table.push_back(
            entry(5000 - 37 * i, 10 + i, i % 5, 2.5f + static_cast<float>(i) / 8.0f, 46000 + i));
    EXPECT_EQ(parseHighScoreFile(formatHighScoreFile(table)), table);
}

TEST(HighScoreFile, ReadingStopsWithoutAPhantomEntry) {
    const HighScoreEntry first = entry(1706);
    const HighScoreEntry second = entry(1151, 12, 9, 6.25f);
    struct Case {
        const char* file;
        std::vector<HighScoreEntry> table;
    };
    for (const Case& c : {Case{"empty.dat", {}}, Case{"trailing_whitespace.dat", {first, second}},
                          Case{"truncated_record.dat", {first}},
                          Case{"malformed_field.dat", {first, entry(3353, 10, 0, 3.0f, 46000)}},
                          Case{"any_white_space.dat", {first, second}}})
        EXPECT_EQ(parseHighScoreFile(fixture(c.file)), c.table) << c.file;
}

TEST(HighScoreFile, RejectsFieldsNoTableHolds) {
    for (const char* text :
         {"\r\n46363 20 5 4.8 1706.5", "\r\n46363 20.0 5 4.8 1706", "\r\nnan 20 5 4.8 1706",
          "\r\n46363 20 5 inf 1706", "\r\n46363 20 5 1e39 1706", "\r\n46363 3000000000 5 4.8 1706",
          "\r\n0x10 20 5 4.8 1706", "\r\n46363 20 5 4.8x 1706"})
        EXPECT_TRUE(parseHighScoreFile(text).empty()) << text;
    EXPECT_EQ(parseHighScoreFile("+46363 +20 -5 +4.8 -1706"), std::vector{entry(-1706, 20, -5)});
}

TEST(HighScoreFile, KeepsTheFirstHundredRecords) {
    const std::vector<HighScoreEntry> table = parseHighScoreFile(fixture("over_100_records.dat"));
    ASSERT_EQ(table.size(), 100u);
    EXPECT_EQ(table.front(), entry(5000, 10, 0, 2.5f, 46000));
    EXPECT_EQ(table.back().date, 46099);
    EXPECT_EQ(table.back().score, 5000 - 10 * 99);
}

// ---- The list --------------------------------------------------------------

TEST(HighScoreLine, FillsTheColumnsOfTheList) {
    struct Case {
        int rank;
        HighScoreEntry e;
        const char* line;
    };
    for (const Case& c :
         {Case{1, entry(1706), " 1. 12/07/26    20    5  80.0%  4.8  1706"},
          Case{101, entry(123, 10, 0, 12.25f, 46000),
               "101. 12/09/25    10    0  100.0%  12.2   123"},
          Case{7, entry(99999, 100, 900, 0.5f), " 7. 12/07/26   100  900  10.0%  0.5 99999"}})
        EXPECT_EQ(formatHighScoreLine(c.rank, c.e, "/"), localerun::localized(c.line));
}

TEST(HighScoreLine, ADamagedEntryStillMakesALine) {
    EXPECT_FALSE(formatHighScoreLine(1, entry(0, 0, 0, 0.0f, 1e300), "/").empty());
}

// ---- Entering a drill ---------------------------------------------------------

TEST(InsertionIndex, PlacesTiesBelowEqualScores) {
    const std::vector<HighScoreEntry> table = {entry(2000), entry(1706), entry(1706), entry(1500)};
    struct Case {
        int32_t score;
        size_t index;
    };
    for (const Case c :
         {Case{2500, 0}, Case{2000, 1}, Case{1706, 3}, Case{1600, 3}, Case{1500, 4}, Case{10, 4}})
        EXPECT_EQ(insertionIndex(table, c.score), c.index) << c.score;
    EXPECT_EQ(insertionIndex({}, 5), 0u);
}

TEST_F(HighScoreFolder, FirstEligibleDrillStartsTheFileAndLeavesTheListEmpty) {
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1706), true, "/");
    EXPECT_TRUE(u.lines.empty());
    EXPECT_EQ(u.selectedLine, -1);
    EXPECT_FALSE(u.filterNotice);
    EXPECT_TRUE(u.recorded);
    EXPECT_TRUE(u.written);
    EXPECT_EQ(readWholeFile(path_), "\r\n46363 20 5 4.8 1706");
}

TEST_F(HighScoreFolder, FirstFilteredDrillIsNotRecorded) {
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1706), false, "/");
    EXPECT_TRUE(u.lines.empty());
    EXPECT_TRUE(u.filterNotice);
    EXPECT_FALSE(u.recorded);
    EXPECT_FALSE(fileExists(path_));
}

TEST_F(HighScoreFolder, NewBestIsRankOneAndSelected) {
    store({entry(2000), entry(1500)});
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(2500, 30, 1, 3.2f), true, "/");
    ASSERT_EQ(u.lines.size(), 3u);
    EXPECT_EQ(u.selectedLine, 0);
    EXPECT_EQ(u.lines[0], localerun::localized(" 1. 12/07/26    30    1  96.8%  3.2  2500"));
    EXPECT_EQ(u.lines[1].substr(0, 4), " 2. ");
    EXPECT_EQ(stored(), (std::vector{entry(2500, 30, 1, 3.2f), entry(2000), entry(1500)}));
}

TEST_F(HighScoreFolder, EqualScoreGoesBelowTheLastEqualEntry) {
    store({entry(2000), entry(1706, 11), entry(1706, 12), entry(1500)});
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1706, 13), true, "/");
    EXPECT_EQ(u.selectedLine, 3);
    EXPECT_EQ(stored(), (std::vector{entry(2000), entry(1706, 11), entry(1706, 12), entry(1706, 13),
                                     entry(1500)}));
}

TEST_F(HighScoreFolder, LowScoreOnAFullTableIsShownAsLine101ButNotStored) {
    std::vector<HighScoreEntry> full;
    for (int i = 0; i < kHighScoreFileEntries; ++i)
        full.push_back(entry(3000 - i));
    store(full);
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(100, 10, 9), true, "/");
    ASSERT_EQ(u.lines.size(), 101u);
    EXPECT_EQ(u.selectedLine, 100);
    EXPECT_EQ(u.lines[100].substr(0, 4), "101.");
    EXPECT_FALSE(u.recorded);
    EXPECT_EQ(stored(), full);
}

TEST_F(HighScoreFolder, GoodScoreOnAFullTablePushesTheLastOneOut) {
    std::vector<HighScoreEntry> full;
    for (int i = 0; i < kHighScoreFileEntries; ++i)
        full.push_back(entry(3000 - i));
    store(full);
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(2950, 40), true, "/");
    EXPECT_EQ(u.lines.size(), 101u);
    EXPECT_EQ(u.selectedLine, 51);
    EXPECT_TRUE(u.recorded);
    const std::vector<HighScoreEntry> now = stored();
    ASSERT_EQ(now.size(), 100u);
    EXPECT_EQ(now[51], entry(2950, 40));
    EXPECT_EQ(now.back(), full[98]);
}

TEST_F(HighScoreFolder, FilteredDrillLeavesTheTableAsItWasWithTheFirstLineSelected) {
    const std::vector<HighScoreEntry> table = {entry(2000), entry(1500)};
    store(table);
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(9999), false, "/");
    EXPECT_TRUE(u.filterNotice);
    EXPECT_FALSE(u.recorded);
    ASSERT_EQ(u.lines.size(), 2u);
    EXPECT_EQ(u.selectedLine, 0);
    EXPECT_TRUE(u.written);
    EXPECT_EQ(stored(), table);
}

TEST_F(HighScoreFolder, FilteredDrillOnAnEmptyFileSelectsNothing) {
    ASSERT_TRUE(writeFileAtomically(path_, ""));
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(9999), false, "/");
    EXPECT_TRUE(u.lines.empty());
    EXPECT_EQ(u.selectedLine, -1);
}

TEST_F(HighScoreFolder, DamagedFileIsRewrittenWithTheRecordsThatCouldBeRead) {
    ASSERT_TRUE(writeFileAtomically(path_, fixture("truncated_record.dat")));
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1800), true, "/");
    EXPECT_EQ(u.lines.size(), 2u);
    EXPECT_EQ(readWholeFile(path_), "\r\n46363 20 5 4.8 1800\r\n46363 20 5 4.8 1706");
}

TEST_F(HighScoreFolder, UnreadableFileIsNeitherReadNorOverwritten) {
    // A folder in the file's place cannot be read even by root.
    fs::create_directory(path_);
    fs::path inside = fs::path(path_) / "keep";
    std::ofstream(inside) << "x";
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1706), true, "/");
    ASSERT_EQ(u.lines.size(), 1u);
    EXPECT_EQ(u.selectedLine, 0);
    EXPECT_FALSE(u.written);
    EXPECT_FALSE(u.recorded);
    EXPECT_TRUE(fs::is_directory(path_));
    EXPECT_TRUE(fs::exists(inside));
}

TEST_F(HighScoreFolder, FileWithoutPermissionsIsNotOverwritten) {
    store({entry(2000)});
    fs::permissions(path_, fs::perms::none);
    // Root may read it, but no write permission means it stays as it is.
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1706), true, "/");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(u.written);
    EXPECT_EQ(stored().size(), 1u);
    EXPECT_FALSE(filenotices::take().empty());
}

TEST_F(HighScoreFolder, TableIsShownWhenTheFileCannotBeWritten) {
    store({entry(2000)});
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    const bool folderWritable = writeFileAtomically((folder_ / "probe").string(), "x");
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1706), true, "/");
    fs::permissions(folder_, fs::perms::owner_all);
    EXPECT_EQ(u.lines.size(), 2u);
    EXPECT_EQ(u.selectedLine, 1);
    EXPECT_EQ(u.written, folderWritable);
}

// ---- Files the user keeps ------------------------------------------------------

TEST(HighScoreFile, ReadsWhatEveryRecordItCanAndCountsTheRest) {
    struct Case {
        const char* file;
        std::vector<HighScoreEntry> table;
        int damaged;
    };
    for (const Case& c :
         {Case{"decimal_comma.dat",
               {entry(1706), entry(1500, 30, 0, 0.777778f), entry(1151, 12, 9, 6.25f)},
               0},
          Case{"damaged_tokens.dat", {entry(1706), entry(1151, 12, 9, 6.25f)}, 3},
          Case{"malformed_field.dat", {entry(1706), entry(3353, 10, 0, 3.0f, 46000)}, 1}}) {
        int damaged = -1;
        EXPECT_EQ(parseHighScoreFile(fixture(c.file), &damaged), c.table) << c.file;
        EXPECT_EQ(damaged, c.damaged) << c.file;
    }
}

TEST_F(HighScoreFolder, ATableWrittenWithDecimalCommasComesBackWithPoints) {
    ASSERT_TRUE(writeFileAtomically(path_, fixture("decimal_comma.dat")));
    (void)filenotices::take();
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1600), true, "/");
    EXPECT_TRUE(u.written);
    EXPECT_EQ(readWholeFile(path_), "\r\n46363 20 5 4.8 1706\r\n46363 20 5 4.8 1600"
                                    "\r\n46363 30 0 0.777778 1500\r\n46363 12 9 6.25 1151");
    EXPECT_FALSE(fs::exists(path_ + ".damaged")) << "a comma is no damage";
    EXPECT_EQ(filenotices::take(), "");
}

TEST_F(HighScoreFolder, DamagedRecordsAreKeptInACopyOnceAndTheRestStays) {
    const std::string damaged = fixture("damaged_tokens.dat");
    ASSERT_TRUE(writeFileAtomically(path_, damaged));
    (void)filenotices::take();
    HighScoreUpdate u = updateHighScoreFile(path_, entry(1600), true, "/");
    EXPECT_TRUE(u.recorded);
    EXPECT_EQ(stored(), (std::vector{entry(1706), entry(1600), entry(1151, 12, 9, 6.25f)}));
    EXPECT_EQ(readWholeFile(path_ + ".damaged"), damaged);
    const std::string notice = filenotices::take();
    EXPECT_NE(notice.find(fs::absolute(path_).string() + ".damaged"), std::string::npos) << notice;
    u = updateHighScoreFile(path_, entry(1600), true, "/");
    EXPECT_EQ(filenotices::take(), "") << "the file is whole again";
}

using filefixtures::Odd;

class HighScoreOdd : public HighScoreFolder, public ::testing::WithParamInterface<Odd> {};

TEST_P(HighScoreOdd, IsLeftAsItIsAndTheDrillNotShownAsStored) {
    filefixtures::make(GetParam(), path_);
    (void)filenotices::take();
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1706), true, "/");
    EXPECT_FALSE(u.written);
    EXPECT_FALSE(u.recorded);
    EXPECT_EQ(u.lines.size(), 1u);
    EXPECT_EQ(u.unsavedLine, 0);
    EXPECT_EQ(fs::symlink_status(path_).type(),
              GetParam() == Odd::DevZeroLink ? fs::file_type::symlink
              : GetParam() == Odd::Fifo      ? fs::file_type::fifo
              : GetParam() == Odd::Folder    ? fs::file_type::directory
                                             : fs::file_type::regular);
    const std::string notice = filenotices::take();
    EXPECT_NE(notice.find(fs::absolute(path_).string()), std::string::npos) << notice;
}

INSTANTIATE_TEST_SUITE_P(Odd, HighScoreOdd,
                         ::testing::Values(Odd::Fifo, Odd::DevZeroLink, Odd::Folder, Odd::Oversize),
                         [](const auto& info) {
                             return std::string(filefixtures::nameOf(info.param));
                         });

struct KeepCase {
    const char* name;
    fs::perms mode;
    bool viaLink;
    bool written;
};

class HighScoreKeeping : public HighScoreFolder, public ::testing::WithParamInterface<KeepCase> {};

TEST_P(HighScoreKeeping, ModeAndLinkAreKept) {
    const fs::path synced = folder_ / "synced";
    fs::create_directories(synced);
    const fs::path file = GetParam().viaLink ? synced / kHighScoreFileName : fs::path(path_);
    filefixtures::writeText(file, formatHighScoreFile({entry(2000)}));
    fs::permissions(file, GetParam().mode);
    if (GetParam().viaLink)
        fs::create_symlink(fs::path("synced") / kHighScoreFileName, path_);
    (void)filenotices::take();
    const HighScoreUpdate u = updateHighScoreFile(path_, entry(1706), true, "/");
    EXPECT_EQ(u.written, GetParam().written);
    EXPECT_EQ(u.recorded, GetParam().written);
    EXPECT_EQ(u.unsavedLine, GetParam().written ? -1 : 1);
    EXPECT_EQ(stored().size(), GetParam().written ? 2u : 1u);
    EXPECT_EQ(fs::status(file).permissions(), GetParam().mode);
    EXPECT_EQ(fs::is_symlink(path_), GetParam().viaLink);
    EXPECT_EQ(filenotices::take().empty(), GetParam().written);
}

using P = fs::perms;
INSTANTIATE_TEST_SUITE_P(
    Keeping, HighScoreKeeping,
    ::testing::Values(
        KeepCase{"Private600", P::owner_read | P::owner_write, false, true},
        KeepCase{"ReadOnly444", P::owner_read | P::group_read | P::others_read, false, false},
        KeepCase{"Symlinked", P::owner_read | P::owner_write | P::group_read, true, true},
        KeepCase{"SymlinkedReadOnly", P::owner_read, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HighScoreFolder, AFullDiskIsToldAndTheOldTableKept) {
    filefixtures::FullDisk disk(folder_ / "small");
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    const std::string onDisk = (folder_ / "small" / kHighScoreFileName).string();
    ASSERT_TRUE(writeFileAtomically(onDisk, formatHighScoreFile({entry(2000)})));
    disk.fill();
    (void)filenotices::take();
    const HighScoreUpdate u = updateHighScoreFile(onDisk, entry(1706), true, "/");
    EXPECT_FALSE(u.written);
    EXPECT_FALSE(u.recorded);
    EXPECT_EQ(u.unsavedLine, 1);
    EXPECT_EQ(readWholeFile(onDisk), formatHighScoreFile({entry(2000)}));
    const std::string notice = filenotices::take();
    EXPECT_NE(notice.find(onDisk), std::string::npos) << notice;
    EXPECT_NE(notice.find(systemReason(ENOSPC)), std::string::npos) << notice;
}

} // namespace
