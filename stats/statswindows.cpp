#include "stats/statswindows.h"

#include "app/drillstate.h"
#include "score/scoring.h"
#include "stats/errormapwindow.h"
#include "stats/progresswindow.h"

#include <QDateTime>
#include <QMenu>

namespace stats {

StatsWindows::StatsWindows(QWidget* owner, QMenu* view) : QObject(owner), owner_(owner) {
    setObjectName("StatsWindows");
    ErrorMap1 = view->addAction("Error Map", this, [this] { ErrorMap1Click(); });
    ErrorMap1->setObjectName("ErrorMap1");
    Progress1 = view->addAction("Progress", this, [this] { Progress1Click(); });
    Progress1->setObjectName("Progress1");
}

void StatsWindows::setPaths(std::string errorFile, std::string drillLog) {
    errorFile_ = std::move(errorFile);
    drillLog_ = std::move(drillLog);
    if (errorMap_)
        errorMap_->setErrorFilePath(errorFile_);
    if (progress_)
        progress_->setDrillLogPath(drillLog_);
}

ErrorMapWindow* StatsWindows::errorMap() {
    if (!errorMap_) {
        errorMap_ = new ErrorMapWindow(owner_);
        errorMap_->setErrorFilePath(errorFile_);
    }
    return errorMap_;
}

ProgressWindow* StatsWindows::progress() {
    if (!progress_) {
        progress_ = new ProgressWindow(owner_);
        progress_->setDrillLogPath(drillLog_);
    }
    return progress_;
}

void StatsWindows::ErrorMap1Click() {
    ErrorMapWindow* w = errorMap();
    w->refresh();
    w->show();
    w->raise();
    w->activateWindow();
}

void StatsWindows::Progress1Click() {
    ProgressWindow* w = progress();
    w->refresh();
    w->show();
    w->raise();
    w->activateWindow();
}

void StatsWindows::errorFileUpdated() {
    if (errorMap_ && errorMap_->isVisible())
        errorMap_->refresh();
}

void StatsWindows::drillScored(const DrillRecord& record) {
    (void)appendDrill(drillLog_, record);
    if (progress_ && progress_->isVisible())
        progress_->refresh();
}

DrillRecord finishedDrill(const DrillState& drill, int32_t seconds, int32_t score) {
    const QDateTime now = QDateTime::currentDateTime();
    DrillRecord r;
    r.utcSeconds = now.toSecsSinceEpoch();
    r.offsetSeconds = now.offsetFromUtc();
    r.identifyMode = drill.identifyMode();
    r.presentation = drill.presentation();
    r.allowed = allowedText(drill.allowed);
    r.right = drill.correctCount;
    r.wrong = drill.incorrectCount;
    r.seconds = seconds;
    r.score = score;
    r.eligible = eligibleForHighScores(drill.allowed);
    return r;
}

} // namespace stats
