#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// "drills.csv" in the data folder: one line per finished drill, after a
// header line, CR LF line ends. Each line is appended with a single write,
// so a crash can cut short at most the line being written; a line without
// its line end is such a line and is never read.
//
//   date_time,identify_mode,presentation,allowed,right,wrong,seconds,score,eligible
//   2026-12-08T21:04:05+01:00,mod 12 interval,chord,1-12,20,5,96,1706,yes
//
// date_time is local time with its offset from UTC; allowed lists the pitch
// intervals the filters let through, runs written first-last.
namespace stats {

inline constexpr const char* kDrillLogName = "drills.csv";
inline constexpr const char* kDrillLogHeader =
    "date_time,identify_mode,presentation,allowed,right,wrong,seconds,score,eligible";

struct DrillRecord {
    int64_t utcSeconds = 0;    // when the drill was scored, seconds since 1970 UTC
    int32_t offsetSeconds = 0; // local time minus UTC then
    int identifyMode = 1;      // 0 pitch interval, 1 mod 12 interval, 2 interval class
    int presentation = 0;      // 0 chord, 1 figure
    std::string allowed;       // "1-12"
    int32_t right = 0;
    int32_t wrong = 0;
    int32_t seconds = 0;
    int32_t score = 0;
    bool eligible = true;

    // The local day, as whole days since 1970-01-01.
    [[nodiscard]] int64_t localDay() const;
    friend bool operator==(const DrillRecord&, const DrillRecord&) = default;
};

// "1-12", "1 3 5-7", or "none" when nothing is allowed; `allowed` is
// indexed by pitch interval 0..24 and only 1..24 are listed.
[[nodiscard]] std::string allowedText(const bool (&allowed)[25]);

// The line for a record, CR LF included.
[[nodiscard]] std::string formatDrillLine(const DrillRecord& record);
// Reads one line (without its line end); false when it is not a whole,
// well-formed record.
[[nodiscard]] bool parseDrillLine(std::string_view line, DrillRecord& record);

// Appends the record, and the header first when the file is new or empty.
// A last line that a crash cut short is closed off first, so it cannot swallow
// the new one. Returns false when the file cannot be opened or written.
[[nodiscard]] bool appendDrill(const std::string& path, const DrillRecord& record);

struct DrillLog {
    std::vector<DrillRecord> drills; // in file order
    int skippedLines = 0;            // damaged or cut short
    bool missing = false;            // no file at all
};
// Whole, well-formed lines in order; the header and damaged lines are
// skipped. A missing or unreadable file gives no drills.
[[nodiscard]] DrillLog parseDrillLog(std::string_view data);
[[nodiscard]] DrillLog readDrillLog(const std::string& path);

} // namespace stats
