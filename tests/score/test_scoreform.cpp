#include "app/drillstate.h"
#include "core/atomicfile.h"
#include "core/designunits.h"
#include "core/filenotices.h"
#include "errors/errorform.h"
#include "score/highscores.h"
#include "score/scoreform.h"
#include "tests/support/testclock.h"

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <clocale>
#include <sys/stat.h>

namespace {

// A clock the test moves by hand.
struct ManualClock : TestClock {
    ManualClock() : TestClock(1000) {}
};

std::vector<HighScoreEntry> storedTable() {
    const std::optional<std::string> text = readWholeFile(kHighScoreFileName);
    return text ? parseHighScoreFile(*text) : std::vector<HighScoreEntry>{};
}

void storeTable(const std::vector<HighScoreEntry>& table) {
    QVERIFY(writeFileAtomically(kHighScoreFileName, formatHighScoreFile(table)));
}

// A number as the window shows it: with the locale's decimal point, which
// the toolkit takes from the environment (the tests also run under a
// decimal-comma locale).
QString localized(const char* text) {
    return QString::fromLatin1(text).replace(QLatin1Char('.'),
                                             QString::fromLatin1(std::localeconv()->decimal_point));
}

const std::vector<HighScoreEntry> kTwoEntries = {{46300, 30, 1, 3.0f, 3000},
                                                 {46301, 12, 9, 6.25f, 1151}};

} // namespace

class ScoreFormTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void scoresTheDrillOnceWhileShown();
    void modalShowingReturnsOkAfterScoring();
    void filterLabelFollowsEligibility_data();
    void filterLabelFollowsEligibility();
    void resultsFitTheirPlaces();
    void theLocaleAskedForIsInForce();
    void aFailedSaveIsToldOnceOverTheWindowAndTheDrillMarked();
    void theFilterQuestionTakesNoDrillTime();

private:
    // 20 right and 5 wrong in 96.5 seconds.
    void playDrill(int32_t startOffset = 0) {
        drill_.correctCount = 20;
        drill_.incorrectCount = 5;
        drill_.startTime = clock_.now() + startOffset;
        clock_.advance(96500);
    }
    QString text(const char* name) const { return form_->findChild<QLabel*>(name)->text(); }

    QTemporaryDir folder_;
    QString previousFolder_;
    ManualClock clock_;
    DrillState drill_{clock_};
    TForm2* form_ = nullptr;
};

void ScoreFormTest::init() {
    QVERIFY(folder_.isValid());
    previousFolder_ = QDir::currentPath();
    QDir(folder_.path()).remove(QString::fromLatin1(kHighScoreFileName));
    QVERIFY(QDir::setCurrent(folder_.path()));
    for (int k = 1; k <= 24; ++k)
        drill_.allowed[k] = k <= 12;
    form_ = new TForm2(drill_);
    form_->setToday([] { return int64_t{46363}; });
    Form2 = form_;
}

void ScoreFormTest::cleanup() {
    delete form_;
    Form2 = nullptr;
    delete ErrorReport;
    ErrorReport = nullptr;
    QDir::setCurrent(previousFolder_);
}

void ScoreFormTest::scoresTheDrillOnceWhileShown() {
    storeTable(kTwoEntries);
    playDrill();
    form_->show();
    QCoreApplication::processEvents();

    QCOMPARE(text("TimeLabel"), localized("4.8"));
    QCOMPARE(text("TimePointsLabel"), QStringLiteral("2083"));
    QCOMPARE(text("PercentageLabel"), localized("80.0%"));
    QCOMPARE(text("LongevityLabel"), QStringLiteral("40"));
    QCOMPARE(text("ScoreLabel"), QStringLiteral("1706"));
    auto* list = form_->findChild<QListWidget*>("ListBox");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentRow(), 1);
    QVERIFY(list->item(1)->text().endsWith(localized("   20    5  80.0%  4.8  1706")));
    QCOMPARE(storedTable().size(), size_t{3});

    // The user looks at the Error Report for a minute and comes back.
    ErrorReport = new TErrorReport;
    bool reportShown = false;
    QTimer::singleShot(0, [&] {
        reportShown = ErrorReport->isVisible();
        clock_.advance(60000);
        ErrorReport->done(1);
    });
    QTest::mouseClick(form_->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    QVERIFY(reportShown);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(form_, &activate);
    form_->FormActivate();
    QCoreApplication::processEvents();

    QCOMPARE(text("TimeLabel"), localized("4.8"));
    QCOMPARE(form_->elapsedSeconds, 96);
    QCOMPARE(list->count(), 3);
    QCOMPARE(storedTable().size(), size_t{3});

    // The next drill's showing scores again.
    form_->hide();
    playDrill();
    form_->show();
    QCoreApplication::processEvents();
    QCOMPARE(storedTable().size(), size_t{4});
    QCOMPARE(list->currentRow(), 2);
}

