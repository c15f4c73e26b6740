#include "app/drillstate.h"
#include "core/atomicfile.h"
#include "errors/errorfile.h"
#include "tests/core/localerun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace errors;

namespace {

// Each merge adds 1 to every counter, so a whole file holds one value
// everywhere, and that value never goes down from one look to the next.
void fillOnes(DrillState& drill) {
    for (auto& row : drill.sessionTally)
        for (int i = 0; i < IntervalTally::kCounters; ++i)
            row.counter(i) = 1;
}

// Tells the parent through `ready` when the first merge begins, then after
// each merge that has finished.
[[noreturn]] void mergeForever(const std::string& path, int ready) {
    DrillState drill;
    fillOnes(drill);
    const char go = 1;
    (void)!::write(ready, &go, 1);
    for (;;) {
        (void)updateErrorFile(drill, path);
        (void)!::write(ready, &go, 1);
    }
}

// How long one merge takes here, so that kill points spread over a few merges
// whatever the speed of the disk.
std::chrono::microseconds mergeDuration(const std::string& path) {
    DrillState drill;
    fillOnes(drill);
    const auto start = std::chrono::steady_clock::now();
    constexpr int kRounds = 5;
    for (int i = 0; i < kRounds; ++i)
        (void)updateErrorFile(drill, path);
    fs::remove(followLinks(path)); // a link stays, its target goes
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start) /
           kRounds;
}

// The writer is killed while it rewrites a plain file, and while it
// follows a symbolic link to a file in another folder (a synced one, say).
class ErrorFileCrash : public ::testing::TestWithParam<bool> {};

TEST_P(ErrorFileCrash, KilledRewriteLeavesOldOrNewFileWhole) {
    const bool viaLink = GetParam();
    const fs::path folder =
        fs::temp_directory_path() /
        ("tonyx-errors-crash-" + std::to_string(::getpid()) + (viaLink ? "-link" : ""));
    fs::remove_all(folder);
    fs::create_directories(folder / "synced");
    const std::string path = (folder / "errors.dat").string();
    if (viaLink)
        fs::create_symlink("synced/errors.dat", path);

    const auto merge = mergeDuration(path);
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> delayMicroseconds(0, 3 * std::max<long>(merge.count(), 50));
    int32_t last = 0;
    int changes = 0;
    constexpr int kKills = 200;
    for (int kill = 0; kill < kKills; ++kill) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            mergeForever(path, ready[1]);
        ::close(ready[1]);
        // Wait for the start and one finished merge, whatever the machine's
        // load, then kill the writer somewhere in the merges that follow.
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(ready[0]);
        ASSERT_TRUE(WIFSIGNALED(status));

        ASSERT_EQ(fs::is_symlink(path), viaLink) << "after kill " << kill;
        ASSERT_TRUE(fileExists(path)) << "after kill " << kill;
        const auto data = readWholeFile(path);
        ASSERT_TRUE(data);
        TallyTable rows{};
        ASSERT_EQ(parseErrorFile(*data, rows), kErrorFileNumbers) << "after kill " << kill;
        ASSERT_EQ(*data, formatErrorFile(rows)) << "after kill " << kill;
        const int32_t value = rows[0].piCorrect;
        for (const auto& row : rows)
            for (int i = 0; i < IntervalTally::kCounters; ++i)
                ASSERT_EQ(row.counter(i), value) << "after kill " << kill;
        ASSERT_GE(value, last);
        changes += value != last;
        last = value;
    }
    // Each writer finished a merge before it was killed, so each one counted.
    EXPECT_EQ(changes, kKills);
    EXPECT_GT(last, 0);
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(Files, ErrorFileCrash, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "ThroughASymlink" : "Plain");
                         });

} // namespace
