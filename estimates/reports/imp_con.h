#pragma once

// IMP_CON: the contractors' statement of the work, one line per contractor
// in the order of their numbers, with the sums of every column.

#include <memory>

#include "reports/report.h"

namespace velmora::reports {

// The two values the statement computes: what the contractor received
// (the "A PAGAR" of all his estimates, advances and fund returns, see
// netPaid) and the advance he has still to amortise.
inline constexpr std::string_view kReceived = "RECIBIDO";   // "$ RECIBIDO"
inline constexpr std::string_view kAdvances = "ANTICIPOS";  // "ANTICIPOS"

std::unique_ptr<Report> makeImpCon();

}  // namespace velmora::reports
