#pragma once

// The ledger side of both programs: the chart of accounts, the banks and,
// in DUDORE, the policies of the estimates with their cheques.

#include "framework/program.h"

namespace velmora::accounting {

namespace entry {
// The bank form and the chart of accounts, in both programs.
inline constexpr int kBanks = 2;
inline constexpr int kAccounts = kBanks;
// The estimates' own: posting an estimate or printing its cheque is a
// change of the estimate (level 3), deleting one a delete.
inline constexpr int kEstimatePolicies = 7;
}  // namespace entry

// DUDORE: CAP_CUE, CAP_BAN, UP_BAN, POL_PAG with its cheque window and
// POL_CHEQ, the posted estimates whose cheque may be printed again.
void addProcedures(Program& program);
// VOROVID: CAP_CUE, CAP_BAN and UP_BAN, whose new banks get the default
// cheque layout.
void addVorovidProcedures(Program& program);

}  // namespace velmora::accounting
