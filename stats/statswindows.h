#pragma once

#include "stats/drilllog.h"

#include <QObject>
#include <QPointer>
#include <string>

class DrillState;
class QAction;
class QMenu;
class QWidget;

namespace stats {

class ErrorMapWindow;
class ProgressWindow;

// The Error Map and Progress windows of the main window's View menu, made
// when first opened, and the record of each finished drill.
class StatsWindows : public QObject {
    Q_OBJECT
public:
    // Adds "Error Map" and "Progress" to `view`; the windows belong to `owner`.
    StatsWindows(QWidget* owner, QMenu* view);

    QAction* ErrorMap1;
    QAction* Progress1;

    void ErrorMap1Click();
    void Progress1Click();
    [[nodiscard]] ErrorMapWindow* errorMap();
    [[nodiscard]] ProgressWindow* progress();

    // "errors.dat" has just been merged: an open map shows the new counts.
    void errorFileUpdated();
    // A drill was scored: appended to "drills.csv", and an open Progress
    // window shows it. Failures are silent, as for the other data files.
    void drillScored(const DrillRecord& record);

    // The data files; the working folder unless a test sets others.
    void setPaths(std::string errorFile, std::string drillLog);

private:
    QWidget* owner_;
    QPointer<ErrorMapWindow> errorMap_;
    QPointer<ProgressWindow> progress_;
    std::string errorFile_ = "errors.dat";
    std::string drillLog_ = kDrillLogName;
};

// The record of the drill `drill` ends now, with the results its score
// window worked out.
[[nodiscard]] DrillRecord finishedDrill(const DrillState& drill, int32_t seconds, int32_t score);

} // namespace stats
