// A whole drill on the main window, as a user plays it: BEGIN, wrong
// answers, ten correct answers worked out by ear (from the notes the
// stand-in library received), END; the labels, counters, tallies, the
// Key Guide's markers and the clock along the way.

#include "app/application.h"
#include "app/zorpunit1.h"
#include "info/HelpFormUnit.h"
#include "mainwindow_fixture.h"
#include "midi/midilib.h"
#include "tests/support/standin.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The notes of the question that sounded last, in the order played.
std::pair<int, int> lastQuestionHeard() {
    std::vector<int> struck;
    for (const MIDIEVENT& e : standin::putEvents())
        if (e.data2 == 64)
            struck.push_back(e.data1);
    if (struck.size() < 2)
        return {0, 0};
    return {struck[struck.size() - 2], struck.back()};
}

int pitchIntervalOf(std::pair<int, int> notes) {
    return std::abs(notes.second - notes.first);
}

// The main-keyboard key for an answer number 1..12.
Qt::Key keyFor(int answer) {
    if (answer <= 9)
        return Qt::Key(Qt::Key_0 + answer);
    return answer == 10 ? Qt::Key_0 : answer == 11 ? Qt::Key_Minus : Qt::Key_Equal;
}

// The answer number that names a pitch interval in "mod 12 interval" mode.
int mod12Answer(int pitchInterval) {
    const int m = pitchInterval % 12;
    return m == 0 ? 12 : m;
}

} // namespace

class TestDrillGui : public QObject, JoinedMainWindow {
    Q_OBJECT

    // Keys go where a user's keys go: to the widget with the focus.
    void press(Qt::Key key) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : form.get(), key);
    }

private slots:
    void init() {
        makeWindows(99);
        // The drill plays through the window's own port, on the stand-in.
        QVERIFY(form->noteOutput());
        standin::reset();
        standin::setTimeSource([this] { return int64_t{clock.time}; });
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup() {
        standin::reset(); // its time source refers to this test's clock
        form->setNoteOutput(nullptr);
        dropWindows();
    }

    void wholeDrillByEar() {
        // Figures: each question's second tone sounds 500 ms after the first.
        QTest::mouseClick(form->RadioGroup->items().at(1), Qt::LeftButton);
        QCOMPARE(form->presentation(), 1);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->running);
        QVERIFY(!form->Button1->isEnabled());
        for (QPushButton* b : {form->Button2, form->Button3, form->Button4})
            QVERIFY(b->isEnabled());
        QVERIFY(form->TimeLabel->isVisible());
        QCOMPARE(form->TimeLabel->text(), QString("0:00"));
        const std::vector<standin::Call> begun = standin::calls();
        QVERIFY(begun.size() >= 2);
        QCOMPARE(begun.back().at - begun[begun.size() - 2].at, int64_t{500});
        const int32_t startedAt = clock.time;

        std::vector<IntervalTally> expected(kTallyRows);
        // Two wrong answers to the first question: one key it is not, and
        // the answer box's neighbour; nothing sounds for them.
        auto heard = lastQuestionHeard();
        int asked = pitchIntervalOf(heard);
        QVERIFY(asked >= 1 && asked <= 12);
        const int right = mod12Answer(asked);
        const int wrong1 = right == 1 ? 2 : 1;
        const int wrong2 = right == 12 ? 11 : 12;
        const std::size_t sentBefore = standin::putEvents().size();
        press(keyFor(wrong1));
        press(keyFor(wrong2));
        QCOMPARE(standin::putEvents().size(), sentBefore);
        QCOMPARE(form->IncorrectLabel->text(), QString("2"));
        expected[asked].m12Wrong[wrong1 % 12] += 1;
        expected[asked].m12Wrong[wrong2 % 12] += 1;
        // The Key Guide crosses out the keys pressed.
        QVERIFY(guide->isVisible());
        QVERIFY(guide->markerShown(wrong1 - 1));
        QVERIFY(guide->markerShown(wrong2 - 1));

        // Repeat sounds the same question again.
        QTest::mouseClick(form->Button4, Qt::LeftButton);
        QCOMPARE(lastQuestionHeard(), heard);

        for (int n = 1; n <= 10; ++n) {
            heard = lastQuestionHeard();
            asked = pitchIntervalOf(heard);
            press(keyFor(mod12Answer(asked)));
            expected[asked].m12Correct += 1;
            QCOMPARE(form->CorrectLabel->text(), QString::number(n));
            QCOMPARE(form->Button1->text(), QString(n < 10 ? "BEGIN" : "END"));
            QCOMPARE(form->Button1->isEnabled(), n == 10);
        }
        QCOMPARE(form->correctCount, 10);
        QCOMPARE(form->incorrectCount, 2);
        QVERIFY(std::equal(expected.begin(), expected.end(), std::begin(form->sessionTally)));

        // 61.5 s after BEGIN the clock ticks: the time shows
        // and the markers, long past their deadline, are gone.
        clock.time = startedAt + 61'500;
        form->ClockTick();
        QCOMPARE(form->TimeLabel->text(), QString("1:01"));
        QVERIFY(!guide->markerShown(wrong1 - 1));
        QVERIFY(!guide->markerShown(wrong2 - 1));

        // END, closing whatever window it shows, resets the drill.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        closer.start(50);
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        closer.stop();
        QVERIFY(!form->running);
        QCOMPARE(form->Button1->text(), QString("BEGIN"));
        QVERIFY(form->Button1->isEnabled());
        for (QPushButton* b : {form->Button2, form->Button3, form->Button4})
            QVERIFY(!b->isEnabled());
        QCOMPARE(form->CorrectLabel->text(), QString("0"));
        QCOMPARE(form->IncorrectLabel->text(), QString("0"));
        QVERIFY(form->TimeLabel->isHidden());
        QVERIFY(std::all_of(std::begin(form->sessionTally), std::end(form->sessionTally),
                            [](const IntervalTally& t) { return t == IntervalTally{}; }));

        // Keys after END are not graded and play nothing.
        const std::size_t sentAfter = standin::putEvents().size();
        press(keyFor(right));
        QCOMPARE(form->CorrectLabel->text(), QString("0"));
        QCOMPARE(standin::putEvents().size(), sentAfter);
    }

    void beginWithNoIntervalAllowedTellsTheUser() {
        for (bool& a : form->allowed)
            a = false;
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(!form->running);
        QCOMPARE(form->Button1->text(), QString("BEGIN"));
        QVERIFY(form->Button1->isEnabled());
        QVERIFY(form->TimeLabel->isHidden());
        QCOMPARE(messages,
                 std::vector<std::string>{"No intervals are selected. Choose some under Settings > "
                                          "Filters."});
        QVERIFY(standin::putEvents().empty());
    }
};

QTEST_MAIN(TestDrillGui)
#include "test_drill_gui.moc"
