#pragma once

// IMP_UNA: one accounting policy as it goes round for signatures: its
// header, one line per entry with the account's name, the debits and
// credits with their sums, and the boxes "REVISO:", "AUTORIZO:" and
// "RECIBE CHEQUE:". Previewed, printed and saved through the report engine.

#include <cstdint>
#include <memory>

#include "dictionary/storage.h"
#include "framework/procedure.h"
#include "reports/report.h"

namespace velmora::accounting {

// The report of policy `policy` of the month's files; `today` names the
// month it prints. The context's POLMES, DETMES and CUEN are read.
std::unique_ptr<reports::Report> makeImpUna(db::Context& ctx, std::int32_t policy,
                                            std::int32_t today);

// Runs IMP_UNA for `caller` as every report runs: destination, progress,
// then the preview or the printer. The report's response (1 or 2).
int printPolicy(Procedure& caller, std::int32_t policy, std::int32_t today);

}  // namespace velmora::accounting
