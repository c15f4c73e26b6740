// The sound features on the real main window, over the stand-in library:
// the device list's marks and the notice when a device cannot sound, the
// test tone, the instrument's Program Changes at their moments, the
// revealed answer on the Key Guide and in the window, and the choices kept
// between runs.

#include "app/soundcontrols.h"
#include "app/soundprefs.h"
#include "app/zorpunit1.h"
#include "info/HelpFormUnit.h"
#include "mainwindow_fixture.h"
#include "tests/support/standin.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

// The calls that matter here, as "OpenMidiOut 1" or "C0 40" for a Program
// Change on channel 1 (0-based 0) to program 40.
QString portLog() {
    QStringList log;
    for (const standin::Call& c : standin::calls()) {
        if (c.name == "OpenMidiOut")
            log << QString("OpenMidiOut %1").arg(c.args[1]);
        else if (c.name == "PutMidiOut" && (c.event.status & 0xF0) == 0xC0)
            log << QString("C%1 %2").arg(c.event.status & 0x0F).arg(c.event.data1);
    }
    return log.join(", ");
}

QStringList notesStruck() {
    QStringList notes;
    for (const MIDIEVENT& e : standin::putEvents())
        if ((e.status & 0xF0) == 0x90 && e.data2 > 0)
            notes << QString("%1:%2").arg(e.data1).arg(e.data2);
    return notes;
}

// The main-keyboard key for an answer number 1..12.
Qt::Key keyFor(int answer) {
    if (answer <= 9)
        return Qt::Key(Qt::Key_0 + answer);
    return answer == 10 ? Qt::Key_0 : answer == 11 ? Qt::Key_Minus : Qt::Key_Equal;
}

} // namespace

class TestSoundControls : public QObject, JoinedMainWindow {
    Q_OBJECT

    SoundControls* sound() { return form->soundControls; }
    QListWidgetItem* line(int i) { return form->SetupListBox->item(i); }
    QString lineName(int i) { return line(i)->data(Qt::AccessibleTextRole).toString(); }
    void clickLine(int row) {
        QListWidget* list = form->SetupListBox;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    void showActive() {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    void press(Qt::Key key) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : form.get(), key);
    }
    QAction* action(const char* name) { return form->findChild<QAction*>(name); }
    bool noticeShown() { return sound()->SoundNotice->isVisible(); }
    QString noticeText() { return sound()->SoundNoticeText->text(); }

private slots:
    void init() {
        standin::reset();
        standin::setDeviceNames({"Stand-in Synth", "Port A"});
    }
    void cleanup() {
        if (form) {
            form->setNoteOutput(nullptr);
            dropWindows();
        }
        standin::reset();
        SoundPreferences::useStoreFile({});
    }

    // ---- Device marks and the notice --------------------------------------

    void failedOpenIsMarkedAndToldOncePerRunWithoutStoppingTheDrill() {
        standin::setOpenResult(0);
        makeWindows(7);
        showActive();
        QCOMPARE(lineName(0), QString("Stand-in Synth, failed: no sound"));
        QVERIFY(!line(0)->icon().isNull());
        QCOMPARE(lineName(1), QString("Port A"));
        QVERIFY(line(1)->icon().isNull());
        QVERIFY(noticeShown());
        QVERIFY2(noticeText().contains("built-in synthesizer found no audio output"),
                 qPrintable(noticeText()));
        QVERIFY(noticeText().contains("Start PulseAudio, PipeWire or JACK"));
        // The notice sits in the window, below the list, and fits in it.
        const QRect notice = sound()->SoundNotice->geometry();
        QVERIFY(notice.top() > form->SetupListBox->geometry().bottom());
        QVERIFY(notice.bottom() < form->centralWidget()->height());

        // The drill goes on: BEGIN starts it, and no message box was needed.
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->running);
        QVERIFY(messages.empty());

        // A second failure is marked but not told again, even once dismissed.
        const QString first = noticeText();
        clickLine(1);
        QCOMPARE(lineName(1), QString("Port A, failed: no sound"));
        QCOMPARE(noticeText(), first);
        QTest::mouseClick(sound()->SoundNoticeClose, Qt::LeftButton);
        QVERIFY(!noticeShown());
        clickLine(0);
        QVERIFY(!noticeShown());
        QVERIFY(messages.empty());

        // A device that opens is marked sounding; the failure keeps its mark.
        standin::setOpenResult(100);
        clickLine(1);
        QCOMPARE(lineName(1), QString("Port A, open and sounding"));
        QCOMPARE(lineName(0), QString("Stand-in Synth, failed: no sound"));

