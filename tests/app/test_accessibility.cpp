// What a screen reader reads: every control of every window has a name,
// the named controls read as a user would say them, and the counters and
// the clock read with their captions as the drill changes them. Everything
// is read back through the toolkit's accessibility interfaces. (A label
// announces its own name changes; the toolkit sends such events only while
// an assistive technology listens, so they cannot be watched here.)

#include "app/accessibility.h"
#include "app/application.h"
#include "app/zorpunit1.h"
#include "errors/errorform.h"
#include "errors/filterquery.h"
#include "info/HelpFormUnit.h"
#include "info/about.h"
#include "info/readme.h"
#include "score/scoreform.h"
#include "settings/Tonyxfilter2.h"
#include "settings/Tonyxsettings.h"
#include "tests/support/standin.h"
#include "tests/support/testdrill.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

QAccessibleInterface* interfaceOf(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

QString nameOf(QObject* object) {
    QAccessibleInterface* i = interfaceOf(object);
    return i ? i->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

QWidget* windowNamed(const QString& name) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{Form1, Form2, ErrorReport, FilterQueryForm, ReadmeBox,
                                         Yellow, SettingsForm, NewFilterForm, HelpForm})
        if (w && w->objectName() == name)
            return w;
    return nullptr;
}

// Roles a user reaches and that must say what they are.
bool mustBeNamed(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::List:
    case QAccessible::ListItem:
    case QAccessible::EditableText:
    case QAccessible::StaticText:
    case QAccessible::Graphic:
    case QAccessible::PageTab:
    case QAccessible::SpinBox:
    case QAccessible::Grouping:
    case QAccessible::Dialog:
    case QAccessible::Window:
    case QAccessible::MenuItem:
        return true;
    default:
        return false;
    }
}

