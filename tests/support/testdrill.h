#pragma once

// Test doubles for the drill: a clock whose waits take no time, a Key Guide
// that records its markers, and a drill that records what its window would
// be told.

#include "app/drillstate.h"
#include "app/keyguidemarkers.h"

#include "tests/support/testclock.h"

#include <algorithm>
#include <string>
#include <vector>

using FakeClock = TestClock;

class FakeKeyGuide final : public KeyGuideMarkers {
public:
    bool visible = true;
    bool shown[12] = {};
    int repaints = 0;

    [[nodiscard]] bool guideVisible() const override { return visible; }
    void showMarker(int i) override {
        shown[i] = true;
        ++repaints;
    }
    void hideMarker(int i) override { shown[i] = false; }
    [[nodiscard]] bool markerShown(int i) const override { return shown[i]; }
};

class RecordingDrill : public DrillState {
public:
    explicit RecordingDrill(Clock& clock) : DrillState(clock) { seedRandom(12345); }

    int mode = 1;    // identify mode
    int givenAs = 0; // 0 chord, 1 figure
    bool includeAnswer = true;
    std::vector<std::string> steps; // END steps and messages, in order
    std::vector<std::string> clockTexts;
    int refreshes = 0;
    // Counters as the score window saw them.
    int scoreCorrect = -1, scoreIncorrect = -1;

    [[nodiscard]] int identifyMode() const override { return mode; }
    [[nodiscard]] int presentation() const override { return givenAs; }

    // Makes the current question low..high (ascending), as a draw would.
    void setQuestion(int first, int second) {
        playOrder[0] = first;
        playOrder[1] = second;
        notes[0] = std::min(first, second);
        notes[1] = std::max(first, second);
        pitchInterval = notes[1] - notes[0];
        m12Interval = mod12Of(pitchInterval);
        intervalClass = intervalClassOf(m12Interval);
        toneLength[0] = toneLength[1] = toneBase;
    }

protected:
    void refreshControls() override { ++refreshes; }
    void showClockText(const std::string& text) override { clockTexts.push_back(text); }
    void showMessage(const std::string& text) override { steps.push_back("message: " + text); }
    void writeSessionReport() override { steps.push_back("report"); }
    bool includeFilteredDrill() override {
        steps.push_back("ask");
        return includeAnswer;
    }
    void updateErrorFile() override { steps.push_back("errors"); }
    void showScoreWindow() override {
        steps.push_back("score");
        scoreCorrect = correctCount;
        scoreIncorrect = incorrectCount;
    }
    void clearReportBox() override { steps.push_back("clear"); }
};

// Virtual-key codes of the answer keys used in the tests.
namespace vk {
constexpr int digit(int d) {
    return 48 + d;
} // main keyboard 0..9
constexpr int minus = 189;
constexpr int equals = 187;
constexpr int grave = 192;
constexpr int pad(int d) {
    return 96 + d;
}
constexpr int padPoint = 110;
} // namespace vk

// The key that answers a question correctly in "mod 12 interval" mode.
inline int mod12Key(int m12Interval) {
    if (m12Interval == 0)
        return vk::equals;
    if (m12Interval == 10)
        return vk::digit(0);
    if (m12Interval == 11)
        return vk::minus;
    return vk::digit(m12Interval);
}
