#include "stats/errormapview.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace stats {

namespace {

// matplotlib's viridis at 0, 0.1, ..., 1.
constexpr QRgb kViridis[11] = {0x440154, 0x482475, 0x414487, 0x355f8d, 0x2a788e, 0x21918c,
                               0x22a884, 0x44bf70, 0x7ad151, 0xbddf26, 0xfde725};

constexpr int kGap = 6;       // between the parts of the picture
constexpr int kBarWidth = 90; // the share-right bars with their figure
constexpr int kLegendHeight = 34;
const QColor kBarColor{0x21, 0x91, 0x8c};

QColor textOn(const QColor& background) {
    // Relative luminance: the scale's greens and yellows are light.
    const double luma =
        0.2126 * background.red() + 0.7152 * background.green() + 0.0722 * background.blue();
    return luma > 120 ? Qt::black : Qt::white;
}

QString percentText(double share) {
    return QString::number(std::lround(100.0 * share)) + "%";
}

} // namespace

QColor viridis(double t) {
    t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0);
    const double position = t * 10.0;
    const int i = std::min(9, static_cast<int>(position));
    const double f = position - i;
    const QColor a(kViridis[i]), b(kViridis[i + 1]);
    auto mix = [f](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * f)); };
    return {mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue())};
}

MapLayout layoutMap(const ErrorMap& map, const QRect& area, const QFont& font) {
    const QFontMetrics metrics(font);
    int labelWidth = 0;
    for (int r = 0; r < map.rowCount(); ++r)
        labelWidth = std::max(labelWidth,
                              metrics.horizontalAdvance(QString::fromStdString(map.rowLabel(r))));
    const int line = metrics.height();
    // Left: "played" turned on its side, then the row labels. Top: "answered",
    // then the column labels. Right: the bars. Bottom: the legend.
    const int left = line + kGap + labelWidth + kGap;
    const int top = 2 * line + kGap;
    const int right = kGap + kBarWidth;
    const int bottom = kGap + kLegendHeight + line;
    const int columns = std::max(1, map.columnCount());
    const int rows = std::max(1, map.rowCount());
    const int cell = std::max(4, std::min((area.width() - left - right) / columns,
                                          (area.height() - top - bottom) / rows));
    MapLayout layout;
    layout.cell = cell;
    layout.cells = QRect(area.left() + left, area.top() + top, cell * columns, cell * rows);
    layout.bars = QRect(layout.cells.right() + 1 + kGap, layout.cells.top(), kBarWidth,
                        layout.cells.height());
    layout.legend = QRect(layout.cells.left(), layout.cells.bottom() + 1 + kGap,
                          std::min(layout.cells.width(), 320), kLegendHeight);
    return layout;
}