void ScoreFormTest::modalShowingReturnsOkAfterScoring() {
    playDrill();
    int shownLines = -1;
    QTimer::singleShot(0, [&] {
        // Queued behind the window's own scoring, which showing it queued.
        QTimer::singleShot(0, [&] {
            shownLines = static_cast<int>(storedTable().size());
            QTest::mouseClick(form_->findChild<QPushButton*>("Button1"), Qt::LeftButton);
        });
    });
    QCOMPARE(form_->showForDrill(), 1);
    QCOMPARE(shownLines, 1);
    // The outer size, frame included.
    QCOMPARE(form_->frameGeometry().width(), form_->Button1->x() + design::px(70));
    QCOMPARE(form_->frameGeometry().height(), form_->Button1->y() + design::px(80));
}

void ScoreFormTest::filterLabelFollowsEligibility_data() {
    QTest::addColumn<bool>("haveFile");
    QTest::addColumn<bool>("minorSecond");
    QTest::addColumn<bool>("aboveTheOctave");
    QTest::addColumn<bool>("labelShown");
    QTest::addColumn<int>("storedAfter");
    QTest::addColumn<int>("listLines");
    QTest::addColumn<int>("selected");

    QTest::newRow("first drill, all allowed") << false << true << true << false << 1 << 0 << -1;
    QTest::newRow("first drill, filtered") << false << false << true << true << 0 << 0 << -1;
    QTest::newRow("stored table, all allowed") << true << true << true << false << 3 << 3 << 1;
    QTest::newRow("stored table, only wide intervals off")
        << true << true << false << false << 3 << 3 << 1;
    QTest::newRow("stored table, minor second off") << true << false << true << true << 2 << 2 << 0;
}

void ScoreFormTest::filterLabelFollowsEligibility() {
    QFETCH(bool, haveFile);
    QFETCH(bool, minorSecond);
    QFETCH(bool, aboveTheOctave);
    QFETCH(bool, labelShown);
    QFETCH(int, storedAfter);
    QFETCH(int, listLines);
    QFETCH(int, selected);

    if (haveFile)
        storeTable(kTwoEntries);
    drill_.allowed[1] = minorSecond;
    for (int k = 13; k <= 24; ++k)
        drill_.allowed[k] = aboveTheOctave;
    auto* label = form_->findChild<QLabel*>("FilterLabel");
    label->setVisible(!labelShown); // whatever the last drill left
    playDrill();
    form_->show();
    QCoreApplication::processEvents();

    QCOMPARE(!label->isHidden(), labelShown);
    QCOMPARE(static_cast<int>(storedTable().size()), storedAfter);
    auto* list = form_->findChild<QListWidget*>("ListBox");
    QCOMPARE(list->count(), listLines);
    QCOMPARE(list->currentRow(), selected);
    if (haveFile && !labelShown)
        QCOMPARE(storedTable()[1].score, 1706);
}

void ScoreFormTest::theFilterQuestionTakesNoDrillTime() {
    // A filtered drill of 20 right and 5 wrong in 96.5 seconds whose user
    // then thinks over the filter question for a minute.
    struct FilteredDrill : DrillState {
        using DrillState::DrillState;
        ManualClock* clock = nullptr;
        TForm2* scoreWindow = nullptr;
        bool includeFilteredDrill() override {
            clock->advance(60000);
            return false;
        }
        void showScoreWindow() override {
            scoreWindow->show();
            QCoreApplication::processEvents();
        }
    } drill(clock_);
    drill.allowed[3] = false;
    TForm2 form(drill);
    form.setToday([] { return int64_t{46363}; });
    drill.clock = &clock_;
    drill.scoreWindow = &form;
    QVERIFY(drill.beginDrill());
    drill.correctCount = 20;
    drill.incorrectCount = 5;
    clock_.advance(96500);
    drill.endDrill();
    QCOMPARE(form.elapsedSeconds, 96);
    QCOMPARE(static_cast<int>(form.timePerInterval * 10), 48);
}

