#include "estimates/registry.h"

namespace velmora::estimates {

void addConceptProcedures(Program&) {}

}  // namespace velmora::estimates
