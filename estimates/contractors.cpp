#include "estimates/registry.h"

namespace velmora::estimates {

void addContractorProcedures(Program&) {}

}  // namespace velmora::estimates
