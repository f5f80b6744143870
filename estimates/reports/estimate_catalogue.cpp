#include "estimates/reports/estimate_catalogue.h"

#include "estimates/reports/estimate_reports.h"
#include "estimates/reports/estimate_reports_b.h"
#include "estimates/reports/imp_con.h"

namespace velmora::reports {

namespace {

// One report a line, so that adding one touches one line.
// clang-format off
constexpr CatalogueEntry kReports[] = {
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
};
// clang-format on

}  // namespace

Catalogue estimateCatalogue() { return Catalogue(kReports); }

}  // namespace velmora::reports
