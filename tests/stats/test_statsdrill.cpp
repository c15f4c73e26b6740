// A drill played to its end in the program's windows: the Error Map open
// beside it follows the merge into "errors.dat", and the drill lands in
// "drills.csv" with the figures its score window showed.
#include "app/application.h"
#include "app/zorpunit1.h"
#include "score/scoreform.h"
#include "stats/drilllog.h"
#include "stats/errormapwindow.h"
#include "stats/progresswindow.h"
#include "stats/statswindows.h"
#include "tests/support/standin.h"
#include "tests/support/testdrill.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// The key for a mod 12 answer: digits, 0 for 10, minus for 11, equals for 12.
int keyFor(int answer) {
    switch (answer) {
    case 10:
        return 48;
    case 11:
        return 189;
    case 12:
        return 187;
    default:
        return 48 + answer;
    }
}

} // namespace

class StatsDrillTest : public QObject {
    Q_OBJECT

private slots:
    void aFinishedDrillReachesTheMapAndTheDrillRecord() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString startFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.path()));
        {
            QFile readme("readme.txt");
            QVERIFY(readme.open(QIODevice::WriteOnly));
        }
        FakeClock clock(1000);
        createWindows(clock, "StandInMidi");
        Form1->show();
        Form1->Stats->ErrorMap1->trigger();
        stats::ErrorMapWindow* map = Form1->Stats->errorMap();
        QVERIFY(map->isVisible());
        QVERIFY(map->NoteLabel->isVisible()); // no errors.dat yet

        QTest::mouseClick(Form1->Button1, Qt::LeftButton); // BEGIN
        QVERIFY(Form1->running);
        const int firstAsked = Form1->m12Interval;
        Form1->answerKey(keyFor(firstAsked == 5 ? 4 : 5)); // one wrong answer
        for (int n = 0; n < 10; ++n)
            Form1->answerKey(keyFor(Form1->m12Interval == 0 ? 12 : Form1->m12Interval));
        QCOMPARE(Form1->correctCount, 10);
        clock.advance(30'000);

        // The score window closes once it has scored the drill.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (QApplication::activeModalWidget() == Form2 && Form2->correct == 10)
                Form2->done(1);
        });
        closer.start(10);
        QTest::mouseClick(Form1->Button1, Qt::LeftButton); // END
        closer.stop();
        QVERIFY(!Form1->running);

        // The map, open all along, shows the drill without being reopened.
        QVERIFY(!map->NoteLabel->isVisible());
        QCOMPARE(map->map().total(), 11);

        const stats::DrillLog log = stats::readDrillLog("drills.csv");
        QCOMPARE(log.drills.size(), size_t{1});
        const stats::DrillRecord& d = log.drills[0];
        QCOMPARE(d.right, 10);
        QCOMPARE(d.wrong, 1);
        QCOMPARE(d.seconds, 30);
        QCOMPARE(d.score, Form2->score);
        QCOMPARE(d.identifyMode, 1);
        QCOMPARE(d.presentation, 0);
        QCOMPARE(d.allowed, std::string("1-12"));
        QVERIFY(d.eligible);
        QVERIFY(std::abs(d.utcSeconds - QDateTime::currentSecsSinceEpoch()) < 600);

        Form1->Stats->Progress1->trigger();
        QCOMPARE(Form1->Stats->progress()->log().drills.size(), size_t{1});

        destroyWindows();
        QDir::setCurrent(startFolder);
    }
};

QTEST_MAIN(StatsDrillTest)
#include "test_statsdrill.moc"
