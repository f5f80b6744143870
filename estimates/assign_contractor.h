#pragma once

// UP_DEOB: assigns the contractor of the highlighted budget item and how
// much of its labour budget he estimates, given as a percentage, a unit
// price or an amount; each one entered recomputes the other two.

#include <memory>

#include "framework/procedure.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeUpDeob(Program& program, db::Context& ctx);

}  // namespace velmora::estimates
