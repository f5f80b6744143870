#pragma once

// The import of the hours the budget needs: the budgeting system's
// materials explosion leaves one HORA line per equipment; the import turns
// them into the equipment of one front (MAQU), the processes they belong to
// (PROB) and the front's equipment budget (FREN). IMPORTA gathers the
// options, asks before the clean-up and shows the outcome; the rules run
// without it, all of them in one transaction.

#include <cstdint>

#include "dictionary/decimal.h"
#include "dictionary/storage.h"
#include "framework/file_errors.h"

namespace velmora::equipment {

struct HoursImport {
  std::int32_t front = 0;  // the front the equipment goes to
  Decimal factor;          // hours required = budget hours x factor
  bool accumulate = true;  // add to the equipment already there
};

// What the clean-up of an import that does not accumulate would delete:
// the equipment of every front with neither progress nor amount and that no
// invoice refers to.
struct CleanUp {
  std::int64_t records = 0;
  int fronts = 0;
};
Status countCleanUp(db::Context& ctx, CleanUp& out);

struct ImportResult {
  int lines = 0;        // HORA lines read
  int added = 0;        // equipment added
  int accumulated = 0;  // equipment that took more hours
  int kept = 0;         // lines whose equipment stayed as it was (it has progress)
  int processes = 0;    // processes created
  std::int64_t deleted = 0;
  Decimal budget;  // the front's new equipment budget
  // The step a failure stopped at, for the message that reports it.
  FileAction failedAt = FileAction::Transaction;
};

// Runs the import: all of it or, on any failure, nothing. Refuses
// (ValueRefused) a front of 0, a factor that is not above 0 and an empty
// HORA; a front that is not on file is RecordNotFound on FREN. New
// processes are numbered in steps of 10 after the highest on file.
Status importHours(db::Context& ctx, const HoursImport& input, ImportResult* result = nullptr);

}  // namespace velmora::equipment
