#pragma once

#include "score/highscores.h"
#include "score/scoring.h"

#include <QDialog>
#include <cstdint>
#include <functional>

class DrillState;
class QLabel;
class QListWidget;
class QPushButton;

// The score window: shown modally once at the end of each drill. When it
// becomes active it scores the drill and enters it into the high-score
// table; its "Error Report" button opens the Error Report window.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(DrillState& drill, QWidget* parent = nullptr);

    // The end of a drill: shows the window modally; it scores the drill once,
    // when it first becomes active after being shown. Later activations (for
    // example when the Error Report window closes) neither re-time nor
    // re-enter the drill. Returns the modal result, 1 for OK.
    int showForDrill();

    // The drill's results, kept until the next scoring.
    int32_t correct = 0;
    int32_t incorrect = 0;
    int32_t elapsedSeconds = 0;
    float timePerInterval = 0.0f;
    int32_t score = 0;

    // Scores the drill from the drill state and shows how the score was made.
    void computeScore();
    // Reads "hiscore.dat", enters the drill when eligible, fills the list
    // with the drill's line selected and writes the table back.
    void updateHighScores();

    // Today's day number; the local date unless a test sets another source.
    void setToday(std::function<int64_t()> today) { today_ = std::move(today); }
    // The system's short-date separator, "/" when it has none.
    [[nodiscard]] static std::string dateSeparator();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* StaticText1;
    QLabel* TimeLabel;
    QLabel* TimePointsLabel;
    QLabel* PercentageLabel;
    QLabel* LongevityLabel;
    QLabel* ScoreLabel;
    QLabel* Panel1;
    QListWidget* ListBox;
    QLabel* FilterLabel;
    QPushButton* Button2;
    QPushButton* Button1;

public slots:
    void FormShow();
    void FormActivate();
    void Button2Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void placeLabelsAfterValues();

    DrillState& drill_;
    std::function<int64_t()> today_;
    bool scoringArmed_ = false;
    bool labelsSized_ = false;
};

extern TForm2* Form2;
