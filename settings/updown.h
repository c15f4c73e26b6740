#pragma once

#include <QWidget>

class QToolButton;

// A pair of stacked arrows that step a position within a range and stop at
// its ends (no wrap-around). It has no text of its own: its owner shows the
// position wherever it likes when told of a click.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    [[nodiscard]] int position() const { return position_; }
    [[nodiscard]] int min() const { return min_; }
    [[nodiscard]] int max() const { return max_; }
    void setRange(int min, int max);
    void setPosition(int position);

    QToolButton* upArrow;   // objectName "UpArrow": position + 1
    QToolButton* downArrow; // objectName "DownArrow": position - 1

signals:
    // An arrow was clicked; the position is already updated (and unchanged
    // at the end of the range).
    void clicked();

protected:
    // The arrow keys step the position as the arrows do.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int delta);

    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};
