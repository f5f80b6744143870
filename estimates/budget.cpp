#include "estimates/registry.h"

namespace velmora::estimates {

void addBudgetProcedures(Program&) {}

}  // namespace velmora::estimates
