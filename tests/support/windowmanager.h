#pragma once

// Tests of what a window manager does to our windows (frames, focus,
// placement) run twice: offscreen, where there is no window manager and
// those checks are skipped, and on the X server the test set-up starts with
// openbox (TONYX_WM_DISPLAY names it; CTest runs them there on xcb).

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace wm {

// True when the test runs on an X server with a window manager.
inline bool present() {
    return QGuiApplication::platformName() == QLatin1String("xcb") &&
           qEnvironmentVariableIsSet("TONYX_WM_DISPLAY");
}

inline xcb_connection_t* connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

inline xcb_atom_t atom(const char* name) {
    xcb_connection_t* c = connection();
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return a;
}

// Waits until the window manager has dealt with everything sent to it so
// far: it is asked for the frame of a window it does not manage, and its
// answer comes after whatever it did before (mapping, framing, focusing).
// Returns false when no answer came.
inline bool settle() {
    class Answer : public QAbstractNativeEventFilter {
    public:
        xcb_window_t window = 0;
        xcb_atom_t extents = 0;
        bool seen = false;
        bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
            const auto* e = static_cast<const xcb_generic_event_t*>(message);
            if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                if (p->window == window && p->atom == extents)
                    seen = true;
            }
            return false;
        }
    } answer;
    QWindow probe;
    probe.create();
    answer.window = static_cast<xcb_window_t>(probe.winId());
    answer.extents = atom("_NET_FRAME_EXTENTS");
    QAbstractEventDispatcher::instance()->installNativeEventFilter(&answer);
    xcb_connection_t* c = connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = answer.window;
    request.type = atom("_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(c, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(c);
    const bool answered = QTest::qWaitFor([&] { return answer.seen; });
    QAbstractEventDispatcher::instance()->removeNativeEventFilter(&answer);
    QCoreApplication::processEvents();
    return answered;
}

// Shows a window and waits until the window manager has framed it.
inline bool showFramed(QWidget* window) {
    window->show();
    return QTest::qWaitForWindowExposed(window) && (!present() || settle());
}

} // namespace wm
