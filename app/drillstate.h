#pragma once

#include "app/intervals.h"
#include "core/clock.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>

class TMidiLibOut;
class KeyGuideMarkers;
class DrillEvents;

// The state of a drill and the rules that keep it: the current question,
// the counters, the tallies, the filters and the playback settings. The
// main window inherits it, so every window reaches these fields on the main
// window by their names. Needs no widgets: tests drive it directly.
class DrillState {
public:
    explicit DrillState(Clock& clock = SystemClock::instance());
    virtual ~DrillState() = default;
    DrillState(const DrillState&) = delete;
    DrillState& operator=(const DrillState&) = delete;

    // ---- Fields, in declaration order --------------------------------
    int highNote = 67;
    int lowNote = 43;
    int noteCount = 2;
    int notes[12] = {};
    int ringHistory[4][12] = {};
    int sustain = 1; // chords allowed to ring, minus one: 0..2
    bool dampenFirst = false;
    bool dampenSecond = false;
    int deviceCount = 0;
    int m12Interval = 0;
    int pitchInterval = 0;
    int intervalClass = 0;
    int answer = 0;
    int correctCount = 0;
    int incorrectCount = 0;
    int32_t startTime = 0; // msClock() when the drill began
    bool running = false;
    bool allowed[25] = {}; // by pitch interval; 1..12 true at start
    IntervalTally sessionTally[kTallyRows];
    IntervalTally cumulativeTally[kTallyRows];
    int toneBase = 500;
    int playOrder[2] = {};
    int toneLength[2] = {};

    // ---- Time --------------------------------------------------------
    [[nodiscard]] int32_t msClock() const { return clock_->now(); }
    [[nodiscard]] Clock& clock() const { return *clock_; }
    // The drill's time since BEGIN: up to now while it runs, up to the
    // press of END once it has ended (the questions END asks take none).
    [[nodiscard]] int64_t drillTime() const {
        return static_cast<int64_t>(endedAt_ ? *endedAt_ : msClock()) - startTime;
    }

    // Shown while the drill clock runs: from BEGIN until END has reset the
    // counters (the score window still sees the clock's last reading).
    bool clockVisible = false;

    // ---- Rules -------------------------------------------------------
    void clearSessionTally();
    // True when any of sizes 1..12 is switched off (the drill is filtered).
    [[nodiscard]] bool filtersInUse() const;
    // True when the filters allow at least one pitch interval that two notes
    // in lowNote..highNote can form; otherwise no question can be drawn.
    [[nodiscard]] bool anyIntervalAllowed() const;
    // The BEGIN/END button reads "END" (and is enabled) from the tenth
    // correct answer of a running drill on.
    [[nodiscard]] bool endOffered() const { return running && correctCount >= 10; }

    static constexpr const char* kNoIntervalsMessage =
        "No intervals are selected. Choose some under Settings > Filters.";

    // Where the drill's notes go; null plays nothing.
    void setNoteOutput(TMidiLibOut* port) { noteOutput_ = port; }
    [[nodiscard]] TMidiLibOut* noteOutput() const { return noteOutput_; }

    // Identify mode (0 pitch interval, 1 mod 12 interval, 2 interval class)
    // and presentation (0 chord, 1 figure). The main window reads its radio
    // groups; a plain state keeps the defaults.
    [[nodiscard]] virtual int identifyMode() const { return 1; }
    [[nodiscard]] virtual int presentation() const { return 0; }

    // ---- The drill (questions, playback, answers) ----------------------
    // Draws a new question within `allowed`. Returns false, leaving the
    // current question as it was, when the filters allow no interval.
    bool drawQuestion();
    void playQuestion();
    // Replay and spelling of the current question; nothing while no drill
    // runs (their buttons are disabled then).
    void repeatQuestion(); // "&Repeat"
    void arpeggiateUp();   // "Arpeggiate &Up"
    void arpeggiateDown(); // "Arpeggiate &Down"
    // 0..n-1 from the generator's next 31-bit value; 0 when n <= 0.
    int randomBelow(int n);
    // The generator is seeded from the calendar time (seconds) when the
    // state is created; tests reseed it for a repeatable sequence.
    void seedRandom(uint32_t seed);

    // A key pressed on the window, as a virtual-key code (app/keymap.h):
    // sets `answer` and grades it in modes 1 and 2. Ignored while no drill
    // runs and in mode 0.
    void answerKey(int virtualKey);
    // Enter in the answer box in "pitch interval" mode: `text` is the box's
    // whole text (or one line); the digits of its last line that holds text
    // are the answer. Ignored while no drill runs or in other modes.
    void typedAnswer(const std::string& text);
    void markCorrect();
    void markWrong();
    // BEGIN / END button. Returns false when BEGIN could not start a drill
    // (a drill already runs, or the filters allow no interval: the user is
    // told). END does nothing while no drill runs.
    bool beginDrill();
    void endDrill();
    // Once a second: the drill clock and the Key Guide markers.
    void clockTick();

    // The Key Guide's markers, or null when there is no Key Guide.
    void setKeyGuide(KeyGuideMarkers* guide) { keyGuide_ = guide; }
    [[nodiscard]] KeyGuideMarkers* keyGuide() const { return keyGuide_; }

    // Who follows the drill's moments (app/drillevents.h), or null.
    void setDrillEvents(DrillEvents* events) { events_ = events; }

protected:
    // ---- What the window around the drill shows (no-ops here) ----------
    // Recompute the labels and buttons from the fields (counters, BEGIN/END,
    // enabled buttons, clock visibility).
    virtual void refreshControls() {}
    // The drill clock's text, "m:ss".
    virtual void showClockText(const std::string& /*text*/) {}
    // A message for the user (for example when no interval is allowed).
    virtual void showMessage(const std::string& /*text*/) {}
    // The steps of END that belong to other windows, in the order called.
    virtual void writeSessionReport() {}
    // Whether a drill that used filters joins the cumulative file.
    virtual bool includeFilteredDrill() { return true; }
    virtual void updateErrorFile() {}
    virtual void showScoreWindow() {}
    virtual void clearReportBox() {}

private:
    void sendNote(int note, int velocity);
    // Counts a wrong answer that has no tally slot and no Key Guide marker.
    void markUnreadable();
    // Crosses out the answered key on the Key Guide for a while.
    void showWrongMarker();

    Clock* clock_;
    std::optional<int32_t> endedAt_; // msClock() when END was pressed
    KeyGuideMarkers* keyGuide_ = nullptr;
    DrillEvents* events_ = nullptr;
    TMidiLibOut* noteOutput_ = nullptr;
    std::mt19937 random_;
};

// The drill clock's text for an elapsed time: "m:ss", minutes unpadded.
[[nodiscard]] std::string drillClockText(int32_t elapsedMs);
