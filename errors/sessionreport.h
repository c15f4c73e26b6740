#pragma once

#include "app/intervals.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace errors {

using IntervalNames = std::array<std::string, 25>;

// Interval names by size in semitones: "unison" .. "double 8ve". Mod 12
// classes use the first twelve, so class 0 reads "unison".
[[nodiscard]] const IntervalNames& standardIntervalNames();

// The drill's report: for each asked size 1..36, its name, then per Identify
// mode the share answered right and, only when some were right, what the
// wrong answers named instead. Empty pitch answers (piWrong[0]) are neither
// listed nor counted.
[[nodiscard]] std::vector<std::string>
sessionReportLines(std::span<const IntervalTally, kTallyRows> tally, const IntervalNames& names);

// The cumulative profile of sizes 1..24: as the drill's report, but the
// pitch block opens "correct pi" and the mod 12 wrong answers are indented
// further and given in the two-digit general notation.
[[nodiscard]] std::vector<std::string>
cumulativeProfileLines(std::span<const IntervalTally, kTallyRows> tally, const IntervalNames& names,
                       std::string_view decimalPoint);

} // namespace errors
