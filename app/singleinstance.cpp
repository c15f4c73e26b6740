#include "app/singleinstance.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// The socket is a plain Unix one: the toolkit's network module, with the
// Kerberos and proxy libraries it brings, took some 4 ms of every start to
// load for this one socket.

namespace {

const QByteArray kRequest = "raise\n";
const QByteArray kAcknowledge = "ok\n";
// Longer than any request: a client that sends more is not one of ours.
constexpr qsizetype kMaxRequest = 64;

// A socket's address, or false when the path does not fit in one.
bool addressOf(const QString& path, sockaddr_un& address) {
    const QByteArray name = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || static_cast<size_t>(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    return true;
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

bool sendAll(int fd, const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent,
                                 static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

// The holder's answer to one request, or false when it does not take the
// connection or answer by the deadline.
bool askHolder(const QString& socketPath, const QDeadlineTimer& deadline) {
    sockaddr_un address{};
    if (!addressOf(socketPath, address))
        return false;
    const Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0 ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        !sendAll(socket.get(), kRequest))
        return false;
    QByteArray reply;
    while (!reply.endsWith('\n') && reply.size() < kMaxRequest) {
        pollfd ready{socket.get(), POLLIN, 0};
        const int waited = ::poll(&ready, 1, static_cast<int>(deadline.remainingTime()));
        if (waited < 0 && errno == EINTR)
            continue;
        if (waited <= 0)
            return false;
        char buffer[kMaxRequest];
        const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        reply.append(buffer, n);
    }
    return reply == kAcknowledge;
}

// One later start's connection: reads its request, answers, and goes.
class Request : public QObject {
public:
    Request(int fd, SingleInstance* instance)
        : QObject(instance), fd_(fd), notifier_(new QSocketNotifier(fd, QSocketNotifier::Read)) {
        connect(notifier_.get(), &QSocketNotifier::activated, this,
                [this, instance] { read(instance); });
    }
    ~Request() override {
        notifier_.reset(); // off the event loop before the socket closes
        ::close(fd_);
    }

private:
    void read(SingleInstance* instance) {
        char buffer[kMaxRequest];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n > 0)
            line_.append(buffer, n);
        if (n > 0 && !line_.contains('\n') && line_.size() < kMaxRequest)
            return;
        if (line_ == kRequest) {
            emit instance->activationRequested();
            (void)sendAll(fd_, kAcknowledge);
        }
        // Done with it, whatever it sent; closed once this call is over.
        notifier_->setEnabled(false);
        deleteLater();
    }

    int fd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QByteArray line_;
};

} // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent) : QObject(parent) {
    // The runtime folder is the user's own (mode 0700); the key is the
    // folder's real path, so two spellings of one folder meet.
    QString folder = QDir(dataFolder).canonicalPath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(QDir(dataFolder).absolutePath());
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    const QByteArray hash =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    base_ = runtime + "/tonyx-" + QString::fromLatin1(hash);
}

SingleInstance::~SingleInstance() {
    stopListening();
}

void SingleInstance::release() {
    stopListening();
    if (lock_)
        lock_->unlock();
    lock_.reset();
}

void SingleInstance::stopListening() {
    if (listener_ < 0)
        return;
    delete notifier_;
    notifier_ = nullptr;
    ::close(listener_);
    listener_ = -1;
    // The socket file goes with the listener, so the next holder starts
    // clean.
    ::unlink(QFile::encodeName(socketPath()).constData());
}

bool SingleInstance::tryToHold() {
    auto lock = std::make_unique<QLockFile>(lockPath());
    // A lock is stale only when its process is gone, never by its age: the
    // program may run for days.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    lock_ = std::move(lock);
    return true;
}

void SingleInstance::listen() {
    if (!lock_ || listener_ >= 0)
        return;
    sockaddr_un address{};
    if (!addressOf(socketPath(), address))
        return;
    // A socket left by a holder that crashed is in the way.
    ::unlink(address.sun_path);
    // Without a socket the program still runs alone: the lock keeps others
    // out, and they report that it does not answer.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(address.sun_path, S_IRWXU) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        ::unlink(address.sun_path);
        return;
    }
    listener_ = fd;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SingleInstance::answer);
}

SingleInstance::Claim SingleInstance::claim(int answerWaitMs) {
    const QDeadlineTimer deadline(answerWaitMs);
    for (;;) {
        if (tryToHold())
            return Claim::First;
        // The holder answers from its event loop, which may still be
        // starting. Should it end meanwhile, its socket closes, its lock
        // goes stale, and the next round takes the folder.
        if (askHolder(socketPath(), deadline))
            return Claim::Forwarded;
        if (deadline.hasExpired())
            return Claim::NoAnswer;
        // The holder has its lock but does not listen yet.
        QThread::msleep(20);
    }
}

void SingleInstance::answer() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0 && errno == EINTR)
            continue;
        if (fd < 0)
            return;
        new Request(fd, this);
    }
}

void bringToFront(QWidget* mainWindow) {
    if (!mainWindow)
        return;
    if (mainWindow->isMinimized())
        mainWindow->showNormal();
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
    // A dialog the user has open over it stays on top and takes the keys.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}
