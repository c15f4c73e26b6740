#include "stats/exportfile.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

namespace stats {

namespace {

constexpr int kPdfResolution = 96;
constexpr int kHeadingPixels = 20;

} // namespace

bool writePdf(const QString& path, const QString& title, const Painting& paint) {
    QPdfWriter pdf(path);
    pdf.setTitle(title);
    pdf.setCreator("Tonyx");
    pdf.setResolution(kPdfResolution);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                  QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&pdf))
        return false;
    const QRect page = pdf.pageLayout().paintRectPixels(kPdfResolution);
    const QRect area(0, 0, page.width(), page.height());
    QFont heading = painter.font();
    heading.setPixelSize(kHeadingPixels);
    heading.setBold(true);
    painter.setFont(heading);
    const int headingHeight = painter.fontMetrics().height() + 8;
    painter.drawText(area.adjusted(0, 0, 0, -(area.height() - headingHeight)),
                     Qt::AlignLeft | Qt::AlignTop, title);
    painter.setFont(QFont());
    paint(painter, area.adjusted(0, headingHeight, 0, 0));
    return painter.end();
}

bool writePng(const QString& path, QSize size, const Painting& paint) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        paint(painter, QRect(QPoint(0, 0), size));
    }
    return image.save(path, "PNG");
}

bool writeDocumentPdf(const QString& path, const QString& title, const QTextDocument& document) {
    // print() reports no failure of its own: find out first whether the file
    // can be written, then see that it was.
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
    }
    QPdfWriter pdf(path);
    pdf.setTitle(title);
    pdf.setCreator("Tonyx");
    pdf.setPageSize(QPageSize(QPageSize::A4));
    document.print(&pdf);
    return QFileInfo(path).size() > 0;
}

QString askSavePath(QWidget* parent, const QString& title, const QString& suggestedName,
                    const QString& filter) {
    if (!hasScreen())
        return {};
    return QFileDialog::getSaveFileName(parent, title, QDir::home().filePath(suggestedName),
                                        filter);
}

bool hasScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void showSaveFailed(QWidget* parent, const QString& path) {
    const QString text = "\"" + QDir::toNativeSeparators(path) +
                         "\" could not be written. Choose another folder or file name.";
    if (!hasScreen()) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    QMessageBox::warning(parent, "Save", text);
}

} // namespace stats
