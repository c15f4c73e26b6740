#include "app/application.h"
#include "app/warmup.h"

#include <QTimer>

int main(int argc, char** argv) {
    // Started before the application object, which spends its time
    // connecting to the display.
    StartupWarmUp warmUp("MidiLib32");
    TonyxApplication app(argc, argv);
    // Once the windows are made and the event loop runs, the main window
    // holds the library by itself, as it would without the warm-up.
    QTimer::singleShot(0, &app, [&warmUp] { warmUp.release(); });
    return runTonyx(app);
}