void paintMap(QPainter& painter, const QRect& area, const ErrorMap& map, QPoint focus) {
    painter.save();
    painter.fillRect(area, Qt::white);
    const MapLayout layout = layoutMap(map, area, painter.font());
    const QFontMetrics metrics(painter.font());
    const int line = metrics.height();

    painter.setPen(Qt::black);
    painter.drawText(QRect(layout.cells.left(), area.top(), layout.cells.width(), line),
                     Qt::AlignHCenter, "answered");
    painter.drawText(QRect(layout.bars.left(), area.top(), layout.bars.width() + kGap, 2 * line),
                     Qt::AlignLeft | Qt::AlignBottom, "right");
    painter.save();
    painter.translate(area.left(), layout.cells.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-layout.cells.height() / 2, 0, layout.cells.height(), line),
                     Qt::AlignHCenter, "played");
    painter.restore();

    // Column labels shrink to fit narrow cells (two octaves of answers).
    QFont columnFont = painter.font();
    for (int c = 0; c < map.columnCount(); ++c)
        while (
            QFontMetrics(columnFont).horizontalAdvance(QString::fromStdString(map.columnLabel(c))) >
                layout.cell - 2 &&
            QFontInfo(columnFont).pixelSize() > 9)
            columnFont.setPixelSize(QFontInfo(columnFont).pixelSize() - 1);
    painter.save();
    painter.setFont(columnFont);
    for (int c = 0; c < map.columnCount(); ++c) {
        const QRect cell = layout.cellRect(0, c);
        painter.drawText(
            QRect(cell.left() - kGap, area.top() + line, cell.width() + 2 * kGap, line + kGap),
            Qt::AlignHCenter | Qt::AlignBottom, QString::fromStdString(map.columnLabel(c)));
    }
    painter.restore();
    const int labelLeft = area.left() + line + kGap;
    for (int r = 0; r < map.rowCount(); ++r) {
        const QRect cell = layout.cellRect(r, 0);
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(labelLeft, cell.top(), cell.left() - kGap - labelLeft, cell.height()),
            Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(map.rowLabel(r)));
        for (int c = 0; c < map.columnCount(); ++c) {
            const QRect rect = layout.cellRect(r, c);
            const int64_t n = map.count(r, c);
            const QColor color = n > 0 ? viridis(map.share(r, c)) : kEmptyCellColor;
            // A white hairline between cells keeps neighbours of one colour apart.
            painter.fillRect(rect.adjusted(0, 0, -1, -1), color);
            const QString count = QString::number(n);
            if (n > 0 && metrics.horizontalAdvance(count) + 4 < rect.width() &&
                line < rect.height()) {
                painter.setPen(textOn(color));
                painter.drawText(rect.adjusted(0, 0, -1, -1), Qt::AlignCenter, count);
            }
        }
        // The right answers' cells are framed, so the diagonal reads at a glance.
        const int right = map.rightColumn(r);
        if (right >= 0 && right < map.columnCount()) {
            painter.setPen(QPen(Qt::black, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(layout.cellRect(r, right).adjusted(0, 0, -2, -2));
        }
        const QRect bar = layout.barRect(r).adjusted(0, 2, 0, -3);
        const QRect track(bar.left(), bar.top(), bar.width() - 36, bar.height());
        painter.fillRect(track, kEmptyCellColor);
        if (map.rowTotal(r) > 0) {
            painter.fillRect(QRect(track.left(), track.top(),
                                   static_cast<int>(std::lround(track.width() * map.rightShare(r))),
                                   track.height()),
                             kBarColor);
            painter.setPen(Qt::black);
            painter.drawText(QRect(track.right() + 3, bar.top() - 2, 36, bar.height() + 4),
                             Qt::AlignLeft | Qt::AlignVCenter, percentText(map.rightShare(r)));
        }
    }

    // The legend: the colour scale for a cell's share of its row.
    const QRect legend = layout.legend;
    const QRect empty(legend.left(), legend.top(), 18, 14);
    painter.fillRect(empty, kEmptyCellColor);
    painter.setPen(Qt::black);
    painter.drawText(QRect(empty.right() + 4, empty.top() - 2, 50, line), Qt::AlignLeft, "none");
    const QRect scale(empty.right() + 4 + metrics.horizontalAdvance("none") + 12, legend.top(),
                      std::max(60, legend.width() - 100), 14);
    QLinearGradient gradient(scale.topLeft(), scale.topRight());
    for (int i = 0; i <= 10; ++i)
        gradient.setColorAt(i / 10.0, QColor(kViridis[i]));
    painter.fillRect(scale, gradient);
    painter.drawText(QRect(scale.left() - 20, scale.bottom() + 2, 40, line), Qt::AlignHCenter,
                     "0%");
    painter.drawText(QRect(scale.right() - 24, scale.bottom() + 2, 48, line), Qt::AlignHCenter,
                     "100%");
    painter.drawText(QRect(scale.left() + 20, scale.bottom() + 2, scale.width() - 40, line),
                     Qt::AlignHCenter, "share of the row's answers");

    if (focus.x() >= 0 && focus.y() >= 0 && focus.y() < map.rowCount() &&
        focus.x() < map.columnCount()) {
        painter.setPen(QPen(QColor(0xd0, 0x20, 0x20), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(layout.cellRect(focus.y(), focus.x()).adjusted(1, 1, -2, -2));
    }
    painter.restore();
}

ErrorMapView::ErrorMapView(QWidget* parent) : QWidget(parent) {
    setObjectName("ErrorMapView");
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName("Error map");
}

void ErrorMapView::setMap(ErrorMap map) {
    map_ = std::move(map);
    focus_ = QPoint(std::clamp(focus_.x(), 0, std::max(0, map_.columnCount() - 1)),
                    std::clamp(focus_.y(), 0, std::max(0, map_.rowCount() - 1)));
    updateGeometry();
    update();
    // New counts: what was said about a cell no longer holds.
    if (hasFocus())
        announce();
    else
        emit cellPointed(QString());
}

void ErrorMapView::setFocusCell(int row, int column) {
    if (map_.rowCount() == 0)
        return;
    focus_ = QPoint(std::clamp(column, 0, map_.columnCount() - 1),
                    std::clamp(row, 0, map_.rowCount() - 1));
    update();
    announce();
}

MapLayout ErrorMapView::layout() const {
    return layoutMap(map_, rect(), font());
}

QSize ErrorMapView::sizeHint() const {
    const int cell = map_.columnCount() > 14 ? 26 : 40;
    const QFontMetrics metrics(font());
    return {metrics.height() + 60 + cell * std::max(1, map_.columnCount()) + kGap + kBarWidth,
            3 * metrics.height() + cell * std::max(1, map_.rowCount()) + 2 * kGap + kLegendHeight};
}

QSize ErrorMapView::minimumSizeHint() const {
    return {320, 260};
}

void ErrorMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintMap(painter, rect(), map_, hasFocus() ? focus_ : QPoint(-1, -1));
}

void ErrorMapView::keyPressEvent(QKeyEvent* event) {
    int row = focus_.y(), column = focus_.x();
    switch (event->key()) {
    case Qt::Key_Left:
        --column;
        break;
    case Qt::Key_Right:
        ++column;
        break;
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    case Qt::Key_Home:
        column = 0;
        break;
    case Qt::Key_End:
        column = map_.columnCount() - 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    setFocusCell(row, column);
}

bool ErrorMapView::cellAt(QPoint pos, int& row, int& column) const {
    const MapLayout l = layout();
    if (!l.cells.contains(pos) || l.cell <= 0)
        return false;
    column = (pos.x() - l.cells.left()) / l.cell;
    row = (pos.y() - l.cells.top()) / l.cell;
    return row < map_.rowCount() && column < map_.columnCount();
}

void ErrorMapView::mouseMoveEvent(QMouseEvent* event) {
    int row = 0, column = 0;
    if (cellAt(event->position().toPoint(), row, column)) {
        const QString text = QString::fromStdString(map_.cellText(row, column));
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
        emit cellPointed(text);
    } else {
        QToolTip::hideText();
    }
}

void ErrorMapView::mousePressEvent(QMouseEvent* event) {
    int row = 0, column = 0;
    if (cellAt(event->position().toPoint(), row, column)) {
        setFocus(Qt::MouseFocusReason);
        setFocusCell(row, column);
    }
}

void ErrorMapView::leaveEvent(QEvent* event) {
    QToolTip::hideText();
    if (hasFocus())
        announce();
    QWidget::leaveEvent(event);
}

void ErrorMapView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    announce();
}

bool ErrorMapView::event(QEvent* event) {
    // The tooltip follows the pointer in mouseMoveEvent.
    if (event->type() == QEvent::ToolTip)
        return true;
    return QWidget::event(event);
}

void ErrorMapView::announce() {
    if (map_.rowCount() == 0)
        return;
    const QString text = QString::fromStdString(map_.cellText(focus_.y(), focus_.x()));
    emit cellPointed(text);
    // Screen readers read out the focused widget's name when it changes.
    setAccessibleName(text);
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

} // namespace stats
