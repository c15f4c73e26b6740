#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPushButton;
class QTextEdit;
class QPrinter;
class QTextDocument;

// The Error Report window: shows the last drill's report or the cumulative
// error profile read from "errors.dat", and prints whichever it holds.
class TErrorReport : public QDialog {
    Q_OBJECT
public:
    explicit TErrorReport(QWidget* parent = nullptr);
    ~TErrorReport() override;

    QPushButton* Button1; // "OK"
    QPushButton* Button2; // "Cumulative Error Profile"
    QPushButton* Button3; // "Print"
    QTextEdit* RichEdit1;
    // Interval names by size in semitones, "unison" to "double 8ve".
    std::array<std::string, 25> intervalNames;

    // "PDF...", beside "Print": saves the box as a PDF file.
    QPushButton* SavePdfButton;

    // Appends each line as a paragraph of plain text.
    void appendLines(const std::vector<std::string>& lines);
    // Empties the box.
    void clearReport();

    // Replaces the box with the profile computed from the error file.
    void showCumulativeProfile();
    void Button2Click();
    // Prints the box's text, as the user left it, on the default printer;
    // with no printer, offers to save it as a PDF file instead.
    void Button3Click();
    // Asks where to save the box as a PDF, and saves it there.
    void SavePdfButtonClick();
    // The box as Print would print it, as a PDF file; false when the file
    // cannot be written.
    [[nodiscard]] bool saveAsPdf(const QString& path) const;
    void FormShow();
    void FormClose();

    // The printer "Print" uses; the default opens the system's default
    // printer and returns null when none is configured.
    using PrinterFactory = std::function<std::unique_ptr<QPrinter>()>;
    void setPrinterFactory(PrinterFactory factory) { printerFactory_ = std::move(factory); }
    // Where the user is told that printing could not be done.
    using Notifier = std::function<void(const QString& text)>;
    void setNotifier(Notifier notifier) { notifier_ = std::move(notifier); }
    // Where "PDF..." saves: the user's choice, empty when cancelled.
    using SavePathChooser = std::function<QString(const QString& suggestedName)>;
    void setSavePathChooser(SavePathChooser chooser) { choosePath_ = std::move(chooser); }
    // With no printer: whether to save as PDF instead, after telling why.
    using PdfOffer = std::function<bool(const QString& text)>;
    void setPdfOffer(PdfOffer offer) { offerPdf_ = std::move(offer); }
    // The file the profile is read from; "errors.dat" in the working folder.
    void setErrorFilePath(std::string path) { errorFilePath_ = std::move(path); }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    [[nodiscard]] std::unique_ptr<QTextDocument> paperCopy() const;

    PrinterFactory printerFactory_;
    SavePathChooser choosePath_;
    PdfOffer offerPdf_;
    Notifier notifier_;
    std::string errorFilePath_ = "errors.dat";
};

extern TErrorReport* ErrorReport;
