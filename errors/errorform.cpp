#include "errors/errorform.h"

#include "core/buttonkeys.h"
#include "core/designunits.h"
#include "core/windowframe.h"
#include "errors/errorfile.h"
#include "errors/sessionreport.h"
#include "stats/exportfile.h"

#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <cstdio>

TErrorReport* ErrorReport = nullptr;

namespace {

constexpr int kPrintPointSize = 10;

std::unique_ptr<QPrinter> systemDefaultPrinter() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

// Without a screen (offscreen test runs) a box would wait for a click that
// never comes; the notice goes to stderr there.
void showNotice(QWidget* parent, const QString& text) {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    QMessageBox::warning(parent, "Error Report", text);
}

} // namespace

TErrorReport::TErrorReport(QWidget* parent) : QDialog(parent) {
    setObjectName("ErrorReport");
    setWindowTitle("Error Report");
    setFont(design::sansFont(14));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    move(design::px(257), design::px(200));
    frame::setOuterSize(this, QSize(design::px(472), design::px(355)));

    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    design::place(Button1, 375, 283, 51, 31);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { done(1); });

    Button2 = new QPushButton("Cumulative Error Profile", this);
    Button2->setObjectName("Button2");
    design::place(Button2, 28, 283, 206, 31);
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    Button3 = new QPushButton("Print", this);
    Button3->setObjectName("Button3");
    design::place(Button3, 246, 283, 58, 31);
    Button3->setAutoDefault(false);
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });

    SavePdfButton = new QPushButton("PDF...", this);
    SavePdfButton->setObjectName("SavePdfButton");
    SavePdfButton->setToolTip("Save the report as a PDF file");
    SavePdfButton->setAccessibleName("Save as PDF");
    design::place(SavePdfButton, 310, 283, 58, 31);
    SavePdfButton->setAutoDefault(false);
    connect(SavePdfButton, &QPushButton::clicked, this, [this] { SavePdfButtonClick(); });

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    design::place(RichEdit1, 28, 23, 398, 244);
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, SavePdfButton);
    setTabOrder(SavePdfButton, RichEdit1);
    buttonkeys::pressFocusedButtonOnEnter(this);

    intervalNames = errors::standardIntervalNames();

    printerFactory_ = systemDefaultPrinter;
    notifier_ = [this](const QString& text) { showNotice(this, text); };
    choosePath_ = [this](const QString& suggested) {
        return stats::askSavePath(this, "Save the Error Report as PDF", suggested,
                                  stats::kPdfFilter);
    };
    offerPdf_ = [this](const QString& text) {
        if (!stats::hasScreen()) {
            notifier_(text);
            return false;
        }
        QMessageBox box(QMessageBox::Warning, "Error Report", text, QMessageBox::Cancel, this);
        QPushButton* save = box.addButton("Save as PDF...", QMessageBox::AcceptRole);
        box.setDefaultButton(save);
        box.exec();
        return box.clickedButton() == save;
    };
}

TErrorReport::~TErrorReport() = default;

void TErrorReport::appendLines(const std::vector<std::string>& lines) {
    // Inserted as plain text: the lines' leading spaces are their layout.
    QTextCursor cursor(RichEdit1->document());
    cursor.movePosition(QTextCursor::End);
    bool newParagraph = !RichEdit1->document()->isEmpty();
    for (const std::string& line : lines) {
        if (newParagraph)
            cursor.insertBlock();
        cursor.insertText(QString::fromStdString(line));
        newParagraph = true;
    }
    // A report is read from its first line.
    RichEdit1->moveCursor(QTextCursor::Start);
    RichEdit1->ensureCursorVisible();
}

void TErrorReport::clearReport() {
    RichEdit1->clear();
}

void TErrorReport::showCumulativeProfile() {
    clearReport();
    TallyTable table{};
    if (errors::readErrorFile(errorFilePath_, table) == errors::ErrorFileRead::Missing)
        return;
    const std::string decimalPoint = QLocale::system().decimalPoint().toStdString();
    appendLines(errors::cumulativeProfileLines(table, intervalNames, decimalPoint));
}

void TErrorReport::Button2Click() {
    showCumulativeProfile();
    Button2->setEnabled(false);
}

void TErrorReport::Button3Click() {
    const std::unique_ptr<QPrinter> printer = printerFactory_ ? printerFactory_() : nullptr;
    if (!printer) {
        if (offerPdf_("There is no printer to print the Error Report on. Save it as a PDF file "
                      "instead, or set up a default printer and press \"Print\" again."))
            SavePdfButtonClick();
        return;
    }
    printer->setDocName("Error Report");
    const std::unique_ptr<QTextDocument> paper = paperCopy();
    paper->print(printer.get());
    if (printer->printerState() == QPrinter::Error || printer->printerState() == QPrinter::Aborted)
        notifier_("The Error Report could not be printed on \"" + printer->printerName() + "\".");
}

std::unique_ptr<QTextDocument> TErrorReport::paperCopy() const {
    // The box as the user left it, edits included, page after page. The
    // screen font is sized in pixels, which on paper would be specks: print
    // a copy in the same face at a size in points.
    std::unique_ptr<QTextDocument> paper(RichEdit1->document()->clone());
    QFont font = RichEdit1->font();
    font.setPointSize(kPrintPointSize);
    paper->setDefaultFont(font);
    return paper;
}

bool TErrorReport::saveAsPdf(const QString& path) const {
    return stats::writeDocumentPdf(path, "Error Report", *paperCopy());
}

void TErrorReport::SavePdfButtonClick() {
    const QString path = choosePath_ ? choosePath_("error-report.pdf") : QString();
    if (path.isEmpty())
        return;
    if (!saveAsPdf(path))
        notifier_("The Error Report could not be saved as \"" + path + "\".");
}

void TErrorReport::FormShow() {
    // The window's edges follow the OK button.
    frame::setOuterSize(this, QSize(Button1->x() + design::px(80), Button1->y() + design::px(70)));
}

void TErrorReport::FormClose() {
    Button2->setEnabled(true);
}

void TErrorReport::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TErrorReport::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}
