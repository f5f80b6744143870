#pragma once

// CAP_DEST and UP_DEST: the contractors of the work with their terms
// (advance amortisation, guarantee fund, IVA). CAP_DEST is also the
// contractor lookup of the other forms, where choosing a contractor whose
// amortisation cannot recover his advance warns of the risk.

#include <memory>

#include "framework/browse.h"
#include "framework/form.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeCapDest(Program& program, db::Context& ctx);
std::unique_ptr<Procedure> makeUpDest(Program& program, db::Context& ctx);

}  // namespace velmora::estimates
