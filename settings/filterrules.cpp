#include "settings/filterrules.h"

FilterRules::FilterRules() {
    for (int c = 0; c < 7; ++c)
        checked_[icBox(c)] = true;
    for (int k = 0; k < 12; ++k)
        checked_[mod12Box(k)] = true;
    for (int k = 0; k < 12; ++k)
        checked_[piBox(k)] = true;
}

int FilterRules::pageOf(int box) {
    if (box < mod12Box(0))
        return 0;
    if (box < kLowerGroupBox)
        return 1;
    return 2;
}

void FilterRules::setChecked(int box, bool state) {
    if (box < 1 || box > kBoxCount || checked_[box] == state)
        return;
    checked_[box] = state;
    if (onChange)
        onChange(box, state);
    runHandler(box);
}

void FilterRules::runHandler(int box) {
    if (box == kLowerGroupBox)
        CheckBox20Click();
    else if (box == kUpperGroupBox)
        CheckBox21Click();
    else if (pageOf(box) == 0)
        ICClick();
    else if (pageOf(box) == 1)
        Mod12Click();
    else
        PIClick();
}

void FilterRules::ICClick() {
    if (activePage_ == 0)
        syncFromIC();
}

void FilterRules::Mod12Click() {
    if (activePage_ == 1)
        syncFromMod12();
}

void FilterRules::PIClick() {
    if (activePage_ == 2)
        syncFromPI();
}

void FilterRules::syncFromIC() {
    const bool octave = ic(0);
    setChecked(mod12Box(0), octave);
    setChecked(piBox(11), octave);
    setChecked(piBox(23), octave);
    // Class c stands for c, 12 - c, 12 + c and 24 - c semitones.
    for (int c = 1; c <= 6; ++c) {
        const bool state = ic(c);
        setChecked(mod12Box(c), state);
        setChecked(mod12Box(12 - c), state);
        setChecked(piBox(c - 1), state);
        setChecked(piBox(11 - c), state);
        setChecked(piBox(c + 11), state);
        setChecked(piBox(23 - c), state);
    }
}

void FilterRules::syncFromMod12() {
    // Page 1 speaks for the first octave only.
    setChecked(piBox(11), mod12(0));
    for (int k = 1; k <= 11; ++k)
        setChecked(piBox(k - 1), mod12(k));
    for (int c = 1; c <= 6; ++c)
        setChecked(icBox(c), mod12(c) && mod12(12 - c));
}

void FilterRules::syncFromPI() {
    // A size shows as checked above only when it is allowed in both octaves.
    const bool octaves = pi(11) && pi(23);
    setChecked(mod12Box(0), octaves);
    setChecked(icBox(0), octaves);
    for (int k = 1; k <= 11; ++k)
        setChecked(mod12Box(k), pi(k - 1) && pi(k + 11));
    for (int c = 1; c <= 6; ++c)
        setChecked(icBox(c), mod12(c) && mod12(12 - c));
}

void FilterRules::AllClick() {
    switch (activePage_) {
    case 0:
        for (int c = 0; c < 7; ++c)
            setChecked(icBox(c), true);
        // Classes that were already checked changed nothing; push them all.
        syncFromIC();
        break;
    case 1:
        for (int c = 0; c < 7; ++c)
            setChecked(icBox(c), true);
        for (int k = 0; k < 12; ++k)
            setChecked(mod12Box(k), true);
        for (int k = 0; k < 12; ++k)
            setChecked(piBox(k), true);
        break;
    default:
        for (int c = 0; c < 7; ++c)
            setChecked(icBox(c), true);
        for (int k = 0; k < 12; ++k)
            setChecked(mod12Box(k), true);
        for (int k = 0; k < 24; ++k)
            setChecked(piBox(k), true);
        break;
    }
}

void FilterRules::NoneClick() {
    for (int c = 0; c < 7; ++c)
        setChecked(icBox(c), false);
    for (int k = 0; k < 12; ++k)
        setChecked(mod12Box(k), false);
    for (int k = 0; k < 24; ++k)
        setChecked(piBox(k), false);
}

void FilterRules::CheckBox20Click() {
    const bool state = checked_[kLowerGroupBox];
    for (int k = 0; k < 12; ++k)
        setChecked(piBox(k), state);
}

void FilterRules::CheckBox21Click() {
    const bool state = checked_[kUpperGroupBox];
    for (int k = 12; k < 24; ++k)
        setChecked(piBox(k), state);
}

void FilterRules::writeAllowed(bool (&allowed)[25]) const {
    for (int k = 1; k <= 24; ++k)
        allowed[k] = pi(k - 1);
}
