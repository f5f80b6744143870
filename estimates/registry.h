#pragma once

// Each group of the subsystem's windows registers its own procedures.

#include "framework/program.h"

namespace velmora::estimates {

void addFrontProcedures(Program& program);       // CAP_FRE, UP_FRE, CAP_PROC, UP_PROC
void addConceptProcedures(Program& program);     // CAP_COES, UP_COES
void addContractorProcedures(Program& program);  // CAP_DEST, UP_DEST
void addBudgetProcedures(Program& program);      // PRESUP
void addBudgetItemProcedures(Program& program);  // CAP_PART, UP_PART, UP_DEOB, CAM_CONT
void addAuditProcedures(Program& program);       // AUDITORIA
// CAP_EST, UP_ESTI, UP_AVAN, BUSCA_PEST, POLFIN, CAP_ANTI
void addEstimateProcedures(Program& program);

}  // namespace velmora::estimates
