#pragma once

// The windows of an estimate: CAP_EST lists them, UP_ESTI captures one and
// calls UP_AVAN for each line (with BUSCA_PEST to choose the item), POLFIN
// for the final amounts and CAP_ANTI for an advance or a fund return. The
// called windows work on what UP_ESTI hands them; registered on their own
// they work on an empty estimate.

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "estimates/estimate_rules.h"
#include "framework/list_part_memory.h"
#include "framework/procedure.h"

namespace velmora::estimates {

// The access entry of the estimates.
inline constexpr int kEstimatesEntry = 7;

// The columns of the line list; ESM:VA and ESM:FI travel unseen.
enum LineColumn { kCo, kPr, kFr, kDe, kUn, kAn, kAc, kIm, kVa, kFi };

// The exact figures of a line of the list, which its row shows rounded.
struct LineExact {
  Decimal paidBefore;     // the item's paid amount the line was figured on
  double doneBefore = 0;  // and its progress
  Ratio quantity;
  Ratio executed;
  Ratio percent;
};
// A line of the list by its item: number in hundredths, process, front.
using LineKey = std::tuple<std::int64_t, std::int64_t, std::int64_t>;
LineKey lineKey(double conc, std::int64_t process, std::int64_t front);

// What UP_ESTI hands the windows it calls.
struct EstimateDraft {
  std::int16_t contractor = 0;
  std::int16_t folio = 0;
  bool insert = true;
  bool posted = false;
  MemoryListPart* lines = nullptr;     // UP_AVAN adds at most one row
  POL stored{};                        // the estimate as stored, for POLFIN
  FinalFigures finals;                 // POLFIN's figures
  bool finalsGiven = false;            // POLFIN closed with OK
  char type = '2';                     // CAP_ANTI: '1' advance, '3' fund return
  Decimal advance;                     // TOT1 of CAP_ANTI
  Decimal fundReturn;                  // TOT2 of CAP_ANTI
  std::map<LineKey, LineExact> exact;  // by the rows UP_AVAN added or the form read
  // A change: the items its lines pay as they stood before it, and the
  // contractor as his other estimates leave him. Nothing is written until
  // the change is saved.
  std::vector<ItemBefore> itemsBefore;
  bool change = false;
  CTR before{};
};

std::unique_ptr<Procedure> makeUpAvan(Program& program, db::Context& ctx, EstimateDraft* draft);
std::unique_ptr<Procedure> makePolfin(Program& program, db::Context& ctx, EstimateDraft* draft);
std::unique_ptr<Procedure> makeCapAnti(Program& program, db::Context& ctx, EstimateDraft* draft);

void addEstimateLineProcedures(Program& program);   // UP_AVAN, BUSCA_PEST
void addEstimateFinalProcedures(Program& program);  // POLFIN, CAP_ANTI

}  // namespace velmora::estimates
