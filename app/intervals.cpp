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
