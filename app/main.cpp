#include "app/application.h"
#include "app/soundprefs.h"
#include "app/warmup.h"

#include <QTimer>

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
    return runTonyx(app);
}
