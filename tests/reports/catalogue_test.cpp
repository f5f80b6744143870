// The reports by name: each program's list and the union `velmora reporte`
// runs from.

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dictionary/tables.h"
#include "equipment/reports/equipment_reports.h"
#include "estimates/reports/estimate_catalogue.h"
#include "programs/shell/report_catalogue.h"

namespace velmora::reports {
namespace {

using Names = std::vector<std::string>;

const Names kDudore = {"IMP_CON", "IMP_LEV", "IMP_TAB",  "IMP_REA", "IMP_EDO", "IMP_SOL",
                       "IMP_BAN", "REP_IMP", "REP_PORC", "REP_ESC", "IMP_AUX"};
const Names kVorovid = {"IMP_PRV", "IMP_PAG", "IMP_FAC", "IMP_REC"};

TEST(ReportCatalogue, EachProgramListsItsOwnAndTheUnionBothInOrder) {
  EXPECT_EQ(estimateCatalogue().names(), kDudore);
  EXPECT_EQ(equipmentCatalogue().names(), kVorovid);
  EXPECT_EQ(reportNames("DUDORE"), kDudore);
  EXPECT_EQ(reportNames("vorovid"), kVorovid);
  Names all = kDudore;
  all.insert(all.end(), kVorovid.begin(), kVorovid.end());
  EXPECT_EQ(reportNames(), all);
  EXPECT_TRUE(reportNames("OTRO").empty());
}

TEST(ReportCatalogue, EveryNameMakesItsOwnReportAndNoOtherName) {
  std::set<std::string> seen;
  for (const std::string& name : reportNames()) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(seen.insert(name).second) << "listed twice";
    // A name is looked up without regard to case, as typed on the command line.
    std::string lower = name;
    for (char& c : lower) c = char(std::tolower((unsigned char)c));
    for (const std::string& asked : {name, lower}) {
      std::unique_ptr<Report> report = makeReport(asked);
      ASSERT_TRUE(report);
      EXPECT_TRUE(dict::sameName(report->description().procedure, name))
          << report->description().procedure;
    }
  }
  // Each program's list makes only its own.
  EXPECT_FALSE(estimateCatalogue().make("IMP_PRV"));
  EXPECT_FALSE(equipmentCatalogue().make("IMP_CON"));
  EXPECT_FALSE(makeReport("IMP_NADA"));
  EXPECT_FALSE(makeReport(""));
}

}  // namespace
}  // namespace velmora::reports
