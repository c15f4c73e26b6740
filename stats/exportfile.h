#pragma once

#include <QSize>
#include <QString>
#include <functional>

class QPainter;
class QRect;
class QTextDocument;
class QWidget;

// Saving what a window shows as a PDF or PNG file the user picks.
namespace stats {

// Draws a picture into a rectangle of the painter's device.
using Painting = std::function<void(QPainter& painter, const QRect& area)>;

// One landscape A4 page at 96 units per inch, the picture under a heading.
// False when the file cannot be written.
[[nodiscard]] bool writePdf(const QString& path, const QString& title, const Painting& paint);
// An image of `size` pixels on white.
[[nodiscard]] bool writePng(const QString& path, QSize size, const Painting& paint);
// A text document, page after page, in its own fonts.
[[nodiscard]] bool writeDocumentPdf(const QString& path, const QString& title,
                                    const QTextDocument& document);

// Where to save: the user's choice in a file dialog, empty when cancelled.
// Tests put a chooser of their own in its place.
using SavePathChooser = std::function<QString(QWidget* parent, const QString& title,
                                              const QString& suggestedName, const QString& filter)>;
[[nodiscard]] QString askSavePath(QWidget* parent, const QString& title,
                                  const QString& suggestedName, const QString& filter);

// Without a screen (offscreen test runs) a box would wait for a click that
// never comes; messages go to stderr there.
[[nodiscard]] bool hasScreen();
void showSaveFailed(QWidget* parent, const QString& path);

inline constexpr const char* kPdfFilter = "PDF files (*.pdf)";
inline constexpr const char* kPngFilter = "PNG images (*.png)";

} // namespace stats
