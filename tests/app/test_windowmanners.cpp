// The windows as a desktop user meets them: the keyboard stays with the
// drill when the Key Guide shows, empty titles read empty, outer sizes are
// the designed ones, the Key Guide sits above the main window on every
// showing, and Enter and Space press the focused button. Run offscreen and
// under a window manager (see tests/support/windowmanager.h); checks that
// only a window manager can make are skipped offscreen.

#include "app/application.h"
#include "app/zorpunit1.h"
#include "core/designunits.h"
#include "core/windowframe.h"
#include "errors/errorform.h"
#include "errors/filterquery.h"
#include "info/HelpFormUnit.h"
#include "info/readme.h"
#include "mainwindow_fixture.h"
#include "score/scoreform.h"
#include "settings/Tonyxfilter2.h"
#include "settings/Tonyxsettings.h"
#include "tests/support/windowmanager.h"

#include <QAction>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <map>
#include <memory>

namespace {

// The main-keyboard key of each answer number 1..12.
Qt::Key answerKey(int answer) {
    if (answer <= 9)
        return Qt::Key(Qt::Key_0 + answer);
    return answer == 10 ? Qt::Key_0 : answer == 11 ? Qt::Key_Minus : Qt::Key_Equal;
}

QRect outer(const QWidget* w) {
    return w->windowHandle()->frameGeometry();
}

} // namespace

class TestWindowManners : public QObject, JoinedMainWindow {
    Q_OBJECT

    QTemporaryDir folder_;
    QString startFolder_;

    // The other windows, made on demand and dropped after each test.
    std::map<QString, std::unique_ptr<QWidget>> others_;

    QWidget* window(const QString& name) {
        auto& w = others_[name];
        if (!w) {
            if (name == "Form2")
                w = std::make_unique<TForm2>(*form);
            else if (name == "ErrorReport")
                w = std::make_unique<TErrorReport>();
            else if (name == "ReadmeBox")
                w = std::make_unique<TReadmeBox>();
            else if (name == "SettingsForm")
                w = std::make_unique<TSettingsForm>(*form);
            else if (name == "NewFilterForm")
                w = std::make_unique<TNewFilterForm>(*form);
            else if (name == "HelpForm")
                return guide.get();
            else if (name == "Form1")
                return form.get();
        }
        return w.get();
    }

    // Shows a window, waits for its frame and makes it the active one.
    void showActive(QWidget* w) {
        QVERIFY(wm::showFramed(w));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }

