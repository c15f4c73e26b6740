#include "settings/updown.h"

#include <QToolButton>
#include <algorithm>

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
    upArrow = new QToolButton(this);
    upArrow->setObjectName("UpArrow");
    upArrow->setArrowType(Qt::UpArrow);
    downArrow = new QToolButton(this);
    downArrow->setObjectName("DownArrow");
    downArrow->setArrowType(Qt::DownArrow);
    for (QToolButton* arrow : {upArrow, downArrow}) {
        arrow->setAutoRepeat(true);
        arrow->setFocusPolicy(Qt::NoFocus);
    }
    connect(upArrow, &QToolButton::clicked, this, [this] { step(1); });
    connect(downArrow, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::setRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    position_ = std::clamp(position_, min_, max_);
}

void UpDown::setPosition(int position) {
    position_ = std::clamp(position, min_, max_);
}

void UpDown::step(int delta) {
    position_ = std::clamp(position_ + delta, min_, max_);
    emit clicked();
}

void UpDown::resizeEvent(QResizeEvent* /*event*/) {
    const int half = height() / 2;
    upArrow->setGeometry(0, 0, width(), half);
    downArrow->setGeometry(0, half, width(), height() - half);
}
