#include "score/highscores.h"
#include "core/civildate.h"

#include "core/atomicfile.h"
#include "core/filenotices.h"
#include "core/numbertokens.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

using civil::civilFromDays;
using civil::daysFromCivil;

const int64_t kDay0FromUnix = daysFromCivil(1899, 12, 30);

// Reads fields off the front of the text, skipping white space first.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : text_(text) {}

    bool atEnd() {
        skipSpace();
        return pos_ >= text_.size();
    }

    // The next field; empty at the end of the text.
    std::string_view next() {
        skipSpace();
        const size_t start = pos_;
        while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

private:
    void skipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// One record of five fields, read whole or not at all.
bool readRecord(const std::string_view (&fields)[5], HighScoreEntry& e) {
    double time = 0.0;
    if (!parseDecimalToken(fields[0], e.date) || !parseIntegerToken(fields[1], e.correct) ||
        !parseIntegerToken(fields[2], e.incorrect) || !parseDecimalToken(fields[3], time) ||
        !parseIntegerToken(fields[4], e.score))
        return false;
    // A time that does not fit a float cannot have been written by us.
    if (std::fabs(time) > static_cast<double>(std::numeric_limits<float>::max()))
        return false;
    e.timePerInterval = static_cast<float>(time);
    return true;
}

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
    // Not printf: under a decimal-comma locale it writes "4,8".
    std::string text;
    for (const HighScoreEntry& e : table) {
        text += "\r\n";
        text += formatGeneral(e.date);
        text += ' ';
        text += std::to_string(e.correct);
        text += ' ';
        text += std::to_string(e.incorrect);
        text += ' ';
        text += formatGeneral(static_cast<double>(e.timePerInterval));
        text += ' ';
        text += std::to_string(e.score);
    }
    return text;
}

std::vector<HighScoreEntry> parseHighScoreFile(std::string_view text, int* damaged) {
    std::vector<HighScoreEntry> table;
    int unread = 0;
    FieldReader reader(text);
    while (table.size() < static_cast<size_t>(kHighScoreFileEntries) && !reader.atEnd()) {
        std::string_view fields[5];
        for (std::string_view& field : fields)
            field = reader.next();
        HighScoreEntry e;
        if (readRecord(fields, e))
            table.push_back(e);
        else
            ++unread; // the records after it are still read
    }
    if (damaged)
        *damaged = unread;
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
    const auto save = [&](const std::vector<HighScoreEntry>& table) {
        const FileWrite written = rewriteFile(path, formatHighScoreFile(table));
        if (!written.ok)
            filenotices::saveFailed(path, written.reason);
        return written.ok;
    };
    if (!fileExists(path)) {
        // The first drill ever starts the file; the list stays empty. A drill
        // that used filters is not recorded, here as anywhere else.
        if (eligible)
            update.recorded = update.written = save({drill});
        update.filterNotice = !eligible;
        return update;
    }

    const FileContents old = readFileGuarded(path);
    int damaged = 0;
    std::vector<HighScoreEntry> table;
    if (old.read())
        table = parseHighScoreFile(old.data, &damaged);

    update.filterNotice = !eligible;
    size_t selected = 0;
    if (eligible) {
        selected = insertionIndex(table, drill.score);
        table.insert(table.begin() + static_cast<std::ptrdiff_t>(selected), drill);
    }

    for (size_t i = 0; i < table.size(); ++i)
        update.lines.push_back(
            formatHighScoreLine(static_cast<int>(i) + 1, table[i], dateSeparator));
    update.selectedLine = table.empty() ? -1 : static_cast<int>(selected);

    if (table.size() > static_cast<size_t>(kHighScoreFileEntries))
        table.resize(kHighScoreFileEntries);
    // A file we could not read may hold a table we would destroy.
    if (!old.read()) {
        filenotices::saveFailed(path, unreadableReason(old));
        update.unsavedLine = eligible ? static_cast<int>(selected) : -1;
        return update;
    }
    // Records that could not be read are kept in a copy before they go.
    const std::string damagedCopy = path + kDamagedSuffix;
    if (damaged) {
        const FileWrite kept = rewriteFile(damagedCopy, old.data);
        if (!kept.ok) {
            filenotices::saveFailed(path, "part of it could not be read, and a copy of it could "
                                          "not be kept in " +
                                              filenotices::fullPath(damagedCopy) + " (" +
                                              kept.reason + ")");
            update.unsavedLine = eligible ? static_cast<int>(selected) : -1;
            return update;
        }
    }
    update.written = save(table);
    update.recorded =
        update.written && eligible && selected < static_cast<size_t>(kHighScoreFileEntries);
    if (update.written && damaged)
        filenotices::damagedKept(path, damagedCopy);
    if (!update.written && eligible)
        update.unsavedLine = static_cast<int>(selected);
    return update;
}
