#pragma once

#include "app/intervals.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The error map: how often each interval played (a row) was taken for each
// interval answered (a column), summed over every drill in "errors.dat".
// Rows 1..24 of the file are read, the sizes a drill can ask, as the
// cumulative profile does. Counters below zero (only a hand-edited file has
// them) count as none.
namespace stats {

enum class MapScale {
    Mod12,         // "mod 12 interval" answers, 12 x 12; 0 is the octave
    Pitch,         // "pitch interval" answers: played 1..24, answered 0..24 and above
    IntervalClass, // "interval class" answers, 7 x 7
};

class ErrorMap {
public:
    ErrorMap() = default;
    [[nodiscard]] static ErrorMap fromTallies(std::span<const IntervalTally, kTallyRows> rows,
                                              MapScale scale);

    [[nodiscard]] MapScale scale() const { return scale_; }
    [[nodiscard]] int rowCount() const { return static_cast<int>(rowValues_.size()); }
    [[nodiscard]] int columnCount() const { return static_cast<int>(columnValues_.size()); }
    // The interval a row or column stands for (semitones, mod 12 value or
    // class); the pitch scale's last column gathers answers above 24 and
    // stands for 25.
    [[nodiscard]] int rowValue(int row) const { return rowValues_[static_cast<size_t>(row)]; }
    [[nodiscard]] int columnValue(int column) const {
        return columnValues_[static_cast<size_t>(column)];
    }
    // The column of a row's right answer.
    [[nodiscard]] int rightColumn(int row) const;

    [[nodiscard]] int64_t count(int row, int column) const {
        return counts_[static_cast<size_t>(row * columnCount() + column)];
    }
    [[nodiscard]] int64_t rowTotal(int row) const { return rowTotals_[static_cast<size_t>(row)]; }
    // The cell's share of its row's answers, 0..1; 0 for a row with none.
    [[nodiscard]] double share(int row, int column) const;
    // The row's share of right answers, 0..1; 0 for a row with none.
    [[nodiscard]] double rightShare(int row) const { return share(row, rightColumn(row)); }
    [[nodiscard]] int64_t total() const { return total_; }
    [[nodiscard]] bool empty() const { return total_ == 0; }

    // Short axis labels ("m3", "10", "ic5") and full names for reading out.
    [[nodiscard]] std::string rowLabel(int row) const;
    [[nodiscard]] std::string columnLabel(int column) const;
    [[nodiscard]] std::string rowName(int row) const;
    [[nodiscard]] std::string columnName(int column) const;
    // What a cell says to someone pointing at it or moving to it:
    // "major 3rd answered as perfect 4th: 12 of 80 answers (15%)".
    [[nodiscard]] std::string cellText(int row, int column) const;

private:
    void add(int rowValue, int columnValue, int32_t amount);

    MapScale scale_ = MapScale::Mod12;
    std::vector<int> rowValues_;
    std::vector<int> columnValues_;
    std::vector<int64_t> counts_;
    std::vector<int64_t> rowTotals_;
    int64_t total_ = 0;
};

[[nodiscard]] const char* scaleName(MapScale scale);

} // namespace stats
