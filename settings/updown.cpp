#include "settings/updown.h"

#include <QKeyEvent>
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
    setFocusPolicy(Qt::StrongFocus);
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

void UpDown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up)
        step(1);
    else if (event->key() == Qt::Key_Down)
        step(-1);
    else
        QWidget::keyPressEvent(event);
}

void UpDown::resizeEvent(QResizeEvent* /*event*/) {
    const int half = height() / 2;
    upArrow->setGeometry(0, 0, width(), half);
    downArrow->setGeometry(0, half, width(), height() - half);
}
