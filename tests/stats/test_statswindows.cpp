#include "app/drillstate.h"
#include "core/atomicfile.h"
#include "errors/errorfile.h"
#include "errors/errorform.h"
#include "stats/drilllog.h"
#include "stats/errormapview.h"
#include "stats/errormapwindow.h"
#include "stats/progresswindow.h"
#include "stats/statswindows.h"

#include <QAccessible>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace stats;

namespace {

QString fixture(const char* name) {
    return QString(TONYX_TEST_SOURCE_DIR) + "/tests/stats/data/" + name;
}

QString pdfText(const QString& pdf) {
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
    if (!pdftotext.waitForFinished(30000))
        return "<pdftotext failed>";
    // Printed fonts may join "fi" and "fl" into one glyph.
    return QString::fromUtf8(pdftotext.readAllStandardOutput())
        .replace(QChar(0xFB01), "fi")
        .replace(QChar(0xFB02), "fl");
}

int rowOf(const ErrorMap& map, int value) {
    for (int r = 0; r < map.rowCount(); ++r)
        if (map.rowValue(r) == value)
            return r;
    return -1;
}

int columnOf(const ErrorMap& map, int value) {
    for (int c = 0; c < map.columnCount(); ++c)
        if (map.columnValue(c) == value)
            return c;
    return -1;
}

// 2026-12-08 12:00 UTC and the days around it.
constexpr int64_t kNoon = 20795LL * 86400 + 12 * 3600;

DrillRecord drill(int64_t utc, int32_t score, int32_t right, int32_t wrong) {
    DrillRecord r;
    r.utcSeconds = utc;
    r.allowed = "1-12";
    r.right = right;
    r.wrong = wrong;
    r.seconds = 60;
    r.score = score;
    return r;
}

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class StatsWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(folder_.isValid());
        errorFile_ = folder_.filePath("errors.dat");
        logFile_ = folder_.filePath("drills.csv");
        QFile::remove(errorFile_);
        QFile::remove(logFile_);
    }

    void mapCellsAreDrawnInTheirShareColours_data() {
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("played");
        QTest::addColumn<int>("answered");
        QTest::addColumn<double>("share"); // -1: no answers
        const int mod12 = static_cast<int>(MapScale::Mod12);
        const int pitch = static_cast<int>(MapScale::Pitch);
        QTest::newRow("mod12 fifth right") << mod12 << 7 << 7 << 0.75;
        QTest::newRow("mod12 fifth as fourth") << mod12 << 7 << 5 << 0.1;
        QTest::newRow("mod12 octave as major 7th") << mod12 << 0 << 11 << 0.4;
        QTest::newRow("mod12 fourth, none") << mod12 << 5 << 5 << -1.0;
        QTest::newRow("pitch m3 right") << pitch << 3 << 3 << 0.5;
        QTest::newRow("pitch m3 above two octaves") << pitch << 3 << 25 << 0.25;
        QTest::newRow("pitch m3 as 2, none") << pitch << 3 << 2 << -1.0;
    }
    void mapCellsAreDrawnInTheirShareColours() {
        QFETCH(int, scale);
        QFETCH(int, played);
        QFETCH(int, answered);
        QFETCH(double, share);
        ErrorMapWindow window;
        window.setErrorFilePath(fixture("golden.dat").toStdString());
        window.refresh();
        window.setScale(static_cast<MapScale>(scale));
        const QString png = folder_.filePath("map.png");
        QVERIFY(window.saveAsPng(png));
        const QImage image(png);
        QCOMPARE(image.size(), ErrorMapWindow::kPngSize);
        const MapLayout layout =
            layoutMap(window.map(), QRect(QPoint(0, 0), image.size()), QFont());
        const QRect cell =
            layout.cellRect(rowOf(window.map(), played), columnOf(window.map(), answered));
        const QColor expected = share < 0 ? kEmptyCellColor : viridis(share);
        QCOMPARE(image.pixelColor(cell.topLeft() + QPoint(3, 3)), expected);
        QCOMPARE(image.pixelColor(cell.bottomRight() - QPoint(3, 3)), expected);
        QVERIFY(image.pixelColor(0, 0) == QColor(Qt::white));
    }

    void viridisRunsFromDarkToLightThroughItsStops() {
        QCOMPARE(viridis(0), QColor(0x44, 0x01, 0x54));
        QCOMPARE(viridis(0.5), QColor(0x21, 0x91, 0x8c));
        QCOMPARE(viridis(1), QColor(0xfd, 0xe7, 0x25));
        QCOMPARE(viridis(2), viridis(1));
        QCOMPARE(viridis(-1), viridis(0));
        QCOMPARE(viridis(std::nan("")), viridis(0));
        // Luminance rises along the scale, so it reads in grey too.
        auto luma = [](QColor c) {
            return 0.2126 * c.red() + 0.7152 * c.green() + 0.0722 * c.blue();
        };
        for (int i = 1; i <= 20; ++i)
            QVERIFY(luma(viridis(i / 20.0)) > luma(viridis((i - 1) / 20.0)));
    }

    void aNoteSaysWhyTheMapIsEmpty_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("note"); // empty: no note
        QTest::addColumn<bool>("empty");
        QTest::newRow("missing") << ""
                                 << "is not in the data folder" << true;
        QTest::newRow("empty") << "empty.dat"
                               << "holds no answers given as mod 12 intervals yet" << true;
        QTest::newRow("zeros") << "zeros.dat"
                               << "holds no answers given as mod 12 intervals yet" << true;
        // golden.dat with row 30's first number spoilt: the rest still reads
        QTest::newRow("damaged") << "damaged.dat"
                                 << "leaves out the numbers" << false;
        QTest::newRow("golden") << "golden.dat"
                                << "" << false;
    }
    void aNoteSaysWhyTheMapIsEmpty() {
        QFETCH(QString, file);
        QFETCH(QString, note);
        QFETCH(bool, empty);
        if (!file.isEmpty())
            QVERIFY(QFile::copy(fixture(file.toUtf8().constData()), errorFile_));
        ErrorMapWindow window;
        window.setErrorFilePath(errorFile_.toStdString());
        window.show();
        window.refresh();
        QCOMPARE(window.NoteLabel->isVisible(), !note.isEmpty());
        QVERIFY2(window.NoteLabel->text().contains(note), qPrintable(window.NoteLabel->text()));
        QCOMPARE(window.map().empty(), empty);
    }

    void arrowKeysMoveTheFocusCellAndAnnounceIt() {
        ErrorMapWindow window;
        window.setErrorFilePath(fixture("golden.dat").toStdString());
        window.refresh();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.MapView->setFocus();
        window.MapView->setFocusCell(rowOf(window.map(), 7), columnOf(window.map(), 7));
        QTest::keyClick(window.MapView, Qt::Key_Left);
        QTest::keyClick(window.MapView, Qt::Key_Left);
        const QString fourth = "perfect 5th answered as perfect 4th: 2 of 20 answers (10%)";
        QCOMPARE(window.CellLabel->text(), fourth);
        QCOMPARE(window.MapView->focusCell(), QPoint(5, 7));
        // What a screen reader reads for the focused map: the cell. (The
        // change events themselves reach only a running screen reader.)
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(window.MapView);
        QVERIFY(spoken);
        QCOMPARE(spoken->text(QAccessible::Name), fourth);
        QVERIFY(spoken->text(QAccessible::Description).contains("Arrow keys"));
        QTest::keyClick(window.MapView, Qt::Key_Up);
        QCOMPARE(window.CellLabel->text(),
                 QString("tritone answered as perfect 4th: 0 of 0 answers"));
        QTest::keyClick(window.MapView, Qt::Key_Home);
        QCOMPARE(window.MapView->focusCell(), QPoint(0, 6));
        QTest::keyClick(window.MapView, Qt::Key_Left); // stays at the edge
        QCOMPARE(window.MapView->focusCell(), QPoint(0, 6));
    }

    void theScaleSwitchAndRefreshShowNewCounts() {
        QVERIFY(QFile::copy(fixture("golden.dat"), errorFile_));
        ErrorMapWindow window;
        window.setErrorFilePath(errorFile_.toStdString());
        window.refresh();
        window.PitchButton->click();
        QCOMPARE(window.map().columnCount(), 26);
        QVERIFY(!window.NoteLabel->text().contains("pitch"));
        window.ClassButton->click();
        QCOMPARE(window.map().rowCount(), 7);
        window.Mod12Button->click();
        QCOMPARE(window.map().count(7, 7), 15);
        TallyTable table{};
        table[7].m12Correct = 3;
        QVERIFY(writeFileAtomically(errorFile_.toStdString(), errors::formatErrorFile(table)));
        window.refresh();
        QCOMPARE(window.map().count(7, 7), 3);
        QCOMPARE(window.map().total(), 3);
        // Answers in one mode only: the other scales say why they are empty.
        window.PitchButton->click();
        QVERIFY(window.NoteLabel->isVisibleTo(&window));
        QVERIFY(window.NoteLabel->text().contains("no answers given as pitch intervals"));
        window.ClassButton->click();
        QVERIFY(window.NoteLabel->text().contains("no answers given as interval classes yet"));
        window.Mod12Button->click();
        QVERIFY(!window.NoteLabel->isVisibleTo(&window));
    }

    void theMapSavesAsPdfWithItsLabels() {
        ErrorMapWindow window;
        window.setErrorFilePath(fixture("golden.dat").toStdString());
        window.refresh();
        const QString pdf = folder_.filePath("map.pdf");
        window.setSavePathChooser(
            [&](QWidget*, const QString&, const QString& suggested, const QString&) {
                return suggested == "error-map.pdf" ? pdf : QString();
            });
        window.SavePdfButton->click();
        const QString text = pdfText(pdf);
        for (const char* expected : {"Error Map: answers as mod 12 interval", "answered", "played",
                                     "P5", "M7", "75%", "share of the row's answers"})
            QVERIFY2(text.contains(expected), expected);
        QVERIFY(!window.saveAsPdf(folder_.filePath("no-folder/map.pdf")));
    }

    void progressPlotsEachDrillOrDayWithItsSummary() {
        for (const DrillRecord& r : {drill(kNoon - 86400, 1000, 10, 10), drill(kNoon, 1500, 15, 5),
                                     drill(kNoon + 60, 2000, 20, 0)})
            QVERIFY(appendDrill(logFile_.toStdString(), r));
        {
            QFile file(logFile_);
            QVERIFY(file.open(QIODevice::Append));
            file.write("damaged,line\r\n");
        }
        ProgressWindow window;
        window.setDrillLogPath(logFile_.toStdString());
        window.setNow([] { return kNoon + 3600; });
        window.refresh();
        QCOMPARE(window.scoreSeries()->count(), 3);
        QCOMPARE(window.scoreSeries()->at(1), QPointF(2, 1500));
        QCOMPARE(window.shareSeries()->at(1), QPointF(2, 75));
        QCOMPARE(window.SummaryLabel->text(),
                 QString("Best score 2000  ·  Last 2000 (100% right)  ·  Last 7 days: 1500 on "
                         "average, 75% right, 3 drills"));
        QVERIFY(window.NoteLabel->text().contains("1 damaged line"));
        window.ByDayButton->click();
        QCOMPARE(window.scoreSeries()->count(), 2);
        QCOMPARE(window.scoreSeries()->at(1).y(), 1750.0);
        QCOMPARE(window.shareSeries()->at(1).y(), 87.5);
    }

    void progressSavesAsPngWithItsLinesAndAsPdf() {
        for (int i = 0; i < 5; ++i)
            QVERIFY(
                appendDrill(logFile_.toStdString(), drill(kNoon + i * 600, 500 + 300 * i, 10, 5)));
        ProgressWindow window;
        window.setDrillLogPath(logFile_.toStdString());
        window.setNow([] { return kNoon + 3600; });
        window.refresh();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString png = folder_.filePath("progress.png");
        window.setSavePathChooser(
            [&](QWidget*, const QString&, const QString& suggested, const QString&) {
                return suggested == "progress.png" ? png : folder_.filePath("progress.pdf");
            });
        window.SavePngButton->click();
        const QImage image(png);
        QCOMPARE(image.size(), ProgressWindow::kPngSize);
        // The third drill's score as it lands in the picture.
        QChart* chart = window.ChartView->chart();
        const QPointF inChart = chart->mapToPosition(QPointF(3, 1100), window.scoreSeries());
        const QPointF inView = window.ChartView->mapFromScene(chart->mapToScene(inChart));
        const ChartPlacement place = window.pngPlacement();
        const QPoint pixel = (place.origin + inView * place.scale).toPoint();
        QVERIFY2(near(image.pixelColor(pixel), QColor(0x1f, 0x77, 0xb4), 40),
                 qPrintable(image.pixelColor(pixel).name()));
        QCOMPARE(image.pixelColor(2, 2), QColor(Qt::white));

        window.SavePdfButton->click();
        const QString text = pdfText(folder_.filePath("progress.pdf"));
        for (const char* expected : {"Progress", "Best score 1700", "score", "right answers"})
            QVERIFY2(text.contains(expected), expected);
    }

    void progressWithoutDrillsSaysSo() {
        ProgressWindow window;
        window.setDrillLogPath(logFile_.toStdString());
        window.show();
        window.refresh();
        QVERIFY(window.NoteLabel->isVisible());
        QVERIFY(window.NoteLabel->text().contains("No finished drill"));
        QCOMPARE(window.SummaryLabel->text(), QString("No drills yet."));
        QCOMPARE(window.scoreSeries()->count(), 0);
    }

    void theErrorReportSavesAsPdfAndIsOfferedThatWithoutAPrinter() {
        TErrorReport report;
        QStringList messages;
        report.setNotifier([&](const QString& text) { messages << text; });
        report.appendLines({"perfect 5th", "     correct  75%", "     perfect 4th  10%"});
        const QString pdf = folder_.filePath("report.pdf");
        report.setSavePathChooser([&](const QString& suggested) {
            return suggested == "error-report.pdf" ? pdf : QString();
        });
        report.SavePdfButton->click();
        QString text = pdfText(pdf).simplified();
        QVERIFY2(text.contains("perfect 5th correct 75% perfect 4th 10%"), qPrintable(text));
        QVERIFY(text.contains("perfect 4th"));
        QVERIFY(messages.isEmpty());

        QFile::remove(pdf);
        report.setPrinterFactory([] { return std::unique_ptr<QPrinter>(); });
        QStringList offers;
        bool accept = false;
        report.setPdfOffer([&](const QString& why) {
            offers << why;
            return accept;
        });
        report.Button3->click();
        QCOMPARE(offers.size(), 1);
        QVERIFY(offers[0].contains("no printer"));
        QVERIFY(!QFile::exists(pdf));
        accept = true;
        report.Button3->click();
        QVERIFY(pdfText(pdf).contains("perfect 5th"));

        report.setSavePathChooser([&](const QString&) { return folder_.filePath("no/such.pdf"); });
        report.SavePdfButton->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].contains("could not be saved"));
    }

    void aScoredDrillIsRecordedAndOpenWindowsFollow() {
        QWidget owner;
        QMenu view;
        StatsWindows stats(&owner, &view);
        stats.setPaths(errorFile_.toStdString(), logFile_.toStdString());
        QCOMPARE(view.actions().size(), 2);
        stats.Progress1->trigger();
        stats.ErrorMap1->trigger();
        QVERIFY(stats.progress()->isVisible());
        QVERIFY(stats.errorMap()->NoteLabel->isVisible());

        DrillState state;
        state.correctCount = 12;
        state.incorrectCount = 3;
        state.allowed[5] = false;
        const DrillRecord r = finishedDrill(state, 45, 900);
        QCOMPARE(r.right, 12);
        QCOMPARE(r.wrong, 3);
        QCOMPARE(r.allowed, std::string("1-4 6-12"));
        QVERIFY(!r.eligible);
        QCOMPARE(r.identifyMode, 1);
        stats.drillScored(r);
        QCOMPARE(stats.progress()->log().drills.size(), size_t{1});
        QCOMPARE(stats.progress()->scoreSeries()->count(), 1);

        TallyTable table{};
        table[7].m12Correct = 12;
        QVERIFY(writeFileAtomically(errorFile_.toStdString(), errors::formatErrorFile(table)));
        stats.errorFileUpdated();
        QVERIFY(!stats.errorMap()->NoteLabel->isVisible());
        QCOMPARE(stats.errorMap()->map().total(), 12);
    }

private:
    QTemporaryDir folder_;
    QString errorFile_;
    QString logFile_;
};

QTEST_MAIN(StatsWindowsTest)
#include "test_statswindows.moc"
