#pragma once

#include "stats/drilllog.h"
#include "stats/exportfile.h"
#include "stats/progress.h"

#include <QDialog>
#include <QPointF>
#include <functional>
#include <string>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QRadioButton;
class QValueAxis;

namespace stats {

// Where the chart's view lands when drawn into a picture: its top left and
// the factor it is scaled by.
struct ChartPlacement {
    QPointF origin;
    double scale = 1;
};
[[nodiscard]] ChartPlacement chartPlacement(const QRect& area, QSize view);

// The Progress window (View menu): the score and the share of right answers
// of every finished drill in "drills.csv", drill by drill or day by day, with
// the best, the last and the last seven days' figures, saved as PDF or PNG.
class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    QRadioButton* ByDrillButton;
    QRadioButton* ByDayButton;
    QLabel* SummaryLabel;
    QLabel* NoteLabel; // shown when there is nothing to plot
    QChartView* ChartView;
    QPushButton* SavePdfButton;
    QPushButton* SavePngButton;
    QPushButton* CloseButton;

    // Reads the file again and redraws.
    void refresh();
    void setGrouping(ProgressGrouping grouping);
    [[nodiscard]] ProgressGrouping grouping() const { return grouping_; }
    [[nodiscard]] const DrillLog& log() const { return log_; }
    [[nodiscard]] QLineSeries* scoreSeries() const { return scoreSeries_; }
    [[nodiscard]] QLineSeries* shareSeries() const { return shareSeries_; }

    [[nodiscard]] bool saveAsPdf(const QString& path) const;
    [[nodiscard]] bool saveAsPng(const QString& path) const;
    void SavePdfButtonClick();
    void SavePngButtonClick();

    void setDrillLogPath(std::string path) { logPath_ = std::move(path); }
    void setSavePathChooser(SavePathChooser chooser) { choosePath_ = std::move(chooser); }
    // Now, in seconds since 1970 UTC; the system clock unless a test sets it.
    void setNow(std::function<int64_t()> now) { now_ = std::move(now); }

    static constexpr QSize kPngSize{1600, 900};
    // More points than a chart's width has pixels only slow it down.
    static constexpr size_t kMostPoints = 800;
    // Where the chart lands in the PNG image.
    [[nodiscard]] ChartPlacement pngPlacement() const;

private:
    void plot();
    void paintChart(QPainter& painter, const QRect& area) const;

    std::string logPath_ = kDrillLogName;
    SavePathChooser choosePath_ = askSavePath;
    std::function<int64_t()> now_;
    ProgressGrouping grouping_ = ProgressGrouping::ByDrill;
    DrillLog log_;
    QChart* chart_;
    QLineSeries* scoreSeries_;
    QLineSeries* shareSeries_;
    QValueAxis* drillAxis_;
    QDateTimeAxis* dayAxis_;
    QValueAxis* scoreAxis_;
    QValueAxis* shareAxis_;
};

// "Best 1706 · Last 1520 (84% right) · Last 7 days: 1612 on average, 86% right, 9 drills"
[[nodiscard]] QString summaryText(const ProgressSummary& summary);

} // namespace stats
