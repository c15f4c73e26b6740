// Start-up: the nine windows and their order, a start-up that fails for
// want of readme.txt, the event loop that ends with the main window, and
// exceptions that escape event handlers.

#include "app/application.h"
#include "app/zorpunit1.h"
#include "core/exception.h"
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

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <stdexcept>

namespace {

const std::vector<std::string> kWindowOrder = {"TForm1",           "TForm2",         "TErrorReport",
                                               "TFilterQueryForm", "TReadmeBox",     "TYellow",
                                               "TSettingsForm",    "TNewFilterForm", "THelpForm"};

std::vector<std::string> createdSince(size_t start) {
    const auto& all = windowCreationOrder();
    return {all.begin() + static_cast<std::ptrdiff_t>(start), all.end()};
}

bool noWindowGlobalsLeft() {
    return !Form1 && !Form2 && !ErrorReport && !FilterQueryForm && !ReadmeBox && !Yellow &&
           !SettingsForm && !NewFilterForm && !HelpForm;
}

bool opened() {
    const std::vector<std::string> calls = standin::callNames();
    return std::find(calls.begin(), calls.end(), "OpenMidiOut") != calls.end();
}

// Watches every window's showing, and the main window's first show and
// first paint.
class ShowWatch : public QObject {
public:
    ShowWatch() { qApp->installEventFilter(this); }
    std::vector<std::string> shown;
    std::function<void()> onFirstShow, onFirstPaint;
    bool painted = false, openAtPaint = false, openAfterPaint = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            return false;
        if (event->type() == QEvent::Show && widget->isWindow()) {
            shown.push_back(widget->metaObject()->className());
            if (widget == Form1 && onFirstShow) {
                const std::function<void()> once = std::move(onFirstShow);
                onFirstShow = nullptr;
                once();
            }
        } else if (event->type() == QEvent::Paint && Form1 && widget->window() == Form1 &&
                   !painted) {
            painted = true;
            if (onFirstPaint)
                onFirstPaint();
        }
        return false;
    }
};

// A widget of some other window whose key handler fails.
class FailingWidget : public QWidget {
public:
    FailingWidget() { setFocusPolicy(Qt::StrongFocus); }
    void keyPressEvent(QKeyEvent*) override { throw Exception("midiOut not open"); }
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

    FakeClock clock;
    QString startFolder;
    std::unique_ptr<QTemporaryDir> folder;
    std::vector<std::string> messages;

