#include "errors/errorfile.h"

#include "app/drillstate.h"
#include "core/atomicfile.h"
#include "core/filenotices.h"
#include "core/numbertokens.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

namespace errors {

std::string formatErrorFile(std::span<const IntervalTally, kTallyRows> rows) {
    std::string text;
    text.reserve(kErrorFileNumbers * 2 + kTallyRows * 2);
    char number[16];
    for (const IntervalTally& row : rows) {
        text += "\r\n";
        for (int i = 0; i < IntervalTally::kCounters; ++i) {
            if (i > 0)
                text += ' ';
            const auto result = std::to_chars(number, number + sizeof number, row.counter(i));
            text.append(number, result.ptr);
        }
    }
    return text;
}

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Takes the file's numbers as its bytes arrive, so that reading stops as soon
// as the table is full, whatever follows.
class NumberReader {
public:
    explicit NumberReader(std::span<IntervalTally, kTallyRows> rows) : rows_(rows) {
        for (IntervalTally& row : rows_)
            row.clear();
    }

    // False once the table is full; the rest of the data is not wanted.
    bool feed(std::string_view bytes) {
        for (const char c : bytes) {
            if (count_ == kErrorFileNumbers)
                return false;
            if (isSpace(c))
                takeToken();
            else if (token_.size() <= kLongestToken)
                token_ += c; // one past the longest marks a token too long
        }
        return count_ < kErrorFileNumbers;
    }

    // The end of the data ends the last number.
    int finish() {
        takeToken();
        return count_;
    }

    [[nodiscard]] int damaged() const { return damaged_; }

private:
    // No counter is written longer than "-2147483648"; leading zeros aside.
    static constexpr size_t kLongestToken = 32;

    void takeToken() {
        if (token_.empty() || count_ == kErrorFileNumbers)
            return;
        int32_t value = 0;
        // A token that is not a 32-bit integer keeps its place, so the
        // counters after it still land in their own fields.
        if (token_.size() > kLongestToken || !parseIntegerToken(token_, value))
            ++damaged_;
        else
            rows_[static_cast<size_t>(count_ / IntervalTally::kCounters)].counter(
                count_ % IntervalTally::kCounters) = value;
        token_.clear();
        ++count_;
    }

    std::span<IntervalTally, kTallyRows> rows_;
    std::string token_;
    int count_ = 0;
    int damaged_ = 0;
};

} // namespace

int parseErrorFile(std::string_view data, std::span<IntervalTally, kTallyRows> rows, int* damaged) {
    NumberReader reader(rows);
    reader.feed(data);
    const int count = reader.finish();
    if (damaged)
        *damaged = reader.damaged();
    return count;
}

void addTallies(std::span<IntervalTally, kTallyRows> sum,
                std::span<const IntervalTally, kTallyRows> drill) {
    constexpr int64_t lowest = std::numeric_limits<int32_t>::min();
    constexpr int64_t highest = std::numeric_limits<int32_t>::max();
    for (size_t r = 0; r < sum.size(); ++r)
        for (int i = 0; i < IntervalTally::kCounters; ++i) {
            const int64_t added = int64_t{sum[r].counter(i)} + drill[r].counter(i);
            sum[r].counter(i) = static_cast<int32_t>(std::clamp(added, lowest, highest));
        }
}

ErrorFileRead readErrorFile(const std::string& path, std::span<IntervalTally, kTallyRows> rows,
                            std::string* text) {
    for (IntervalTally& row : rows)
        row.clear();
    FileContents contents = readFileGuarded(path);
    if (contents.status == FileReadStatus::Missing)
        return ErrorFileRead::Missing;
    if (!contents.read())
        return ErrorFileRead::Unreadable;
    int damaged = 0;
    parseErrorFile(contents.data, rows, &damaged);
    if (text)
        *text = std::move(contents.data);
    return damaged ? ErrorFileRead::Damaged : ErrorFileRead::Read;
}

ErrorFileUpdate updateErrorFile(DrillState& drill, const std::string& path) {
    const std::span<IntervalTally, kTallyRows> cumulative(drill.cumulativeTally);
    const std::span<const IntervalTally, kTallyRows> session(drill.sessionTally);
    for (IntervalTally& row : cumulative)
        row.clear();
    const FileContents old = readFileGuarded(path);
    if (old.status != FileReadStatus::Missing && !old.read()) {
        filenotices::saveFailed(path, unreadableReason(old));
        return ErrorFileUpdate::Unreadable;
    }
    int damaged = 0;
    parseErrorFile(old.data, cumulative, &damaged);
    const ErrorFileRead read = old.status == FileReadStatus::Missing ? ErrorFileRead::Missing
                               : damaged                             ? ErrorFileRead::Damaged
                                                                     : ErrorFileRead::Read;
    const std::string damagedCopy = path + kDamagedSuffix;
    if (read == ErrorFileRead::Damaged) {
        const FileWrite kept = rewriteFile(damagedCopy, old.data);
        if (!kept.ok) {
            filenotices::saveFailed(path, "part of it could not be read, and a copy of it could "
                                          "not be kept in " +
                                              filenotices::fullPath(damagedCopy) + " (" +
                                              kept.reason + ")");
            return ErrorFileUpdate::WriteFailed;
        }
    }
    addTallies(cumulative, session);
    const FileWrite written = rewriteFile(path, formatErrorFile(cumulative));
    if (!written.ok) {
        filenotices::saveFailed(path, written.reason);
        return ErrorFileUpdate::WriteFailed;
    }
    if (read == ErrorFileRead::Damaged) {
        filenotices::damagedKept(path, damagedCopy);
        return ErrorFileUpdate::MergedDamaged;
    }
    return read == ErrorFileRead::Missing ? ErrorFileUpdate::Created : ErrorFileUpdate::Merged;
}

} // namespace errors
