#include "estimates/registry.h"

namespace velmora::estimates {

void addBudgetItemProcedures(Program&) {}

}  // namespace velmora::estimates
