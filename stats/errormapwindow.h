#pragma once

#include "errors/errorfile.h"
#include "stats/errormap.h"
#include "stats/exportfile.h"

#include <QDialog>
#include <string>

class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;

namespace stats {

class ErrorMapView;

// The Error Map window (View menu): the heat map of "errors.dat" with a
// switch between the three ways an interval is answered, the cell under the
// pointer or the keyboard described below it, and saving as PDF or PNG.
class ErrorMapWindow : public QDialog {
    Q_OBJECT
public:
    explicit ErrorMapWindow(QWidget* parent = nullptr);

    QRadioButton* Mod12Button;
    QRadioButton* PitchButton;
    QRadioButton* ClassButton;
    QLabel* NoteLabel; // shown when there is nothing to map
    ErrorMapView* MapView;
    QLabel* CellLabel; // the cell pointed at
    QPushButton* SavePdfButton;
    QPushButton* SavePngButton;
    QPushButton* CloseButton;

    // Reads the file again and redraws.
    void refresh();
    void setScale(MapScale scale);
    [[nodiscard]] MapScale scale() const { return scale_; }
    [[nodiscard]] const ErrorMap& map() const;

    [[nodiscard]] bool saveAsPdf(const QString& path) const;
    [[nodiscard]] bool saveAsPng(const QString& path) const;
    void SavePdfButtonClick();
    void SavePngButtonClick();

    // The file the map is read from; "errors.dat" in the working folder.
    void setErrorFilePath(std::string path) { errorFilePath_ = std::move(path); }
    void setSavePathChooser(SavePathChooser chooser) { choosePath_ = std::move(chooser); }

    static constexpr QSize kPngSize{1200, 900};

private:
    void showTallies();

    std::string errorFilePath_ = "errors.dat";
    SavePathChooser choosePath_ = askSavePath;
    MapScale scale_ = MapScale::Mod12;
    TallyTable tallies_{};
    errors::ErrorFileRead read_ = errors::ErrorFileRead::Missing;
};

} // namespace stats
