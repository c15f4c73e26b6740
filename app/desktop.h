#pragma once

class QApplication;

// The program's identity on the desktop: the menu entry it belongs to
// (which Wayland desktops match its windows by), and its icon on every
// window.
namespace desktop {

inline constexpr const char* kAppId = "org.tonyx.Tonyx";

// The menu entry; before the first window is made.
void identify(QApplication& app);

// The icon, on the windows made so far and every later one. A window shown
// with an icon hands the display every size of it (up to 256 px, decoded
// from PNG), some 8 ms for each window: the program gives it once its main
// window has painted.
void showIcon(QApplication& app);

} // namespace desktop
