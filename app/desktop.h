#pragma once

class QApplication;

// The program's identity on the desktop: its icon on every window, and the
// menu entry it belongs to (which Wayland desktops match its windows by).
namespace desktop {

inline constexpr const char* kAppId = "org.tonyx.Tonyx";

void identify(QApplication& app);

} // namespace desktop
