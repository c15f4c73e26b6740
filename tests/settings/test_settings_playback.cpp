// What the drill does with the settings and filter windows' choices: the
// notes it sends once the sustain and dampen controls are set (recorded by
// the stand-in library under a test clock), and the sizes it draws once the
// filter window has closed.

#include "app/drillstate.h"
#include "midi/midilib.h"
#include "settings/Tonyxfilter2.h"
#include "settings/Tonyxsettings.h"
#include "settings/updown.h"
#include "tests/support/standin.h"
#include "tests/support/testdrill.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <set>

namespace {

// Waits take no time: they move the clock to their target at once.
struct StepClock : TestClock {
    StepClock() : TestClock(1000) {}
};

} // namespace

class TestSettingsPlayback : public QObject {
    Q_OBJECT

    StepClock clock;
    std::unique_ptr<TMidiLib> lib;
    std::unique_ptr<TMidiLibOut> out;
    std::unique_ptr<RecordingDrill> drill;
    std::unique_ptr<TSettingsForm> settings;

    // The notes sent since the last call, one sounding per play():
    // "+n@t" sounds note n at time t, "-n@t" silences it.
    QString sent() {
        QStringList items;
        for (const standin::Call& call : standin::calls()) {
            if (call.name != "PutMidiOut")
                continue;
            const MIDIEVENT& e = call.event;
            const char sign = e.status != 0x90 ? '?'
                              : e.data2 == 64  ? '+'
                              : e.data2 == 0   ? '-'
                                               : '?';
            items << QString("%1%2@%3").arg(sign).arg(e.data1).arg(call.at);
        }
        standin::reset();
        standin::setTimeSource([this] { return int64_t{clock.time}; });
        return items.join(' ');
    }
    QString play(int first, int second) {
        drill->setQuestion(first, second);
        drill->playQuestion();
        return sent();
    }
    // Clicks the settings window's controls: 'u'/'d' the arrows, '1'/'2'
    // the dampen boxes.
    void clickSettings(const QString& clicks) {
        auto* arrows = settings->findChild<UpDown*>("UpDown1");
        for (QChar c : clicks) {
            QWidget* target = nullptr;
            if (c == 'u')
                target = arrows->findChild<QToolButton*>("UpArrow");
            else if (c == 'd')
                target = arrows->findChild<QToolButton*>("DownArrow");
            else
                target = settings->findChild<QCheckBox*>(c == '1' ? "CheckBox1" : "CheckBox2");
            QVERIFY(target);
            QTest::mouseClick(target, Qt::LeftButton);
        }
    }

private slots:
    void init() {
        clock.time = 1000;
        lib = std::make_unique<TMidiLib>(nullptr, "StandInMidi");
        out = std::make_unique<TMidiLibOut>();
        out->MidiLib = lib.get();
        QVERIFY(out->Open(0, 78624));
        drill = std::make_unique<RecordingDrill>(clock);
        drill->setNoteOutput(out.get());
        settings = std::make_unique<TSettingsForm>(*drill);
        settings->show();
        sent();
    }
    void cleanup() {
        settings.reset();
        drill.reset();
        out.reset();
        lib.reset();
    }

    // Each sounding silences the one n soundings before it; the history
    // starts out holding note 0. Chords ignore both dampen switches.
    void chordsRingForTheChosenNumberOfSoundings_data() {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QStringList>("soundings");
        const QStringList one = {
            "-0@1000 -0@1000 +43@1000 +50@1000", "-43@1000 -50@1000 +44@1000 +51@1000",
            "-44@1000 -51@1000 +45@1000 +52@1000", "-45@1000 -52@1000 +46@1000 +53@1000"};
        const QStringList two = {
            "-0@1000 -0@1000 +43@1000 +50@1000", "-0@1000 -0@1000 +44@1000 +51@1000",
            "-43@1000 -50@1000 +45@1000 +52@1000", "-44@1000 -51@1000 +46@1000 +53@1000"};
        const QStringList three = {
            "-0@1000 -0@1000 +43@1000 +50@1000", "-0@1000 -0@1000 +44@1000 +51@1000",
            "-0@1000 -0@1000 +45@1000 +52@1000", "-43@1000 -50@1000 +46@1000 +53@1000"};
        QTest::newRow("1 chord") << "d" << one;
        QTest::newRow("2 chords (start)") << "" << two;
        QTest::newRow("3 chords") << "u" << three;
        QTest::newRow("below 1 stays 1") << "ddd" << one;
        QTest::newRow("above 3 stays 3") << "uuuu" << three;
        QTest::newRow("dampening ignored") << "2" << two;
        QTest::newRow("dampening ignored, 1 chord") << "d21" << one;
    }
    void chordsRingForTheChosenNumberOfSoundings() {
        QFETCH(QString, clicks);
        QFETCH(QStringList, soundings);
        clickSettings(clicks);
        for (int i = 0; i < soundings.size(); ++i)
            QCOMPARE(play(43 + i, 50 + i), soundings[i]);
        QCOMPARE(clock.time, 1000);
    }

