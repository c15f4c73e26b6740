#pragma once

#include "stats/errormap.h"

#include <QColor>
#include <QRect>
#include <QWidget>

// The error map drawn as a heat map: a cell's colour is its share of the
// row's answers on a sequential scale that reads without colour vision;
// beside each row a bar shows the share of right answers, under the map a
// legend. The pointer or the arrow keys pick a cell, whose count and share
// are shown and told to screen readers.
namespace stats {

// The viridis scale: dark blue-violet at 0 to yellow at 1.
[[nodiscard]] QColor viridis(double t);
// A cell with no answers.
inline const QColor kEmptyCellColor{0xee, 0xee, 0xee};

// Where everything goes in a given rectangle.
struct MapLayout {
    QRect cells;  // the grid of cells
    int cell = 0; // a cell's side
    QRect bars;   // the share-right bars, one per row
    QRect legend;
    [[nodiscard]] QRect cellRect(int row, int column) const {
        return {cells.left() + column * cell, cells.top() + row * cell, cell, cell};
    }
    [[nodiscard]] QRect barRect(int row) const {
        return {bars.left(), cells.top() + row * cell, bars.width(), cell};
    }
};

[[nodiscard]] MapLayout layoutMap(const ErrorMap& map, const QRect& area, const QFont& font);
// Draws the map into `area` on white; `focus` (row, column) is framed when
// it lies on the map.
void paintMap(QPainter& painter, const QRect& area, const ErrorMap& map, QPoint focus = {-1, -1});

class ErrorMapView : public QWidget {
    Q_OBJECT
public:
    explicit ErrorMapView(QWidget* parent = nullptr);

    void setMap(ErrorMap map);
    [[nodiscard]] const ErrorMap& map() const { return map_; }
    // The cell the keyboard is on, as (column, row).
    [[nodiscard]] QPoint focusCell() const { return focus_; }
    void setFocusCell(int row, int column);
    [[nodiscard]] MapLayout layout() const;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

signals:
    // The text of the cell under the pointer or the keyboard focus; empty
    // when there is none.
    void cellPointed(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    [[nodiscard]] bool cellAt(QPoint pos, int& row, int& column) const;
    void announce();

    ErrorMap map_;
    QPoint focus_{0, 0}; // x column, y row
};

} // namespace stats
