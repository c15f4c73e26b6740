#include "app/quitsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end the handler reaches; -1 while no instance lives. A signal
// handler may only write to a descriptor, so the number travels as a byte.
volatile sig_atomic_t writeEnd = -1;

void onSignal(int number) {
    const int saved = errno;
    const int fd = writeEnd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(number);
        // A full pipe already holds a request; dropping this one loses nothing.
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

QuitOnSignals::QuitOnSignals(std::initializer_list<int> which, QObject* parent) : QObject(parent) {
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return; // the signals keep their default action
    }
    writeEnd = pipe_[1];
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readPending(); });
    for (int number : which) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        Installed entry{number, {}};
        if (sigaction(number, &action, &entry.previous) == 0)
            installed_.push_back(entry);
    }
}

QuitOnSignals::~QuitOnSignals() {
    for (const Installed& entry : installed_)
        sigaction(entry.number, &entry.previous, nullptr);
    writeEnd = -1;
    delete notifier_;
    for (int fd : pipe_)
        if (fd >= 0)
            close(fd);
}

void QuitOnSignals::readPending() {
    unsigned char byte = 0;
    while (read(pipe_[0], &byte, 1) == 1)
        emit requested(byte);
}
