#pragma once

#include <cstdint>

// The twelve wrong-answer markers of the Key Guide, as the drill sees them:
// marker i stands for answer i + 1. The Key Guide window implements it; the
// drill shows a marker, sets its deadline (an msClock value, -1 for none)
// and hides it again on a later clock tick.
class KeyGuideMarkers {
public:
    virtual ~KeyGuideMarkers() = default;
    int32_t markerDeadlines[12] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

    // Whether the Key Guide window is visible now.
    [[nodiscard]] virtual bool guideVisible() const = 0;
    // Shows marker i and repaints the guide at once.
    virtual void showMarker(int i) = 0;
    virtual void hideMarker(int i) = 0;
    [[nodiscard]] virtual bool markerShown(int i) const = 0;
};
