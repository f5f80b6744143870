#pragma once

// A read-only check of a month's policies against the chart of accounts and
// the estimates: what `velmora verifica` prints. Nothing is written.

#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/storage.h"

namespace velmora::accounting {

// Appends one Spanish line per difference found:
// - a policy whose debits and credits differ, or whose header total is not
//   its debits; a line of a policy that has no header;
// - a line whose account is not in the chart or is not of the last level;
// - an estimate posted in the month of the policy file (`month`, `year`:
//   its stamp) whose policy is missing or refers to another folio.
// Fails only when a table cannot be read.
Status checkLedger(db::Context& ctx, int month, int year, std::vector<std::string>& differences);

}  // namespace velmora::accounting
