#include "core/designunits.h"

#include <QFontDatabase>
#include <QWidget>
#include <cmath>

namespace design {

int px(int designPixels) {
    return static_cast<int>(std::lround(designPixels * kScale));
}

int px96(int designPixels) {
    return static_cast<int>(std::lround(designPixels * kScale * 120.0 / 96.0));
}

QRect rect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(rect(left, top, width, height));
}

void place96(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(px96(left), px96(top), px96(width), px96(height));
}

QFont sansFont(int designPixelHeight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(
        std::max(1, static_cast<int>(std::lround(designPixelHeight * kScale * kFontScale))));
    return font;
}

QFont fixedFont(int designPixelHeight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(
        std::max(1, static_cast<int>(std::lround(designPixelHeight * kScale * kFontScale))));
    return font;
}

} // namespace design
