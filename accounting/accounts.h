#pragma once

// CAP_CUE: the chart of accounts, to choose an account and to delete one
// that never moved. Accounts are created and changed in the accounting
// system, so the browse has no form.

#include <memory>

#include "framework/browse.h"

namespace velmora::accounting {

std::unique_ptr<Procedure> makeCapCue(Program& program, db::Context& ctx);

}  // namespace velmora::accounting
