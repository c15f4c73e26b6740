#include "app/accessibility.h"
#include "app/application.h"
#include "app/commandline.h"
#include "app/datafolder.h"
#include "app/desktop.h"
#include "app/singleinstance.h"
#include "app/soundprefs.h"
#include "app/warmup.h"
#include "app/zorpunit1.h"
#include "core/exception.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// A start that ends before the windows: its message goes to stderr and, on
// a desktop, into a box.
int endStartup(int& argc, char** argv, const std::string& message) {
    TonyxApplication app(argc, argv);
    showStartupError(message);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // --help, --version and mistakes are answered without a window.
    if (const int exitCode = runCommandLine(argc, argv); exitCode >= 0)
        return exitCode;

    // The data folder and its one program are settled first, so that a
    // start that only brings the running program forward loads nothing.
    QString folder;
    try {
        folder = datafolder::settle(datafolder::executableFolder(),
                                    QProcessEnvironment::systemEnvironment());
    } catch (const Exception& e) {
        return endStartup(argc, argv, e.message());
    }
    SingleInstance instance(folder);
    switch (instance.claim()) {
    case SingleInstance::Claim::First:
        break;
    case SingleInstance::Claim::Forwarded:
        std::printf("Tonyx is already running in %s: brought it to the front.\n",
                    qPrintable(folder));
        return 0;
    case SingleInstance::Claim::NoAnswer:
        return endStartup(argc, argv,
                          "Tonyx is already running in " + folder.toStdString() +
                              " but does not answer.");
    }

    // Started before the application object, which spends its time
    // connecting to the display.
    StartupWarmUp warmUp("MidiLib32");
    TonyxApplication app(argc, argv);
    // The program keeps the user's sound and reveal choices; windows made
    // elsewhere (tests) do not touch them.
    SoundPreferences::useUserStore();
    desktop::identify(app);
    instance.listen();
    QObject::connect(&instance, &SingleInstance::activationRequested, [] { bringToFront(Form1); });

    // Once the windows are made and the event loop runs, the main window
    // holds the library by itself, as it would without the warm-up.
    QTimer::singleShot(0, &app, [&warmUp] { warmUp.release(); });
    // When the loop ends the main window has gone, its port silenced, reset
    // and closed, and every data file is written when its drill ends.
    // Taking down the rest one piece at a time (the windows, the MIDI
    // library with its synthesizer, its JACK and ALSA clients and their
    // threads, the toolkit) keeps the process alive for a second or more
    // after its window has gone: the program ends here instead, once it has
    // let go of its data folder for the next start.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&instance] {
        instance.release();
        std::fflush(nullptr);
        std::_Exit(0);
    });
    return runTonyx(
        app, SystemClock::instance(), "MidiLib32", [] { accessibility::nameControls(); },
        [&app] { desktop::showIcon(app); });
}
