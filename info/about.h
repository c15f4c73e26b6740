#pragma once

#include <QDialog>

class QLabel;

// The About box: product name, version and two credits. It has no button;
// the window's close box (or Escape) closes it.
class TYellow : public QDialog {
    Q_OBJECT
public:
    explicit TYellow(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr; // product and version
    QLabel* Label2 = nullptr; // the author's credit
    QLabel* Label3 = nullptr; // the MIDI library's credit, first line
    QLabel* Label4 = nullptr; // and its second line
};

extern TYellow* Yellow;
