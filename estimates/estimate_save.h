#pragma once

// Saving and deleting contractor estimates, without a window. Each operation
// is one transaction over POLI, DPOL, PART and CONT: the header, its lines,
// the items they pay and the contractor's totals are written together or not
// at all, and the folio and the contractor's estimate number are taken
// inside it, so two stations saving at once get consecutive numbers. UP_ESTI
// and CAP_EST gather the inputs and show the outcome.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dictionary/storage.h"
#include "estimates/estimate_rules.h"
#include "framework/file_errors.h"

namespace velmora::estimates {

// One row of an estimate's line list.
struct EstimateLine {
  double conc = 0;  // ESM:CO, the item number
  std::int32_t process = 0;
  std::int32_t front = 0;
  std::string text;    // ESM:DE
  std::string unit;    // ESM:UN
  Decimal paidBefore;  // ESM:AN
  Decimal quantity;    // ESM:AC; a row without it is not saved
  Decimal amount;      // ESM:IM
  Decimal executed;    // ESM:VA
  Decimal percent;     // ESM:FI, progress of the item after the estimate
};

// Who writes, for the stamp of every record written.
struct Stamp {
  std::int32_t user = 0;
  std::int32_t date = 0;
  std::int32_t time = 0;
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

// Saving a progress estimate: the stored lines of the folio are replaced by
// the rows with a quantity, each item gets its new paid amount and
// progress, the contractor is moved on (written on insert; a change is
// left to the audit) and the header written.
Status saveProgressEstimate(db::Context& ctx, const ProgressEstimate& input, SaveOutcome* out);

// Saving an advance or a fund return: no lines; the contractor's advances
// or fund move by the amount, which must be above 0 and within what he
// allows.
Status saveAdvance(db::Context& ctx, const AdvanceEntry& input, SaveOutcome* out);

// Deleting an estimate with its lines. Refused when it is posted, or when it
// is not the contractor's last estimate and not an advance. The running
// totals are left to the audit.
Status deleteEstimate(db::Context& ctx, std::int16_t folio, SaveOutcome* out);

// The lines of an estimate for its form, in key order. With `rollBack` the
// items they paid go back to their values before it, in one transaction.
Status readEstimateLines(db::Context& ctx, std::int16_t folio, bool rollBack, const Stamp& stamp,
                         std::vector<EstimateLine>& lines);

}  // namespace velmora::estimates
