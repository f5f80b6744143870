#pragma once

// AUDITORIA of VOROVID: a small window over the equipment tables of the
// work. They are opened with the window (a file that cannot be opened is
// reported and the window does not open); OK goes through each of them as a
// job, reading its record count so that a damaged file is reported, and
// closes the window at the end; "&Cierra" closes it at once. Nothing is
// recomputed (the system audit with its recalculations is DUDORE's).

#include <memory>

#include "framework/job.h"
#include "framework/procedure.h"

namespace velmora::equipment {

class EquipmentAudit : public Procedure {
 public:
  static constexpr const char* kName = "AUDITORIA";
  // The tables it opens, in order.
  static constexpr const char* kTables[] = {"MAQU", "HORA", "PROV", "FACT", "PAGO", "PAGM"};

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
