#pragma once

#include <functional>

// The interval filter's 45 check boxes as plain state, and the rules that
// keep its three pages consistent. Boxes are numbered like the window's
// controls: 1..7 the interval classes (page 0), 8..19 the intervals within
// an octave (page 1), 22..45 the pitch intervals of 1..24 semitones
// (page 2), 20 and 21 the "<= 8ve" and " > 8ve" group boxes (page 2).
//
// A box's handler runs whenever its state changes, whoever changed it, and
// setting a box to the state it has runs nothing. Each page's rule acts only
// while its page is active and sets only boxes of the other pages, so the
// rules never feed back into one another.
class FilterRules {
public:
    static constexpr int kBoxCount = 45;
    static constexpr int kLowerGroupBox = 20; // "<= 8ve"
    static constexpr int kUpperGroupBox = 21; // " > 8ve"

    // Box numbers of the three arrays: class c 0..6, size mod 12 k 0..11
    // (0 the octave), pitch interval k + 1 for k 0..23.
    [[nodiscard]] static constexpr int icBox(int c) { return 1 + c; }
    [[nodiscard]] static constexpr int mod12Box(int k) { return 8 + k; }
    [[nodiscard]] static constexpr int piBox(int k) { return 22 + k; }
    // The page a box sits on (0..2).
    [[nodiscard]] static int pageOf(int box);

    // Start states: every class and every size up to the octave checked,
    // the second octave and the two group boxes unchecked.
    FilterRules();

    [[nodiscard]] bool checked(int box) const { return checked_[box]; }
    [[nodiscard]] bool ic(int c) const { return checked_[icBox(c)]; }
    [[nodiscard]] bool mod12(int k) const { return checked_[mod12Box(k)]; }
    [[nodiscard]] bool pi(int k) const { return checked_[piBox(k)]; }

    // Changes a box and, when its state really changed, runs its handler.
    void setChecked(int box, bool state);

    [[nodiscard]] int activePage() const { return activePage_; }
    void setActivePage(int page) { activePage_ = page; }

    // The handlers of the boxes and buttons.
    void ICClick();
    void Mod12Click();
    void PIClick();
    // "ALL" checks everything the active page speaks for: on the classes'
    // page every class and so every size of both octaves, on the one-octave
    // page the first octave only, on the two-octave page all 24 sizes.
    void AllClick();
    void NoneClick();
    void CheckBox20Click();
    void CheckBox21Click();

    void syncFromIC();
    void syncFromMod12();
    void syncFromPI();

    // allowed[k] := pitch interval k is checked, k = 1..24; [0] untouched.
    void writeAllowed(bool (&allowed)[25]) const;

    // Told of every change of a box's state, before its handler runs.
    std::function<void(int box, bool state)> onChange;

private:
    void runHandler(int box);

    bool checked_[kBoxCount + 1] = {};
    int activePage_ = 1;
};
