#include "stats/errormap.h"

#include "errors/sessionreport.h"

#include <cstdio>

namespace stats {

namespace {

constexpr int kFirstRow = 1;
constexpr int kLastRow = 24;
constexpr int kAbovePitch = 25; // the pitch scale's column for answers 25..36

const char* const kMod12Labels[12] = {"8ve", "m2", "M2", "m3", "M3", "P4",
                                      "TT",  "P5", "m6", "M6", "m7", "M7"};

std::vector<int> valuesUpTo(int first, int last) {
    std::vector<int> values;
    for (int v = first; v <= last; ++v)
        values.push_back(v);
    return values;
}

} // namespace

const char* scaleName(MapScale scale) {
    switch (scale) {
    case MapScale::Mod12:
        return "mod 12 interval";
    case MapScale::Pitch:
        return "pitch interval";
    case MapScale::IntervalClass:
        return "interval class";
    }
    return "";
}

ErrorMap ErrorMap::fromTallies(std::span<const IntervalTally, kTallyRows> rows, MapScale scale) {
    ErrorMap map;
    map.scale_ = scale;
    switch (scale) {
    case MapScale::Mod12:
        map.rowValues_ = valuesUpTo(0, 11);
        map.columnValues_ = valuesUpTo(0, 11);
        break;
    case MapScale::Pitch:
        map.rowValues_ = valuesUpTo(kFirstRow, kLastRow);
        map.columnValues_ = valuesUpTo(0, kAbovePitch);
        break;
    case MapScale::IntervalClass:
        map.rowValues_ = valuesUpTo(0, 6);
        map.columnValues_ = valuesUpTo(0, 6);
        break;
    }
    map.counts_.assign(map.rowValues_.size() * map.columnValues_.size(), 0);
    map.rowTotals_.assign(map.rowValues_.size(), 0);

    for (int r = kFirstRow; r <= kLastRow; ++r) {
        const IntervalTally& t = rows[static_cast<size_t>(r)];
        switch (scale) {
        case MapScale::Mod12: {
            const int played = mod12Of(r);
            map.add(played, played, t.m12Correct);
            for (int k = 0; k < 12; ++k)
                map.add(played, k, t.m12Wrong[k]);
            break;
        }
        case MapScale::Pitch:
            map.add(r, r, t.piCorrect);
            for (int j = 0; j < 37; ++j)
                map.add(r, j > kLastRow ? kAbovePitch : j, t.piWrong[j]);
            break;
        case MapScale::IntervalClass: {
            const int played = intervalClassOf(mod12Of(r));
            map.add(played, played, t.icCorrect);
            for (int k = 0; k < 7; ++k)
                map.add(played, k, t.icWrong[k]);
            break;
        }
        }
    }
    return map;
}

void ErrorMap::add(int rowValue, int columnValue, int32_t amount) {
    if (amount <= 0)
        return;
    // Rows and columns are numbered from their first value without gaps.
    const int row = rowValue - rowValues_.front();
    const int column = columnValue - columnValues_.front();
    counts_[static_cast<size_t>(row * columnCount() + column)] += amount;
    rowTotals_[static_cast<size_t>(row)] += amount;
    total_ += amount;
}

int ErrorMap::rightColumn(int row) const {
    return rowValue(row) - columnValues_.front();
}

double ErrorMap::share(int row, int column) const {
    const int64_t all = rowTotal(row);
    return all > 0 ? static_cast<double>(count(row, column)) / static_cast<double>(all) : 0.0;
}

std::string ErrorMap::rowLabel(int row) const {
    const int v = rowValue(row);
    switch (scale_) {
    case MapScale::Mod12:
        return kMod12Labels[v];
    case MapScale::Pitch:
        return std::to_string(v);
    case MapScale::IntervalClass:
        return "ic" + std::to_string(v);
    }
    return {};
}

std::string ErrorMap::columnLabel(int column) const {
    const int v = columnValue(column);
    if (scale_ == MapScale::Pitch && v == kAbovePitch)
        return ">24";
    switch (scale_) {
    case MapScale::Mod12:
        return kMod12Labels[v];
    case MapScale::Pitch:
        return std::to_string(v);
    case MapScale::IntervalClass:
        return "ic" + std::to_string(v);
    }
    return {};
}

namespace {

std::string intervalName(MapScale scale, int v) {
    const auto& names = errors::standardIntervalNames();
    switch (scale) {
    case MapScale::Mod12:
        return v == 0 ? "octave" : names[static_cast<size_t>(v)];
    case MapScale::Pitch:
        if (v > kLastRow)
            return "more than two octaves";
        if (v == 0)
            return "no interval (0)";
        return names[static_cast<size_t>(v)] + " (" + std::to_string(v) + ")";
    case MapScale::IntervalClass:
        return "interval class " + std::to_string(v);
    }
    return {};
}

} // namespace

std::string ErrorMap::rowName(int row) const {
    return intervalName(scale_, rowValue(row));
}

std::string ErrorMap::columnName(int column) const {
    return intervalName(scale_, columnValue(column));
}

std::string ErrorMap::cellText(int row, int column) const {
    const int64_t n = count(row, column);
    const int64_t all = rowTotal(row);
    std::string text = rowName(row);
    text += column == rightColumn(row) ? " answered right" : " answered as " + columnName(column);
    text += ": " + std::to_string(n) + " of " + std::to_string(all) +
            (all == 1 ? " answer" : " answers");
    if (all > 0) {
        char percent[16];
        std::snprintf(percent, sizeof percent, " (%.0f%%)", 100.0 * share(row, column));
        text += percent;
    }
    return text;
}

} // namespace stats
