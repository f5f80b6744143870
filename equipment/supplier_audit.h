#pragma once

// VOROVID's system audit, without a window: it rebuilds the keys of the
// equipment, supplier, invoice and payment files and recomputes every
// running total their records give:
//   each equipment supplier's invoiced total (PRV:TFAC, amount plus tax of
//   his invoices), paid total (PRV:TPAG) and advances applied (PRV:AAMO)
//   from his invoice payments, and advances given (PRV:ANTI) from his
//   advance payments;
//   each invoice's paid amount (FAM:PAGO) from its payments;
//   each budget item's equipment cost (PAR:TEQU) from the invoices charged
//   to it;
//   each equipment's hours and amount invoiced (MAQ:RECI, MAQ:IMPO) from
//   its invoices on its front.
// Bank balances and the ledger are the ledger's: `velmora verifica` checks
// them. Amounts are summed in cents.
//
// Everything after the keys is read and written inside one transaction,
// so a posting of another station is either wholly counted or waits; the
// run advances one bounded batch per step(), so a window keeps its status
// line alive. With `check` it writes nothing and lists what it would
// correct.

#include <memory>
#include <string>
#include <vector>

#include "dictionary/storage.h"
#include "framework/file_errors.h"

namespace velmora::equipment {

struct SupplierAuditCounts {
  int suppliersWritten = 0;
  int invoicesWritten = 0;
  int itemsWritten = 0;
  int equipmentWritten = 0;
  bool changedNothing() const {
    return suppliersWritten + invoicesWritten + itemsWritten + equipmentWritten == 0;
  }
};

class SupplierAudit {
 public:
  static constexpr int kBatch = 2000;
  // The tables it works on, in the order their keys are rebuilt.
  static constexpr const char* kTables[] = {"MAQU", "PROV", "FAMA", "PAGM", "PART"};

  explicit SupplierAudit(db::Context& ctx, bool check = false);
  ~SupplierAudit();
  SupplierAudit(const SupplierAudit&) = delete;
  SupplierAudit& operator=(const SupplierAudit&) = delete;

  // One batch; false when nothing is left (finished or stopped).
  bool step();
  void run() {
    while (step()) {
    }
  }
  bool finished() const;
  bool stopped() const;
  const Status& failure() const;
  FileAction failureAction() const;
  // What the current step does, for a status line.
  std::string caption() const;
  int percent() const;

  const SupplierAuditCounts& counts() const;
  // What was (or, checking, would be) corrected, one line each, in Spanish.
  const std::vector<std::string>& differences() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace velmora::equipment
