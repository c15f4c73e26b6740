#include "app/application.h"

#include "app/firstpaint.h"
#include "app/quitsignals.h"
#include "app/zorpunit1.h"
#include "core/exception.h"
#include "core/filenotices.h"
#include "errors/errorform.h"
#include "errors/filterquery.h"
#include "info/HelpFormUnit.h"
#include "info/about.h"
#include "info/readme.h"
#include "score/scoreform.h"
#include "settings/Tonyxfilter2.h"
#include "settings/Tonyxsettings.h"

#include <QMessageBox>

#include <cstdio>

namespace {

TonyxApplication::MessageSink& messageSink() {
    static TonyxApplication::MessageSink sink;
    return sink;
}

std::vector<std::string>& creationLog() {
    static std::vector<std::string> log;
    return log;
}

// A platform with no screen cannot show a message box, and one shown there
// would wait forever for a click: the message goes to stderr instead.
bool canShowBoxes() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

template <typename Window, typename... Args> Window* create(Window*& global, Args&&... args) {
    global = new Window(std::forward<Args>(args)...);
    creationLog().push_back(global->metaObject()->className());
    return global;
}

template <typename Window> void destroy(Window*& global) {
    delete global;
    global = nullptr;
}

} // namespace

TonyxApplication::TonyxApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Tonyx");
    // Failed saves of the data files are told like any other message.
    filenotices::setTeller([](const std::string& text) { showMessage(text); });
}

bool TonyxApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const Exception& e) {
        showError(e.message());
    } catch (const std::exception& e) {
        showError(e.what());
    }
    return false;
}

void TonyxApplication::setMessageSink(MessageSink sink) {
    messageSink() = std::move(sink);
}

namespace {

void deliver(const std::string& message, QMessageBox::Icon icon) {
    if (messageSink()) {
        messageSink()(message);
        return;
    }
    if (!canShowBoxes()) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return;
    }
    QMessageBox box(icon, QStringLiteral("Tonyx"), QString::fromStdString(message), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace

void TonyxApplication::showMessage(const std::string& message) {
    deliver(message, QMessageBox::Information);
}

void TonyxApplication::showError(const std::string& message) {
    deliver(message, QMessageBox::Critical);
}

void runHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Exception& e) {
        TonyxApplication::showError(e.message());
    } catch (const std::exception& e) {
        TonyxApplication::showError(e.what());
    }
}

namespace {

// The windows that only a menu item or a drill's end shows, in their order;
// the readme window shows the file's text, read before.
void createHiddenWindows(TForm1& main, const QString& readme) {
    create(Form2, main);
    create(ErrorReport);
    // "No printer" and print failures reach the user like every other message.
    ErrorReport->setNotifier(
        [](const QString& text) { TonyxApplication::showError(text.toStdString()); });
    create(FilterQueryForm);
    create(ReadmeBox, readme);
    create(Yellow);
    create(SettingsForm, main);
    create(NewFilterForm, main);
    // Only the main window's closing ends the program.
    for (QWidget* w : std::initializer_list<QWidget*>{Form2, ErrorReport, FilterQueryForm,
                                                      ReadmeBox, Yellow, SettingsForm,
                                                      NewFilterForm})
        w->setAttribute(Qt::WA_QuitOnClose, false);
}

void createKeyGuide(TForm1& main) {
    create(HelpForm);
    main.setKeyGuide(HelpForm);
    HelpForm->setAnchorWindow(&main);
    // The Key Guide may still be up when the main window closes.
    HelpForm->setAttribute(Qt::WA_QuitOnClose, false);
}

} // namespace

void createWindows(Clock& clock, const char* midiLibrary, bool openOutputLater) {
    TForm1& main = *create(Form1, clock, midiLibrary, openOutputLater);
    createHiddenWindows(main, TReadmeBox::readText());
    createKeyGuide(main);
}

void destroyWindows() {
    if (Form1)
        Form1->setKeyGuide(nullptr);
    destroy(HelpForm);
    destroy(NewFilterForm);
    destroy(SettingsForm);
    destroy(Yellow);
    destroy(ReadmeBox);
    destroy(FilterQueryForm);
    destroy(ErrorReport);
    destroy(Form2);
    destroy(Form1);
}

const std::vector<std::string>& windowCreationOrder() {
    return creationLog();
}

void showStartupError(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    if (messageSink() || canShowBoxes())
        TonyxApplication::showError(message);
}

int runTonyx(QApplication& app, Clock& clock, const char* midiLibrary,
             const std::function<void()>& windowsMade,
             const std::function<void()>& afterFirstPaint) {
    // Only the main window is made for the first paint: the Key Guide and
    // the other windows are made right after it, before any input can
    // reach them. readme.txt is read now all the same, so that a start
    // without it still ends before any window shows.
    QString readme;
    try {
        create(Form1, clock, midiLibrary, true);
        readme = TReadmeBox::readText();
    } catch (const std::exception& e) {
        // Whatever stops start-up ends the program after its message; the
        // windows made so far go without ever being shown.
        destroyWindows();
        showStartupError(e.what());
        return 1;
    }
    if (windowsMade)
        windowsMade();
    // Asked to go by the desktop at logout or by its terminal, the program
    // closes as when the user closes the main window: the port is silenced
    // and closed. Leaving the event loop outright also ends a modal
    // dialog's loop, which closing the main window alone would not.
    QuitOnSignals quitOnSignals;
    QObject::connect(&quitOnSignals, &QuitOnSignals::requested, &app, [&app] {
        if (Form1)
            Form1->close();
        app.exit(0);
    });
    // What only sound and the other windows need waits for the window's
    // first paint; what the user does next finds it done.
    int result = 0;
    {
        AfterFirstPaint later(Form1, [&] {
            createKeyGuide(*Form1);
            Form1->showKeyGuide();
            // Device 0 first: the synthesizer loads its soundfont on a thread
            // of its own while the windows are made.
            runHandler([] { Form1->openOutput(); });
            runHandler([&readme] { createHiddenWindows(*Form1, readme); });
            if (windowsMade)
                windowsMade();
            if (afterFirstPaint)
                afterFirstPaint();
        });
        Form1->showKeyGuideLater();
        Form1->show();
        result = app.exec();
    } // no longer watching while the windows go
    destroyWindows();
    return result;
}
