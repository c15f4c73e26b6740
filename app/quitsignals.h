#pragma once

#include <QObject>

#include <csignal>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

// Turns the signals a desktop sends a program it wants gone (SIGTERM at
// logout, SIGHUP when its terminal closes, SIGINT for Ctrl+C) into a
// `requested` signal on the event loop, so the program can close the way
// a user closes it, with the MIDI port silenced and closed.
// The handler resets itself, so a second signal of the same kind ends the
// program the default way should the first one's closing hang. One
// instance at a time; the handlers it replaced come back when it goes.
class QuitOnSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(std::initializer_list<int> which = {SIGTERM, SIGHUP, SIGINT},
                           QObject* parent = nullptr);
    ~QuitOnSignals() override;
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

signals:
    void requested(int number);

private:
    void readPending();

    struct Installed {
        int number;
        struct sigaction previous;
    };
    std::vector<Installed> installed_;
    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};
