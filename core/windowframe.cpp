#include "core/windowframe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <vector>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace frame {

namespace {

// The frame last seen on any window: the best guess for a window not yet
// framed, since one window manager frames them all alike.
QMargins& lastSeenMargins() {
    static QMargins margins;
    return margins;
}

QMargins currentMargins(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    if (handle == nullptr || handle->handle() == nullptr)
        return QMargins();
    const QMargins m = handle->frameMargins();
    if (!m.isNull())
        lastSeenMargins() = m;
    return m;
}

// Follows one top-level window through its showings: after each show it
// waits for the window to come on the screen with its frame, then sizes it
// to its outer size and runs what places it.
class FrameWatcher : public QObject {
public:
    explicit FrameWatcher(QWidget* window) : QObject(window), window_(window) {
        setObjectName(QStringLiteral("frameWatcher"));
        window->installEventFilter(this);
        watchHandle();
    }

    static FrameWatcher* of(QWidget* window) {
        if (auto* w = window->findChild<FrameWatcher*>(QStringLiteral("frameWatcher"),
                                                       Qt::FindDirectChildrenOnly))
            return w;
        return new FrameWatcher(window);
    }

    void setOuter(QSize outer, bool fixed) {
        outer_ = outer;
        fixed_ = fixed;
        applySize(estimatedMargins());
        // Sized before the window is on the screen (while it is being made
        // or shown): sized again once it has its frame.
        if (handle_ == nullptr || !handle_->isExposed())
            pending_ = true;
    }

    void addPlacer(const std::function<void()>& placed) { placers_.push_back(placed); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Show) {
            // Handed over to the window system now: expect it on the
            // screen with its frame.
            watchHandle();
            pending_ = true;
        } else if (watched == handle_ && event->type() == QEvent::Expose && pending_ &&
                   handle_->isExposed()) {
            pending_ = false;
            const QMargins m = currentMargins(window_);
            takeFrame(m);
            applySize(m);
            // Sized for this showing; later showings keep the size the
            // user gave it, unless the window sets its size again.
            outer_ = QSize();
            for (const auto& placed : placers_)
                placed();
        }
        return false;
    }

private:
    void watchHandle() {
        QWindow* handle = window_->windowHandle();
        if (handle == nullptr || handle == handle_)
            return;
        handle_ = handle;
        handle->installEventFilter(this);
    }

    // The widget keeps the frame its window had at the window's last move
    // or resize, and the first of those comes before the window manager has
    // framed the window: the widget goes on with no frame until the window
    // moves again, and its move() and frameGeometry() are off by the frame's
    // left and top edges (a move lands up and to the left of the point).
    // A move event with the window where it stands makes it take the frame
    // the window has now.
    void takeFrame(const QMargins& m) {
        if (m.isNull() || window_->frameGeometry() == window_->geometry().marginsAdded(m))
            return;
        QMoveEvent stay(handle_->position(), handle_->position());
        QCoreApplication::sendEvent(handle_, &stay);
    }

    QMargins estimatedMargins() const {
        const QMargins own = currentMargins(window_);
        return own.isNull() ? lastSeenMargins() : own;
    }

    void applySize(const QMargins& m) {
        if (!outer_.isValid())
            return;
        const QSize inner = outer_.shrunkBy(m);
        if (fixed_)
            window_->setFixedSize(inner);
        else if (window_->size() != inner)
            window_->resize(inner);
    }

    QWidget* window_;
    QPointer<QWindow> handle_;
    QSize outer_;
    bool fixed_ = false;
    bool pending_ = false;
    std::vector<std::function<void()>> placers_;
};

} // namespace

QMargins margins(const QWidget* window) {
    return currentMargins(window);
}

QRect outerGeometry(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    if (handle == nullptr)
        return window->frameGeometry();
    return handle->geometry().marginsAdded(currentMargins(window));
}

QSize outerSize(const QWidget* window) {
    QMargins m = currentMargins(window);
    if (m.isNull())
        m = lastSeenMargins();
    return window->size().grownBy(m);
}

void setOuterSize(QWidget* window, QSize outer) {
    FrameWatcher::of(window)->setOuter(outer, false);
}

void setFixedOuterSize(QWidget* window, QSize outer) {
    FrameWatcher::of(window)->setOuter(outer, true);
}

void moveOuterTo(QWidget* window, QPoint topLeft) {
    const QWindow* handle = window->windowHandle();
    if (handle == nullptr || !handle->isExposed()) {
        window->move(topLeft);
        return;
    }
    // The widget's own idea of its frame may lag; a move by the difference
    // is right whichever frame it goes by.
    const QPoint now = outerGeometry(window).topLeft();
    if (now != topLeft)
        window->move(window->pos() + (topLeft - now));
}

void whenFramed(QWidget* window, const std::function<void()>& placed) {
    FrameWatcher::of(window)->addPlacer(placed);
}

#if QT_CONFIG(xcb)

namespace {

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

} // namespace

void showEmptyTitle(QWidget* window) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr || window->windowHandle() == nullptr)
        return;
    // The toolkit wrote the program's name into the title the window
    // manager prefers; the plain title beside it is already empty.
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_NAME"),
                        atom(c, "UTF8_STRING"), 8, 0, nullptr);
    xcb_flush(c);
}

std::optional<QString> shownTitle(const QWidget* window) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr || window->windowHandle() == nullptr)
        return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window->winId());
    for (const char* name : {"_NET_WM_NAME", "WM_NAME"}) {
        const xcb_get_property_cookie_t cookie =
            xcb_get_property(c, 0, id, atom(c, name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
        if (reply == nullptr)
            continue;
        const bool present = reply->type != XCB_ATOM_NONE;
        const QString text =
            QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply)),
                              xcb_get_property_value_length(reply));
        std::free(reply);
        // The window manager reads the first of the two that is set.
        if (present)
            return text;
    }
    return QString();
}

#else

void showEmptyTitle(QWidget*) {}

std::optional<QString> shownTitle(const QWidget*) {
    return std::nullopt;
}

#endif

} // namespace frame