void ScoreFormTest::resultsFitTheirPlaces() {
    // A full table and the widest values a quick drill gives (one second an
    // interval, none wrong): nothing may run into its neighbour or out of
    // the window.
    std::vector<HighScoreEntry> table;
    for (int i = 0; i < 100; ++i)
        table.push_back({46363, 999, 0, 99.9f, 99999 - i});
    storeTable(table);
    drill_.correctCount = 30;
    drill_.incorrectCount = 0;
    drill_.startTime = clock_.now();
    clock_.advance(30000);
    form_->show();
    QCoreApplication::processEvents();

    QCOMPARE(form_->TimePointsLabel->text(), QStringLiteral("10000"));
    QCOMPARE(form_->PercentageLabel->text(), localized("100.0%"));
    QCOMPARE(form_->ScoreLabel->text(), QStringLiteral("10060"));
    QVERIFY(form_->Label7->x() > form_->TimePointsLabel->geometry().right());
    QVERIFY(form_->Label7->geometry().right() < form_->Label8->x());
    QVERIFY(form_->PercentageLabel->geometry().right() < form_->Label9->x());
    QVERIFY(form_->LongevityLabel->geometry().right() < form_->Label10->x());
    QVERIFY(form_->Label10->geometry().right() < form_->ScoreLabel->x());
    for (QLabel* label : form_->findChildren<QLabel*>()) {
        QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->objectName()));
        QVERIFY2(label->geometry().right() < form_->width(), qPrintable(label->objectName()));
    }
    QListWidget* list = form_->ListBox;
    QVERIFY(QFontInfo(list->font()).fixedPitch());
    const QFontMetrics metrics(list->font());
    QCOMPARE(list->count(), 101);
    QCOMPARE(list->currentRow(), 100);
    for (int i = 0; i < list->count(); ++i)
        QVERIFY2(metrics.horizontalAdvance(list->item(i)->text()) <= list->viewport()->width(),
                 qPrintable(list->item(i)->text()));
}

void ScoreFormTest::theLocaleAskedForIsInForce() {
    const char* wanted = std::getenv("TONYX_EXPECT_DECIMAL_POINT");
    if (!wanted)
        QSKIP("the plain run: no locale asked for");
    QCOMPARE(QString::fromLatin1(std::localeconv()->decimal_point), QString::fromLatin1(wanted));
}

void ScoreFormTest::aFailedSaveIsToldOnceOverTheWindowAndTheDrillMarked() {
    storeTable(kTwoEntries);
    QCOMPARE(::chmod(kHighScoreFileName, 0444), 0);
    (void)filenotices::take();
    // The error file's failure, noted before the window opens, is told with it.
    filenotices::saveFailed("errors.dat", "No space left on device");
    std::vector<std::string> told;
    bool shownWhenTold = false;
    filenotices::setTeller([&](const std::string& text) {
        told.push_back(text);
        shownWhenTold = form_->isVisible();
    });
    playDrill();
    form_->show();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    filenotices::setTeller(nullptr);
    ::chmod(kHighScoreFileName, 0644);

    QCOMPARE(told.size(), size_t{1});
    const QString notice = QString::fromStdString(told.front());
    QVERIFY2(
        notice.contains(QDir(folder_.path()).filePath(QString::fromLatin1(kHighScoreFileName))),
        qPrintable(notice));
    QVERIFY2(notice.contains(QStringLiteral("errors.dat: No space left on device")),
             qPrintable(notice));
    QVERIFY2(notice.contains(QStringLiteral("left as it was")), qPrintable(notice));
    QVERIFY(shownWhenTold);
    QVERIFY(form_->isVisible());

    auto* list = form_->findChild<QListWidget*>("ListBox");
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->currentRow(), 1);
    QVERIFY(list->item(1)->font().italic());
    QCOMPARE(list->item(1)->foreground().color(), QColor(Qt::red));
    QVERIFY(!list->item(1)->toolTip().isEmpty());
    QVERIFY(!list->item(0)->font().italic());
    QCOMPARE(storedTable().size(), size_t{2});
    form_->hide();
}

QTEST_MAIN(ScoreFormTest)
#include "test_scoreform.moc"