#pragma once

// CAM_CONT: hands part of the highlighted budget item to another
// contractor. The units and amount handed over leave the item and become a
// new sub-item of the same concept (C + 0.01 ... C + 0.99), with the same
// process and front, assigned to the receiving contractor.

#include <memory>

#include "framework/procedure.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeCamCont(Program& program, db::Context& ctx);

}  // namespace velmora::estimates
