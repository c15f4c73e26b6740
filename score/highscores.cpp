#include "score/highscores.h"

#include "core/atomicfile.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>

namespace {

// Days from 1970-01-01 to a civil date, proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

const int64_t kDay0FromUnix = daysFromCivil(1899, 12, 30);

// Reads fields off the front of the text, skipping white space first.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : text_(text) {}

    bool atEnd() {
        skipSpace();
        return pos_ >= text_.size();
    }

    // A whole field as a number of type T (an optional '+' allowed, as
    // printf-style readers take it); false if any of it is not part of one.
    template <typename T> bool read(T& value) {
        const std::string_view field = next();
        if (field.empty())
            return false;
        const char* first = field.data() + (field.front() == '+' ? 1 : 0);
        const char* last = field.data() + field.size();
        const auto [end, error] = std::from_chars(first, last, value);
        if (error != std::errc() || end != last)
            return false;
        if constexpr (std::is_floating_point_v<T>)
            return std::isfinite(value);
        return true;
    }

private:
    void skipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
    }
    std::string_view next() {
        skipSpace();
        const size_t start = pos_;
        while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    std::string_view text_;
    size_t pos_ = 0;
};

} // namespace

int64_t dayNumber(int year, int month, int day) {
    return daysFromCivil(year, month, day) - kDay0FromUnix;
}

std::string formatDayNumber(double date, std::string_view separator) {
    // Years 1 to 9999 are the dates a calendar can show.
    const double lowest = static_cast<double>(dayNumber(1, 1, 1));
    const double highest = static_cast<double>(dayNumber(9999, 12, 31));
    const std::string sep(separator);
    if (!(date >= lowest && date <= highest))
        return "--" + sep + "--" + sep + "--";
    int64_t year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(static_cast<int64_t>(std::floor(date)) + kDay0FromUnix, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%02d%s%02d%s%02d", month, sep.c_str(), day, sep.c_str(),
                  static_cast<int>(year % 100));
    return text;
}

std::string dateSeparatorOf(std::string_view format) {
    bool quoted = false;
    for (const char c : format) {
        if (c == '\'')
            quoted = !quoted;
        else if (!quoted && !std::isalpha(static_cast<unsigned char>(c)) &&
                 !std::isspace(static_cast<unsigned char>(c)))
            return std::string(1, c);
    }
    return "/";
}

std::string formatHighScoreFile(const std::vector<HighScoreEntry>& table) {
    std::string text;
    char record[160];
    for (const HighScoreEntry& e : table) {
        std::snprintf(record, sizeof record, "\r\n%g %d %d %g %d", e.date, e.correct, e.incorrect,
                      static_cast<double>(e.timePerInterval), e.score);
        text += record;
    }
    return text;
}

std::vector<HighScoreEntry> parseHighScoreFile(std::string_view text) {
    std::vector<HighScoreEntry> table;
    FieldReader reader(text);
    while (table.size() < static_cast<size_t>(kHighScoreFileEntries) && !reader.atEnd()) {
        HighScoreEntry e;
        double time = 0.0;
        if (!reader.read(e.date) || !reader.read(e.correct) || !reader.read(e.incorrect) ||
            !reader.read(time) || !reader.read(e.score))
            break;
        // A time that does not fit a float cannot have been written by us.
        if (std::fabs(time) > static_cast<double>(std::numeric_limits<float>::max()))
            break;
        e.timePerInterval = static_cast<float>(time);
        table.push_back(e);
    }
    return table;
}

std::string formatHighScoreLine(int rank, const HighScoreEntry& e, std::string_view dateSeparator) {
    const double answers = static_cast<double>(e.correct) + static_cast<double>(e.incorrect);
    const double percentage = static_cast<double>(e.correct) / answers * 100.0;
    char line[256];
    std::snprintf(line, sizeof line, "%2d. %8s   %3d  %3d  %2.1f%%  %3.1f %5d", rank,
                  formatDayNumber(e.date, dateSeparator).c_str(), e.correct, e.incorrect,
                  percentage, static_cast<double>(e.timePerInterval), e.score);
    return line;
}

size_t insertionIndex(const std::vector<HighScoreEntry>& table, int32_t score) {
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].score < score)
            return i;
    return table.size();
}

HighScoreUpdate updateHighScoreFile(const std::string& path, const HighScoreEntry& drill,
                                    bool eligible, std::string_view dateSeparator) {
    HighScoreUpdate update;
    if (!fileExists(path)) {
        // The first drill ever starts the file; the list stays empty. A drill
        // that used filters is not recorded, here as anywhere else.
        if (eligible) {
            update.recorded = true;
            update.written = writeFileAtomically(path, formatHighScoreFile({drill}));
        }
        update.filterNotice = !eligible;
        return update;
    }

    const std::optional<std::string> text = readWholeFile(path);
    std::vector<HighScoreEntry> table;
    if (text)
        table = parseHighScoreFile(*text);

    update.filterNotice = !eligible;
    size_t selected = 0;
    if (eligible) {
        selected = insertionIndex(table, drill.score);
        table.insert(table.begin() + static_cast<std::ptrdiff_t>(selected), drill);
        update.recorded = selected < static_cast<size_t>(kHighScoreFileEntries) && text.has_value();
    }

    for (size_t i = 0; i < table.size(); ++i)
        update.lines.push_back(
            formatHighScoreLine(static_cast<int>(i) + 1, table[i], dateSeparator));
    update.selectedLine = table.empty() ? -1 : static_cast<int>(selected);

    if (table.size() > static_cast<size_t>(kHighScoreFileEntries))
        table.resize(kHighScoreFileEntries);
    // A file we could not read may hold a table we would destroy.
    if (text)
        update.written = writeFileAtomically(path, formatHighScoreFile(table));
    return update;
}
