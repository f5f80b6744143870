#pragma once

// CAP_COES and UP_COES: the catalogue of the work's estimate concepts, with
// the full description of each concept.

#include <memory>

#include "framework/browse.h"
#include "framework/form.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeCapCoes(Program& program, db::Context& ctx);
std::unique_ptr<Procedure> makeUpCoes(Program& program, db::Context& ctx);

}  // namespace velmora::estimates