    void enterFolder(bool withReadme) {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        if (withReadme) {
            QFile f(folder->filePath("readme.txt"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Tonyx\r\n");
        }
        QVERIFY(QDir::setCurrent(folder->path()));
    }

private slots:
    void initTestCase() { startFolder = QDir::currentPath(); }

    void init() {
        messages.clear();
        TonyxApplication::setMessageSink([this](const std::string& m) { messages.push_back(m); });
    }

    void cleanup() {
        destroyWindows();
        TonyxApplication::setMessageSink({});
        QDir::setCurrent(startFolder);
        folder.reset();
    }

    void windowsAreCreatedInTheirOrderAndJoined() {
        enterFolder(true);
        const size_t start = windowCreationOrder().size();
        createWindows(clock, "StandInMidi");
        QCOMPARE(createdSince(start), kWindowOrder);
        QVERIFY(Form1 && Form2 && ErrorReport && FilterQueryForm && ReadmeBox && Yellow &&
                SettingsForm && NewFilterForm && HelpForm);
        QCOMPARE(Form1->keyGuide(), static_cast<KeyGuideMarkers*>(HelpForm));
        QCOMPARE(HelpForm->anchorWindow(), static_cast<QWidget*>(Form1));
        // Nothing is shown until the main window is.
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), w->metaObject()->className());

        destroyWindows();
        QVERIFY(noWindowGlobalsLeft());
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void menuItemsOpenTheirWindows() {
        enterFolder(true);
        createWindows(clock, "StandInMidi");
        Form1->show();
        struct Item {
            QAction* action;
            QDialog* window;
        };
        const Item items[] = {{Form1->Sustain1, SettingsForm},
                              {Form1->Filters21, NewFilterForm},
                              {Form1->ReadmeForm, ReadmeBox},
                              {Form1->AboutTonyx1, Yellow}};
        for (const Item& item : items) {
            QWidget* opened = nullptr;
            QTimer::singleShot(0, qApp, [&] {
                opened = QApplication::activeModalWidget();
                if (opened)
                    static_cast<QDialog*>(opened)->reject();
            });
            item.action->trigger();
            QCOMPARE(opened, static_cast<QWidget*>(item.window));
            QVERIFY(!item.window->isVisible());
        }
        // The Key Guide is not modal: the item only hides and shows it.
        QVERIFY(HelpForm->isVisible());
        Form1->KeyGuide1->trigger();
        QVERIFY(!HelpForm->isVisible());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // What ends start-up ends it before any window shows, whatever else
    // waits for the main window's first paint: the readme window's file,
    // the MIDI library and each of its entry points.
    void startUpFailuresShowTheirMessageAndNoWindow() {
        const struct {
            const char* name;
            bool readme;
            const char* library;
            const char* message;
            size_t windowsMade; // before the failure
        } cases[] = {
            {"no readme.txt", false, "StandInMidi", "Cannot open file readme.txt", 1},
            {"no library", true, "NoSuchMidiLibrary", "Load of NoSuchMidiLibrary.dll failed", 0},
            {"an entry point missing", true, "StandInMidiNoPauseSync",
             "Failed to loadproc:_PauseSync@8", 0},
        };
        for (const auto& c : cases) {
            enterFolder(c.readme);
            messages.clear();
            ShowWatch shows;
            const size_t start = windowCreationOrder().size();
            const int result = runTonyx(*qApp, clock, c.library);
            QVERIFY2(result != 0, c.name);
            QCOMPARE(messages, std::vector<std::string>{c.message});
            QCOMPARE(
                createdSince(start),
                std::vector<std::string>(kWindowOrder.begin(),
                                         kWindowOrder.begin() + std::ptrdiff_t(c.windowsMade)));
            QVERIFY2(shows.shown.empty(), c.name);
            QVERIFY(noWindowGlobalsLeft());
            QVERIFY(QApplication::topLevelWidgets().isEmpty());
            QDir::setCurrent(startFolder);
        }
    }

    // Device 0 opens right after the main window's first paint, or earlier
    // when input comes first, and before that input is handled: a BEGIN
    // pressed the moment the window shows sounds on an open port. The
    // library's calls keep their order: device 0 opened, the devices
    // listed, then the notes.
    void deviceZeroOpensAfterTheFirstPaintAndBeforeAnyInput() {
        const struct {
            const char* name;
            bool beginAtShow;
            bool openAtFirstPaint;
        } cases[] = {
            {"no input", false, false},
            {"BEGIN pressed as the window shows", true, true},
        };
        for (const auto& c : cases) {
            enterFolder(true);
            standin::reset();
            ShowWatch watch;
            watch.onFirstShow = [&] {
                if (c.beginAtShow)
                    QTest::mouseClick(Form1->Button1, Qt::LeftButton);
            };
            bool guideAtPaint = false, guideAfterPaint = false;
            watch.onFirstPaint = [&] {
                watch.openAtPaint = opened();
                guideAtPaint = HelpForm && HelpForm->isVisible();
                // Posted after the main window's own work for its first
                // paint, so it runs once that is done.
                QTimer::singleShot(0, qApp, [&] {
                    watch.openAfterPaint = opened();
                    guideAfterPaint = HelpForm && HelpForm->isVisible();
                    Form1->close();
                });
            };
            QTimer guard;
            guard.setSingleShot(true);
            connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
            guard.start(20000);

            // Only the main window is made for the first paint; the Key
            // Guide and the others are made after it, yet before the input.
            std::vector<std::string> madeAtShow, madeAtOpen;
            const size_t start = windowCreationOrder().size();
            const auto onShow = watch.onFirstShow;
            watch.onFirstShow = [&] {
                madeAtShow = createdSince(start);
                onShow();
            };
            // What waits for the paint (the window icon) comes once, after
            // the open.
            int laterRuns = 0;
            bool openBeforeLater = false;
            QCOMPARE(runTonyx(*qApp, clock, "StandInMidi", {},
                              [&] {
                                  ++laterRuns;
                                  openBeforeLater = opened();
                                  madeAtOpen = createdSince(start);
                              }),
                     0);
            QCOMPARE(madeAtShow, std::vector<std::string>{"TForm1"});
            std::vector<std::string> all = {"TForm1", "THelpForm"};
            all.insert(all.end(), kWindowOrder.begin() + 1, kWindowOrder.end() - 1);
            QCOMPARE(madeAtOpen, all);
            QVERIFY2(guard.isActive(), c.name);
            QVERIFY2(watch.painted, c.name);
            QCOMPARE(laterRuns, 1);
            QVERIFY2(openBeforeLater, c.name);
            QCOMPARE(watch.openAtPaint, c.openAtFirstPaint);
            // The Key Guide shows once the main window has painted, or with
            // the work the input brought forward.
            QCOMPARE(guideAtPaint, c.openAtFirstPaint);
            QVERIFY2(guideAfterPaint, c.name);
            QVERIFY2(watch.openAfterPaint, c.name);

            // As when the main window opened device 0 as it was made: the
            // binding's version, the port's open (its device's name, then
            // the device), the device list (one device, then the end).
            const std::vector<std::string> opening = {"GetMidiLibVersion", "GetMidiOutDescription",
                                                      "OpenMidiOut", "GetMidiOutDescription",
                                                      "GetMidiOutDescription"};
            const std::vector<std::string> calls = standin::callNames();
            QVERIFY2(calls.size() > opening.size(), c.name);
            QCOMPARE(std::vector<std::string>(calls.begin(), calls.begin() + 5), opening);
            QCOMPARE(std::count(calls.begin(), calls.end(), "OpenMidiOut"), 1);
            bool noteSent = false;
            for (const MIDIEVENT& e : standin::putEvents())
                noteSent = noteSent || ((e.status & 0xF0) == 0x90 && e.data2 > 0);
            QCOMPARE(noteSent, c.beginAtShow);
            QCOMPARE(calls.back(), std::string("CloseMidiOut"));
            QDir::setCurrent(startFolder);
        }
    }

    void programWithoutReadmeExitsNonZeroWithTheMessage() {
        enterFolder(false);
        QProcess program;
        program.setWorkingDirectory(folder->path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(QCoreApplication::applicationDirPath() + "/tonyx", {});
        QVERIFY2(program.waitForStarted(), "the tonyx program is built beside the tests");
        QVERIFY2(program.waitForFinished(60000), "start-up failure ends the program");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY(program.exitCode() != 0);
        QVERIFY2(program.readAllStandardError().contains("Cannot open file readme.txt"),
                 "the message reaches the user");
    }

    void theLoopRunsUntilTheMainWindowClosesThoughTheKeyGuideIsUp() {
        enterFolder(true);
        // Closed once both are up (the Key Guide follows the main window's
        // first paint).
        bool closedByTest = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, qApp, [&] {
            if (!(Form1 && Form1->isVisible() && HelpForm && HelpForm->isVisible()))
                return;
            poll.stop();
            closedByTest = true;
            Form1->close();
        });
        poll.start(5);
        // Should the loop not end with the main window, this ends it.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
        guard.start(20000);

        const int result = runTonyx(*qApp, clock, "StandInMidi");
        QVERIFY(closedByTest);
        QVERIFY(guard.isActive());
        QCOMPARE(result, 0);
        QVERIFY(noWindowGlobalsLeft());
        QVERIFY(messages.empty());
    }

    // Logout (SIGTERM), a closed terminal (SIGHUP) or Ctrl+C (SIGINT) close
    // the program as its user would: the port is reset, then closed, and
    // the program ends normally, also from within a modal dialog. Without
    // the handling the signal would end this test program.
    void aSignalToGoClosesTheProgramAsTheUserWould() {
        enterFolder(true);
        const std::pair<int, bool> cases[] = {{SIGTERM, false}, {SIGHUP, false}, {SIGINT, true}};
        for (const auto& [number, fromDialog] : cases) {
            standin::reset();
            bool dialogWasOpen = false;
            QTimer::singleShot(0, qApp, [&, number = number, fromDialog = fromDialog] {
                if (!fromDialog) {
                    std::raise(number);
                    return;
                }
                QTimer::singleShot(0, qApp, [&, number] {
                    dialogWasOpen = QApplication::activeModalWidget() == Yellow;
                    std::raise(number);
                });
                Form1->AboutTonyx1->trigger(); // runs the About box's own loop
            });
            QTimer guard;
            guard.setSingleShot(true);
            connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
            guard.start(20000);

            struct sigaction before {};
            sigaction(number, nullptr, &before);
            const int result = runTonyx(*qApp, clock, "StandInMidi");
            QCOMPARE(result, 0);
            QVERIFY(guard.isActive());
            QCOMPARE(dialogWasOpen, fromDialog);
            // Notes are silenced, then the port is closed, last of all.
            const std::vector<std::string> calls = standin::callNames();
            QVERIFY(!calls.empty());
            QCOMPARE(calls.back(), std::string("CloseMidiOut"));
            QCOMPARE(calls[calls.size() - 2], std::string("ResetMidiOut"));
            QVERIFY(noWindowGlobalsLeft());
            // The program's handler goes with it; the one before is back.
            struct sigaction after {};
            sigaction(number, nullptr, &after);
            QVERIFY(after.sa_handler == before.sa_handler);
        }
    }

    void anExceptionInAHandlerIsShownAndTheLoopGoesOn() {
        FailingWidget widget;
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QTest::keyClick(&widget, Qt::Key_5);
        QCOMPARE(messages, std::vector<std::string>{"midiOut not open"});

        // In the running loop: a failing timer, then one that still fires.
        QEventLoop loop;
        bool later = false;
        QTimer::singleShot(0, &loop, [] { throw std::runtime_error("device gone"); });
        QTimer::singleShot(30, &loop, [&] {
            later = true;
            loop.quit();
        });
        loop.exec();
        QVERIFY(later);
        QCOMPARE(messages, (std::vector<std::string>{"midiOut not open", "device gone"}));
    }
};

int main(int argc, char** argv) {
    TonyxApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
