// Feeds arbitrary bytes to the "hiscore.dat" reader, checks that what it
// read survives a rewrite, and makes the score window's list line of every
// entry read.
#include "score/highscores.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int damaged = -1;
    const std::vector<HighScoreEntry> table = parseHighScoreFile(text, &damaged);
    if (table.size() > static_cast<size_t>(kHighScoreFileEntries) || damaged < 0)
        std::abort();

    // What was read is written with six significant digits: read back, it
    // reads whole, as many records, and then stays the same.
    const std::string written = formatHighScoreFile(table);
    int again = -1;
    const std::vector<HighScoreEntry> reread = parseHighScoreFile(written, &again);
    if (again != 0 || reread.size() != table.size() || formatHighScoreFile(reread) != written)
        std::abort();

    for (size_t i = 0; i < table.size(); ++i) {
        const std::string line = formatHighScoreLine(static_cast<int>(i) + 1, table[i], "/");
        if (line.empty())
            std::abort();
        (void)insertionIndex(table, table[i].score);
    }
    return 0;
}
