#pragma once

// The reports of both programs by name: those `velmora reporte` can run.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reports/report.h"

namespace velmora::reports {

// Nothing for a name that is not a report (compared without regard to case).
std::unique_ptr<Report> makeReport(std::string_view name);
// Every report, or those of one program ("DUDORE", "VOROVID").
std::vector<std::string> reportNames(std::string_view program = {});

}  // namespace velmora::reports
