#include "core/atomicfile.h"
#include "stats/drilllog.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace stats;

namespace {

// 2026-12-08 21:04:05 UTC
constexpr int64_t kEvening = 1796763845;

DrillRecord record(int32_t score, int32_t offset = 3600) {
    DrillRecord r;
    r.utcSeconds = kEvening;
    r.offsetSeconds = offset;
    r.identifyMode = 1;
    r.presentation = 0;
    r.allowed = "1-12";
    r.right = 20;
    r.wrong = 5;
    r.seconds = 96;
    r.score = score;
    r.eligible = true;
    return r;
}

class DrillLogFile : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tonyx-drilllog-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        path_ = (folder_ / "drills.csv").string();
    }
    void TearDown() override { fs::remove_all(folder_); }
    [[nodiscard]] std::string contents() const { return readWholeFile(path_).value_or("<none>"); }

    fs::path folder_;
    std::string path_;
};

struct LineCase {
    DrillRecord record;
    const char* line;
};

TEST(DrillLine, RecordsAreWrittenAsExactLinesAndReadBackTheSame) {
    DrillRecord figure = record(1151, -5 * 3600);
    figure.identifyMode = 0;
    figure.presentation = 1;
    figure.allowed = "1 3 5-7 13-24";
    figure.eligible = false;
    DrillRecord classes = record(0, 5 * 3600 + 30 * 60);
    classes.identifyMode = 2;
    classes.allowed = "none";
    classes.right = 10;
    classes.wrong = 0;
    classes.seconds = 0;
    const LineCase cases[] = {
        {record(1706), "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1706,yes\r\n"},
        // the local day before the UTC day, and a negative offset
        {figure,
         "2026-12-08T16:04:05-05:00,pitch interval,figure,1 3 5-7 13-24,20,5,96,1151,no\r\n"},
        // after midnight locally: the next day
        {classes, "2026-12-09T02:34:05+05:30,interval class,chord,none,10,0,0,0,yes\r\n"},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(formatDrillLine(c.record), c.line);
        std::string_view line(c.line);
        line.remove_suffix(2);
        DrillRecord back;
        ASSERT_TRUE(parseDrillLine(line, back)) << c.line;
        EXPECT_EQ(back, c.record) << c.line;
    }
    EXPECT_EQ(record(0, 3600).localDay(), 20795);       // 2026-12-08
    EXPECT_EQ(classes.localDay(), 20796);               // 2026-12-09
    EXPECT_EQ(record(0, -23 * 3600).localDay(), 20794); // 2026-12-07
}

TEST(DrillLine, AllowedIntervalsAreListedAsRuns) {
    struct Case {
        std::vector<int> on;
        const char* text;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, "1-12"},
        {{}, "none"},
        {{0}, "none"}, // size 0 is never asked
        {{3}, "3"},
        {{1, 2, 4, 6, 7, 8, 24}, "1-2 4 6-8 24"},
    };
    for (const Case& c : cases) {
        bool allowed[25] = {};
        for (int v : c.on)
            allowed[v] = true;
        EXPECT_EQ(allowedText(allowed), c.text);
    }
}

TEST(DrillLine, DamagedLinesAreNotRecords) {
    const char* bad[] = {
        "",
        "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1706",       // field missing
        "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1706,yes,x", // field more
        "2026-12-08 22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1706,yes",   // no T
        "2026-13-08T22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1706,yes",   // month 13
        "2026-12-08T22:04:05,mod 12 interval,chord,1-12,20,5,96,1706,yes",         // no offset
        "2026-12-08T22:04:05+01:00,mod 13 interval,chord,1-12,20,5,96,1706,yes",
        "2026-12-08T22:04:05+01:00,mod 12 interval,arpeggio,1-12,20,5,96,1706,yes",
        "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1;12,20,5,96,1706,yes",
        "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,2x,5,96,1706,yes",
        "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,-1,5,96,1706,yes",
        "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,99999999999,yes",
        "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1706,ye",
        "\x01\xff,,,,,,,,",
    };
    for (const char* line : bad) {
        DrillRecord r;
        EXPECT_FALSE(parseDrillLine(line, r)) << line;
    }
}

TEST_F(DrillLogFile, TheFirstAppendWritesTheHeaderThenEachDrillOneLine) {
    ASSERT_TRUE(appendDrill(path_, record(1706)));
    ASSERT_TRUE(appendDrill(path_, record(1800)));
    EXPECT_EQ(contents(),
              std::string(kDrillLogHeader) + "\r\n" +
                  "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1706,yes\r\n"
                  "2026-12-08T22:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1800,yes\r\n");
    const DrillLog log = readDrillLog(path_);
    ASSERT_EQ(log.drills.size(), 2u);
    EXPECT_EQ(log.drills[1], record(1800));
    EXPECT_EQ(log.skippedLines, 0);
    EXPECT_FALSE(log.missing);
}

