#pragma once

#include "app/keyguidemarkers.h"

#include <QDialog>
#include <QPointer>

class QLabel;

// The Key Guide: a picture of the twelve answer keys with their intervals,
// shown beside the drill. The drill crosses out the key of a wrong answer
// for a moment with one of its twelve red markers. Each time it is shown it
// stands directly above the main window, left edges aligned.
class THelpForm : public QDialog, public KeyGuideMarkers {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* markers[12] = {};

    // The guide's size, frame included, as the window is made with it.
    [[nodiscard]] static QSize designedOuterSize();

    // The window the guide stands above when shown (the main window).
    void setAnchorWindow(QWidget* anchor);
    [[nodiscard]] QWidget* anchorWindow() const { return anchor_; }

    // KeyGuideMarkers
    [[nodiscard]] bool guideVisible() const override;
    void showMarker(int i) override;
    void hideMarker(int i) override;
    [[nodiscard]] bool markerShown(int i) const override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FormShow();
    // The guide is the active window, which it should not be.
    [[nodiscard]] bool handsBackKeyboard() const;
    QPointer<QWidget> anchor_;
};

extern THelpForm* HelpForm;