    // Shows the main window as start-up does (with the Key Guide beside it),
    // and waits until both are framed and the main window has the keyboard.
    void showMainWindow() {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(QTest::qWaitForWindowExposed(guide.get()));
        if (wm::present())
            QVERIFY(wm::settle());
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void checkGuideAboveMain() {
        const QRect main = outer(form.get());
        const QRect above = outer(guide.get());
        QCOMPARE(above.bottom() + 1, main.top());
        QCOMPARE(above.left(), main.left());
    }

private slots:
    void initTestCase() {
        // The score window writes "hiscore.dat" where it runs; readme.txt is read there.
        QVERIFY(folder_.isValid());
        startFolder_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder_.path()));
        QFile readme("readme.txt");
        QVERIFY(readme.open(QIODevice::WriteOnly));
        readme.write("Key   Interval\r\n1     minor 2nd\r\n");
        if (!wm::present())
            qInfo("No window manager here (offscreen): frames, focus and placement by a window "
                  "manager are checked only in the runs on TONYX_WM_DISPLAY.");
    }

    void cleanupTestCase() { QDir::setCurrent(startFolder_); }

    void init() { makeWindows(11); }

    void cleanup() {
        others_.clear();
        dropWindows();
    }

    // Also where the platform makes every window it shows the active one
    // (offscreen does): the guide hands the keyboard back.
    void showingTheKeyGuideLeavesTheKeyboardWithTheDrill() {
        showMainWindow();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        QVERIFY(form->running);
        // Hidden and shown again from the menu, and the answers go on.
        form->KeyGuide1->trigger();
        QVERIFY(!guide->isVisible());
        form->KeyGuide1->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(guide.get()));
        if (wm::present())
            QVERIFY(wm::settle());
        QTRY_COMPARE(QApplication::activeWindow(), form.get());
        for (int answer = 1; answer <= 12; ++answer) {
            const int before = form->correctCount + form->incorrectCount;
            // Where a real key goes: the window that has the keyboard.
            QWindow* keyboard = QGuiApplication::focusWindow();
            QVERIFY(keyboard != nullptr);
            QTest::keyClick(keyboard, answerKey(answer));
            QVERIFY2(form->correctCount + form->incorrectCount == before + 1,
                     qPrintable(QString("answer %1 was not graded").arg(answer)));
        }
    }

    void emptyTitlesReadEmpty_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("Key Guide") << "HelpForm";
        QTest::newRow("score window") << "Form2";
    }

    void emptyTitlesReadEmpty() {
        QFETCH(QString, name);
        QWidget* w = window(name);
        showMainWindow();
        QVERIFY(wm::showFramed(w));
        QCOMPARE(w->windowTitle(), QString());
        if (!wm::present())
            QSKIP("offscreen: no window manager shows a title bar");
        QCOMPARE(frame::shownTitle(w), std::optional<QString>(QString()));
        // A window with a title still shows it.
        QCOMPARE(frame::shownTitle(form.get()), std::optional<QString>("Identify intervals"));
    }

    void outerSizesAreTheDesignedFigures_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("designed");
        QTest::newRow("main window") << "Form1" << QSize(516, 395);
        QTest::newRow("Key Guide") << "HelpForm" << QSize(539, 245);
        QTest::newRow("readme window") << "ReadmeBox" << QSize(621, 490);
        QTest::newRow("Error Report") << "ErrorReport" << QSize(455, 353);
        QTest::newRow("score window") << "Form2" << QSize(454, 517);
        QTest::newRow("settings window") << "SettingsForm" << QSize(230, 254);
        QTest::newRow("filter window") << "NewFilterForm" << QSize(400, 534);
    }

    void outerSizesAreTheDesignedFigures() {
        QFETCH(QString, name);
        QFETCH(QSize, designed);
        const QSize expected(design::px(designed.width()), design::px(designed.height()));
        QWidget* w = window(name);
        if (name == "Form1" || name == "HelpForm")
            showMainWindow();
        else
            QVERIFY(wm::showFramed(w));
        if (wm::present())
            QVERIFY2(!w->windowHandle()->frameMargins().isNull(), "the window has no frame");
        QTRY_COMPARE(outer(w).size(), expected);
        // Shown a second time, it keeps its size.
        w->hide();
        QVERIFY(wm::showFramed(w));
        QTRY_COMPARE(outer(w).size(), expected);
    }

    void theKeyGuideSitsAboveTheMainWindowOnEveryShowing() {
        showMainWindow();
        checkGuideAboveMain();
        form->KeyGuide1->trigger();
        QVERIFY(!guide->isVisible());
        form->move(outer(form.get()).topLeft() + QPoint(37, 61));
        if (wm::present())
            QVERIFY(wm::settle());
        form->KeyGuide1->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(guide.get()));
        if (wm::present())
            QVERIFY(wm::settle());
        checkGuideAboveMain();
    }

    void closingTheMainWindowEndsTheProgram() {
        if (!wm::present())
            QSKIP("offscreen: the program's window is closed through a window manager");
        // The program itself, in this test's folder (it has readme.txt).
        QProcess program;
        program.start(QCoreApplication::applicationDirPath() + "/tonyx", {});
        QVERIFY2(program.waitForStarted(), "the tonyx program is built beside the tests");
        xcb_window_t main = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                return (main = wm::findWindow(uint32_t(program.processId()),
                                              "Identify intervals")) != 0;
            },
            20000));
        wm::closeWindow(main);
        // The port is silenced, reset and closed, and the program ends
        // normally (how soon: bench_exit).
        QVERIFY2(program.waitForFinished(20000),
                 "the program goes on after its main window closed");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

    void enterAndSpacePressTheFocusedButton_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        for (const auto& [key, keyName] :
             {std::pair{int(Qt::Key_Return), "Enter"}, std::pair{int(Qt::Key_Space), "Space"}}) {
            for (const auto& [name, button] :
                 std::initializer_list<std::pair<QString, QString>>{{"Form1", "Button1"},
                                                                    {"Form2", "Button1"},
                                                                    {"Form2", "Button2"},
                                                                    {"ErrorReport", "Button1"},
                                                                    {"ErrorReport", "Button2"},
                                                                    {"ReadmeBox", "Button1"},
                                                                    {"SettingsForm", "OKButton"},
                                                                    {"NewFilterForm", "Button2"},
                                                                    {"NewFilterForm", "Button1"},
                                                                    {"NewFilterForm", "OKButton"}})
                QTest::newRow(qPrintable(QString("%1 %2 %3").arg(name, button, keyName)))
                    << name << button << key;
        }
    }

    void enterAndSpacePressTheFocusedButton() {
        QFETCH(QString, name);
        QFETCH(QString, button);
        QFETCH(int, key);
        QWidget* w = window(name);
        if (name == "Form1")
            showMainWindow();
        else
            showActive(w);
        auto* target = w->findChild<QPushButton*>(button);
        QVERIFY(target != nullptr);
        std::map<QString, std::unique_ptr<QSignalSpy>> spies;
        for (QPushButton* b : w->findChildren<QPushButton*>())
            spies[b->objectName()] = std::make_unique<QSignalSpy>(b, &QPushButton::clicked);
        // The focus arrives as it would from the keyboard, after the window
        // has had its own say about it (for example on its first paint).
        if (auto* tabs = w->findChild<QTabWidget*>())
            tabs->setCurrentWidget(target->parentWidget());
        QCoreApplication::processEvents();
        target->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(w->windowHandle(), Qt::Key(key));
        for (const auto& [spied, spy] : spies)
            QVERIFY2(spy->count() == (spied == button ? 1 : 0),
                     qPrintable(QString("%1 pressed %2 times").arg(spied).arg(spy->count())));
    }
};

QTEST_MAIN(TestWindowManners)
#include "test_windowmanners.moc"
