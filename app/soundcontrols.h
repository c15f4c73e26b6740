#pragma once

#include "app/drillevents.h"
#include "app/reveal.h"
#include "app/soundcheck.h"
#include "app/soundprefs.h"
#include "settings/instrument.h"

#include <QObject>
#include <QPointer>

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;
class TForm1;

// The main window's sound and reveal features: the marks on the device
// list, the notice when the chosen device cannot sound, and the Settings
// menu's test tone, instrument and "reveal the answer" items. It follows
// the drill through DrillEvents and the window through deviceOpened; the
// rules it applies live in SoundCheck, InstrumentChoice and AnswerReveal.
class SoundControls : public QObject, public DrillEvents, public RevealGuide {
    Q_OBJECT
public:
    explicit SoundControls(TForm1& form);

    // Menu items (objectName as named here).
    QAction* TestTone1 = nullptr;
    QMenu* Instrument1 = nullptr;
    QAction* RevealAnswer1 = nullptr;
    QAction* NameAnswer1 = nullptr;
    // In the main window: the notice and the revealed answer's name.
    QFrame* SoundNotice = nullptr;
    QLabel* SoundNoticeText = nullptr;
    QToolButton* SoundNoticeClose = nullptr;
    QLabel* RevealedAnswer = nullptr;

    // The port has just tried to open `device` (at start-up or on a choice
    // in the list).
    void deviceOpened(int device, bool opened);
    void playTestTone();
    void chooseInstrument(int program);
    void setRevealAnswer(bool on);
    // Plays the question again, then names its answer in the window.
    void nameAnswer();
    // Once a second, with the drill's clock.
    void clockTick();

    [[nodiscard]] const SoundCheck& soundCheck() const { return check_; }
    [[nodiscard]] const InstrumentChoice& instrument() const { return instrument_; }
    [[nodiscard]] const AnswerReveal& reveal() const { return reveal_; }
    // The Key Guide's reveal marker i, once made (null before).
    [[nodiscard]] QWidget* revealMarker(int i) const;

    // DrillEvents
    void noteRefused() override;
    void questionDrawn() override;
    void wrongAnswerCounted() override;
    void drillReset() override;

    // RevealGuide
    [[nodiscard]] bool guideVisible() const override;
    void showReveal(int i) override;
    void hideReveal(int i) override;

private:
    void createMenu();
    void createNotice();
    void refreshMarks();
    void showNotice(const QString& text, bool warning);
    void hideNotice();
    void savePreferences() const;
    void showInstrument();
    [[nodiscard]] QWidget* keyGuideWindow() const;

    TForm1& form_;
    SoundCheck check_;
    InstrumentChoice instrument_;
    AnswerReveal reveal_;
    QActionGroup* programs_ = nullptr;
    QLabel* noticeIcon_ = nullptr;
    QPointer<QWidget> revealMarkers_[12];
    QTimer* noticeTimer_ = nullptr;
};
