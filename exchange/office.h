#pragma once

// OFICINA, "ENVIO/RECEPCION DE ARCHIVOS": sends the estimate tables of the
// current work to a directory, or receives another office's files into it.

#include "framework/procedure.h"

namespace velmora::exchange {

inline constexpr const char* kOfficeName = "OFICINA";

void addOfficeProcedures(Program& program);

}  // namespace velmora::exchange
