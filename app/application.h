#pragma once

#include "core/clock.h"

#include <QApplication>

#include <functional>
#include <string>
#include <vector>

// The application object. An exception that escapes an event handler is
// caught here, shown to the user, and the event loop goes on.
class TonyxApplication : public QApplication {
    Q_OBJECT
public:
    TonyxApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Where messages for the user go: a message box unless a sink is set.
    // Tests set a sink that records them; an empty function restores the box.
    using MessageSink = std::function<void(const std::string&)>;
    static void setMessageSink(MessageSink sink);
    // A message for the user, and a failure (an exception's message).
    static void showMessage(const std::string& message);
    static void showError(const std::string& message);
};

// Runs one of our event handlers. What it throws is shown here, as the
// application would show it, before it can unwind through the toolkit's own
// frames, which do not expect exceptions (and would leak or leave widgets
// half-updated).
void runHandler(const std::function<void()>& handler);

// Creates the program's nine windows in their fixed order and sets their
// global pointers: the main window, the score window, the Error Report, the
// filter question, the readme window, the About box, the settings window,
// the filter window and the Key Guide. Throws what a constructor throws;
// the windows made before stay (destroyWindows removes them). With
// openOutputLater the main window opens its output only when told
// (TForm1::openOutput).
void createWindows(Clock& clock = SystemClock::instance(), const char* midiLibrary = "MidiLib32",
                   bool openOutputLater = false);
// Deletes every window that exists, last created first, and clears the
// global pointers.
void destroyWindows();
// The class names of the windows created since the program started, in
// the order they were made.
[[nodiscard]] const std::vector<std::string>& windowCreationOrder();

// The program: creates the windows, shows the main window and runs the
// event loop until the main window closes. When start-up fails (no
// readme.txt, no MIDI library or one without every entry point) the message
// is shown (and written to stderr), no window is left, and the result is 1.
// Only the main window is made before the show; right after its first
// paint, and before any input is handled, the Key Guide is made and shown,
// device 0 is opened, the device list filled and the sound controls made,
// and the other windows are made (in their order): the window shows without
// waiting for them, nor for the synthesizer and its audio.
// windowsMade, when given, runs once the main window exists, before it
// shows, and again once every window exists and device 0 is open;
// afterFirstPaint, when given, runs then too, for what the window needs not
// have when it first shows.
int runTonyx(QApplication& app, Clock& clock = SystemClock::instance(),
             const char* midiLibrary = "MidiLib32", const std::function<void()>& windowsMade = {},
             const std::function<void()>& afterFirstPaint = {});

// A failure that ends start-up: written to stderr, and shown in a message
// box where the platform can show one.
void showStartupError(const std::string& message);
