#pragma once

#include "stats/drilllog.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The user's progress: score and share of right answers over time, drill by
// drill or day by day, and the figures that sum it up.
namespace stats {

enum class ProgressGrouping { ByDrill, ByDay };

struct ProgressPoint {
    int64_t utcSeconds = 0; // the drill's time, or the local day's midnight as UTC
    int32_t offsetSeconds = 0;
    double score = 0;      // the drill's score, or the day's mean score
    double rightShare = 0; // 0..1: right answers among all answers
    int drills = 1;        // drills behind the point
    int64_t right = 0;     // their right answers
    int64_t wrong = 0;     // and wrong ones
    double position = 1;   // the drill number, or the mean of those merged
};

struct ProgressSummary {
    int drills = 0;
    std::optional<int32_t> bestScore;
    std::optional<int32_t> lastScore;
    std::optional<double> lastRightShare;
    // Drills of the last seven days up to `now` (the last 7 x 24 hours).
    int weekDrills = 0;
    std::optional<double> weekScore;      // mean score
    std::optional<double> weekRightShare; // right answers among all answers
};

[[nodiscard]] std::vector<ProgressPoint> progressPoints(std::span<const DrillRecord> drills,
                                                        ProgressGrouping grouping);
// At most `most` points for a chart: beyond that, runs of neighbouring
// points are merged into one at their middle time, with their mean score
// and their answers' share right. A line of thousands of drills across a
// few hundred pixels reads no better and draws far slower.
[[nodiscard]] std::vector<ProgressPoint> thinned(const std::vector<ProgressPoint>& points,
                                                 size_t most);

[[nodiscard]] ProgressSummary summarize(std::span<const DrillRecord> drills, int64_t nowUtcSeconds);

} // namespace stats
