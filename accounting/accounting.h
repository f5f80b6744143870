#pragma once

// The ledger side of both programs: the chart of accounts, the banks and,
// in DUDORE, the policies of the estimates with their cheques.

#include "framework/program.h"

namespace velmora::accounting {

// The access entry of the bank form, in both programs.
namespace entry {
inline constexpr int kBanks = 2;
}

// DUDORE: CAP_CUE, CAP_BAN, UP_BAN, POL_PAG and its cheque window.
void addProcedures(Program& program);
// VOROVID: CAP_CUE, CAP_BAN and UP_BAN, whose new banks get the default
// cheque layout.
void addVorovidProcedures(Program& program);

}  // namespace velmora::accounting
