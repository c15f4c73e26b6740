#include "app/firstpaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace {

// What a user or the desktop can do to the program.
bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
    case QEvent::InputMethod:
    case QEvent::Drop:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

} // namespace

AfterFirstPaint::AfterFirstPaint(QWidget* window, std::function<void()> work)
    : window_(window), work_(std::move(work)) {
    // Every object's events, so that no input slips past.
    QCoreApplication::instance()->installEventFilter(this);
}

AfterFirstPaint::~AfterFirstPaint() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void AfterFirstPaint::runNow() {
    if (!work_)
        return;
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
    // Cleared first: what the work sends on (a close, a message box) does
    // not run it again.
    const std::function<void()> work = std::move(work_);
    work_ = nullptr;
    work();
}

bool AfterFirstPaint::eventFilter(QObject* watched, QEvent* event) {
    if (isInput(event->type())) {
        runNow();
    } else if (event->type() == QEvent::Paint && !scheduled_ && watched->isWidgetType() &&
               static_cast<QWidget*>(watched)->window() == window_) {
        // The paint goes to the display when the window's painting is done,
        // before the event loop takes up what is posted.
        scheduled_ = true;
        QMetaObject::invokeMethod(this, &AfterFirstPaint::runNow, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}
