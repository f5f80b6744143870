#include "programs/shell/report_catalogue.h"

#include "dictionary/tables.h"
#include "equipment/reports/equipment_reports.h"
#include "estimates/reports/estimate_catalogue.h"

namespace velmora::reports {

namespace {

struct ProgramReports {
  const char* program;
  Catalogue (*catalogue)();
};

constexpr ProgramReports kPrograms[] = {
    {"DUDORE", estimateCatalogue},
    {"VOROVID", equipmentCatalogue},
};

}  // namespace

std::unique_ptr<Report> makeReport(std::string_view name) {
  for (const ProgramReports& p : kPrograms)
    if (std::unique_ptr<Report> report = p.catalogue().make(name)) return report;
  return nullptr;
}

std::vector<std::string> reportNames(std::string_view program) {
  std::vector<std::string> names;
  for (const ProgramReports& p : kPrograms) {
    if (!program.empty() && !dict::sameName(program, p.program)) continue;
    for (std::string& name : p.catalogue().names()) names.push_back(std::move(name));
  }
  return names;
}

}  // namespace velmora::reports
