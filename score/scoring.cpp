#include "score/scoring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// Truncates toward zero into int32, holding values outside the range at its
// ends instead of overflowing.
int32_t truncateToInt32(long double value) {
    if (std::isnan(value))
        return 0;
    constexpr long double lo = std::numeric_limits<int32_t>::min();
    constexpr long double hi = std::numeric_limits<int32_t>::max();
    if (value <= lo)
        return std::numeric_limits<int32_t>::min();
    if (value >= hi)
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

} // namespace

ScoreResult computeScore(int32_t correct, int32_t incorrect, int64_t elapsedMilliseconds) {
    ScoreResult r;
    r.correct = correct;
    r.incorrect = incorrect;
    const int64_t seconds = elapsedMilliseconds / 1000;
    r.elapsedSeconds =
        static_cast<int32_t>(std::clamp<int64_t>(seconds, 1, std::numeric_limits<int32_t>::max()));
    const int32_t divisor = correct > 0 ? correct : 1;
    r.timePerInterval = static_cast<float>(static_cast<double>(r.elapsedSeconds) / divisor);
    const float tenThousand = 10000.0f;
    r.timePoints = truncateToInt32(static_cast<long double>(tenThousand) /
                                   static_cast<long double>(r.timePerInterval));
    const int64_t answers = static_cast<int64_t>(correct) + incorrect;
    r.correctFraction =
        answers > 0
            ? static_cast<float>(static_cast<double>(correct) / static_cast<double>(answers))
            : 0.0f;
    r.score = truncateToInt32(static_cast<long double>(r.timePoints) *
                                  static_cast<long double>(r.correctFraction) +
                              2.0L * static_cast<long double>(correct));
    return r;
}

std::string formatTimePerInterval(float timePerInterval) {
    char text[64];
    std::snprintf(text, sizeof text, "%3.1f", static_cast<double>(timePerInterval));
    return text;
}

std::string formatPercentage(float correctFraction) {
    char text[64];
    std::snprintf(text, sizeof text, "%3.1Lf%%",
                  static_cast<long double>(correctFraction) * 100.0L);
    return text;
}

bool eligibleForHighScores(const bool (&allowed)[25]) {
    for (int interval = 1; interval <= 12; ++interval)
        if (!allowed[interval])
            return false;
    return true;
}
