// Whole-file rewrites: exact bytes, the old file kept when a write cannot
// be done, and the leftovers of a write cut short cleaned up later. The
// guarded read of odd files, and rewrites that keep modes, owners and links.

#include "core/atomicfile.h"
#include "tests/core/filefixtures.h"
#include "tests/core/localerun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
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

// ---- Guarded reading --------------------------------------------------------

using filefixtures::Odd;

class GuardedRead : public AtomicFile, public ::testing::WithParamInterface<Odd> {};

TEST_P(GuardedRead, OddFilesAreRefusedAtOnce) {
    filefixtures::make(GetParam(), path_);
    const auto start = std::chrono::steady_clock::now();
    const FileContents read = readFileGuarded(path_);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
        << "never waits on the file";
    EXPECT_EQ(read.status,
              GetParam() == Odd::Oversize ? FileReadStatus::TooLarge : FileReadStatus::NotAFile);
    EXPECT_TRUE(read.data.empty());
    EXPECT_FALSE(unreadableReason(read).empty());
    EXPECT_EQ(readWholeFile(path_), std::nullopt);
    EXPECT_TRUE(fileExists(path_));
}

INSTANTIATE_TEST_SUITE_P(Odd, GuardedRead,
                         ::testing::Values(Odd::Fifo, Odd::DevZeroLink, Odd::Folder, Odd::Oversize),
                         [](const auto& info) {
                             return std::string(filefixtures::nameOf(info.param));
                         });

TEST_F(AtomicFile, GuardedReadTakesPlainFilesAndLinksToThemUpToTheLimit) {
    EXPECT_EQ(readFileGuarded(path_).status, FileReadStatus::Missing);
    const std::string text(1000, 'x');
    filefixtures::writeText(path_, text);
    EXPECT_EQ(readFileGuarded(path_, 1000).data, text) << "the limit itself is allowed";
    EXPECT_EQ(readFileGuarded(path_, 999).status, FileReadStatus::TooLarge);
    const fs::path link = folder_ / "link.dat";
    fs::create_symlink("table.dat", link);
    EXPECT_EQ(readFileGuarded(link.string()).data, text);
}

// ---- Guarded rewriting -------------------------------------------------------

struct RewriteCase {
    const char* name;
    fs::perms mode;
    bool replaced;
};

class RewriteModes : public AtomicFile, public ::testing::WithParamInterface<RewriteCase> {};

TEST_P(RewriteModes, KeepsTheModeOrLeavesAReadOnlyFile) {
    filefixtures::writeText(path_, "old");
    fs::permissions(path_, GetParam().mode);
    const FileWrite written = rewriteFile(path_, "new");
    EXPECT_EQ(written.ok, GetParam().replaced) << written.reason;
    EXPECT_EQ(filefixtures::readText(path_), GetParam().replaced ? "new" : "old");
    EXPECT_EQ(fs::status(path_).permissions(), GetParam().mode);
    EXPECT_EQ(written.reason.empty(), GetParam().replaced);
    EXPECT_EQ(filesInFolder(), 1u);
}

using P = fs::perms;
INSTANTIATE_TEST_SUITE_P(
    Modes, RewriteModes,
    ::testing::Values(RewriteCase{"Private600", P::owner_read | P::owner_write, true},
                      RewriteCase{"Shared664",
                                  P::owner_read | P::owner_write | P::group_read | P::group_write |
                                      P::others_read,
                                  true},
                      RewriteCase{"ReadOnly444", P::owner_read | P::group_read | P::others_read,
                                  false},
                      RewriteCase{"NoPermissions000", P::none, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AtomicFile, NewFileGetsTheUsualModeAndARewriteKeepsTheOwner) {
    ASSERT_TRUE(writeFileAtomically(path_, "new"));
    const mode_t mask = ::umask(022);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user to check its owner is kept";
    ASSERT_EQ(::chown(path_.c_str(), 4321, 4322), 0);
    ASSERT_TRUE(writeFileAtomically(path_, "newer"));
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
}

struct LinkCase {
    const char* name;
    const char* link;               // as stored in the link; "" for the absolute path
    std::vector<const char*> chain; // further links: name, then where it leads
    bool targetExists;
};

class RewriteLinks : public AtomicFile, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(RewriteLinks, TheTargetIsReplacedInItsFolderAndTheLinkStays) {
    // The target lives in a folder of its own, as in a synced folder.
    const fs::path synced = folder_ / "synced";
    fs::create_directories(synced);
    const fs::path target = synced / "table.dat";
    if (GetParam().targetExists) {
        filefixtures::writeText(target, "old");
        fs::permissions(target, P::owner_read | P::owner_write);
    }
    const fs::path link = *GetParam().link ? fs::path(GetParam().link) : target;
    fs::create_symlink(link, path_);
    for (size_t i = 0; i + 1 < GetParam().chain.size(); i += 2)
        fs::create_symlink(GetParam().chain[i + 1], folder_ / GetParam().chain[i]);

    ASSERT_TRUE(writeFileAtomically(path_, "new"));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(fs::read_symlink(path_), link);
    EXPECT_EQ(filefixtures::readText(target), "new");
    EXPECT_EQ(fs::canonical(followLinks(path_)), fs::canonical(target));
    if (GetParam().targetExists) {
        EXPECT_EQ(fs::status(target).permissions(), P::owner_read | P::owner_write);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(synced), {}), 1) << "no temporary left";
}

INSTANTIATE_TEST_SUITE_P(Links, RewriteLinks,
                         ::testing::Values(LinkCase{"Relative", "synced/table.dat", {}, true},
                                           LinkCase{"Absolute", "", {}, true},
                                           LinkCase{
                                               "Chain", "hop", {"hop", "synced/table.dat"}, true},
                                           LinkCase{"Dangling", "synced/table.dat", {}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AtomicFile, NothingButARegularFileIsReplaced) {
    filefixtures::make(Odd::Fifo, path_);
    const FileWrite written = rewriteFile(path_, "new");
    EXPECT_FALSE(written.ok);
    EXPECT_NE(written.reason.find("regular"), std::string::npos) << written.reason;
    EXPECT_TRUE(fs::is_fifo(path_));
}

TEST_F(AtomicFile, AFullDiskFailsWithTheSystemsReasonAndKeepsTheOldFile) {
    const fs::path mount = folder_ / "small";
    filefixtures::FullDisk disk(mount);
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    const std::string path = (mount / "table.dat").string();
    ASSERT_TRUE(writeFileAtomically(path, "old"));
    disk.fill();
    const FileWrite written = rewriteFile(path, std::string(8192, 'n'));
    EXPECT_FALSE(written.ok);
    EXPECT_EQ(written.reason, systemReason(ENOSPC));
    EXPECT_EQ(filefixtures::readText(path), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(mount), {}), 2) << "no temporary left";
}

} // namespace
