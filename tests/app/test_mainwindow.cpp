// The main window: its start state, the focus rules of "Give Me:" and
// "Identify", which controls pass answer keys to the drill, the typed
// answers, the controls the drill keeps up to date, and the Key Guide that
// stands above the window.

#include "app/application.h"
#include "app/zorpunit1.h"
#include "core/designunits.h"
#include "core/exception.h"
#include "info/HelpFormUnit.h"
#include "mainwindow_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The main-keyboard key that names a mod 12 interval (0 is the octave).
Qt::Key keyForMod12(int m12) {
    if (m12 == 0)
        return Qt::Key_Equal;
    if (m12 <= 9)
        return Qt::Key(Qt::Key_0 + m12);
    return m12 == 10 ? Qt::Key_0 : Qt::Key_Minus;
}

// A main window whose drill display fails on request, as a failing device
// would fail inside a handler.
class FailingForm : public TForm1 {
public:
    using TForm1::TForm1;
    bool fail = false;

protected:
    void refreshControls() override {
        if (fail)
            throw Exception("midiOut not open");
        TForm1::refreshControls();
    }
};

} // namespace

class TestMainWindow : public QObject, JoinedMainWindow {
    Q_OBJECT

    int answersCounted() const { return form->correctCount + form->incorrectCount; }

