#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

// What a window looks like from outside, frame included: under a window
// manager the frame (title bar and borders) is drawn around the window, and
// the figures of our layouts are outer sizes. Offscreen and without a
// window manager there is no frame and outer is inner.
namespace frame {

// The frame around a top-level window as the window manager reports it;
// none until the window has been framed.
[[nodiscard]] QMargins margins(const QWidget* window);
// The window's outer rectangle, frame included, in screen coordinates.
[[nodiscard]] QRect outerGeometry(const QWidget* window);
// The window's outer size: its own frame once it has one, before that the
// frame last seen on any window.
[[nodiscard]] QSize outerSize(const QWidget* window);

// Sizes a top-level window so that its outer size, frame included, is
// `outer`. The frame is known only once the window is on the screen: before
// that the last frame seen on any window stands in for it, and the window
// is sized again when it is shown with its own frame (on that showing only;
// after it the user's resizing stands).
void setOuterSize(QWidget* window, QSize outer);
// The same for a window the user cannot resize.
void setFixedOuterSize(QWidget* window, QSize outer);

// Moves a top-level window so that its outer top left corner, frame
// included, is `topLeft`. Once the window is on the screen the move goes by
// the frame the window manager reports now, not by the one the toolkit last
// saw (which may still be none just after the window was framed).
void moveOuterTo(QWidget* window, QPoint topLeft);

// Runs `placed` each time the window comes on the screen with its frame
// (after a show, once the window manager has framed and mapped it), so a
// window can place itself by frame geometries that are known only then.
void whenFramed(QWidget* window, const std::function<void()>& placed);

// A title bar with no text. The toolkit fills an empty title with the
// program's name; here the title the window manager reads is emptied once
// the window exists. Call it each time the window is shown (from its show
// event); elsewhere than on X11 the toolkit's title stands.
void showEmptyTitle(QWidget* window);
// The title the window manager shows (X11), or nothing where it cannot be
// read.
[[nodiscard]] std::optional<QString> shownTitle(const QWidget* window);

} // namespace frame
