#include "programs/shell/procedures.h"

#include "accounting/accounting.h"
#include "equipment/equipment.h"
#include "equipment/reports/equipment_reports.h"
#include "estimates/estimates.h"
#include "estimates/reports/estimate_catalogue.h"
#include "exchange/budget_import.h"
#include "exchange/office.h"
#include "shell/main_frame.h"

namespace velmora {

void addProgramProcedures(Program& program, const shell::ShellProgram& shell,
                          const std::string& programFolder) {
  shell::addShellProcedures(program, shell, programFolder);
  if (shell.suite == shell::Suite::Dudore) {
    estimates::addProcedures(program);
    reports::addEstimateReportProcedures(program);
    accounting::addProcedures(program);
    exchange::addBudgetImportProcedures(program);
    exchange::addOfficeProcedures(program);
  }
  if (shell.suite == shell::Suite::Vorovid) {
    equipment::addProcedures(program);
    accounting::addVorovidProcedures(program);
    reports::addEquipmentReportProcedures(program);
  }
}

}  // namespace velmora
