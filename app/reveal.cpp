#include "app/reveal.h"

#include "app/drillstate.h"

#include <array>

namespace {

// The key for answer 1..12 on the main keyboard.
std::string keyOf(int answer) {
    switch (answer) {
    case 10:
        return "0";
    case 11:
        return "-";
    case 12:
        return "=";
    default:
        return std::to_string(answer);
    }
}

int markerOfAnswer(int answer) {
    return answer >= 1 && answer <= 12 ? answer - 1 : -1;
}

// The answer key of mode 1 (mod 12) and mode 2 (interval class): 0 is
// answered with the octave key.
int keyAnswer(int value) {
    return value == 0 ? 12 : value;
}

const char* const kClassNames[7] = {"octave",
                                    "minor second or major seventh",
                                    "major second or minor seventh",
                                    "minor third or major sixth",
                                    "major third or minor sixth",
                                    "perfect fourth or fifth",
                                    "tritone"};

} // namespace

std::string AnswerReveal::intervalName(int semitones) {
    static const std::array<const char*, 25> names = {"unison",
                                                      "minor second",
                                                      "major second",
                                                      "minor third",
                                                      "major third",
                                                      "perfect fourth",
                                                      "tritone",
                                                      "perfect fifth",
                                                      "minor sixth",
                                                      "major sixth",
                                                      "minor seventh",
                                                      "major seventh",
                                                      "octave",
                                                      "minor ninth",
                                                      "major ninth",
                                                      "minor tenth",
                                                      "major tenth",
                                                      "perfect eleventh",
                                                      "augmented eleventh",
                                                      "perfect twelfth",
                                                      "minor thirteenth",
                                                      "major thirteenth",
                                                      "minor fourteenth",
                                                      "major fourteenth",
                                                      "two octaves"};
    return semitones >= 0 && semitones < static_cast<int>(names.size())
               ? names[static_cast<std::size_t>(semitones)]
               : std::to_string(semitones) + " semitones";
}

int AnswerReveal::rightMarker(const DrillState& drill) {
    switch (drill.identifyMode()) {
    case 0:
        return markerOfAnswer(drill.pitchInterval);
    case 1:
        return markerOfAnswer(keyAnswer(drill.m12Interval));
    case 2:
        return markerOfAnswer(keyAnswer(drill.intervalClass));
    default:
        return -1;
    }
}

std::string AnswerReveal::answerName(const DrillState& drill) {
    switch (drill.identifyMode()) {
    case 0:
        return intervalName(drill.pitchInterval) + ": type " + std::to_string(drill.pitchInterval);
    case 1: {
        const int answer = keyAnswer(drill.m12Interval);
        std::string name = intervalName(answer);
        if (drill.pitchInterval > 12)
            name += " (" + intervalName(drill.pitchInterval) + ")";
        return name + ": key " + keyOf(answer);
    }
    case 2: {
        const int ic = drill.intervalClass;
        if (ic < 0 || ic > 6)
            return {};
        return "interval class " + std::to_string(ic) + ", " + kClassNames[ic] + ": key " +
               keyOf(keyAnswer(ic));
    }
    default:
        return {};
    }
}

void AnswerReveal::wrongAnswer(const DrillState& drill, RevealGuide* guide) {
    if (!enabled || !guide || !guide->guideVisible())
        return;
    clear(guide);
    marker_ = rightMarker(drill);
    if (marker_ < 0)
        return;
    guide->showReveal(marker_);
    deadline_ = drill.msClock() + kMarkerMs;
}

void AnswerReveal::tick(int32_t now, RevealGuide* guide) {
    // Hidden on the same tick rule as the crosses: once the deadline has passed.
    if (marker_ >= 0 && deadline_ < now)
        clear(guide);
}

void AnswerReveal::clear(RevealGuide* guide) {
    if (marker_ >= 0 && guide)
        guide->hideReveal(marker_);
    marker_ = -1;
    deadline_ = -1;
}
