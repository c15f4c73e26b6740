#include "app/drillstate.h"
#include "core/atomicfile.h"
#include "core/designunits.h"
#include "errors/endofdrill.h"
#include "errors/errorfile.h"
#include "errors/errorform.h"
#include "errors/filterquery.h"

#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

namespace {

QStringList boxLines(const TErrorReport& report) {
    QStringList lines;
    for (QTextBlock b = report.RichEdit1->document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    if (lines == QStringList{""})
        return {};
    return lines;
}

// Answers a modal dialog once its loop runs.
void clickWhenShown(QWidget* dialog, QPushButton* button) {
    QTimer::singleShot(0, dialog, [button] { QTest::mouseClick(button, Qt::LeftButton); });
}

QString pdfText(const QString& pdf) {
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
    if (!pdftotext.waitForFinished(30000))
        return "<pdftotext failed>";
    // Printed fonts may join "fi" and "fl" into one glyph.
    return QString::fromUtf8(pdftotext.readAllStandardOutput())
        .replace(QChar(0xFB01), "fi")
        .replace(QChar(0xFB02), "fl");
}

} // namespace

class ErrorWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(folder_.isValid());
        errorFile_ = folder_.filePath("errors.dat").toStdString();
        QFile::remove(QString::fromStdString(errorFile_));
        report_ = std::make_unique<TErrorReport>();
        report_->setErrorFilePath(errorFile_);
        report_->setNotifier([this](const QString& text) { messages_ << text; });
        messages_.clear();
    }
    void cleanup() { report_.reset(); }

    void controlsAndNames() {
        QCOMPARE(report_->windowTitle(), QString("Error Report"));
        QCOMPARE(report_->findChild<QPushButton*>("Button1")->text(), QString("OK"));
        QCOMPARE(report_->findChild<QPushButton*>("Button2")->text(),
                 QString("Cumulative Error Profile"));
        QCOMPARE(report_->findChild<QPushButton*>("Button3")->text(), QString("Print"));
        QVERIFY(report_->findChild<QTextEdit*>("RichEdit1"));
        QVERIFY(!report_->RichEdit1->isReadOnly());
        QCOMPARE(report_->intervalNames[0], std::string("unison"));
        QCOMPARE(report_->intervalNames[24], std::string("double 8ve"));
    }

    void sessionReportAppendsParagraphs() {
        DrillState drill;
        drill.sessionTally[4].piCorrect = 4;
        drill.sessionTally[4].piWrong[3] = 1;
        drill.sessionTally[7].piCorrect = 6;
        errors::writeSessionReport(drill, *report_);
        QCOMPARE(boxLines(*report_),
                 (QStringList{"major 3rd", "     correct  80%", "          pi 3  20%",
                              "perfect 5th", "     correct 100%"}));
        // Further lines come as plain text, blank ones and markup-like ones alike.
        report_->appendLines({"", "  a <b> &amp; c"});
        QCOMPARE(boxLines(*report_).mid(5), (QStringList{"", "  a <b> &amp; c"}));
        errors::clearReportBox(*report_);
        QCOMPARE(boxLines(*report_), QStringList{});
        report_->appendLines({"", "x"});
        QCOMPARE(report_->RichEdit1->toPlainText(), QString("\nx"));
    }

    void longReportOpensAtItsFirstLine() {
        DrillState drill;
        for (int row = 1; row <= 24; ++row) {
            drill.sessionTally[row].m12Correct = 3;
            for (int k = 0; k < 12; ++k)
                drill.sessionTally[row].m12Wrong[k] = 1;
        }
        errors::writeSessionReport(drill, *report_);
        report_->show();
        QVERIFY(QTest::qWaitForWindowExposed(report_.get()));
        QVERIFY(report_->RichEdit1->verticalScrollBar()->maximum() > 0);
        QCOMPARE(report_->RichEdit1->verticalScrollBar()->value(), 0);
        QCOMPARE(report_->RichEdit1->textCursor().position(), 0);
        report_->hide();
    }

    void profileReplacesReportAndDisablesButtonUntilClosed() {
        DrillState drill;
        drill.sessionTally[9].m12Correct = 15;
        drill.sessionTally[9].m12Wrong[8] = 1;
        drill.sessionTally[30].m12Correct = 5; // beyond the profile's rows
        QCOMPARE(errors::updateErrorFile(drill, errorFile_), errors::ErrorFileUpdate::Created);
        errors::writeSessionReport(drill, *report_);

        report_->show();
        QTest::mouseClick(report_->Button2, Qt::LeftButton);
        const QString point = QLocale::system().decimalPoint();
        QCOMPARE(boxLines(*report_), (QStringList{"major 6th", "     correct  94%",
                                                  "          minor 6th 6" + point + "3%"}));
        QVERIFY(!report_->Button2->isEnabled());

        QTest::mouseClick(report_->Button1, Qt::LeftButton);
        QVERIFY(!report_->isVisible());
        QCOMPARE(report_->result(), 1);
        QVERIFY(report_->Button2->isEnabled());
        // Reopened, the box is as it was left.
        report_->show();
        QCOMPARE(boxLines(*report_).size(), 3);
        report_->close();
        QVERIFY(report_->Button2->isEnabled());
    }

    void profileWithoutFileIsEmptyAndButtonStaysDisabled() {
        report_->appendLines({"major 3rd", "     correct 100%"});
        report_->show();
        QTest::mouseClick(report_->Button2, Qt::LeftButton);
        QCOMPARE(boxLines(*report_), QStringList{});
        QVERIFY(!report_->Button2->isEnabled());
        QTest::mouseClick(report_->Button2, Qt::LeftButton);
        QVERIFY(!report_->Button2->isEnabled());
        QVERIFY(messages_.isEmpty());
        report_->close(); // the close box
        QVERIFY(report_->Button2->isEnabled());
    }

    void windowEdgesFollowOkButton() {
        report_->show();
        // The outer size, frame included.
        QCOMPARE(report_->frameGeometry().width(), report_->Button1->x() + design::px(80));
        QCOMPARE(report_->frameGeometry().height(), report_->Button1->y() + design::px(70));
        QVERIFY(report_->rect().contains(report_->Button1->geometry()));
        QVERIFY(report_->rect().contains(report_->RichEdit1->geometry()));
    }

    void printsEditedBoxToPdf() {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QFAIL("pdftotext (poppler-utils) is needed to read the printed page back");
        const QString pdf = folder_.filePath("report.pdf");
        QString docName;
        report_->setPrinterFactory([&] {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return printer;
        });
        // Enough lines for several pages, then one the user typed in.
        std::vector<std::string> lines;
        for (int i = 1; i <= 150; ++i)
            lines.push_back("line " + std::to_string(i) + " major 9th");
        report_->appendLines(lines);
        report_->show();
        report_->RichEdit1->moveCursor(QTextCursor::End);
        QTest::keyClicks(report_->RichEdit1, " edited by hand");

        QTest::mouseClick(report_->Button3, Qt::LeftButton);
        QVERIFY(messages_.isEmpty());
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains("line 1 major 9th"), qPrintable(text.left(200)));
        QVERIFY(text.contains("line 75 major 9th"));
        QVERIFY(text.contains("line 150 major 9th edited by hand"));
        QVERIFY2(text.count(QChar('\f')) >= 2, "laid out over several pages");

        QProcess info;
        info.start("pdfinfo", {pdf});
        QVERIFY(info.waitForFinished(30000));
        QVERIFY(QString::fromUtf8(info.readAllStandardOutput())
                    .contains(QRegularExpression("Title:\\s+Error Report")));
    }

    void printingWithoutPrinterTellsUser() {
        report_->setPrinterFactory([] { return std::unique_ptr<QPrinter>(); });
        report_->appendLines({"octave"});
        QTest::mouseClick(report_->Button3, Qt::LeftButton);
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains("printer"));
    }

    void printerThatCannotStartTellsUser() {
        report_->setPrinterFactory([this] {
            auto printer = std::make_unique<QPrinter>();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(folder_.filePath("no-such-folder/report.pdf"));
            return printer;
        });
        report_->appendLines({"octave"});
        QTest::mouseClick(report_->Button3, Qt::LeftButton);
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains("could not be printed"));
    }

    void filterQuestionTexts() {
        TFilterQueryForm form;
        QCOMPARE(form.windowTitle(), QString("Cumulative Error Report"));
        QCOMPARE(form.findChild<QPlainTextEdit*>("Memo1")->toPlainText().split('\n'),
                 (QStringList{"TONYX saves the results of each session in a cumulative ",
                              "error report.  Do you want to include this session, even ",
                              "though you used filters?  (I recommend \"No.\")", "",
                              "(note: you can always clear the cumulative report by ",
                              "deleting the file \"errors.dat\")"}));
        QVERIFY(form.Memo1->isReadOnly());
        QCOMPARE(form.findChild<QPushButton*>("Button1")->text(), QString("&Yes"));
        QCOMPARE(form.findChild<QPushButton*>("Button2")->text(), QString("&No"));
        QCOMPARE(form.minimumSize(), form.maximumSize());
    }

    void filterQuestionResults_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("result");
        QTest::newRow("yes") << "Button1" << 6;
        QTest::newRow("no") << "Button2" << 7;
        QTest::newRow("escape") << "" << 7;
        QTest::newRow("enter") << "enter" << 7;
    }
    void filterQuestionResults() {
        QFETCH(QString, answer);
        QFETCH(int, result);
        TFilterQueryForm form;
        QTimer::singleShot(0, &form, [&] {
            if (answer == "")
                QTest::keyClick(&form, Qt::Key_Escape);
            else if (answer == "enter") {
                // Enter goes to whatever has the focus once the dialog has painted.
                (void)QTest::qWaitForWindowExposed(&form);
                QCoreApplication::processEvents();
                QTest::keyClick(form.focusWidget() ? form.focusWidget() : &form, Qt::Key_Return);
            } else
                QTest::mouseClick(form.findChild<QPushButton*>(answer), Qt::LeftButton);
        });
        QCOMPARE(form.exec(), result);
    }

    void filterQuestionFocusBackOnNoAtEachPaint() {
        TFilterQueryForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.repaint();
        QCOMPARE(form.focusWidget(), form.Button2);
        form.Button1->setFocus();
        QCOMPARE(form.focusWidget(), form.Button1);
        form.repaint();
        QCOMPARE(form.focusWidget(), form.Button2);
    }

    void filteredDrillJoinsOnlyOnYes() {
        TFilterQueryForm form;
        DrillState unfiltered;
        for (int i = 1; i <= 12; ++i)
            unfiltered.allowed[i] = true;
        QVERIFY(errors::includeFilteredDrill(unfiltered, form)); // not asked: nothing answers it

        DrillState filtered;
        for (int i = 1; i <= 12; ++i)
            filtered.allowed[i] = i != 6;
        clickWhenShown(&form, form.Button1);
        QVERIFY(errors::includeFilteredDrill(filtered, form));
        clickWhenShown(&form, form.Button2);
        QVERIFY(!errors::includeFilteredDrill(filtered, form));
    }

private:
    QTemporaryDir folder_;
    std::string errorFile_;
    std::unique_ptr<TErrorReport> report_;
    QStringList messages_;
};

QTEST_MAIN(ErrorWindowsTest)
#include "test_errorwindows.moc"
