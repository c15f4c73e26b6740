// Enters drills into the high-score table in the given folder without end,
// writing one byte to standard output after each rewrite, until killed.
#include "score/highscores.h"

#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string path = std::string(argv[1]) + "/" + kHighScoreFileName;
    std::mt19937 random(static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)));
    std::uniform_int_distribution<int32_t> scores(0, 6000);
    for (;;) {
        const HighScoreEntry drill{46363, 20, 5, 4.8f, scores(random)};
        (void)updateHighScoreFile(path, drill, true, "/");
        if (::write(STDOUT_FILENO, "w", 1) != 1)
            return 1;
    }
}
