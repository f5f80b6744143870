#include "estimates/registry.h"

namespace velmora::estimates {

void addAuditProcedures(Program&) {}

}  // namespace velmora::estimates
