#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Start-up work that nothing on the screen waits for (opening the sound
// device, filling the device list) runs once, right after a window's first
// paint has gone to the display, and in any case before the application
// hands any input (a key, a click, a close) to any object: whatever that
// input does finds the work done.
class AfterFirstPaint : public QObject {
    Q_OBJECT
public:
    AfterFirstPaint(QWidget* window, std::function<void()> work);
    ~AfterFirstPaint() override;

    // Runs the work now unless it has run.
    void runNow();
    [[nodiscard]] bool done() const { return !work_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<void()> work_;
    bool scheduled_ = false;
};