TEST_F(DrillLogFile, DamagedAndCutShortLinesAreSkippedAndTheRestKept) {
    const std::string good1 = formatDrillLine(record(1));
    const std::string good2 = formatDrillLine(record(2));
    const std::string good3 = formatDrillLine(record(3));
    std::ofstream(path_, std::ios::binary)
        << kDrillLogHeader << "\r\n"
        << good1 << "garbage,line\r\n"
        << good2 << "\n"                            // an empty line is no record and no damage
        << good3.substr(0, good3.size() - 2) + "\n" // LF alone reads as well
        << good1.substr(0, 30);                     // a crash cut this one short
    const DrillLog log = readDrillLog(path_);
    ASSERT_EQ(log.drills.size(), 3u);
    EXPECT_EQ(log.drills[0].score, 1);
    EXPECT_EQ(log.drills[1].score, 2);
    EXPECT_EQ(log.drills[2].score, 3);
    EXPECT_EQ(log.skippedLines, 2);
}

TEST_F(DrillLogFile, ALineWithoutItsLineEndIsSkippedEvenWhenItsFieldsAreWhole) {
    const std::string whole = formatDrillLine(record(7));
    std::ofstream(path_, std::ios::binary) << kDrillLogHeader << "\r\n"
                                           << whole.substr(0, whole.size() - 2);
    const DrillLog log = readDrillLog(path_);
    EXPECT_TRUE(log.drills.empty());
    EXPECT_EQ(log.skippedLines, 1);
}

TEST_F(DrillLogFile, AnAppendAfterACutShortLineKeepsTheNewLineWhole) {
    const std::string cut = formatDrillLine(record(1)).substr(0, 40);
    std::ofstream(path_, std::ios::binary) << kDrillLogHeader << "\r\n" << cut;
    ASSERT_TRUE(appendDrill(path_, record(2)));
    EXPECT_EQ(contents(),
              std::string(kDrillLogHeader) + "\r\n" + cut + "\r\n" + formatDrillLine(record(2)));
    const DrillLog log = readDrillLog(path_);
    ASSERT_EQ(log.drills.size(), 1u);
    EXPECT_EQ(log.drills[0].score, 2);
    EXPECT_EQ(log.skippedLines, 1);
}

TEST_F(DrillLogFile, AnEmptyFileGetsTheHeaderAndAMissingOneReadsAsNoDrills) {
    std::ofstream(path_, std::ios::binary).flush();
    ASSERT_TRUE(appendDrill(path_, record(5)));
    EXPECT_EQ(contents(), std::string(kDrillLogHeader) + "\r\n" + formatDrillLine(record(5)));
    const DrillLog none = readDrillLog((folder_ / "absent.csv").string());
    EXPECT_TRUE(none.missing);
    EXPECT_TRUE(none.drills.empty());
}

TEST_F(DrillLogFile, AppendsThatCannotBeMadeFailAndHarmNothing) {
    EXPECT_FALSE(appendDrill((folder_ / "no-folder" / "drills.csv").string(), record(1)));
    fs::create_directories(folder_ / "adir");
    EXPECT_FALSE(appendDrill((folder_ / "adir").string(), record(1)));
    EXPECT_TRUE(readDrillLog((folder_ / "adir").string()).drills.empty());
}

// Writers killed at random moments while they append: every line but the
// one being written when a writer died is whole, and no earlier line is
// ever touched, so each writer's drills read back as an unbroken run.
TEST_F(DrillLogFile, KilledWritersNeverTearAnEarlierLine) {
    std::mt19937 random(4242);
    std::uniform_int_distribution<int> delay(0, 3000);
    constexpr int kWriters = 60;
    for (int writer = 0; writer < kWriters; ++writer) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            const char go = 1;
            (void)!::write(ready[1], &go, 1);
            DrillRecord r = record(0);
            r.right = writer;
            for (int32_t n = 0;; ++n) {
                r.score = n;
                (void)appendDrill(path_, r);
            }
        }
        ::close(ready[1]);
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::close(ready[0]);
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
    }
    const DrillLog log = readDrillLog(path_);
    std::map<int, int32_t> next; // writer -> the score its next drill must have
    for (const DrillRecord& r : log.drills) {
        EXPECT_EQ(r.score, next[r.right]) << "writer " << r.right;
        next[r.right] = r.score + 1;
    }
    // At most one damaged line per writer: the one it was writing.
    EXPECT_LE(log.skippedLines, kWriters);
    EXPECT_GT(log.drills.size(), 0u);
    // The file is whole up to its end once the last writer's line is closed off.
    const std::string data = contents();
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.rfind(kDrillLogHeader, 0), 0u);
}

} // namespace
