#include "equipment/reports/equipment_reports.h"

namespace velmora::reports {

namespace {

// One report a line, so that adding one touches one line.
// clang-format off
constexpr CatalogueEntry kReports[] = {
    {"IMP_PRV", makeImpPrv},
    {"IMP_PAG", makeImpPag},
    {"IMP_FAC", makeImpFac},
    {"IMP_REC", makeImpRec},
};
// clang-format on

}  // namespace

Catalogue equipmentCatalogue() { return Catalogue(kReports); }

}  // namespace velmora::reports
