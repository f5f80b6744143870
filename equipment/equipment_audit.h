#pragma once

// AUDITORIA of VOROVID: a small window over the equipment tables of the
// work. They are opened with the window (a file that cannot be opened is
// reported and the window does not open); OK runs the supplier audit
// (supplier_audit.h) as a job, says what it corrected and closes the
// window; "&Cierra" closes it at once.

#include <memory>

#include "framework/job.h"
#include "framework/procedure.h"

namespace velmora::equipment {

class EquipmentAudit : public Procedure {
 public:
  static constexpr const char* kName = "AUDITORIA";
  // The tables it opens, in order.
  static constexpr const char* kTables[] = {"MAQU", "HORA", "PROV", "FAMA", "PAGM", "PART"};

  EquipmentAudit(Program& program, db::Context& ctx);
  ~EquipmentAudit() override;

  void closeBox() override;
  bool running() const { return job_ != nullptr; }

 protected:
  void onAccepted(const std::string& control) override;

 private:
  std::unique_ptr<Job> job_;
};

}  // namespace velmora::equipment
