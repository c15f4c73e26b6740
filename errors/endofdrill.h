#pragma once

class DrillState;
class TErrorReport;
class TFilterQueryForm;

// The steps of END that belong to the error statistics, for the main
// window's hooks, in the order END calls them.
namespace errors {

// Appends the drill's report to the Error Report window's box.
void writeSessionReport(const DrillState& drill, TErrorReport& report);
// A drill that used filters joins "errors.dat" only when the user answers
// "&Yes" to the filter question; others join unasked.
[[nodiscard]] bool includeFilteredDrill(const DrillState& drill, TFilterQueryForm& question);
// Empties the Error Report window's box once the score window has closed.
void clearReportBox(TErrorReport& report);

} // namespace errors
