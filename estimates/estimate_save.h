#pragma once

// Saving and deleting contractor estimates, without a window. Each operation
// is one transaction over POLI, DPOL, PART and CONT: the header, its lines,
// the items they pay and the contractor's totals are written together or not
// at all, and the folio and the contractor's estimate number are taken
// inside it, so two stations saving at once get consecutive numbers.
//
// Every operation leaves the running totals as the audit would rebuild them:
// the items an estimate pays follow its lines (a change or a delete first
// takes its old lines off them), and the contractor is tallied again from
// his estimates. The figures the window showed are checked again on the
// files as they are when the operation writes; when another station moved
// them since, nothing is written and the message says what to review.
// UP_ESTI, CAP_EST and POL_PAG gather the inputs and show the outcome.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dictionary/storage.h"
#include "estimates/contractor_totals.h"
#include "estimates/estimate_rules.h"
#include "framework/file_errors.h"

namespace velmora::estimates {

// One row of an estimate's line list. The item's paid amount and progress
// are those the line was figured on: the save refuses the line when the
// item no longer stands there.
struct EstimateLine {
  double conc = 0;  // ESM:CO, the item number
  std::int32_t process = 0;
  std::int32_t front = 0;
  std::string text;       // ESM:DE
  std::string unit;       // ESM:UN
  Decimal paidBefore;     // ESM:AN, PAR:TPAG before the line
  double doneBefore = 0;  // PAR:AVAN before the line
  Ratio quantity;         // ESM:AC; a row without it is not saved
  Decimal amount;         // ESM:IM
  Ratio executed;         // ESM:VA
  Ratio percent;          // ESM:FI, progress of the item after the estimate
};

struct EstimateHeader {
  bool insert = true;
  // A change: the estimate as it was read when the form opened. If another
  // station changed it since, nothing is written.
  std::optional<POL> read;
  std::int16_t contractor = 0;
  std::int32_t date = 0;
  std::int32_t reference = 0;  // POL:REFE
  std::int32_t policy = 0;     // POL:NOPO
  Stamp stamp;
};

struct ProgressEstimate {
  EstimateHeader header;
  FinalValues finals;
  std::vector<EstimateLine> lines;
};

// An advance ('1') or a return of guarantee fund ('3').
struct AdvanceEntry {
  EstimateHeader header;
  char type = '1';
  Decimal amount;
};

enum class SaveStep {
  Begin,
  ReadEstimate,  // the estimate changed, or the folio could not be taken
  Refused,       // a rule refused it: `message` says which
  ReadItem,
  WriteItem,
  AddLine,
  RemoveLines,
  ReadContractor,
  WriteContractor,
  WriteEstimate,
  Commit
};

struct SaveOutcome {
  SaveStep step = SaveStep::Begin;
  // The warning's three lines for a refusal or a failure the estimate's own
  // messages name; empty when the failure is the file error of `action`.
  std::array<std::string, 3> message;
  FileAction action = FileAction::Transaction;
  POL saved{};  // the header as written
};

// Saving a progress estimate: the stored lines of the folio are taken off
// their items and replaced by the rows with a quantity, each item gets its
// new paid amount and progress, the header is written and the contractor
// tallied. Refused with no line, with a negative figure or payroll above
// the estimate, past an item's budget, and when another station moved an
// item, the contractor's loan or advance, or his last estimate since the
// window read them.
Status saveProgressEstimate(db::Context& ctx, const ProgressEstimate& input, SaveOutcome* out);

// Saving an advance or a fund return: no lines; the contractor's advances
// or fund move by the amount, which must be above 0 and within what he
// allows without it.
Status saveAdvance(db::Context& ctx, const AdvanceEntry& input, SaveOutcome* out);

// Deleting an estimate with its lines, which are taken off their items; the
// contractor is tallied again. Refused when it is posted, when it is not the
// contractor's last estimate and not an advance, when a later estimate paid
// one of its items, and when it would leave the contractor owing a negative
// advance or holding a negative fund.
Status deleteEstimate(db::Context& ctx, std::int16_t folio, const Stamp& stamp, SaveOutcome* out);

// The lines of an estimate for its form, in key order, and the items they
// pay as they stood before it (for a change: nothing is written until the
// change is saved).
Status readEstimateLines(db::Context& ctx, std::int16_t folio, std::vector<EstimateLine>& lines,
                         std::vector<ItemBefore>* before = nullptr);

}  // namespace velmora::estimates
