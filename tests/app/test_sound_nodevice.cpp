// The real library on a machine with no audio output: the built-in
// synthesizer cannot open, and the main window marks it and tells the user
// in the window, with no message box.

#include "app/application.h"
#include "app/soundcontrols.h"
#include "app/zorpunit1.h"
#include "tests/support/testclock.h"

#include <QFrame>
#include <QPushButton>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

class TestSoundNoDevice : public QObject {
    Q_OBJECT

    QTemporaryDir runtime;

private slots:
    void initTestCase() {
        // No sound server to be found: an empty runtime folder, a JACK
        // server name nobody runs, no server started on demand.
        qunsetenv("PULSE_SERVER");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        qputenv("JACK_DEFAULT_SERVER", "tonyx-no-such-server");
        qputenv("JACK_NO_START_SERVER", "1");
        struct stat info {};
        const std::string pulse = "/run/user/" + std::to_string(getuid()) + "/pulse/native";
        if (stat(pulse.c_str(), &info) == 0 || stat("/var/run/pulse/native", &info) == 0 ||
            access("/dev/snd", F_OK) == 0)
            QSKIP("this machine has an audio output");
        // The JACK client library keeps process-long state once a client has
        // been tried; kept loaded past the MIDI library's release, that state
        // stays reachable and the leak checker does not count it.
        (void)dlopen("libjack.so.0", RTLD_NOW | RTLD_NODELETE);
    }

    void synthesizerWithoutAudioOutputIsMarkedAndTold() {
        std::vector<std::string> messages;
        TonyxApplication::setMessageSink([&](const std::string& m) { messages.push_back(m); });
        TestClock clock;
        TForm1 form(clock, "MidiLib32");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!form.MidiLibOut->isOpen());
        QVERIFY(form.SetupListBox->count() >= 1);
        QListWidgetItem* synth = form.SetupListBox->item(0);
        QVERIFY(!synth->icon().isNull());
        QVERIFY2(synth->data(Qt::AccessibleTextRole).toString().endsWith(", failed: no sound"),
                 qPrintable(synth->data(Qt::AccessibleTextRole).toString()));
        SoundControls* sound = form.soundControls;
        QVERIFY(sound->SoundNotice->isVisible());
        QVERIFY2(sound->SoundNoticeText->text().contains("found no audio output"),
                 qPrintable(sound->SoundNoticeText->text()));
        QVERIFY(sound->SoundNoticeText->text().contains("PulseAudio, PipeWire or JACK"));
        // The drill runs on, mute, and nothing stopped it.
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QVERIFY(form.running);
        QVERIFY(messages.empty());
        form.close();
        TonyxApplication::setMessageSink({});
    }
};

QTEST_MAIN(TestSoundNoDevice)
#include "test_sound_nodevice.moc"
