#include "estimates/estimates.h"

#include "estimates/registry.h"

namespace velmora::estimates {

void addProcedures(Program& program) {
  addFrontProcedures(program);
  addConceptProcedures(program);
  addContractorProcedures(program);
  addBudgetProcedures(program);
  addBudgetItemProcedures(program);
  addAuditProcedures(program);
  addEstimateProcedures(program);
}

}  // namespace velmora::estimates
