#pragma once

#include <cstdint>
#include <string>

// What a drill scores. Times are whole seconds and every step truncates
// toward zero; the widths (32-bit float for the time per interval and the
// fraction correct, extended precision for the products) are part of the
// result, since they decide on which side of a whole number a score falls.
struct ScoreResult {
    int32_t correct = 0;
    int32_t incorrect = 0;
    int32_t elapsedSeconds = 0;
    float timePerInterval = 0.0f;
    int32_t timePoints = 0;       // shown only
    float correctFraction = 0.0f; // shown only, 0..1
    int32_t score = 0;
};

// Scores a drill of `correct` right and `incorrect` wrong answers that ran
// for `elapsedMilliseconds`. A drill shorter than a second is timed as one
// second and the time is shared by at least one answer, so no step divides
// by zero.
[[nodiscard]] ScoreResult computeScore(int32_t correct, int32_t incorrect,
                                       int64_t elapsedMilliseconds);

// "%3.1f" of the time per interval.
[[nodiscard]] std::string formatTimePerInterval(float timePerInterval);
// "%3.1f%%" of the fraction correct times 100.
[[nodiscard]] std::string formatPercentage(float correctFraction);

// A drill counts for the high-score table only when every interval from a
// minor second to an octave was allowed; the wider ones do not matter.
// `allowed` is indexed by pitch interval, 0..24.
[[nodiscard]] bool eligibleForHighScores(const bool (&allowed)[25]);