void collectUnnamed(QAccessibleInterface* node, const QString& path, QStringList& unnamed) {
    if (!node)
        return;
    const QString here = path + QLatin1Char('/') +
                         (node->object() ? node->object()->objectName() : QString()) +
                         QLatin1Char('[') + QString::number(node->role(), 16) + QLatin1Char(']');
    if (mustBeNamed(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty())
        unnamed << here;
    for (int c = 0; c < node->childCount(); ++c)
        collectUnnamed(node->child(c), here, unnamed);
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

    FakeClock clock;
    QTemporaryDir folder;
    QString startFolder;
    std::vector<std::string> messages;

private slots:
    void initTestCase() {
        startFolder = QDir::currentPath();
        QVERIFY(folder.isValid());
        QFile readme(folder.filePath("readme.txt"));
        QVERIFY(readme.open(QIODevice::WriteOnly));
        readme.write("Tonyx\r\n");
        readme.close();
        QVERIFY(QDir::setCurrent(folder.path()));
        TonyxApplication::setMessageSink([this](const std::string& m) { messages.push_back(m); });
        clock.time = 1000;
        createWindows(clock, "StandInMidi");
        accessibility::nameControls();
        accessibility::nameControls(); // a second call changes nothing
    }

    void cleanupTestCase() {
        destroyWindows();
        TonyxApplication::setMessageSink({});
        QDir::setCurrent(startFolder);
    }

    void everyControlOfEveryWindowHasAName_data() {
        QTest::addColumn<QString>("window");
        for (const char* w : {"Form1", "Form2", "ErrorReport", "FilterQueryForm", "ReadmeBox",
                              "Yellow", "SettingsForm", "NewFilterForm", "HelpForm"})
            QTest::newRow(w) << QString(w);
    }
    void everyControlOfEveryWindowHasAName() {
        QFETCH(QString, window);
        QWidget* w = windowNamed(window);
        QVERIFY(w);
        QStringList unnamed;
        collectUnnamed(interfaceOf(w), QString(), unnamed);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

    void namedControlsReadAsAUserSaysThem_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description"); // a part of it; empty: none needed
        QTest::newRow("device list") << "Form1"
                                     << "SetupListBox"
                                     << "MIDI output device"
                                     << "plays the notes";
        QTest::newRow("answer box") << "Form1"
                                    << "PitchIntMemo"
                                    << "Answer in semitones"
                                    << "Enter";
        QTest::newRow("repeat") << "Form1"
                                << "Button4"
                                << "Repeat"
                                << "again";
        QTest::newRow("begin") << "Form1"
                               << "Button1"
                               << "BEGIN"
                               << "starts a drill";
        QTest::newRow("sustain up") << "SettingsForm"
                                    << "UpArrow"
                                    << "More chords"
                                    << "one more chord";
        QTest::newRow("sustain down") << "SettingsForm"
                                      << "DownArrow"
                                      << "Fewer chords"
                                      << "one chord fewer";
        QTest::newRow("sustain value") << "SettingsForm"
                                       << "Edit1"
                                       << "Chords to ring"
                                       << "1 to 3";
        QTest::newRow("key guide window") << "HelpForm"
                                          << "HelpForm"
                                          << "Key Guide"
                                          << "";
        QTest::newRow("key guide picture")
            << "HelpForm"
            << "Image1"
            << "Key Guide: answer keys and their intervals"
            << "Key 1: minor 2nd\nKey 2: major 2nd\nKey 3: minor 3rd\nKey 4: major 3rd\n"
               "Key 5: perfect 4th\nKey 6: augmented 4th or diminished 5th\n"
               "Key 7: perfect 5th\nKey 8: minor 6th\nKey 9: major 6th\n"
               "Key 0: minor 7th\nKey -: major 7th\nKey =: octave";
        QTest::newRow("wrong-answer marker") << "HelpForm"
                                             << "marker2"
                                             << "Wrong answer"
                                             << "Key 3, minor 3rd";
        QTest::newRow("score list") << "Form2"
                                    << "ListBox"
                                    << "High scores"
                                    << "date";
        QTest::newRow("score window") << "Form2"
                                      << "Form2"
                                      << "Score"
                                      << "";
        QTest::newRow("report") << "ErrorReport"
                                << "RichEdit1"
                                << "Error report"
                                << "";
        QTest::newRow("readme") << "ReadmeBox"
                                << "Memo1"
                                << "User's guide"
                                << "";
    }
    void namedControlsReadAsAUserSaysThem() {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(QString, description);
        QWidget* w = windowNamed(window);
        QVERIFY(w);
        QObject* target = w->objectName() == control ? w : w->findChild<QObject*>(control);
        QVERIFY2(target, qPrintable(control));
        QCOMPARE(nameOf(target), name);
        const QString said = interfaceOf(target)->text(QAccessible::Description);
        QVERIFY2(said.contains(description, Qt::CaseInsensitive), qPrintable(said));
    }

    void filterBoxesReadByIntervalName_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("name");
        QTest::newRow("m2") << "m2"
                            << "minor 2nd";
        QTest::newRow("tritone") << "+4/d5"
                                 << "augmented 4th or diminished 5th";
        QTest::newRow("octave") << "8ve"
                                << "octave";
        QTest::newRow("upper m6") << "8ve + m6"
                                  << "octave plus minor 6th";
        QTest::newRow("upper d5") << "8ve + d5"
                                  << "octave plus diminished 5th";
        QTest::newRow("two octaves") << "2 8ves"
                                     << "two octaves";
        QTest::newRow("class 3") << "IC [3]"
                                 << "interval class 3";
        QTest::newRow("lower group") << "<= 8ve"
                                     << "Every interval up to an octave";
        QTest::newRow("upper group") << " > 8ve"
                                     << "Every interval over an octave";
    }
    void filterBoxesReadByIntervalName() {
        QFETCH(QString, caption);
        QFETCH(QString, name);
        QCheckBox* box = nullptr;
        for (QCheckBox* b : NewFilterForm->findChildren<QCheckBox*>())
            if (b->text() == caption)
                box = b;
        QVERIFY2(box, qPrintable(caption));
        QCOMPARE(nameOf(box), name);
    }

    void intervalClassBoxesSayWhichIntervals() {
        QCheckBox* ic2 = nullptr;
        for (QCheckBox* b : NewFilterForm->findChildren<QCheckBox*>())
            if (b->text() == QLatin1String("IC [2]"))
                ic2 = b;
        QVERIFY(ic2);
        QCOMPARE(interfaceOf(ic2)->text(QAccessible::Description),
                 QStringLiteral("The major 2nd and the minor 7th, in any octave"));
    }

    void deviceListLinesSayWhatTheyAre() {
        QAccessibleInterface* list = interfaceOf(Form1->SetupListBox);
        QVERIFY(list);
        const int lines = Form1->SetupListBox->count();
        QVERIFY(lines >= 1);
        // The list's rows, in order, as a screen reader walks them.
        QStringList names;
        QStringList descriptions;
        for (int c = 0; c < list->childCount(); ++c) {
            QAccessibleInterface* row = list->child(c);
            if (row && row->role() == QAccessible::ListItem) {
                names << row->text(QAccessible::Name);
                descriptions << row->text(QAccessible::Description);
            }
        }
        QCOMPARE(names.size(), lines);
        // Each line reads as its device's name (with its state after it).
        for (int i = 0; i < lines; ++i)
            QVERIFY2(names[i].startsWith(Form1->SetupListBox->item(i)->text()),
                     qPrintable(names[i]));
        QCOMPARE(descriptions.first(), QStringLiteral("Built-in synthesizer"));
        for (int i = 1; i < lines; ++i)
            QCOMPARE(descriptions[i], QStringLiteral("MIDI output port"));
    }

    void countersAndClockReadWithTheirCaptionsAsTheDrillGoes() {
        QCOMPARE(nameOf(Form1->CorrectLabel), QStringLiteral("Correct: 0"));
        QCOMPARE(nameOf(Form1->IncorrectLabel), QStringLiteral("Incorrect: 0"));
        QVERIFY(Form1->beginDrill());
        QCOMPARE(nameOf(Form1->TimeLabel), QStringLiteral("Elapsed time: 0 seconds"));

        // One wrong answer, then the right one, by the keys a user presses.
        const int right = Form1->m12Interval == 0 ? 12 : Form1->m12Interval;
        const int wrong = right == 1 ? 2 : 1;
        const auto vkOf = [](int answer) {
            return answer <= 9 ? '0' + answer : answer == 10 ? '0' : answer == 11 ? 189 : 187;
        };
        Form1->FormKeyDown(vkOf(wrong));
        QCOMPARE(nameOf(Form1->IncorrectLabel), QStringLiteral("Incorrect: 1"));
        Form1->FormKeyDown(vkOf(right));
        QCOMPARE(nameOf(Form1->CorrectLabel), QStringLiteral("Correct: 1"));
        clock.time += 65'000;
        Form1->ClockTick();
        QCOMPARE(nameOf(Form1->TimeLabel), QStringLiteral("Elapsed time: 1 minute 5 seconds"));
        clock.time += 60'000;
        Form1->ClockTick();
        QCOMPARE(nameOf(Form1->TimeLabel), QStringLiteral("Elapsed time: 2 minutes 5 seconds"));
    }

    void spokenClock_data() {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("start") << "0:00"
                               << "0 seconds";
        QTest::newRow("one second") << "0:01"
                                    << "1 second";
        QTest::newRow("one minute") << "1:00"
                                    << "1 minute 0 seconds";
        QTest::newRow("long drill") << "125:59"
                                    << "125 minutes 59 seconds";
        QTest::newRow("not a clock") << "X"
                                     << "X";
        QTest::newRow("empty") << ""
                               << "";
    }
    void spokenClock() {
        QFETCH(QString, shown);
        QFETCH(QString, spoken);
        QCOMPARE(accessibility::spokenClock(shown), spoken);
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
