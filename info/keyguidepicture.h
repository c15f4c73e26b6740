#pragma once

#include <QColor>
#include <QImage>
#include <QPolygonF>

// The Key Guide's picture: twelve keycaps (1..9, 0, -, =) in a row along
// the bottom edge, 37.5 pixels apart, each with its interval's name slanted
// above it and joined to it by a short line. 525 by 210 pixels, 8 bits per
// pixel. The wrong-answer markers of the Key Guide fall on the keycaps.
namespace keyguide {

inline constexpr int kWidth = 525;
inline constexpr int kHeight = 210;
inline constexpr int kKeys = 12;
inline constexpr double kKeyPitch = 37.5;

// Keycap i (0..11) in picture pixels.
[[nodiscard]] QRectF keycapRect(int i);
// The legend on keycap i ("1".."9", "0", "-", "=") and the caption above it.
[[nodiscard]] const char* keyLegend(int i);
[[nodiscard]] const char* keyCaption(int i);

// Where caption i's text lies in the picture (a slanted rectangle).
[[nodiscard]] QPolygonF captionOutline(int i);

[[nodiscard]] QImage drawPicture();
// The same picture drawn scale times as large, for a screen with that many
// device pixels per pixel: lines and text are drawn at the screen's own
// resolution rather than enlarged from the small picture.
[[nodiscard]] QImage drawPicture(double scale);
// The picture's background, all round the keys and captions, as stored
// in the 8-bit picture.
[[nodiscard]] QColor background();

} // namespace keyguide
