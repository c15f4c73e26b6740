#pragma once

#include "settings/filterrules.h"

#include <QDialog>
#include <array>

class DrillState;
class QCheckBox;
class QPushButton;
class QTabWidget;

// The filter window: which intervals a drill may ask, shown on three pages
// (interval classes, sizes within an octave, pitch intervals up to two
// octaves). Only the third page is the filter; closing the window copies it
// into the drill state's allowed sizes. The boxes mirror FilterRules, which
// keeps the pages consistent.
class TNewFilterForm : public QDialog {
    Q_OBJECT
public:
    explicit TNewFilterForm(DrillState& drill, QWidget* parent = nullptr);

    QTabWidget* PageControl1;
    QWidget* TabSheet1; // page 0, interval classes (no tab text)
    QWidget* TabSheet2; // page 1, "Intervals within an 8ve"
    QWidget* TabSheet3; // page 2, "two octaves"

    std::array<QCheckBox*, 7> ICBoxes{};     // CheckBox1..7, class 0..6
    std::array<QCheckBox*, 12> Mod12Boxes{}; // CheckBox8..19, size mod 12
    std::array<QCheckBox*, 24> PIBoxes{};    // CheckBox22..45, 1..24 semitones
    QCheckBox* CheckBox20;                   // "<= 8ve"
    QCheckBox* CheckBox21;                   // " > 8ve"

    QPushButton* Button4;     // page 0 "ALL"
    QPushButton* Button3;     // page 0 "NONE"
    QPushButton* Button2;     // page 1 "ALL"
    QPushButton* Button1;     // page 1 "NONE"
    QPushButton* AllButton3;  // page 2 "ALL"
    QPushButton* NoneButton3; // page 2 "NONE"
    QPushButton* OKButton;

    // The box with the given control number (CheckBox<number>), 1..45.
    [[nodiscard]] QCheckBox* box(int number) const;

    void AllClick();
    void NoneClick();
    void FormClose();
    void FormShow();

    // Ends the dialog by any road ("OK", Escape, the close box): the filter
    // reaches the drill state on each of them.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QCheckBox* makeBox(QWidget* page, int number, const QString& caption, int left, int top);
    void buildClassPage();
    void buildOctavePage();
    void buildTwoOctavePage();

    DrillState& drill_;
    FilterRules rules_;
    std::array<QCheckBox*, FilterRules::kBoxCount + 1> boxes_{};
};

extern TNewFilterForm* NewFilterForm;
