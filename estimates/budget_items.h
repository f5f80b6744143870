#pragma once

// CAP_PART and UP_PART: the budget items of the work (one per concept,
// process and front) with their contractor. From the list, "C&ontratistas"
// assigns the contractor (UP_DEOB) and "Cambia Contratista" hands part of an
// item to another contractor as a sub-item (CAM_CONT).

#include <memory>

#include "estimates/item_numbers.h"  // the list picks items by number
#include "framework/browse.h"
#include "framework/form.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeCapPart(Program& program, db::Context& ctx);
std::unique_ptr<Procedure> makeUpPart(Program& program, db::Context& ctx);

// The list's own buttons.
inline constexpr const char* kAssignButton = "?CONTRATISTAS";
inline constexpr const char* kTransferButton = "?CAMBIA_CONTRATISTA";

}  // namespace velmora::estimates
