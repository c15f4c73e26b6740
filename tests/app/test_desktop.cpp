// The program on the desktop: its command line (answered without a window),
// its data folder (the build folder's program stays where it is started,
// an installed one moves to the user's folder), and one program per data
// folder, checked by starting the real program more than once.

#include "app/commandline.h"
#include "app/datafolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

QString programPath() {
    return QCoreApplication::applicationDirPath() + "/tonyx";
}

std::unique_ptr<QTemporaryDir> folderWithReadme() {
    auto folder = std::make_unique<QTemporaryDir>();
    QFile readme(folder->filePath("readme.txt"));
    if (readme.open(QIODevice::WriteOnly))
        readme.write("Tonyx\r\n");
    return folder;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

    QTemporaryDir runtime; // the user's runtime folder, for locks and sockets

    // The program started offscreen in a folder, as the menu or a terminal
    // would start it.
    std::unique_ptr<QProcess> start(const QString& folder) {
        auto program = std::make_unique<QProcess>();
        program->setWorkingDirectory(folder);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        // Off the shared test JACK server: a program killed there stalls
        // every other test's cycles. These programs need no sound.
        env.insert("JACK_DEFAULT_SERVER", "tonyx-no-such-server");
        env.insert("JACK_NO_START_SERVER", "1");
        program->setProcessEnvironment(env);
        program->start(programPath(), {});
        return program;
    }

    // Of programs started in one folder, all but one end at once, saying
    // they brought the running one forward; returns the one left running.
    QProcess* oneRunsTheOthersForward(const std::vector<QProcess*>& started) {
        for (QProcess* p : started)
            if (!p->waitForStarted())
                return nullptr;
        const auto finishedCount = [&] {
            int n = 0;
            for (QProcess* p : started)
                n += p->state() == QProcess::NotRunning;
            return n;
        };
        const int others = static_cast<int>(started.size()) - 1;
        if (!QTest::qWaitFor([&] { return finishedCount() >= others; }, 60000))
            return nullptr;
        QProcess* running = nullptr;
        for (QProcess* p : started) {
            if (p->state() != QProcess::NotRunning) {
                running = p;
                continue;
            }
            if (p->exitStatus() != QProcess::NormalExit || p->exitCode() != 0 ||
                !p->readAllStandardOutput().contains("already running"))
                return nullptr;
        }
        return running;
    }

    static bool endsCleanly(QProcess* program) {
        program->terminate();
        return program->waitForFinished(60000) && program->exitStatus() == QProcess::NormalExit &&
               program->exitCode() == 0;
    }

private slots:
    void commandLineIsRead_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("error");
        using A = CommandLine::Action;
        QTest::newRow("none") << QStringList{} << int(A::Run) << "";
        QTest::newRow("--help") << QStringList{"--help"} << int(A::Help) << "";
        QTest::newRow("-h") << QStringList{"-h"} << int(A::Help) << "";
        QTest::newRow("--version") << QStringList{"--version"} << int(A::Version) << "";
        QTest::newRow("-v") << QStringList{"-v"} << int(A::Version) << "";
        QTest::newRow("first of two wins")
            << QStringList{"--version", "--help"} << int(A::Version) << "";
        QTest::newRow("toolkit option with value")
            << QStringList{"-platform", "offscreen", "-style=fusion"} << int(A::Run) << "";
        QTest::newRow("toolkit option, two dashes")
            << QStringList{"--platform", "xcb", "--reverse"} << int(A::Run) << "";
        QTest::newRow("toolkit value is not read as an option")
            << QStringList{"-style", "--help"} << int(A::Run) << "";
        QTest::newRow("unknown long")
            << QStringList{"--fullscreen"} << int(A::Error) << "unknown option '--fullscreen'";
        QTest::newRow("unknown short")
            << QStringList{"-x"} << int(A::Error) << "unknown option '-x'";
        QTest::newRow("unknown after a good one")
            << QStringList{"-reverse", "--colour"} << int(A::Error) << "unknown option '--colour'";
        QTest::newRow("flag given a value")
            << QStringList{"--reverse=1"} << int(A::Error) << "unknown option '--reverse=1'";
        QTest::newRow("value missing")
            << QStringList{"-platform"} << int(A::Error) << "option '-platform' needs a value";
        QTest::newRow("a file") << QStringList{"errors.dat"} << int(A::Error)
                                << "unexpected argument 'errors.dat'";
        QTest::newRow("lone dash")
            << QStringList{"-"} << int(A::Error) << "unexpected argument '-'";
        QTest::newRow("empty") << QStringList{""} << int(A::Error) << "unexpected argument ''";
    }
    void commandLineIsRead() {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, error);
        std::vector<QByteArray> storage{"tonyx"};
        for (const QString& a : arguments)
            storage.push_back(a.toUtf8());
        std::vector<const char*> argv;
        for (const QByteArray& s : storage)
            argv.push_back(s.constData());
        const CommandLine line = parseCommandLine(static_cast<int>(argv.size()), argv.data());
        QCOMPARE(int(line.action), action);
        QVERIFY2(QString::fromStdString(line.error).startsWith(error), line.error.c_str());
    }

    // Without a display and with no platform chosen the toolkit would end
    // the program at its first window: these answers need none.
    void programAnswersItsOptionsWithoutAWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: tonyx [options]"
                                << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "Tonyx " TONYX_VERSION "\n"
                                   << "";
        QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << ""
                                 << "tonyx: unknown option '--bogus'\n"
                                    "Try 'tonyx --help' for more information.\n";
    }
    void programAnswersItsOptionsWithoutAWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir empty; // no readme.txt: the windows could not even be made
        QProcess program;
        program.setWorkingDirectory(empty.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        program.setProcessEnvironment(env);
        program.start(programPath(), arguments);
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString stdOut = QString::fromUtf8(program.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
        QCOMPARE(stdErr, err);
        QVERIFY(QDir(empty.path()).isEmpty());
    }

    void userDataFolderFollowsTheBaseDirectoryRules_data() {
        QTest::addColumn<QString>("xdgDataHome");
        QTest::addColumn<QString>("folder");
        QTest::newRow("set") << "/data/alice"
                             << "/data/alice/tonyx";
        QTest::newRow("trailing slash") << "/data/alice/"
                                        << "/data/alice/tonyx";
        QTest::newRow("unset") << ""
                               << "/home/alice/.local/share/tonyx";
        QTest::newRow("relative is ignored") << "data"
                                             << "/home/alice/.local/share/tonyx";
    }
    void userDataFolderFollowsTheBaseDirectoryRules() {
        QFETCH(QString, xdgDataHome);
        QFETCH(QString, folder);
        QProcessEnvironment env;
        env.insert("HOME", "/home/alice");
        if (!xdgDataHome.isEmpty())
            env.insert("XDG_DATA_HOME", xdgDataHome);
        QCOMPARE(datafolder::userFolder(env), folder);
    }

    void enteringTheDataFolderCopiesTheReadmeOnce() {
        const QString start = QDir::currentPath();
        QTemporaryDir base;
        const QString shipped = base.filePath("shipped.txt");
        QFile source(shipped);
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("shipped guide\r\n");
        source.close();
        QVERIFY(QFile::setPermissions(shipped, QFile::ReadOwner | QFile::ReadGroup));

        const QString folder = base.filePath("share/tonyx");
        datafolder::enter(folder, shipped);
        QCOMPARE(QDir::currentPath(), folder);
        QFile copy(folder + "/readme.txt");
        QVERIFY(copy.permissions() & QFile::WriteOwner); // the user's copy is theirs
        QVERIFY(copy.open(QIODevice::ReadWrite));
        QCOMPARE(copy.readAll(), QByteArray("shipped guide\r\n"));
        // The user's own readme stays as it is.
        copy.resize(0);
        copy.write("my notes");
        copy.close();
        datafolder::enter(folder, shipped);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("my notes"));
        QVERIFY(QDir::setCurrent(start));

        // A folder that cannot be made is reported, and nothing moves.
        QVERIFY_THROWS_EXCEPTION(std::exception,
                                 datafolder::enter(shipped + "/inside-a-file", shipped));
        QCOMPARE(QDir::currentPath(), start);
    }

    void theBuildFoldersProgramStaysWhereItIsStarted() {
        QVERIFY(datafolder::installedReadme(QCoreApplication::applicationDirPath()).isEmpty());
        const QString start = QDir::currentPath();
        QCOMPARE(datafolder::settle(QCoreApplication::applicationDirPath(),
                                    QProcessEnvironment::systemEnvironment()),
                 start);
        QCOMPARE(QDir::currentPath(), start);
    }

    void aSecondStartBringsTheFirstForward() {
        QVERIFY(runtime.isValid());
        auto folder = folderWithReadme();
        auto first = start(folder->path());
        auto second = start(folder->path());
        // Started together, either may win; exactly one runs.
        QProcess* running = oneRunsTheOthersForward({first.get(), second.get()});
        QVERIFY2(running, "one program runs and the other forwarded to it");
        // Later starts forward too.
        auto third = start(folder->path());
        QCOMPARE(oneRunsTheOthersForward({running, third.get()}), running);

        // Another folder is another program's.
        auto otherFolder = folderWithReadme();
        auto other = start(otherFolder->path());
        auto otherSecond = start(otherFolder->path());
        QProcess* otherRunning = oneRunsTheOthersForward({other.get(), otherSecond.get()});
        QVERIFY(otherRunning);
        QCOMPARE(running->state(), QProcess::Running);

        QVERIFY(endsCleanly(running));
        QVERIFY(endsCleanly(otherRunning));
    }

    void aCrashedProgramDoesNotKeepOthersOut() {
        auto folder = folderWithReadme();
        auto first = start(folder->path());
        auto probe = start(folder->path());
        // Up and holding the folder: the other start was forwarded to it.
        QProcess* crashed = oneRunsTheOthersForward({first.get(), probe.get()});
        QVERIFY(crashed);
        crashed->kill();
        QVERIFY(crashed->waitForFinished());

        // Its lock and socket are left behind; the next start takes over.
        auto next = start(folder->path());
        auto after = start(folder->path());
        QProcess* running = oneRunsTheOthersForward({next.get(), after.get()});
        QVERIFY(running);
        QVERIFY(endsCleanly(running));
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "test_desktop.moc"
