#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
class QWidget;

// One program per data folder, so that two never rewrite the same
// errors.dat and hiscore.dat. The first to start holds a lock keyed on the
// folder and listens on a local socket beside it; a later start asks that
// one to come to the front and ends. Lock and socket live in the user's
// runtime folder ($XDG_RUNTIME_DIR), so a crashed holder's lock is seen as
// stale (its process is gone) and the next start takes over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        First,     // this process holds the folder (listen() next)
        Forwarded, // another holds it and was brought to the front
        NoAnswer,  // another holds it but did not answer
    };
    // Takes the folder, or asks the holder to come forward, waiting at most
    // answerWaitMs for it to answer (it answers once its windows are up).
    // Needs no application object, so a start that is forwarded loads and
    // connects to nothing.
    [[nodiscard]] Claim claim(int answerWaitMs = 30000);
    // After claiming the folder, once the application object exists: takes
    // the requests of later starts.
    void listen();
    // Lets go of the folder (lock and socket) before the process ends
    // without unwinding.
    void release();

    // Where the lock and the socket are, for messages and tests.
    [[nodiscard]] QString lockPath() const { return base_ + ".lock"; }
    [[nodiscard]] QString socketPath() const { return base_ + ".socket"; }

signals:
    // Another start asked for this program's window.
    void activationRequested();

private:
    bool tryToHold();
    void answer();
    void stopListening();

    QString base_;
    std::unique_ptr<QLockFile> lock_;
    int listener_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

// Brings the main window (and a dialog open over it) to the front.
void bringToFront(QWidget* mainWindow);
