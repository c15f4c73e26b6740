#pragma once

#include "app/intervals.h"

#include <span>
#include <string>
#include <string_view>

class DrillState;

// "errors.dat": the sum of the answer tallies of every finished drill, 37
// rows (one per asked size, 0..36) of the 59 counters of an IntervalTally in
// field order. Each row is preceded by CR LF, its numbers are separated by
// one space, and nothing follows the last row.
namespace errors {

inline constexpr const char* kErrorFileName = "errors.dat";
inline constexpr int kErrorFileNumbers = kTallyRows * IntervalTally::kCounters;

// The file's text for a table, byte for byte.
[[nodiscard]] std::string formatErrorFile(std::span<const IntervalTally, kTallyRows> rows);

// Reads up to 2,183 whitespace-separated decimal integers, row by row and
// field by field; the line structure is not checked and anything after the
// last number is ignored. Reading stops at the first token that is not a
// decimal integer in the 32-bit range (or is longer than 32 characters), or
// at the end of the data; counters not read stay 0, so the rest of a damaged
// file is dropped at the next rewrite. Returns how many numbers were read.
int parseErrorFile(std::string_view data, std::span<IntervalTally, kTallyRows> rows);

// Adds `drill` into `sum` counter by counter, saturating at the 32-bit
// limits instead of wrapping.
void addTallies(std::span<IntervalTally, kTallyRows> sum,
                std::span<const IntervalTally, kTallyRows> drill);

enum class ErrorFileRead {
    Missing,    // no file: rows are all 0
    Unreadable, // exists but is no plain file or cannot be read: rows are all 0
    Read,       // read by the rule above
};
ErrorFileRead readErrorFile(const std::string& path, std::span<IntervalTally, kTallyRows> rows);

enum class ErrorFileUpdate {
    Created,     // no file before: it now holds this drill alone
    Merged,      // the drill was added to the file's counts
    Unreadable,  // a file that cannot be read was left as it was
    WriteFailed, // the new file could not be written; the old one stands
};

// Merges the drill's sessionTally into the file: reads it into the drill's
// cumulativeTally, adds the drill, and rewrites the whole file atomically.
// A file that exists but cannot be read is left untouched rather than
// replaced by this drill alone, which would wipe the history. Failures are
// silent for the user; the drill, its report and its score are unaffected.
ErrorFileUpdate updateErrorFile(DrillState& drill, const std::string& path = kErrorFileName);

} // namespace errors
