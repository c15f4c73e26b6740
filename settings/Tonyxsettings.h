#pragma once

#include <QDialog>

class DrillState;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class UpDown;

// The settings window: how many chords keep ringing and whether the tones
// of a figure are cut short. Every change goes into the drill state at
// once; the controls keep their own state between openings and never read
// the drill state back.
class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSettingsForm(DrillState& drill, QWidget* parent = nullptr);

    QLabel* StaticText1;  // "Sustain"
    QLabel* StaticText2;  // "Allow"
    QLineEdit* Edit1;     // n, read-only
    UpDown* UpDown1;      // n, 1..3
    QLabel* StaticText3;  // "chords to ring"
    QLabel* StaticText4;  // "Melody Tones"
    QCheckBox* CheckBox1; // "Dampen First Tone"
    QCheckBox* CheckBox2; // "Dampen Second Tone"
    QPushButton* OKButton;

    void UpDown1Click();
    void CheckBox1Click();
    void CheckBox2Click();
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    DrillState& drill_;
};

extern TSettingsForm* SettingsForm;
