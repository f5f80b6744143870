#pragma once

// VOROVID's machinery and equipment subsystem.

#include "framework/program.h"

namespace velmora::equipment {

// Registers every procedure of the subsystem by its name.
void addProcedures(Program& program);

// Each group of the subsystem's windows registers its own procedures.
// CAP_EQUI, UP_EQUI, CAP_FRE, UP_FRE, CAP_PROC, UP_PROC, CAP_EMPL, UP_EMPL, CAP_PART
void addCatalogueProcedures(Program& program);
void addSupplierProcedures(Program& program);  // CAP_PROV, UP_PROV and the chosen supplier NPRV
void addImportProcedures(Program& program);    // IMPORTA
void addInvoiceProcedures(Program& program);   // CAP_FACT, UP_FACT
void addPaymentProcedures(Program& program);   // CAP_PAGO, UP_PAGO, BUSCA_FACT

// The access entries of the subsystem's windows.
namespace entry {
inline constexpr int kImport = 1;  // also deleting employees
inline constexpr int kFronts = 3;
inline constexpr int kEquipment = 4;
inline constexpr int kInvoices = 6;
inline constexpr int kPayments = 6;
inline constexpr int kSuppliers = 7;
inline constexpr int kSupplierDelete = 9;
}  // namespace entry

}  // namespace velmora::equipment
