#include "reports/catalogue.h"

#include "dictionary/tables.h"
#include "reports/equipment_reports.h"
#include "reports/estimate_reports.h"
#include "reports/estimate_reports_b.h"
#include "reports/imp_con.h"

namespace velmora::reports {

namespace {

struct Entry {
  const char* name;
  std::unique_ptr<Report> (*make)();
  const char* program = "DUDORE";  // whose menu lists it
};

// One report a line, so that adding one touches one line.
// clang-format off
constexpr Entry kReports[] = {
    {"IMP_CON", makeImpCon},
    {"IMP_LEV", makeImpLev},
    {"IMP_TAB", makeImpTab},
    {"IMP_REA", makeImpRea},
    {"IMP_EDO", makeImpEdo},
    {"IMP_SOL", makeImpSol},
    {"IMP_BAN", makeImpBan},
    {"REP_IMP", makeRepImp},
    {"REP_PORC", makeRepPorc},
    {"REP_ESC", makeRepEsc},
    {"IMP_AUX", makeImpAux},
    {"IMP_PRV", makeImpPrv, "VOROVID"},
    {"IMP_PAG", makeImpPag, "VOROVID"},
    {"IMP_FAC", makeImpFac, "VOROVID"},
    {"IMP_REC", makeImpRec, "VOROVID"},
};
// clang-format on

}  // namespace

std::unique_ptr<Report> makeReport(std::string_view name) {
  for (const Entry& e : kReports)
    if (dict::sameName(name, e.name)) return e.make();
  return nullptr;
}

std::vector<std::string> reportNames(std::string_view program) {
  std::vector<std::string> names;
  for (const Entry& e : kReports)
    if (program.empty() || dict::sameName(program, e.program)) names.emplace_back(e.name);
  return names;
}

}  // namespace velmora::reports
