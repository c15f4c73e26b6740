#pragma once

#include <cstdint>
#include <string>

class DrillState;

// Where the revealed answer is shown on the Key Guide: one marker per
// answer key (marker i stands for answer i + 1, as the wrong-answer
// markers do), drawn unlike the red cross.
class RevealGuide {
public:
    virtual ~RevealGuide() = default;
    [[nodiscard]] virtual bool guideVisible() const = 0;
    virtual void showReveal(int i) = 0;
    virtual void hideReveal(int i) = 0;
};

// "Reveal the answer", a choice the user opts into: after a wrong answer
// the Key Guide shows the right key for as long as it shows the cross, and
// on request the question is played again and the answer named. It only
// shows: grading, the counters and the tallies are the drill's alone.
class AnswerReveal {
public:
    static constexpr int32_t kMarkerMs = 2000;

    bool enabled = false;

    // The Key Guide marker of the right answer to the drill's current
    // question in the drill's identify mode, or -1 when no key names it
    // (a pitch interval beyond the octave).
    [[nodiscard]] static int rightMarker(const DrillState& drill);
    // The right answer in words, with the key or number that gives it
    // ("perfect fifth: key 7").
    [[nodiscard]] static std::string answerName(const DrillState& drill);
    // The name of a pitch interval of 1..24 semitones.
    [[nodiscard]] static std::string intervalName(int semitones);

    // A wrong answer was just counted: shows the right key until the
    // deadline, when enabled and the guide is visible.
    void wrongAnswer(const DrillState& drill, RevealGuide* guide);
    // Each clock tick: hides the marker whose time is up.
    void tick(int32_t now, RevealGuide* guide);
    // Hides the marker at once (the question changed).
    void clear(RevealGuide* guide);
    [[nodiscard]] int shownMarker() const { return marker_; }

private:
    int marker_ = -1;
    int32_t deadline_ = -1;
};
