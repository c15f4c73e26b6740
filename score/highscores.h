#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One row of the high-score table "hiscore.dat".
struct HighScoreEntry {
    double date = 0.0; // day number of the day it was scored (see dayNumber)
    int32_t correct = 0;
    int32_t incorrect = 0;
    float timePerInterval = 0.0f;
    int32_t score = 0;

    friend bool operator==(const HighScoreEntry&, const HighScoreEntry&) = default;
};

inline constexpr int kHighScoreFileEntries = 100;
inline constexpr const char* kHighScoreFileName = "hiscore.dat";

// ---- Dates ------------------------------------------------------------
// Whole days since 30 December 1899 (day 0), so 7 December 2026 is 46363.
[[nodiscard]] int64_t dayNumber(int year, int month, int day);
// A day number as "mm/dd/yy" with `separator` in place of the slashes.
// A number too large or small to be a date shows as dashes.
[[nodiscard]] std::string formatDayNumber(double date, std::string_view separator);

// The separator a short date format puts between its numbers ("M/d/yy" has
// "/", "dd.MM.yy" has "."); "/" when it has none, as in "d MMM yyyy".
[[nodiscard]] std::string dateSeparatorOf(std::string_view shortDateFormat);

// ---- The file -----------------------------------------------------------
// Each record is introduced by CR LF, so the text begins with CR LF and has
// none after the last record. Fields: date and time per interval as printf
// "%g" writes them in the C locale (a decimal point whatever the user's
// locale), the counts and the score as integers.
[[nodiscard]] std::string formatHighScoreFile(const std::vector<HighScoreEntry>& table);
// Reads records of five fields separated by any white space, each field in
// the number syntax of core/numbertokens.h (so a decimal comma written by an
// earlier build reads as the number meant). A record with a field that
// cannot be read is left out and reading goes on with the next five fields;
// `damaged`, when given, receives how many were left out. Reading stops at
// the end of the text and after kHighScoreFileEntries records.
[[nodiscard]] std::vector<HighScoreEntry> parseHighScoreFile(std::string_view text,
                                                             int* damaged = nullptr);

// ---- The list -------------------------------------------------------------
// One line of the score window's list, rank counted from 1.
[[nodiscard]] std::string formatHighScoreLine(int rank, const HighScoreEntry& entry,
                                              std::string_view dateSeparator);

// Where a new entry goes: before the first entry with a strictly lower
// score, so entries with an equal score stay above it.
[[nodiscard]] size_t insertionIndex(const std::vector<HighScoreEntry>& table, int32_t score);

// What scoring a drill does to the table and to the score window.
struct HighScoreUpdate {
    std::vector<std::string> lines; // the list, one line per entry
    int selectedLine = -1;          // -1: nothing to select (empty list)
    bool filterNotice = false;      // show that filtered drills are not eligible
    bool recorded = false;          // the drill is in the table as stored in the file
    bool written = false;           // the file was (re)written
    int unsavedLine = -1;           // the drill's line when the drill is not in the file
                                    // because the save failed; -1 otherwise
};

// Enters a drill into the table kept in the file at `path`: reads it, inserts
// the drill when `eligible`, makes the list lines with the drill's line
// selected (the first line for an ineligible drill), and rewrites the file
// atomically with the first kHighScoreFileEntries entries. With no file yet,
// an eligible drill makes a file of its one record and the list stays empty.
// A file that exists but cannot be read is never overwritten. Damaged
// records are kept in "<path>.damaged" before the rewrite drops them (no
// rewrite when that copy cannot be made). A failed save, a file that cannot
// be read and a damaged copy kept are told through core/filenotices.h.
[[nodiscard]] HighScoreUpdate updateHighScoreFile(const std::string& path,
                                                  const HighScoreEntry& drill, bool eligible,
                                                  std::string_view dateSeparator);
