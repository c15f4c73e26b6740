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

// Reads up to 2,183 whitespace-separated decimal integers (the number
// syntax of core/numbertokens.h), row by row and field by field; the line
// structure is not checked and anything after the 2,183rd token is ignored.
// A token that is no 32-bit integer (damage: a stray byte, a number out of
// range) leaves its counter 0 and reading goes on with the next one, so
// every counter that can be read is kept. Counters not in the data stay 0.
// Returns how many tokens were taken; `damaged`, when given, receives how
// many of them could not be read.
int parseErrorFile(std::string_view data, std::span<IntervalTally, kTallyRows> rows,
                   int* damaged = nullptr);

// Adds `drill` into `sum` counter by counter, saturating at the 32-bit
// limits instead of wrapping.
void addTallies(std::span<IntervalTally, kTallyRows> sum,
                std::span<const IntervalTally, kTallyRows> drill);

enum class ErrorFileRead {
    Missing,    // no file: rows are all 0
    Unreadable, // exists but is no plain file, is far too large or cannot be
                // read: rows are all 0
    Read,       // read by the rule above
    Damaged,    // read by the rule above, but some tokens could not be read
};
// Reads the file through the guarded read of core/atomicfile.h; `text`, when
// given, receives its bytes.
ErrorFileRead readErrorFile(const std::string& path, std::span<IntervalTally, kTallyRows> rows,
                            std::string* text = nullptr);

enum class ErrorFileUpdate {
    Created,       // no file before: it now holds this drill alone
    Merged,        // the drill was added to the file's counts
    MergedDamaged, // merged, the unreadable tokens dropped; the old file is
                   // kept as "<path>.damaged"
    Unreadable,    // a file that cannot be read was left as it was
    WriteFailed,   // the new file could not be written; the old one stands
};

// Merges the drill's sessionTally into the file: reads it into the drill's
// cumulativeTally, adds the drill, and rewrites the whole file through the
// guarded rewrite of core/atomicfile.h. A file that exists but cannot be
// read is left untouched rather than replaced by this drill alone, which
// would wipe the history. A file with damaged tokens is copied to
// "<path>.damaged" (replacing an older copy) before the rewrite drops them;
// when the copy cannot be made the file is left as it was. Every outcome
// but Created and Merged is told to the user through core/filenotices.h;
// the drill, its report and its score are unaffected.
ErrorFileUpdate updateErrorFile(DrillState& drill, const std::string& path = kErrorFileName);

} // namespace errors
