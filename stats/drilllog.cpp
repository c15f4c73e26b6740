#include "stats/drilllog.h"
#include "core/civildate.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stats {

namespace {

const char* const kModes[3] = {"pitch interval", "mod 12 interval", "interval class"};
const char* const kPresentations[2] = {"chord", "figure"};
constexpr int64_t kSecondsPerDay = 86400;

using civil::civilFromDays;
using civil::daysFromCivil;

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

std::string dateTimeText(int64_t utcSeconds, int32_t offsetSeconds) {
    const int64_t local = utcSeconds + offsetSeconds;
    const int64_t day = floorDiv(local, kSecondsPerDay);
    const int64_t second = local - day * kSecondsPerDay;
    int64_t y = 0;
    int m = 0, d = 0;
    civilFromDays(day, y, m, d);
    const int32_t offset = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  static_cast<long long>(y), m, d, static_cast<int>(second / 3600),
                  static_cast<int>(second / 60 % 60), static_cast<int>(second % 60),
                  offsetSeconds < 0 ? '-' : '+', offset / 3600, offset / 60 % 60);
    return text;
}

// Exactly `digits` decimal digits.
bool fixedNumber(std::string_view text, size_t at, size_t digits, int& value) {
    if (at + digits > text.size())
        return false;
    value = 0;
    for (size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool parseDateTime(std::string_view text, int64_t& utcSeconds, int32_t& offsetSeconds) {
    // YYYY-MM-DDTHH:MM:SS+HH:MM
    if (text.size() != 25 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || (text[19] != '+' && text[19] != '-') ||
        text[22] != ':')
        return false;
    int y, mo, d, h, mi, s, oh, om;
    if (!fixedNumber(text, 0, 4, y) || !fixedNumber(text, 5, 2, mo) ||
        !fixedNumber(text, 8, 2, d) || !fixedNumber(text, 11, 2, h) ||
        !fixedNumber(text, 14, 2, mi) || !fixedNumber(text, 17, 2, s) ||
        !fixedNumber(text, 20, 2, oh) || !fixedNumber(text, 23, 2, om))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || oh > 23 || om > 59)
        return false;
    offsetSeconds = (oh * 3600 + om * 60) * (text[19] == '-' ? -1 : 1);
    utcSeconds = daysFromCivil(y, mo, d) * kSecondsPerDay + h * 3600 + mi * 60 + s - offsetSeconds;
    return true;
}

bool parseInt(std::string_view text, int32_t& value) {
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc{} && result.ptr == text.data() + text.size();
}

int indexOf(std::string_view text, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (text == names[i])
            return i;
    return -1;
}

// "1-12", "1 3 5-7" or "none".
bool validAllowed(std::string_view text) {
    if (text == "none")
        return true;
    if (text.empty())
        return false;
    for (const char c : text)
        if (!(c >= '0' && c <= '9') && c != '-' && c != ' ')
            return false;
    return true;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

int64_t DrillRecord::localDay() const {
    return floorDiv(utcSeconds + offsetSeconds, kSecondsPerDay);
}

std::string allowedText(const bool (&allowed)[25]) {
    std::string text;
    for (int v = 1; v <= 24; ++v) {
        if (!allowed[v])
            continue;
        int last = v;
        while (last < 24 && allowed[last + 1])
            ++last;
        if (!text.empty())
            text += ' ';
        text += std::to_string(v);
        if (last > v)
            text += '-' + std::to_string(last);
        v = last;
    }
    return text.empty() ? "none" : text;
}

std::string formatDrillLine(const DrillRecord& r) {
    const int mode = r.identifyMode >= 0 && r.identifyMode < 3 ? r.identifyMode : 1;
    const int given = r.presentation == 1 ? 1 : 0;
    std::string line = dateTimeText(r.utcSeconds, r.offsetSeconds);
    for (const std::string& field :
         {std::string(kModes[mode]), std::string(kPresentations[given]), r.allowed,
          std::to_string(r.right), std::to_string(r.wrong), std::to_string(r.seconds),
          std::to_string(r.score), std::string(r.eligible ? "yes" : "no")}) {
        line += ',';
        line += field;
    }
    line += "\r\n";
    return line;
}

bool parseDrillLine(std::string_view line, DrillRecord& record) {
    std::array<std::string_view, 9> fields;
    size_t n = 0;
    for (;;) {
        const size_t comma = line.find(',');
        if (n == fields.size())
            return false; // more fields than a record has
        fields[n++] = line.substr(0, comma);
        if (comma == std::string_view::npos)
            break;
        line.remove_prefix(comma + 1);
    }
    if (n != fields.size())
        return false;
    DrillRecord r;
    r.identifyMode = indexOf(fields[1], kModes, 3);
    r.presentation = indexOf(fields[2], kPresentations, 2);
    if (!parseDateTime(fields[0], r.utcSeconds, r.offsetSeconds) || r.identifyMode < 0 ||
        r.presentation < 0 || !validAllowed(fields[3]) || !parseInt(fields[4], r.right) ||
        !parseInt(fields[5], r.wrong) || !parseInt(fields[6], r.seconds) ||
        !parseInt(fields[7], r.score) || (fields[8] != "yes" && fields[8] != "no"))
        return false;
    if (r.right < 0 || r.wrong < 0 || r.seconds < 0)
        return false;
    r.allowed = std::string(fields[3]);
    r.eligible = fields[8] == "yes";
    record = std::move(r);
    return true;
}

bool appendDrill(const std::string& path, const DrillRecord& record) {
    // Read as well as written: the last byte tells whether the last line is whole.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    std::string bytes;
    if (st.st_size == 0) {
        bytes = std::string(kDrillLogHeader) + "\r\n";
    } else {
        // A line a crash cut short gets its line end now, so it stays a
        // damaged line of its own instead of spoiling this one.
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
            bytes = "\r\n";
    }
    bytes += formatDrillLine(record);
    // One write of the whole line: appends land whole after the old end.
    const bool written = writeAll(fd, bytes);
    return ::close(fd) == 0 && written;
}

DrillLog parseDrillLog(std::string_view data) {
    DrillLog log;
    bool first = true;
    while (!data.empty()) {
        const size_t end = data.find('\n');
        if (end == std::string_view::npos) {
            ++log.skippedLines; // no line end: a write a crash cut short
            break;
        }
        std::string_view line = data.substr(0, end);
        data.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first && line == kDrillLogHeader) {
            first = false;
            continue;
        }
        first = false;
        if (line.empty())
            continue;
        DrillRecord record;
        if (parseDrillLine(line, record))
            log.drills.push_back(std::move(record));
        else
            ++log.skippedLines;
    }
    return log;
}

DrillLog readDrillLog(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        DrillLog log;
        log.missing = errno == ENOENT;
        return log;
    }
    struct stat st {};
    std::string data;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            data.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return parseDrillLog(data);
}

} // namespace stats
