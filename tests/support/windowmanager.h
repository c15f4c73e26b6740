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

// The top-level window of process `pid` titled `title` (the window
// manager's frames hold them one level down), or 0.
inline xcb_window_t findWindow(uint32_t pid, const QByteArray& title, xcb_window_t parent = 0,
                               int depth = 0) {
    xcb_connection_t* c = connection();
    if (parent == 0)
        parent = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr);
    if (tree == nullptr)
        return 0;
    auto read = [c](xcb_window_t w, xcb_atom_t a) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, a, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr);
        QByteArray value;
        if (reply)
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        std::free(reply);
        return value;
    };
    const xcb_atom_t pidAtom = atom("_NET_WM_PID");
    xcb_window_t found = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && found == 0; ++i) {
        const QByteArray owner = read(children[i], pidAtom);
        if (owner.size() == 4 && *reinterpret_cast<const uint32_t*>(owner.constData()) == pid &&
            read(children[i], XCB_ATOM_WM_NAME) == title)
            found = children[i];
        else if (depth < 1)
            found = findWindow(pid, title, children[i], depth + 1);
    }
    std::free(tree);
    return found;
}

// Asks a window to close, as its close box does.
inline void closeWindow(xcb_window_t window) {
    xcb_client_message_event_t close{};
    close.response_type = XCB_CLIENT_MESSAGE;
    close.format = 32;
    close.window = window;
    close.type = atom("WM_PROTOCOLS");
    close.data.data32[0] = atom("WM_DELETE_WINDOW");
    close.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&close));
    xcb_flush(connection());
}

// Shows a window and waits until the window manager has framed it.
inline bool showFramed(QWidget* window) {
    window->show();
    return QTest::qWaitForWindowExposed(window) && (!present() || settle());
}

} // namespace wm
