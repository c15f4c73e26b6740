#include "errors/errorfile.h"

#include "app/drillstate.h"
#include "core/atomicfile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

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
// as the table is full or the data goes wrong, whatever follows.
class NumberReader {
public:
    explicit NumberReader(std::span<IntervalTally, kTallyRows> rows) : rows_(rows) {
        for (IntervalTally& row : rows_)
            row.clear();
    }

    // False once reading has stopped; the rest of the data is not wanted.
    bool feed(std::string_view bytes) {
        for (const char c : bytes) {
            if (stopped_)
                return false;
            if (isSpace(c)) {
                takeToken();
            } else if (token_.size() == kLongestToken) {
                stopped_ = true; // no counter is written this long
            } else {
                token_ += c;
            }
        }
        return !stopped_;
    }

    // The end of the data ends the last number.
    int finish() {
        takeToken();
        return count_;
    }

private:
    // "-2147483648" with room for leading zeros.
    static constexpr size_t kLongestToken = 32;

    void takeToken() {
        if (token_.empty() || stopped_)
            return;
        // A decimal integer: an optional minus sign, then digits only. A
        // number beyond 32 bits was never written by the program, so it ends
        // the reading like any other damage.
        const bool digitsOnly =
            std::all_of(token_.begin() + (token_[0] == '-' ? 1 : 0), token_.end(),
                        [](char c) { return c >= '0' && c <= '9'; });
        int32_t value = 0;
        const auto result = std::from_chars(token_.data(), token_.data() + token_.size(), value);
        token_.clear();
        if (!digitsOnly || result.ec != std::errc{}) {
            stopped_ = true;
            return;
        }
        rows_[static_cast<size_t>(count_ / IntervalTally::kCounters)].counter(
            count_ % IntervalTally::kCounters) = value;
        if (++count_ == kErrorFileNumbers)
            stopped_ = true;
    }

    std::span<IntervalTally, kTallyRows> rows_;
    std::string token_;
    int count_ = 0;
    bool stopped_ = false;
};

} // namespace

int parseErrorFile(std::string_view data, std::span<IntervalTally, kTallyRows> rows) {
    NumberReader reader(rows);
    reader.feed(data);
    return reader.finish();
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
    NumberReader reader(rows);
    if (!fileExists(path))
        return ErrorFileRead::Missing;
    // Only a plain file is read: a pipe or a device under this name would
    // block or never end, and a directory cannot be read at all.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ErrorFileRead::Unreadable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ErrorFileRead::Unreadable;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            for (IntervalTally& row : rows)
                row.clear();
            return ErrorFileRead::Unreadable;
        }
        if (n == 0 || !reader.feed(std::string_view(buffer, static_cast<size_t>(n))))
            break;
    }
    ::close(fd);
    reader.finish();
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
