#pragma once

// PRESUP: the budget of the work as the budgeting system calculated it,
// row by row (headings, concepts, subtotals), with its direct cost. Shown
// only; also the lookup of budget rows.

#include <memory>

#include "framework/browse.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makePresup(Program& program, db::Context& ctx);

}  // namespace velmora::estimates
