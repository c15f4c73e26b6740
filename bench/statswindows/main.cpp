// Opens the Error Map and the Progress window on full data files and prints
// how long each takes from the menu click until the window has painted:
// the first opening (what a user waits for; a main window is up before, as
// in the program) and the median of later ones. Runs on the display it is given (Xvfb or
// offscreen).
//
//   bench_statswindows [drills]    (default 10000)

#include "core/atomicfile.h"
#include "errors/errorfile.h"
#include "stats/drilllog.h"
#include "stats/errormapwindow.h"
#include "stats/progresswindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// Every counter of every row in use, with numbers of many digits.
void writeFullErrorFile(const std::string& path) {
    TallyTable table{};
    for (int r = 0; r < kTallyRows; ++r)
        for (int i = 0; i < IntervalTally::kCounters; ++i)
            table[static_cast<size_t>(r)].counter(i) = 1000000 + r * 100 + i;
    if (!writeFileAtomically(path, errors::formatErrorFile(table)))
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

void writeDrillLog(const std::string& path, int drills) {
    std::string text = std::string(stats::kDrillLogHeader) + "\r\n";
    stats::DrillRecord r;
    r.allowed = "1-12";
    r.offsetSeconds = 3600;
    for (int i = 0; i < drills; ++i) {
        r.utcSeconds = 1700000000 + int64_t{i} * 5000; // about 17 a day
        r.right = 10 + i % 15;
        r.wrong = i % 7;
        r.seconds = 40 + i % 60;
        r.score = 800 + (i * 37) % 1200;
        r.presentation = i % 2;
        text += stats::formatDrillLine(r);
    }
    if (!writeFileAtomically(path, text))
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

// Milliseconds from the click to a painted window, as the menu item does it.
double openOnce(const std::function<QDialog*()>& make, const std::function<void(QDialog*)>& refresh,
                bool parts = false) {
    QElapsedTimer timer;
    timer.start();
    QDialog* window = make();
    const double made = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    refresh(window);
    const double read = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    window->show();
    // Until the window system shows it: a window not yet mapped skips its
    // painting, which would flatter the figure.
    QElapsedTimer limit;
    limit.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) &&
           limit.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    window->repaint(); // the whole window, painted now
    QApplication::processEvents();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (parts)
        std::printf("           (made %.1f ms, data read and laid out %.1f ms, shown and painted "
                    "%.1f ms)\n",
                    made, read - made, ms - read);
    delete window;
    QApplication::processEvents();
    return ms;
}

void report(const char* name, const std::function<QDialog*()>& make,
            const std::function<void(QDialog*)>& refresh) {
    const double first = openOnce(make, refresh, true);
    std::vector<double> later;
    for (int i = 0; i < 15; ++i)
        later.push_back(openOnce(make, refresh));
    std::sort(later.begin(), later.end());
    std::printf("%-10s first open %6.1f ms   later: median %6.1f ms, worst %6.1f ms\n", name, first,
                later[later.size() / 2], later.back());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int drills = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    QTemporaryDir folder;
    const std::string errorFile = folder.filePath("errors.dat").toStdString();
    const std::string logFile = folder.filePath("drills.csv").toStdString();
    writeFullErrorFile(errorFile);
    writeDrillLog(logFile, drills);
    std::printf("platform %s, errors.dat %lld bytes, drills.csv %d drills (%lld bytes)\n",
                qPrintable(QApplication::platformName()),
                static_cast<long long>(QFileInfo(folder.filePath("errors.dat")).size()), drills,
                static_cast<long long>(QFileInfo(folder.filePath("drills.csv")).size()));

    // The program's main window is up before either window can be opened
    // from its menu, so the toolkit's fonts and style are loaded by then.
    QMainWindow main;
    main.menuBar()->addMenu("View")->addAction("Error Map");
    main.setCentralWidget(new QLabel("Correct: 0   Incorrect: 0"));
    main.show();
    QElapsedTimer limit;
    limit.start();
    while (!(main.windowHandle() && main.windowHandle()->isExposed()) && limit.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    QApplication::processEvents();

    report(
        "Error Map",
        [&] {
            auto* w = new stats::ErrorMapWindow;
            w->setErrorFilePath(errorFile);
            return w;
        },
        [](QDialog* w) { static_cast<stats::ErrorMapWindow*>(w)->refresh(); });
    report(
        "Progress",
        [&] {
            auto* w = new stats::ProgressWindow;
            w->setDrillLogPath(logFile);
            return w;
        },
        [](QDialog* w) { static_cast<stats::ProgressWindow*>(w)->refresh(); });
    // Where the time goes: reading the files alone.
    QElapsedTimer timer;
    timer.start();
    TallyTable table{};
    (void)errors::readErrorFile(errorFile, table);
    const double readErrors = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    const stats::DrillLog log = stats::readDrillLog(logFile);
    const double readLog = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("reading alone: errors.dat %.2f ms, drills.csv %.2f ms (%zu drills)\n", readErrors,
                readLog, log.drills.size());
    return 0;
}
