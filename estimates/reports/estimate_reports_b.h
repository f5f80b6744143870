#pragma once

// The estimate reports of one estimate and of the estimates' lines: REP_IMP
// (quantities and amounts) and REP_PORC (percentages and amounts) print each
// estimate of a folio range on a page of its own; REP_ESC lists the
// estimates by contractor and IMP_AUX every estimate line, both exporting.
// Their options are reports/report_options.h's.

#include <memory>

#include "reports/report.h"

namespace velmora::reports {

std::unique_ptr<Report> makeRepImp();
std::unique_ptr<Report> makeRepPorc();
std::unique_ptr<Report> makeRepEsc();
std::unique_ptr<Report> makeImpAux();

}  // namespace velmora::reports
