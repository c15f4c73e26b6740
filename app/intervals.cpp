#include "app/intervals.h"

int32_t& IntervalTally::counter(int i) {
    if (i == 0)
        return piCorrect;
    if (i <= 37)
        return piWrong[i - 1];
    if (i == 38)
        return m12Correct;
    if (i <= 50)
        return m12Wrong[i - 39];
    if (i == 51)
        return icCorrect;
    return icWrong[i - 52];
}

int32_t IntervalTally::counter(int i) const {
    return const_cast<IntervalTally*>(this)->counter(i);
}

int answerForKey(int virtualKey) {
    if (virtualKey >= 49 && virtualKey <= 57) // main keyboard 1..9
        return virtualKey - 48;
    if (virtualKey >= 97 && virtualKey <= 105) // numeric pad 1..9
        return virtualKey - 96;
    switch (virtualKey) {
    case 48: // main 0
    case 96: // pad 0
        return 10;
    case 189: // minus
    case 110: // pad decimal point
        return 11;
    case 187: // equals
    case 192: // grave accent
        return 12;
    default:
        return 0;
    }
}
