#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// The readme window: shows "readme.txt" from the working folder, read once
// when the window is created. The user may type in it; nothing is saved.
class TReadmeBox : public QDialog {
    Q_OBJECT
public:
    // Throws Exception("Cannot open file readme.txt") when the file cannot
    // be opened, which ends start-up.
    explicit TReadmeBox(QWidget* parent = nullptr);
    // The window with the file's text read beforehand (readText).
    explicit TReadmeBox(const QString& text, QWidget* parent = nullptr);

    // The file's text, as the window shows it; throws as the constructor.
    static QString readText();

    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};

extern TReadmeBox* ReadmeBox;
