// The program with the real MIDI library on a JACK server of the test's own
// (the dummy driver): a BEGIN pressed the moment the main window shows,
// before the sound device is open, is heard at the synthesizer's audio
// output. On a shared server another test's synthesizer could hold the
// client name the ear listens to, and this program's would get another.

#include "app/application.h"
#include "app/zorpunit1.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <jack/jack.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The client the library gives the synthesizer.
constexpr char kSynthPorts[] = "^MidiLib32 synthesizer:";
// -80 dBFS: far below a note, far above the reverb's idle noise.
constexpr float kAudible = 1e-4f;

// A JACK client fed by the synthesizer's outputs, which notes whether any
// sample it got was audible.
class Ear {
public:
    bool open(const QByteArray& server) {
        client_ = jack_client_open("tonyx-test-ear",
                                   jack_options_t(JackNoStartServer | JackServerName), nullptr,
                                   server.constData());
        if (!client_)
            return false;
        for (int i = 0; i < 2; ++i)
            inputs_[i] = jack_port_register(client_, ("in_" + std::to_string(i + 1)).c_str(),
                                            JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &Ear::process, this);
        return jack_activate(client_) == 0;
    }
    ~Ear() { close(); }
    void close() {
        if (client_)
            jack_client_close(client_);
        client_ = nullptr;
    }
    // Connects the synthesizer's outputs; true once they are connected.
    bool connectSynthesizer() {
        if (connected_)
            return true;
        const char** ports =
            jack_get_ports(client_, kSynthPorts, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        for (int i = 0; ports && ports[i] && i < 2; ++i)
            connected_ =
                jack_connect(client_, ports[i], jack_port_name(inputs_[i])) == 0 || connected_;
        jack_free(ports);
        return connected_;
    }
    [[nodiscard]] bool heard() const { return heard_; }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* ear = static_cast<Ear*>(self);
        for (jack_port_t* port : ear->inputs_) {
            const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
            for (jack_nframes_t f = 0; f < frames; ++f)
                if (std::fabs(samples[f]) > kAudible)
                    ear->heard_ = true;
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* inputs_[2] = {};
    bool connected_ = false;
    std::atomic<bool> heard_{false};
};

// Presses BEGIN the moment the main window shows.
class BeginAtShow : public QObject {
public:
    BeginAtShow() { qApp->installEventFilter(this); }
    bool pressed = false;
    bool portOpenBefore = true;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!pressed && Form1 && watched == Form1 && event->type() == QEvent::Show) {
            pressed = true;
            portOpenBefore = Form1->outputOpened();
            QTest::mouseClick(Form1->Button1, Qt::LeftButton);
        }
        return false;
    }
};

} // namespace

class TestStartupSound : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QString startFolder;
    QProcess server;
    Ear ear;

    // Starts the server and opens the ear on it; false when either fails.
    bool startServer(const QByteArray& name) {
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start("jackd", {"-n", QString::fromUtf8(name), "-d", "dummy", "-r", "48000", "-p",
                               "256"});
        if (!server.waitForStarted())
            return false;
        // Up when a client can open on it.
        for (int i = 0; i < 200; ++i) {
            if (ear.open(name))
                return true;
            if (server.state() != QProcess::Running)
                return false;
            QTest::qWait(25);
        }
        return false;
    }

private slots:
    void initTestCase() {
        qputenv("JACK_NO_START_SERVER", "1");
        const QByteArray name = "tonyx-startup-sound-" + QByteArray::number(getpid());
        if (!startServer(name)) {
            const char* required = std::getenv("TONYX_REQUIRE_JACK");
            if (required && std::string(required) == "1")
                QFAIL("could not start a JACK server (jackd, dummy driver)");
            QSKIP("no JACK server (jackd) to start");
        }
        // The library's synthesizer and port list go to it.
        qputenv("JACK_DEFAULT_SERVER", name);
        QFile readme(folder.filePath("readme.txt"));
        QVERIFY(readme.open(QIODevice::WriteOnly));
        readme.write("Tonyx\r\n");
        readme.close();
        startFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.path()));
        TonyxApplication::setMessageSink([](const std::string& m) { QFAIL(m.c_str()); });
    }

    void cleanupTestCase() {
        TonyxApplication::setMessageSink({});
        QDir::setCurrent(startFolder);
        ear.close();
        server.terminate();
        server.waitForFinished();
    }

    void aBeginPressedAsTheWindowShowsIsHeard() {
        BeginAtShow begin;
        bool heard = false;
        QTimer listen;
        connect(&listen, &QTimer::timeout, qApp, [&] {
            if (ear.connectSynthesizer() && ear.heard()) {
                heard = true;
                Form1->close();
            }
        });
        listen.start(5);
        // Should nothing be heard, this ends the program.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { Form1->close(); });
        guard.start(20000);

        QCOMPARE(runTonyx(*qApp, SystemClock::instance(), "MidiLib32"), 0);
        QVERIFY(begin.pressed);
        // The press came before the device was open: it opened it first.
        QVERIFY(!begin.portOpenBefore);
        QVERIFY2(heard, "the first question's notes never reached the audio output");
    }
};

int main(int argc, char** argv) {
    TonyxApplication app(argc, argv);
    TestStartupSound test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup_sound.moc"
