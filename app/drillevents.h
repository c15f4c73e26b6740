#pragma once

// Moments of the drill that features around it follow (the sound check,
// the instrument, the revealed answer). They only watch: nothing they do
// changes the drill's grading, counters or tallies.
class DrillEvents {
public:
    virtual ~DrillEvents() = default;
    // The output port refused a note of the drill.
    virtual void noteRefused() {}
    // A new question was drawn.
    virtual void questionDrawn() {}
    // A wrong answer was counted (its Key Guide cross, if any, is shown).
    virtual void wrongAnswerCounted() {}
    // END has reset the drill.
    virtual void drillReset() {}
};
