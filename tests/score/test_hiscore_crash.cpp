#include "core/atomicfile.h"
#include "score/highscores.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path rewriterProgram() {
    return fs::read_symlink("/proc/self/exe").parent_path() / "hiscore_rewriter";
}

// Starts the rewriter on `folder`; its standard output is a pipe whose read
// end is returned in `progress`.
pid_t startRewriter(const fs::path& folder, unsigned seed, int& progress) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string program = rewriterProgram().string();
    const std::string folderArg = folder.string();
    const std::string seedArg = std::to_string(seed);
    char* args[] = {const_cast<char*>(program.c_str()), const_cast<char*>(folderArg.c_str()),
                    const_cast<char*>(seedArg.c_str()), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, args, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    progress = fds[0];
    return pid;
}

TEST(HighScoreCrash, AKilledRewriteLeavesAWholeTable) {
    char pattern[] = "/tmp/tonyx-crash-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    const std::string path = (folder / kHighScoreFileName).string();

    std::vector<HighScoreEntry> full;
    for (int i = 0; i < kHighScoreFileEntries; ++i)
        full.push_back(HighScoreEntry{46000.0 + i, 10 + i, i % 3, 3.5f, 6000 - 50 * i});
    ASSERT_TRUE(writeFileAtomically(path, formatHighScoreFile(full)));

    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> rewritesBeforeKill(1, 8);
    std::uniform_int_distribution<int> extraMicroseconds(0, 3000);
    constexpr int kKills = 30;
    for (int kill = 0; kill < kKills; ++kill) {
        int progress = -1;
        const pid_t child = startRewriter(folder, random(), progress);
        ASSERT_GT(child, 0) << "cannot start " << rewriterProgram();
        // Let it finish some rewrites, then kill it somewhere in the next ones.
        const int wanted = rewritesBeforeKill(random);
        char byte;
        for (int done = 0; done < wanted && ::read(progress, &byte, 1) == 1; ++done) {
        }
        ::usleep(static_cast<useconds_t>(extraMicroseconds(random)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(progress);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the rewriter stopped by itself";

        const std::optional<std::string> text = readWholeFile(path);
        ASSERT_TRUE(text.has_value()) << "after kill " << kill;
        const std::vector<HighScoreEntry> table = parseHighScoreFile(*text);
        ASSERT_EQ(table.size(), 100u) << "after kill " << kill;
        ASSERT_EQ(formatHighScoreFile(table), *text) << "after kill " << kill;
        for (size_t i = 1; i < table.size(); ++i)
            ASSERT_GE(table[i - 1].score, table[i].score) << "after kill " << kill;
    }
    fs::remove_all(folder);
}

} // namespace