    void showActive() {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    QAbstractButton* item(RadioGroupBox* group, int i) { return group->items().at(i); }

private slots:
    void init() { makeWindows(7); }

    void cleanup() { dropWindows(); }

    void startsIdleWithTheDesignedControls() {
        QCOMPARE(form->windowTitle(), QString("Identify intervals"));
        QCOMPARE(form->Button1->text(), QString("BEGIN"));
        QVERIFY(form->Button1->isEnabled());
        for (QPushButton* b : {form->Button2, form->Button3, form->Button4})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QCOMPARE(form->CorrectLabel->text(), QString("0"));
        QCOMPARE(form->IncorrectLabel->text(), QString("0"));
        QVERIFY(form->TimeLabel->isHidden());
        QVERIFY(form->RadioGroup1->isHidden());
        QVERIFY(form->PitchIntMemo->isHidden());
        QVERIFY(form->Label3->isHidden());
        // The drill reads its modes from the groups: mod 12 interval, chord.
        QCOMPARE(form->identifyMode(), 1);
        QCOMPARE(form->presentation(), 0);
        QCOMPARE(form->Timer1->interval(), 1000);
        QVERIFY(form->Timer1->isActive());
    }

    void beginIsBlackWhenEnabledAndGreyedWhenDisabled() {
        showActive();
        // Whether any pixel of the button, as drawn, is black text.
        auto drawnBlack = [this] {
            const QImage drawn = form->Button1->grab().toImage();
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x)
                    if (drawn.pixelColor(x, y) == QColor(Qt::black))
                        return true;
            return false;
        };
        QVERIFY(form->Button1->isEnabled());
        QCOMPARE(form->Button1->palette().color(QPalette::Active, QPalette::ButtonText),
                 QColor(Qt::black));
        QVERIFY(drawnBlack());
        // During the first ten correct answers BEGIN is disabled and looks it.
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->running);
        QVERIFY(!form->Button1->isEnabled());
        QCOMPARE(
            form->Button1->palette().color(QPalette::Disabled, QPalette::ButtonText),
            QApplication::palette(form->Button1).color(QPalette::Disabled, QPalette::ButtonText));
        QVERIFY(!drawnBlack());
    }

    void menuItemsHaveTheirNamesAndCaptions_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("menuCaption");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Sustain") << "Settings1"
                                 << "Settings"
                                 << "Sustain1"
                                 << "Sustain";
        QTest::newRow("Filters") << "Settings1"
                                 << "Settings"
                                 << "Filters21"
                                 << "Filters";
        QTest::newRow("Key Guide") << "View1"
                                   << "View"
                                   << "KeyGuide1"
                                   << "Key Guide";
        QTest::newRow("readme") << "Help1"
                                << "Help"
                                << "ReadmeForm"
                                << "readme.txt";
        QTest::newRow("About") << "Help1"
                               << "Help"
                               << "AboutTonyx1"
                               << "About Tonyx";
    }

    void menuItemsHaveTheirNamesAndCaptions() {
        QFETCH(QString, menu);
        QFETCH(QString, menuCaption);
        QFETCH(QString, action);
        QFETCH(QString, caption);
        auto* m = form->findChild<QMenu*>(menu);
        QVERIFY(m);
        QCOMPARE(m->title(), menuCaption);
        QAction* a = nullptr;
        for (QAction* candidate : m->actions())
            if (candidate->objectName() == action)
                a = candidate;
        QVERIFY2(a, "the item sits in its menu");
        QCOMPARE(a->text(), caption);
    }

    void showingSizesTheWindowAndPutsTheKeyGuideAbove() {
        showActive();
        // The outer size, frame included.
        const QSize outer = form->frameGeometry().size();
        QCOMPARE(outer.width(), form->RadioGroup->x() + design::px(120));
        QCOMPARE(outer.height(), form->SetupListBox->y() + design::px(160));
        QCOMPARE(outer, QSize(design::px(516), design::px(395)));
        QVERIFY(guide->isVisible());
        QCOMPARE(guide->frameGeometry().bottom() + 1, form->frameGeometry().top());
        QCOMPARE(guide->frameGeometry().left(), form->frameGeometry().left());
    }

    void keyGuideMenuHidesThenShowsAboveTheWindowWhereverItStands() {
        showActive();
        QVERIFY(guide->isVisible());
        form->KeyGuide1->trigger();
        QVERIFY(!guide->isVisible());
        QVERIFY(form->isVisible());

        form->move(210, 470);
        QTRY_COMPARE(form->frameGeometry().topLeft(), QPoint(210, 470));
        form->KeyGuide1->trigger();
        QVERIFY(guide->isVisible());
        QCOMPARE(guide->frameGeometry().left(), 210);
        QCOMPARE(guide->frameGeometry().top(), 470 - guide->frameGeometry().height());
    }

    void giveMeClickReturnsFocusToRepeatOnlyDuringADrill() {
        showActive();
        // Before a drill "Repeat" is disabled: the focus stays on the group.
        QAbstractButton* figure = item(form->RadioGroup, 1);
        QTest::mouseClick(figure, Qt::LeftButton);
        QCOMPARE(form->presentation(), 1);
        QCOMPARE(QApplication::focusWidget(), figure);

        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->running);
        QAbstractButton* chord = item(form->RadioGroup, 0);
        QTest::mouseClick(chord, Qt::LeftButton);
        QCOMPARE(form->presentation(), 0);
        QCOMPARE(QApplication::focusWidget(), form->Button4);

        // ... so the next answer key is graded.
        const int before = answersCounted();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_3);
        QCOMPARE(answersCounted(), before + 1);
    }

    void identifyClickShowsTheAnswerBoxInPitchIntervalMode() {
        showActive();
        form->RadioGroup1->show(); // hidden in the shipped program
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->Button4->isEnabled());

        QTest::mouseClick(item(form->RadioGroup1, 0), Qt::LeftButton);
        QCOMPARE(form->identifyMode(), 0);
        QVERIFY(form->PitchIntMemo->isVisible());
        QCOMPARE(QApplication::focusWidget(), form->PitchIntMemo);

        QTest::mouseClick(item(form->RadioGroup1, 2), Qt::LeftButton);
        QCOMPARE(form->identifyMode(), 2);
        QVERIFY(!form->PitchIntMemo->isVisible());
        QCOMPARE(QApplication::focusWidget(), form->Button4);

        QTest::mouseClick(item(form->RadioGroup1, 1), Qt::LeftButton);
        QCOMPARE(form->identifyMode(), 1);
        QCOMPARE(QApplication::focusWidget(), form->Button4);
    }

    void answerKeysAreGradedOnceFromTheirControls_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("graded");
        QTest::newRow("window itself") << QString() << true;
        QTest::newRow("Arpeggiate Up") << "Button2" << true;
        QTest::newRow("Arpeggiate Down") << "Button3" << true;
        QTest::newRow("Repeat") << "Button4" << true;
        QTest::newRow("device list") << "SetupListBox" << true;
        QTest::newRow("Give Me group") << "RadioGroupItem0" << false;
    }

    void answerKeysAreGradedOnceFromTheirControls() {
        QFETCH(QString, control);
        QFETCH(bool, graded);
        showActive();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->running);

        QWidget* target = form.get();
        if (control.isEmpty()) {
            form->setFocus();
        } else {
            target = form->findChild<QWidget*>(control);
            QVERIFY(target);
            target->setFocus();
        }
        QCOMPARE(QApplication::focusWidget(), target);
        const int before = answersCounted();
        QTest::keyClick(target, Qt::Key_5);
        QCOMPARE(answersCounted(), before + (graded ? 1 : 0));
        // The keypad's keys answer as well; an unknown key does nothing.
        QTest::keyClick(target, Qt::Key_5, Qt::KeypadModifier);
        QCOMPARE(answersCounted(), before + (graded ? 2 : 0));
        QTest::keyClick(target, Qt::Key_Q);
        QCOMPARE(answersCounted(), before + (graded ? 2 : 0));
    }

    void keysReachTheDrillOnceWhileTheWindowIsNotActive() {
        // Without a window manager the window may never become active; its
        // keys still go to its focused control.
        showActive();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QCOMPARE(form->focusWidget(), form->Button2);
        QApplication::setActiveWindow(nullptr);
        QCOMPARE(QApplication::focusWidget(), nullptr);
        const int before = answersCounted();
        QTest::keyClick(form->Button2, Qt::Key_5);
        QCOMPARE(answersCounted(), before + 1);
    }

    void tenCorrectAnswersOfferEndAndEndResetsTheControls() {
        showActive();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(!form->Button1->isEnabled());
        // BEGIN hands the focus on to a control whose keys are answers.
        QCOMPARE(QApplication::focusWidget(), form->Button2);
        for (QPushButton* b : {form->Button2, form->Button3, form->Button4})
            QVERIFY(b->isEnabled());
        QVERIFY(form->TimeLabel->isVisible());
        QCOMPARE(form->TimeLabel->text(), QString("0:00"));

        // One wrong answer first: an interval is never a tritone and its
        // neighbour at once, so one of two keys is wrong.
        const Qt::Key wrong = keyForMod12(form->m12Interval == 6 ? 5 : 6);
        QTest::keyClick(QApplication::focusWidget(), wrong);
        QCOMPARE(form->IncorrectLabel->text(), QString("1"));
        for (int i = 1; i <= 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), keyForMod12(form->m12Interval));
            QCOMPARE(form->CorrectLabel->text(), QString::number(i));
            QCOMPARE(form->Button1->text(), QString(i < 10 ? "BEGIN" : "END"));
            QCOMPARE(form->Button1->isEnabled(), i >= 10);
        }

        clock.time += 61500;
        form->ClockTick();
        QCOMPARE(form->TimeLabel->text(), QString("1:01"));

        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(!form->running);
        QCOMPARE(form->Button1->text(), QString("BEGIN"));
        QVERIFY(form->Button1->isEnabled());
        for (QPushButton* b : {form->Button2, form->Button3, form->Button4})
            QVERIFY(!b->isEnabled());
        QCOMPARE(form->CorrectLabel->text(), QString("0"));
        QCOMPARE(form->IncorrectLabel->text(), QString("0"));
        QVERIFY(form->TimeLabel->isHidden());
    }

    void typedAnswersAreGradedOnEnterAndCommandsClearTheBox() {
        showActive();
        form->RadioGroup1->setItemIndex(0);
        form->RadioGroup1Click();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        form->PitchIntMemo->setFocus();

        QTest::keyClicks(form->PitchIntMemo, "ab");
        QTest::keyClick(form->PitchIntMemo, Qt::Key_R);
        QCOMPARE(form->PitchIntMemo->toPlainText(), QString());
        QCOMPARE(answersCounted(), 0);

        QTest::keyClicks(form->PitchIntMemo, QString::number(form->pitchInterval));
        QTest::keyClick(form->PitchIntMemo, Qt::Key_Return);
        QCOMPARE(form->correctCount, 1);
        QCOMPARE(form->PitchIntMemo->toPlainText(), QString());

        // A line with no digits is the answer 0: wrong, and the keypad's
        // Enter ends a line too.
        QTest::keyClicks(form->PitchIntMemo, "x");
        QTest::keyClick(form->PitchIntMemo, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(form->incorrectCount, 1);
        QVERIFY(guide->isVisible());
        QVERIFY(guide->markerShown(11));
    }

    void tabVisitsTheControlsInDesignOrder() {
        showActive();
        for (QPushButton* b : {form->Button1, form->Button2, form->Button3, form->Button4})
            b->setEnabled(true);
        form->Button1->setFocus();
        QStringList visited;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        // The identify group and the answer box are hidden and skipped.
        QCOMPARE(visited,
                 QStringList({"Button2", "Button3", "Button4", "SetupListBox", "RadioGroupItem0"}));
        QCOMPARE(answersCounted(), 0);
    }

    void answerBoxKeepsAtMostNinetyNineCharacters() {
        form->PitchIntMemo->setPlainText(QString(120, QLatin1Char('7')));
        QCOMPARE(form->PitchIntMemo->toPlainText().size(), 99);
    }

    void aFailingHandlerIsReportedAndTheWindowGoesOn() {
        FailingForm failing(clock, "StandInMidi");
        failing.show();
        failing.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&failing));
        failing.fail = true;
        QTest::mouseClick(failing.Button1, Qt::LeftButton);
        QCOMPARE(messages, std::vector<std::string>{"midiOut not open"});
        QVERIFY(failing.running);

        failing.fail = false;
        failing.Button4->setEnabled(true);
        failing.Button4->setFocus();
        QTest::keyClick(failing.Button4, Qt::Key_7);
        QCOMPARE(failing.correctCount + failing.incorrectCount, 1);
        QCOMPARE(failing.CorrectLabel->text(), QString::number(failing.correctCount));
        QCOMPARE(messages.size(), size_t(1));
    }

    void drillMessagesReachTheUser() {
        for (int k = 1; k <= 24; ++k)
            form->allowed[k] = false;
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(!form->running);
        QCOMPARE(messages, std::vector<std::string>{DrillState::kNoIntervalsMessage});
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
