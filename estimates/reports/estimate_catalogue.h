#pragma once

// DUDORE's reports by name, and IMP_REP, the menu that prints them.

#include "reports/catalogue.h"

namespace velmora {
class Program;
}  // namespace velmora

namespace velmora::reports {

// IMP_CON, the budget reports and the estimate reports.
Catalogue estimateCatalogue();

// IMP_REP, every report of estimateCatalogue() by its name, and the
// delimiter of their exports.
void addEstimateReportProcedures(Program& program);

}  // namespace velmora::reports
