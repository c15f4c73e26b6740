#include "errors/endofdrill.h"

#include "app/drillstate.h"
#include "errors/errorform.h"
#include "errors/filterquery.h"
#include "errors/sessionreport.h"

namespace errors {

void writeSessionReport(const DrillState& drill, TErrorReport& report) {
    report.appendLines(sessionReportLines(drill.sessionTally, report.intervalNames));
}

bool includeFilteredDrill(const DrillState& drill, TFilterQueryForm& question) {
    if (!drill.filtersInUse())
        return true;
    return question.exec() == TFilterQueryForm::kYes;
}

void clearReportBox(TErrorReport& report) {
    report.clearReport();
}

} // namespace errors