    // Two figures, 55 then 48 and 60 then 62, tones 500 ms, one chord
    // allowed to ring.
    void figuresFollowTheDampenSwitches_data() {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QString>("firstFigure");
        QTest::addColumn<QString>("secondFigure");
        QTest::newRow("no dampening") << "d"
                                      << "-0@1000 -0@1000 +55@1000 +48@1500"
                                      << "-48@1500 -55@1500 +60@1500 +62@2000";
        QTest::newRow("dampen first") << "d1"
                                      << "-0@1000 -0@1000 +55@1000 -55@1500 +48@1500"
                                      << "-48@1500 -55@1500 +60@1500 -60@2000 +62@2000";
        QTest::newRow("dampen second checks first")
            << "d2"
            << "-0@1000 -0@1000 +55@1000 -55@1500 +48@1500 -48@2000"
            << "-48@2000 -55@2000 +60@2000 -60@2500 +62@2500 -62@3000";
        QTest::newRow("second unchecked again keeps first")
            << "d22"
            << "-0@1000 -0@1000 +55@1000 -55@1500 +48@1500"
            << "-48@1500 -55@1500 +60@1500 -60@2000 +62@2000";
        QTest::newRow("second without first") << "d21"
                                              << "-0@1000 -0@1000 +55@1000 +48@1500 -48@2000"
                                              << "-48@2000 -55@2000 +60@2000 +62@2500 -62@3000";
    }
    void figuresFollowTheDampenSwitches() {
        QFETCH(QString, clicks);
        QFETCH(QString, firstFigure);
        QFETCH(QString, secondFigure);
        drill->givenAs = 1;
        clickSettings(clicks);
        QCOMPARE(play(55, 48), firstFigure);
        QCOMPARE(play(60, 62), secondFigure);
    }

    // A change applies from the next sounding on; notes already ringing
    // stop when the old setting said.
    void changingSustainMidDrillKeepsWhatRings() {
        QCOMPARE(play(43, 50), QString("-0@1000 -0@1000 +43@1000 +50@1000"));
        clickSettings("u"); // 3 chords from now on
        QCOMPARE(play(44, 51), QString("-0@1000 -0@1000 +44@1000 +51@1000"));
        QCOMPARE(play(45, 52), QString("-43@1000 -50@1000 +45@1000 +52@1000"));
        QCOMPARE(play(46, 53), QString("-0@1000 -0@1000 +46@1000 +53@1000"));
        QCOMPARE(play(47, 54), QString("-44@1000 -51@1000 +47@1000 +54@1000"));
    }

    // Once the filter window closes, the drill draws only what its
    // two-octave page allows.
    void theDrillDrawsOnlyWhatTheFilterAllows_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QList<int>>("sizes");
        QTest::newRow("two sizes on page 2")
            << 2 << QStringList{"NoneButton3", "CheckBox24", "CheckBox37"} << QList<int>{3, 16};
        QTest::newRow("one class on page 0")
            << 0 << QStringList{"Button3", "CheckBox7"} << QList<int>{6, 18};
        QTest::newRow("second octave only")
            << 2 << QStringList{"CheckBox21", "CheckBox20", "CheckBox20"}
            << QList<int>{13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
        QTest::newRow("page 1 leaves the second octave")
            << 1 << QStringList{"Button1", "CheckBox12"} << QList<int>{4};
    }
    void theDrillDrawsOnlyWhatTheFilterAllows() {
        QFETCH(int, page);
        QFETCH(QStringList, clicks);
        QFETCH(QList<int>, sizes);
        TNewFilterForm filters(*drill);
        filters.show();
        filters.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(page);
        for (const QString& name : clicks) {
            auto* control = filters.findChild<QAbstractButton*>(name);
            QVERIFY2(control, qPrintable(name));
            control->click();
        }
        filters.findChild<QPushButton*>("OKButton")->click();

        drill->seedRandom(2024);
        std::set<int> drawn;
        for (int i = 0; i < 3000; ++i) {
            QVERIFY(drill->drawQuestion());
            drawn.insert(drill->pitchInterval);
        }
        QCOMPARE(drawn, std::set<int>(sizes.begin(), sizes.end()));
    }
};

QTEST_MAIN(TestSettingsPlayback)
#include "test_settings_playback.moc"
