#include "info/keyguidepicture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

namespace keyguide {

namespace {

const char* const kLegends[kKeys] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "-", "="};
const char* const kCaptions[kKeys] = {
    "minor 2nd",   "major 2nd", "minor 3rd", "major 3rd", "perfect 4th", "aug. 4th / dim. 5th",
    "perfect 5th", "minor 6th", "major 6th", "minor 7th", "major 7th",   "octave"};

// Keycaps start where the first marker stands, so that each marker's "X"
// lands on its key's legend.
constexpr double kFirstKeyLeft = 29.0;
constexpr double kKeyWidth = 33.0;
constexpr double kKeyTop = 150.0;
constexpr double kKeyBottom = 206.0;
constexpr double kLeaderLength = 12.0;
// Captions rise to the right at this angle (degrees), so the long ones fit
// between their neighbours.
constexpr double kCaptionAngle = -55.0;

const QColor kBackground(0xF4, 0xF1, 0xE4);
const QColor kKeyFace(0xFF, 0xFF, 0xFF);
const QColor kKeySide(0xB8, 0xB4, 0xA8);
const QColor kInk(0x20, 0x20, 0x20);

QFont pictureFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamily("Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont captionFont() {
    return pictureFont(13, false);
}

// Captions start just above the end of their key's line.
QTransform captionTransform(int i) {
    QTransform t;
    t.translate(keycapRect(i).center().x() - 2, kKeyTop - kLeaderLength - 3);
    t.rotate(kCaptionAngle);
    return t;
}

} // namespace

QPolygonF captionOutline(int i) {
    const QFontMetricsF metrics(captionFont());
    const QRectF text(0, -metrics.ascent(), metrics.horizontalAdvance(keyCaption(i)),
                      metrics.ascent() + metrics.descent());
    return captionTransform(i).map(QPolygonF(text));
}

QRectF keycapRect(int i) {
    return QRectF(kFirstKeyLeft + i * kKeyPitch, kKeyTop, kKeyWidth, kKeyBottom - kKeyTop);
}

const char* keyLegend(int i) {
    return i >= 0 && i < kKeys ? kLegends[i] : "";
}
const char* keyCaption(int i) {
    return i >= 0 && i < kKeys ? kCaptions[i] : "";
}

QColor background() {
    // The picture is kept at 8 bits per pixel, in a palette of six levels
    // of each primary: the drawn background becomes the nearest of those.
    const auto level = [](int c) { return (c + 25) / 51 * 51; };
    return QColor(level(kBackground.red()), level(kBackground.green()), level(kBackground.blue()));
}

QImage drawPicture() {
    return drawPicture(1.0);
}

QImage drawPicture(double scale) {
    QImage image(qRound(kWidth * scale), qRound(kHeight * scale), QImage::Format_RGB32);
    image.fill(kBackground);
    {
        QPainter p(&image);
        p.scale(scale, scale);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);

        for (int i = 0; i < kKeys; ++i) {
            const QRectF cap = keycapRect(i);

            // The keycap: a darker skirt with a lighter top face.
            QPainterPath skirt;
            skirt.addRoundedRect(cap, 5, 5);
            p.fillPath(skirt, kKeySide);
            p.setPen(QPen(kInk, 1));
            p.drawPath(skirt);
            QPainterPath face;
            face.addRoundedRect(cap.adjusted(4, 3, -4, -8), 3, 3);
            p.fillPath(face, kKeyFace);

            p.setFont(pictureFont(16, true));
            p.setPen(kInk);
            p.drawText(cap.adjusted(4, 3, -4, -8), Qt::AlignCenter, kLegends[i]);

            // A short line up from the key's middle to its caption.
            const double x = cap.center().x();
            p.setPen(QPen(kInk, 1));
            p.drawLine(QPointF(x, kKeyTop), QPointF(x, kKeyTop - kLeaderLength));

            p.save();
            p.setTransform(captionTransform(i), true);
            p.setFont(captionFont());
            p.drawText(QPointF(0, 0), kCaptions[i]);
            p.restore();
        }
    }
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

} // namespace keyguide
