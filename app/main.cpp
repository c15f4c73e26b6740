#include "app/application.h"
#include "app/soundprefs.h"
#include "app/warmup.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // Started before the application object, which spends its time
    // connecting to the display.
    StartupWarmUp warmUp("MidiLib32");
    TonyxApplication app(argc, argv);
    // The program keeps the user's sound and reveal choices; windows made
    // elsewhere (tests) do not touch them.
    SoundPreferences::useUserStore();
    // Once the windows are made and the event loop runs, the main window
    // holds the library by itself, as it would without the warm-up.
    QTimer::singleShot(0, &app, [&warmUp] { warmUp.release(); });
    // When the loop ends the main window has gone, its port silenced, reset
    // and closed, and every data file is written when its drill ends.
    // Taking down the rest one piece at a time (the windows, the MIDI
    // library with its synthesizer, its JACK and ALSA clients and their
    // threads, the toolkit) keeps the process alive for a second or more
    // after its window has gone: the program ends here instead.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] {
        std::fflush(nullptr);
        std::_Exit(0);
    });
    return runTonyx(app);
}
