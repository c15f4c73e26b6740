#include "app/singleinstance.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

namespace {

const QByteArray kRequest = "raise\n";
const QByteArray kAcknowledge = "ok\n";

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

SingleInstance::~SingleInstance() = default;

void SingleInstance::release() {
    if (server_)
        server_->close(); // removes the socket file
    if (lock_)
        lock_->unlock();
    lock_.reset();
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
    if (!lock_ || server_)
        return;
    // A socket left by a holder that crashed is in the way.
    QLocalServer::removeServer(socketPath());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::answer);
    // Without a socket the program still runs alone: the lock keeps others
    // out, and they report that it does not answer.
    (void)server_->listen(socketPath());
}

SingleInstance::Claim SingleInstance::claim(int answerWaitMs) {
    const QDeadlineTimer deadline(answerWaitMs);
    for (;;) {
        if (tryToHold())
            return Claim::First;
        // The holder answers from its event loop, which may still be
        // starting. Should it end meanwhile, its socket closes, its lock
        // goes stale, and the next round takes the folder.
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write(kRequest);
            QByteArray reply;
            while (!reply.endsWith('\n') &&
                   socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                reply += socket.readAll();
            if (reply == kAcknowledge)
                return Claim::Forwarded;
        }
        if (deadline.hasExpired())
            return Claim::NoAnswer;
        // The holder has its lock but does not listen yet.
        QThread::msleep(20);
    }
}

void SingleInstance::answer() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == kRequest) {
                emit activationRequested();
                socket->write(kAcknowledge);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
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
