#pragma once

// VOROVID's machinery and equipment subsystem.

#include "framework/program.h"

namespace velmora::equipment {

// Registers every procedure of the subsystem by its name.
void addProcedures(Program& program);

}  // namespace velmora::equipment
