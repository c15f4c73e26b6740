#pragma once

#include <array>
#include <cstdint>

// Answer tallies for the questions of one pitch interval: 59 signed 32-bit
// counters in this order. errors.dat stores rows in the same order, so the
// order is part of the file format.
struct IntervalTally {
    int32_t piCorrect = 0;     // correct in "pitch interval" mode
    int32_t piWrong[37] = {};  // wrong, by the pitch interval answered (0..36)
    int32_t m12Correct = 0;    // correct in "mod 12 interval" mode
    int32_t m12Wrong[12] = {}; // wrong, by the answer mod 12 (octave at 0)
    int32_t icCorrect = 0;     // correct in "interval class" mode
    int32_t icWrong[7] = {};   // wrong, by the interval class answered

    static constexpr int kCounters = 59;
    // Counter i (0..58) in file order.
    [[nodiscard]] int32_t& counter(int i);
    [[nodiscard]] int32_t counter(int i) const;
    void clear() { *this = IntervalTally{}; }
    friend bool operator==(const IntervalTally&, const IntervalTally&) = default;
};

inline constexpr int kTallyRows = 37;
using TallyTable = std::array<IntervalTally, kTallyRows>;

// Mod 12 interval: 12 taken off while the pitch interval exceeds 11.
[[nodiscard]] constexpr int mod12Of(int pitchInterval) {
    int m = pitchInterval;
    while (m > 11)
        m -= 12;
    return m;
}

// Interval class: a mod 12 interval above 6 folds to 12 minus it.
[[nodiscard]] constexpr int intervalClassOf(int mod12Interval) {
    return mod12Interval > 6 ? 12 - mod12Interval : mod12Interval;
}

// The answer number a key stands for (1..12), from its virtual-key code:
// main digits 1..9 and 0 (10), minus (11), equals and grave (12), and the
// same on the numeric pad (decimal point 11). 0 for any other key.
[[nodiscard]] int answerForKey(int virtualKey);