        // With no device open, the test tone says so.
        standin::setOpenResult(0);
        clickLine(0);
        action("TestTone1")->trigger();
        QVERIFY(noticeShown());
        QVERIFY2(noticeText().contains("no device is open"), qPrintable(noticeText()));
    }

    void openDeviceIsMarkedSoundingAndARefusingPortIsTold() {
        makeWindows(7);
        showActive();
        QCOMPARE(lineName(0), QString("Stand-in Synth, open and sounding"));
        QVERIFY(!line(0)->icon().isNull());
        QVERIFY(!noticeShown());
        clickLine(1);
        QCOMPARE(lineName(0), QString("Stand-in Synth"));
        QVERIFY(line(0)->icon().isNull());
        QCOMPARE(lineName(1), QString("Port A, open and sounding"));

        standin::setPutResult(4); // the port went away
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->running);
        QCOMPARE(lineName(1), QString("Port A, failed: no sound"));
        QVERIFY(noticeShown());
        QVERIFY2(
            noticeText().contains(QString::fromUtf8("\u201cPort A\u201d stopped taking notes")),
            qPrintable(noticeText()));
        QVERIFY(messages.empty());
    }

    // ---- Test tone ----------------------------------------------------------

    void testToneSoundsAChordAndSaysWhetherTheDeviceTookIt() {
        makeWindows(7);
        showActive();
        standin::reset();
        action("TestTone1")->trigger();
        QCOMPARE(notesStruck(), QStringList({"60:90", "64:90", "67:90"}));
        for (const MIDIEVENT& e : standin::putEvents())
            QCOMPARE(e.status, uint8_t(0x90));
        QVERIFY(noticeShown());
        QVERIFY2(noticeText().contains("Stand-in Synth took the chord"), qPrintable(noticeText()));
        // The chord stops by itself.
        QVERIFY(QTest::qWaitFor([] { return standin::putEvents().size() == 6; }, 5000));
        for (const MIDIEVENT& e : standin::putEvents())
            if (e.data2 == 0)
                QVERIFY(e.data1 == 60 || e.data1 == 64 || e.data1 == 67);

        standin::setPutResult(4);
        action("TestTone1")->trigger();
        QVERIFY2(noticeText().contains("Stand-in Synth refused the chord"),
                 qPrintable(noticeText()));
        QCOMPARE(lineName(0), QString("Stand-in Synth, failed: no sound"));
        // The user asked: the answer is given even though a failure was told.
        standin::setPutResult(0);
        action("TestTone1")->trigger();
        QVERIFY(noticeText().contains("took the chord"));
        QCOMPARE(lineName(0), QString("Stand-in Synth, open and sounding"));
    }

    // ---- Instrument ---------------------------------------------------------

    void instrumentIsSentWhenChosenAfterADeviceChangeAndAfterTheReset() {
        makeWindows(7);
        QCOMPARE(portLog(), QString("OpenMidiOut 0")); // the piano: nothing sent
        auto* violin = form->findChild<QAction*>("Program40");
        QVERIFY(violin);
        QCOMPARE(violin->text(), QString("Violin"));
        QVERIFY(form->findChild<QAction*>("Program0")->isChecked());
        QCOMPARE(sound()->Instrument1->actions().size(), 16);
        QCOMPARE(sound()->Instrument1->title(), QString("Instrument: Acoustic Grand Piano"));

        showActive();
        standin::reset();
        standin::setDeviceNames({"Stand-in Synth", "Port A"});
        violin->trigger();
        QVERIFY(violin->isChecked());
        QCOMPARE(sound()->Instrument1->title(), QString("Instrument: Violin"));
        clickLine(1);
        clickLine(0);
        form->running = true;
        form->correctCount = 10;
        form->endDrill();
        QCOMPARE(portLog(), QString("C0 40, OpenMidiOut 1, C0 40, OpenMidiOut 0, C0 40, C0 40"));
        // The drill's notes go on the same channel the program was set on.
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        for (const MIDIEVENT& e : standin::putEvents())
            QCOMPARE(e.status & 0x0F, 0);
    }

    void choicesAreKeptBetweenRunsAndNothingElse() {
        QTemporaryDir dir;
        const QString file = dir.filePath("tonyx.conf");
        SoundPreferences::useStoreFile(file);
        makeWindows(7);
        QVERIFY(!action("RevealAnswer1")->isChecked());
        form->findChild<QAction*>("Program73")->trigger();
        action("RevealAnswer1")->trigger();
        form->sustain = 2; // a setting of the drill's own, not kept
        dropWindows();
        {
            QSettings stored(file, QSettings::IniFormat);
            QCOMPARE(stored.allKeys(), QStringList({"drill/revealAnswer", "sound/instrument"}));
        }

        standin::reset();
        standin::setDeviceNames({"Stand-in Synth", "Port A"});
        makeWindows(7);
        QCOMPARE(portLog(), QString("OpenMidiOut 0, C0 73"));
        QVERIFY(form->findChild<QAction*>("Program73")->isChecked());
        QVERIFY(action("RevealAnswer1")->isChecked());
        QVERIFY(action("NameAnswer1")->isEnabled());
        QCOMPARE(form->sustain, 1);
    }

    // ---- Reveal the answer ----------------------------------------------------

    void revealShowsTheRightKeyAndNamesTheAnswerWithGradingUnchanged() {
        makeWindows(11);
        showActive();
        QVERIFY(guide->isVisible());
        QVERIFY(!action("NameAnswer1")->isEnabled());
        action("RevealAnswer1")->trigger();
        QVERIFY(action("NameAnswer1")->isEnabled());

        QTest::mouseClick(form->Button1, Qt::LeftButton);
        const int m12 = form->m12Interval;
        const int rightMarker = m12 == 0 ? 11 : m12 - 1;
        const int wrongAnswer = m12 == 1 ? 2 : 1; // key 1 or 2, never right
        const auto tallyBefore = form->sessionTally[form->pitchInterval];
        press(keyFor(wrongAnswer));
        QCOMPARE(form->incorrectCount, 1);
        QVERIFY(guide->markerShown(wrongAnswer - 1));
        QWidget* ring = sound()->revealMarker(rightMarker);
        QVERIFY(ring);
        QVERIFY(ring->isVisible());
        // Round the right key (where its cross would fall), in another colour.
        QVERIFY(ring->geometry().contains(guide->markers[rightMarker]->geometry().center()));
        QVERIFY(!ring->geometry().contains(guide->markers[wrongAnswer - 1]->geometry().center()));
        QVERIFY(!qobject_cast<QLabel*>(ring));
        QCOMPARE(ring->palette().color(QPalette::WindowText).green() > 100, true);
        QCOMPARE(guide->markers[rightMarker]->palette().color(QPalette::WindowText),
                 QColor(255, 0, 0));
        for (int i = 0; i < 12; ++i)
            if (i != rightMarker)
                QVERIFY(!sound()->revealMarker(i) || !sound()->revealMarker(i)->isVisible());

        // Both go after the same two seconds.
        clock.advance(2001);
        form->ClockTick();
        sound()->clockTick();
        QVERIFY(!guide->markerShown(wrongAnswer - 1));
        QVERIFY(!ring->isVisible());

        // F2 plays the question again, then names the answer.
        standin::reset();
        const QStringList question = {QString("%1:64").arg(form->notes[0]),
                                      QString("%1:64").arg(form->notes[1])};
        press(Qt::Key_F2);
        QCOMPARE(notesStruck(), question);
        QVERIFY(sound()->RevealedAnswer->isVisible());
        QCOMPARE(sound()->RevealedAnswer->text(),
                 "The answer: " + QString::fromStdString(AnswerReveal::answerName(*form)));
        // Grading saw one wrong answer and nothing more.
        QCOMPARE(form->incorrectCount, 1);
        QCOMPARE(form->correctCount, 0);
        auto expected = tallyBefore;
        ++expected.m12Wrong[wrongAnswer];
        QCOMPARE(form->sessionTally[form->pitchInterval], expected);
        QCOMPARE(form->IncorrectLabel->text(), QString("1"));

        // The next question takes the name away.
        press(keyFor(m12 == 0 ? 12 : m12));
        QCOMPARE(form->correctCount, 1);
        QVERIFY(!sound()->RevealedAnswer->isVisible());
    }

    void revealIsOffByDefault() {
        makeWindows(11);
        showActive();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        const int m12 = form->m12Interval;
        press(keyFor(m12 == 1 ? 2 : 1));
        for (int i = 0; i < 12; ++i)
            QVERIFY(!sound()->revealMarker(i));
        standin::reset();
        press(Qt::Key_F2);
        QVERIFY(standin::putEvents().empty());
        QVERIFY(!sound()->RevealedAnswer->isVisible());
    }
};

QTEST_MAIN(TestSoundControls)
#include "test_soundcontrols.moc"
