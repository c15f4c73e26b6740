#include "errors/sessionreport.h"

#include "errors/generalnotation.h"

#include <cstdint>
#include <cstdio>

namespace errors {

const IntervalNames& standardIntervalNames() {
    static const IntervalNames names = {
        "unison",          "minor 2nd",         "major 2nd",       "minor 3rd",
        "major 3rd",       "perfect 4th",       "tritone",         "perfect 5th",
        "minor 6th",       "major 6th",         "minor 7th",       "major 7th",
        "octave",          "minor 9th",         "major 9th",       "minor 3rd + 8ve",
        "major 3rd + 8ve", "perfect 4th + 8ve", "tritone + 8ve",   "perfect 5th + 8ve",
        "minor 6th + 8ve", "major 6th + 8ve",   "minor 7th + 8ve", "major 7th + 8ve",
        "double 8ve",
    };
    return names;
}

namespace {

struct Style {
    int lastRow;
    const char* piCorrect;
    bool profile; // mod 12 wrong answers: ten spaces and the general notation
    std::string_view decimalPoint;
};

// Shares are single-precision, as they have always been shown.
float share(int32_t count, int64_t total) {
    return static_cast<float>(100.0 * static_cast<double>(count) / static_cast<double>(total));
}

std::string format(const char* pattern, float percent) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, pattern, static_cast<double>(percent));
    return buffer;
}

std::string format(const char* pattern, int number, float percent) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, pattern, number, static_cast<double>(percent));
    return buffer;
}

// Sums in 64 bits: a file's counters may add up past 32 bits.
int64_t total(int32_t correct, std::span<const int32_t> wrong) {
    int64_t sum = correct;
    for (const int32_t w : wrong)
        sum += w;
    return sum;
}

std::vector<std::string> reportLines(std::span<const IntervalTally, kTallyRows> tally,
                                     const IntervalNames& names, const Style& style) {
    std::vector<std::string> lines;
    for (int r = 1; r <= style.lastRow; ++r) {
        const IntervalTally& row = tally[static_cast<size_t>(r)];
        const int64_t piTotal = total(row.piCorrect, std::span(row.piWrong).subspan(1));
        const int64_t m12Total = total(row.m12Correct, row.m12Wrong);
        const int64_t icTotal = total(row.icCorrect, row.icWrong);
        if (piTotal <= 0 && m12Total <= 0 && icTotal <= 0)
            continue;
        // Rows past the named sizes only ever hold counts from a damaged
        // file; they are headed by their size.
        lines.push_back(r < static_cast<int>(names.size()) ? names[static_cast<size_t>(r)]
                                                           : std::to_string(r));

        // A block with no positive total (possible only in a damaged file)
        // has no shares to show.
        if (row.piCorrect != 0 && piTotal > 0) {
            lines.push_back(format(style.piCorrect, share(row.piCorrect, piTotal)));
            for (int j = 1; j < 37; ++j)
                if (row.piWrong[j] != 0)
                    lines.push_back(
                        format("          pi %d %3.0f%%", j, share(row.piWrong[j], piTotal)));
        }
        if (row.m12Correct != 0 && m12Total > 0) {
            lines.push_back(format("     correct %3.0f%%", share(row.m12Correct, m12Total)));
            for (int k = 0; k < 12; ++k) {
                if (row.m12Wrong[k] == 0)
                    continue;
                const float p = share(row.m12Wrong[k], m12Total);
                const std::string& name = names[static_cast<size_t>(k)];
                if (style.profile)
                    lines.push_back("          " + name + " " +
                                    generalNotation(p, style.decimalPoint) + "%");
                else
                    lines.push_back("     " + name + format(" %3.0f%%", p));
            }
        }
        if (row.icCorrect != 0 && icTotal > 0) {
            lines.push_back(format("     correct ic %3.0f%%", share(row.icCorrect, icTotal)));
            for (int k = 0; k < 7; ++k)
                if (row.icWrong[k] != 0)
                    lines.push_back(
                        format("          ic %d %3.0f%%", k, share(row.icWrong[k], icTotal)));
        }
    }
    return lines;
}

} // namespace

std::vector<std::string> sessionReportLines(std::span<const IntervalTally, kTallyRows> tally,
                                            const IntervalNames& names) {
    return reportLines(tally, names, Style{36, "     correct %3.0f%%", false, "."});
}

std::vector<std::string> cumulativeProfileLines(std::span<const IntervalTally, kTallyRows> tally,
                                                const IntervalNames& names,
                                                std::string_view decimalPoint) {
    return reportLines(tally, names, Style{24, "     correct pi %3.0f%%", true, decimalPoint});
}

} // namespace errors
