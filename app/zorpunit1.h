#pragma once

#include "app/drillstate.h"
#include "midi/midilib.h"

#include <QGroupBox>
#include <QMainWindow>

#include <memory>
#include <string>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class SoundControls;
namespace stats {
class StatsWindows;
}

// A captioned group of radio buttons, one of which is selected: the item
// index is what the drill reads. `clicked` fires when the user picks an item.
// Item i is named <name>Item<i>.
class RadioGroupBox : public QGroupBox {
    Q_OBJECT
public:
    RadioGroupBox(const char* name, const QString& caption, const QStringList& items,
                  QWidget* parent);
    [[nodiscard]] int itemIndex() const;
    void setItemIndex(int index);
    [[nodiscard]] QList<QAbstractButton*> items() const;

signals:
    void clicked(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutItems();
    QButtonGroup* group_;
};

// The main window "Identify intervals": the drill's buttons, counters and
// clock, the MIDI device list, the identify mode and the presentation, and
// the menu that opens the other windows. It is the drill (DrillState): keys
// and buttons call the drill's operations, and the drill's hooks update the
// controls.
class TForm1 : public QMainWindow, public DrillState {
    Q_OBJECT
public:
    // Loads and binds the MIDI library (what fails here ends start-up),
    // then opens the output: at once, or, with openOutputLater, when
    // openOutput() is called.
    explicit TForm1(Clock& clock = SystemClock::instance(), const char* midiLibrary = "MidiLib32",
                    bool openOutputLater = false);
    ~TForm1() override;

    // Opens device 0, fills the device list and makes the sound controls.
    // Runs once; later calls do nothing.
    void openOutput();
    // At start-up the Key Guide shows once the main window has painted, so
    // the main window's text comes first: the first showing leaves it to
    // showKeyGuide(). Later showings bring it up with the window again.
    void showKeyGuideLater() { keyGuideLater_ = true; }
    void showKeyGuide();
    [[nodiscard]] bool outputOpened() const { return outputOpened_; }

    // ---- Controls ------------------------------------------------------
    QLabel* Label1 = nullptr;
    QLabel* CorrectLabel = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* IncorrectLabel = nullptr;
    QLabel* TimeLabel = nullptr;
    QPushButton* Button1 = nullptr; // BEGIN / END
    QPushButton* Button4 = nullptr; // &Repeat
    QPushButton* Button2 = nullptr; // Arpeggiate &Up
    QPushButton* Button3 = nullptr; // Arpeggiate &Down
    QLabel* Label4 = nullptr;
    QListWidget* SetupListBox = nullptr;
    RadioGroupBox* RadioGroup1 = nullptr; // "Identify"
    QPlainTextEdit* PitchIntMemo = nullptr;
    RadioGroupBox* RadioGroup = nullptr; // "Give Me:"
    QLabel* Label3 = nullptr;
    QTimer* Timer1 = nullptr;

    QMenuBar* MainMenu1 = nullptr;
    QMenu* Settings1 = nullptr;
    QAction* Sustain1 = nullptr;
    QAction* Filters21 = nullptr;
    QMenu* View1 = nullptr;
    QAction* KeyGuide1 = nullptr;
    // The Error Map and Progress items of the View menu and their windows.
    stats::StatsWindows* Stats = nullptr;
    QMenu* Help1 = nullptr;
    QAction* ReadmeForm = nullptr;
    QAction* AboutTonyx1 = nullptr;

    // ---- MIDI components: the binding, then the port that calls through it
    // (declared in this order, so the port is gone before the binding).
    std::unique_ptr<TMidiLib> MidiLib;
    std::unique_ptr<TMidiLibOut> MidiLibOut;

    // The device marks, the sound notice, the test tone, the instrument and
    // the revealed answer (app/soundcontrols.h); owned by the window.
    SoundControls* soundControls = nullptr;

    // The identify mode and the presentation are read from the radio groups
    // each time the drill needs them.
    [[nodiscard]] int identifyMode() const override;
    [[nodiscard]] int presentation() const override;

    // The name the MIDI library is loaded by.
    [[nodiscard]] const std::string& midiLibraryName() const { return midiLibraryName_; }

public slots:
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void SetupListBoxClick();
    void RadioGroupClick();
    void RadioGroup1Click();
    void ClockTick();
    void Sustain1Click();
    void Filters21Click();
    void KeyGuide1Click();
    void ReadmeFormClick();
    void AboutTonyx1Click();

public:
    // Key-down on the window, its four buttons and the device list, as a
    // virtual-key code.
    void FormKeyDown(int virtualKey);
    // Key-up in the answer box, as a virtual-key code.
    void PitchIntMemoKey(int virtualKey);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // DrillState hooks
    void refreshControls() override;
    void showClockText(const std::string& text) override;
    void showMessage(const std::string& text) override;
    // END's steps that belong to the other windows; each is skipped while
    // its window does not exist (a main window on its own, in tests).
    void writeSessionReport() override;
    bool includeFilteredDrill() override;
    void updateErrorFile() override;
    void showScoreWindow() override;
    void clearReportBox() override;

private:
    void createControls();
    void createMenu();
    void FormShow();
    void FormClose();
    // The MIDI output: the library is bound and the port set up while the
    // window is created; device 0 is opened and the device list filled in
    // openOutput(); the port is released when the window closes.
    void setUpOutputPort();
    void fillDeviceList();
    void releaseOutputPort();

    std::string midiLibraryName_;
    bool placed_ = false; // placed on the screen at the first showing
    bool keyGuideLater_ = false;
    bool outputOpened_ = false;
    // The device list's highlight moved since the last mouse press on it.
    bool deviceChosenSinceClick_ = false;
};

extern TForm1* Form1;
