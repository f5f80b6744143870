#pragma once

// AUDITORIA of VOROVID: a small window that opens the equipment tables of
// the work and closes them again. Both buttons close it; nothing is
// recomputed (the system audit with its recalculations is DUDORE's).

#include "framework/procedure.h"

namespace velmora::shell {

class VorovidAudit : public Procedure {
 public:
  static constexpr const char* kName = "AUDITORIA";
  VorovidAudit(Program& program, db::Context& ctx);

 protected:
  void onAccepted(const std::string& control) override;
};

}  // namespace velmora::shell
