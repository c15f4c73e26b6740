#pragma once

#include <QFont>
#include <QRect>

class QWidget;

// Every window is laid out in design pixels at 120 pixels per inch (one
// dialog at 96). This is the one place that turns them into Qt's logical
// pixels, so a change of scale changes every window alike.
namespace design {

// Logical pixels per design pixel at 120 ppi.
inline constexpr double kScale = 1.0;
// Font pixel heights are scaled a little further: the system's sans-serif
// face runs wider than the faces the layouts were drawn for.
inline constexpr double kFontScale = 0.85;

[[nodiscard]] int px(int designPixels);
// A design value of the one 96 ppi dialog.
[[nodiscard]] int px96(int designPixels);
[[nodiscard]] QRect rect(int left, int top, int width, int height);
void place(QWidget* widget, int left, int top, int width, int height);
void place96(QWidget* widget, int left, int top, int width, int height);

// "MS Sans Serif" of the given design pixel height: the system's sans-serif.
[[nodiscard]] QFont sansFont(int designPixelHeight);
// "Courier New": the system's fixed-pitch font.
[[nodiscard]] QFont fixedFont(int designPixelHeight);

} // namespace design
