#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// Asks whether a drill that used interval filters joins "errors.dat".
// Shown modally it returns Yes (6) or No (7); the close box answers No.
class TFilterQueryForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kYes = 6;
    static constexpr int kNo = 7;

    explicit TFilterQueryForm(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1;
    QPushButton* Button1; // "&Yes"
    QPushButton* Button2; // "&No"

    // Keeps the keyboard focus on "&No", so Enter declines.
    void FormPaint();

    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

extern TFilterQueryForm* FilterQueryForm;
