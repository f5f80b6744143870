#include "equipment/equipment.h"

#include "equipment/equipment_audit.h"

namespace velmora::equipment {

void addProcedures(Program& program) {
  program.addProcedure(EquipmentAudit::kName, [](Program& p, db::Context& c) {
    return std::make_unique<EquipmentAudit>(p, c);
  });
  addCatalogueProcedures(program);
  addSupplierProcedures(program);
  addImportProcedures(program);
  addInvoiceProcedures(program);
  addPaymentProcedures(program);
}

}  // namespace velmora::equipment
