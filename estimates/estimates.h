#pragma once

// DUDORE's estimates subsystem: the catalogues of the work's budget (fronts,
// processes, concepts, budget items, contractors, the budget of the work)
// and the contractor movements.

#include "framework/program.h"

namespace velmora::estimates {

// Registers every procedure of the subsystem by its name.
void addProcedures(Program& program);

// The access entries of the subsystem's windows.
namespace entry {
inline constexpr int kFronts = 3;
inline constexpr int kConcepts = 4;
inline constexpr int kContractors = 5;
inline constexpr int kBudgetItems = 6;
}  // namespace entry

}  // namespace velmora::estimates
