#include "stats/progress.h"

#include <algorithm>

namespace stats {

namespace {

double rightShareOf(int64_t right, int64_t wrong) {
    const int64_t all = right + wrong;
    return all > 0 ? static_cast<double>(right) / static_cast<double>(all) : 0.0;
}

} // namespace

std::vector<ProgressPoint> progressPoints(std::span<const DrillRecord> drills,
                                          ProgressGrouping grouping) {
    std::vector<ProgressPoint> points;
    if (grouping == ProgressGrouping::ByDrill) {
        points.reserve(drills.size());
        for (size_t i = 0; i < drills.size(); ++i) {
            const DrillRecord& d = drills[i];
            points.push_back({d.utcSeconds, d.offsetSeconds, static_cast<double>(d.score),
                              rightShareOf(d.right, d.wrong), 1, d.right, d.wrong,
                              static_cast<double>(i + 1)});
        }
        return points;
    }
    // Consecutive drills of one local day make one point; the file is in
    // the order the drills ended, so a day's drills sit together.
    int64_t day = 0;
    int64_t scoreSum = 0, right = 0, wrong = 0;
    auto close = [&](int32_t offset) {
        ProgressPoint& p = points.back();
        p.utcSeconds = day * 86400 - offset;
        p.offsetSeconds = offset;
        p.score = static_cast<double>(scoreSum) / p.drills;
        p.rightShare = rightShareOf(right, wrong);
        p.right = right;
        p.wrong = wrong;
        p.position = static_cast<double>(points.size());
    };
    int32_t offset = 0;
    for (const DrillRecord& d : drills) {
        if (points.empty() || d.localDay() != day) {
            if (!points.empty())
                close(offset);
            points.push_back({});
            points.back().drills = 0;
            day = d.localDay();
            offset = d.offsetSeconds;
            scoreSum = right = wrong = 0;
        }
        ++points.back().drills;
        scoreSum += d.score;
        right += d.right;
        wrong += d.wrong;
    }
    if (!points.empty())
        close(offset);
    return points;
}

std::vector<ProgressPoint> thinned(const std::vector<ProgressPoint>& points, size_t most) {
    if (most == 0 || points.size() <= most)
        return points;
    // Runs of equal length (the last may be shorter), in order.
    const size_t run = (points.size() + most - 1) / most;
    std::vector<ProgressPoint> out;
    out.reserve(most);
    for (size_t first = 0; first < points.size(); first += run) {
        const size_t last = std::min(points.size(), first + run);
        ProgressPoint merged;
        merged.drills = 0;
        double scoreSum = 0, positionSum = 0;
        for (size_t i = first; i < last; ++i) {
            const ProgressPoint& p = points[i];
            scoreSum += p.score * p.drills;
            positionSum += p.position;
            merged.drills += p.drills;
            merged.right += p.right;
            merged.wrong += p.wrong;
        }
        const ProgressPoint& middle = points[(first + last - 1) / 2];
        merged.utcSeconds = middle.utcSeconds;
        merged.offsetSeconds = middle.offsetSeconds;
        merged.score = scoreSum / merged.drills;
        merged.rightShare = rightShareOf(merged.right, merged.wrong);
        merged.position = positionSum / static_cast<double>(last - first);
        out.push_back(merged);
    }
    return out;
}

ProgressSummary summarize(std::span<const DrillRecord> drills, int64_t nowUtcSeconds) {
    ProgressSummary s;
    s.drills = static_cast<int>(drills.size());
    if (drills.empty())
        return s;
    constexpr int64_t kWeek = 7 * 86400;
    int64_t weekScore = 0, weekRight = 0, weekWrong = 0;
    for (const DrillRecord& d : drills) {
        if (!s.bestScore || d.score > *s.bestScore)
            s.bestScore = d.score;
        if (d.utcSeconds <= nowUtcSeconds && d.utcSeconds > nowUtcSeconds - kWeek) {
            ++s.weekDrills;
            weekScore += d.score;
            weekRight += d.right;
            weekWrong += d.wrong;
        }
    }
    s.lastScore = drills.back().score;
    s.lastRightShare = rightShareOf(drills.back().right, drills.back().wrong);
    if (s.weekDrills > 0) {
        s.weekScore = static_cast<double>(weekScore) / s.weekDrills;
        s.weekRightShare = rightShareOf(weekRight, weekWrong);
    }
    return s;
}

} // namespace stats
