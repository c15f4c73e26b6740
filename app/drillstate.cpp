#include "app/drillstate.h"

DrillState::DrillState(Clock& clock) : clock_(&clock) {
    for (int k = 1; k <= 12; ++k)
        allowed[k] = true;
}

void DrillState::clearSessionTally() {
    for (auto& row : sessionTally)
        row.clear();
}

bool DrillState::filtersInUse() const {
    for (int k = 1; k <= 12; ++k)
        if (!allowed[k])
            return true;
    return false;
}
