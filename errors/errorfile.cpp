#include "errors/errorfile.h"

#include "app/drillstate.h"
#include "core/atomicfile.h"

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

} // namespace

int parseErrorFile(std::string_view data, std::span<IntervalTally, kTallyRows> rows) {
    for (IntervalTally& row : rows)
        row.clear();
    size_t pos = 0;
    int count = 0;
    while (count < kErrorFileNumbers) {
        while (pos < data.size() && isSpace(data[pos]))
            ++pos;
        size_t end = pos;
        while (end < data.size() && !isSpace(data[end]))
            ++end;
        if (end == pos)
            break;
        // A decimal integer: an optional minus sign, then digits only. A
        // number beyond 32 bits was never written by the program, so it ends
        // the reading like any other damage.
        const std::string_view token = data.substr(pos, end - pos);
        const bool digitsOnly = std::all_of(token.begin() + (token[0] == '-' ? 1 : 0), token.end(),
                                            [](char c) { return c >= '0' && c <= '9'; });
        int32_t value = 0;
        if (!digitsOnly)
            break;
        const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
        if (result.ec != std::errc{} || result.ptr != token.data() + token.size())
            break;
        rows[static_cast<size_t>(count / IntervalTally::kCounters)].counter(
            count % IntervalTally::kCounters) = value;
        ++count;
        pos = end;
    }
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

ErrorFileRead readErrorFile(const std::string& path, std::span<IntervalTally, kTallyRows> rows) {
    for (IntervalTally& row : rows)
        row.clear();
    if (!fileExists(path))
        return ErrorFileRead::Missing;
    const auto data = readWholeFile(path);
    if (!data)
        return ErrorFileRead::Unreadable;
    parseErrorFile(*data, rows);
    return ErrorFileRead::Read;
}

ErrorFileUpdate updateErrorFile(DrillState& drill, const std::string& path) {
    const std::span<IntervalTally, kTallyRows> cumulative(drill.cumulativeTally);
    const std::span<const IntervalTally, kTallyRows> session(drill.sessionTally);
    const ErrorFileRead read = readErrorFile(path, cumulative);
    if (read == ErrorFileRead::Unreadable)
        return ErrorFileUpdate::Unreadable;
    addTallies(cumulative, session);
    if (!writeFileAtomically(path, formatErrorFile(cumulative)))
        return ErrorFileUpdate::WriteFailed;
    return read == ErrorFileRead::Missing ? ErrorFileUpdate::Created : ErrorFileUpdate::Merged;
}

} // namespace errors
