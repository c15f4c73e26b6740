// Whole-file rewrites: exact bytes, the old file kept when a write cannot
// be done, and the leftovers of a write cut short cleaned up later.

#include "core/atomicfile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("tonyx-atomic-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        path_ = (folder_ / "table.dat").string();
    }
    void TearDown() override {
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder_);
    }
    void leaveTemporary(const std::string& name, std::chrono::minutes age) {
        const fs::path file = folder_ / name;
        std::ofstream(file) << "half a tab";
        fs::last_write_time(file, fs::file_time_type::clock::now() - age);
    }
    [[nodiscard]] size_t filesInFolder() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }

    fs::path folder_;
    std::string path_;
};

TEST_F(AtomicFile, WritesExactBytesAndReplacesTheOldFileWhole) {
    const std::string first("\r\n46363 20 5 4.8 1706", 21);
    ASSERT_TRUE(writeFileAtomically(path_, first));
    EXPECT_EQ(readWholeFile(path_), first);
    const std::string withNul("a\0b\r\n", 5);
    ASSERT_TRUE(writeFileAtomically(path_, withNul));
    EXPECT_EQ(readWholeFile(path_), withNul);
    ASSERT_TRUE(writeFileAtomically(path_, ""));
    EXPECT_EQ(readWholeFile(path_), "");
    EXPECT_EQ(filesInFolder(), 1u) << "no temporary file stays behind";
}

TEST_F(AtomicFile, MissingFileReadsAsNothing) {
    EXPECT_FALSE(fileExists(path_));
    EXPECT_EQ(readWholeFile(path_), std::nullopt);
    fs::create_directory(path_);
    EXPECT_TRUE(fileExists(path_));
    EXPECT_EQ(readWholeFile(path_), std::nullopt) << "a folder is not a readable file";
}

TEST_F(AtomicFile, AWriteThatCannotBeDoneKeepsTheOldFile) {
    ASSERT_TRUE(writeFileAtomically(path_, "old"));
    // A folder in the way of the rename: the write fails and leaves nothing.
    const std::string blocked = (folder_ / "blocked").string();
    fs::create_directories(fs::path(blocked) / "inside");
    EXPECT_FALSE(writeFileAtomically(blocked, "new"));
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_EQ(readWholeFile(path_), "old");
    EXPECT_EQ(filesInFolder(), 2u);
}

TEST_F(AtomicFile, OldLeftoversOfACutShortWriteAreRemovedYoungOnesKept) {
    leaveTemporary("table.dat.tmp-Ab12Cd", std::chrono::minutes(10));
    leaveTemporary("table.dat.tmp-Zz99yy", std::chrono::minutes(0)); // maybe a writer at work
    leaveTemporary("table.dat.backup", std::chrono::minutes(10));    // the user's own
    leaveTemporary("table.dat.tmp-Ab12Cd7", std::chrono::minutes(10));
    leaveTemporary("other.dat.tmp-Ab12Cd", std::chrono::minutes(10)); // another file's
    ASSERT_TRUE(writeFileAtomically(path_, "new"));
    EXPECT_FALSE(fs::exists(folder_ / "table.dat.tmp-Ab12Cd"));
    EXPECT_TRUE(fs::exists(folder_ / "table.dat.tmp-Zz99yy"));
    EXPECT_TRUE(fs::exists(folder_ / "table.dat.backup"));
    EXPECT_TRUE(fs::exists(folder_ / "table.dat.tmp-Ab12Cd7"));
    EXPECT_TRUE(fs::exists(folder_ / "other.dat.tmp-Ab12Cd"));
    EXPECT_EQ(readWholeFile(path_), "new");
}

} // namespace
