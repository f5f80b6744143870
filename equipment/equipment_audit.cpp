#include "equipment/equipment_audit.h"

#include <fmt/core.h>

#include <string>

#include "equipment/supplier_audit.h"
#include "framework/file_errors.h"

namespace velmora::equipment {

namespace {

WindowDescription auditWindow() {
  WindowDescription w;
  w.procedure = EquipmentAudit::kName;
  w.title = "Auditoría del Sistema";
  w.controls.push_back(
      makeControl(ControlType::Prompt, "?CAPTION", "TRABAJANDO LA AUDITORIA DEL SISTEMA"));
  Control ok = makeControl(ControlType::Button, "?OK", "OK");
  ok.isDefault = true;
  w.controls.push_back(ok);
  w.controls.push_back(makeControl(ControlType::Button, "?CLOSE", "&Cierra"));
  return w;
}

// The audit run as a job: its caption and percent for the status line.
class AuditJob : public Job {
 public:
  explicit AuditJob(db::Context& ctx) : run_(ctx) {}
  bool step() override {
    const bool more = run_.step();
    setCaption(run_.caption());
    setPercent(run_.percent());
    return more;
  }
  // Stopping halfway would leave nothing written: the run keeps every
  // write in one transaction until its end.
  const SupplierAudit& run() const { return run_; }

  // What the window tells at the end (lines separated by '|').
  std::string summary() const {
    if (run_.stopped()) return "La auditoría se detuvo:|" + run_.failure().text;
    const SupplierAuditCounts& c = run_.counts();
    if (c.changedNothing())
      return "La auditoría del sistema terminó.|Todos los acumulados estaban correctos.";
    return fmt::format(
        "La auditoría del sistema terminó.|Se corrigieron {} proveedores, {} facturas, {} "
        "partidas y {} equipos.",
        c.suppliersWritten, c.invoicesWritten, c.itemsWritten, c.equipmentWritten);
  }

 private:
  SupplierAudit run_;
};

}  // namespace

EquipmentAudit::EquipmentAudit(Program& program, db::Context& ctx)
    : Procedure(program, ctx, auditWindow()) {
  for (const char* label : kTables) uses(label);
}

EquipmentAudit::~EquipmentAudit() = default;

void EquipmentAudit::onAccepted(const std::string& control) {
  if (running()) return;
  if (dict::sameName(control, "?OK")) {
    disable("?OK");
    disable("?CLOSE");
    errors_ = ErrorContext{};
    errors_.thread = ctx_.thread();
    job_ = std::make_unique<AuditJob>(ctx_);
    JobEvents events;
    events.done = [this](JobOutcome) {
      // Only the toolbar starts it: it always says what it did.
      MessageBox box;
      box.title = "Auditoría del Sistema";
      const auto& audit = static_cast<AuditJob&>(*job_);
      if (audit.run().stopped())
        reportFileError(program().messages(), errors_, audit.run().failure(),
                        audit.run().failureAction());
      box.text = audit.summary();
      host().show(box);
      job_.reset();
      close(response::Completed);
    };
    runJob(*job_, std::move(events));
  } else if (dict::sameName(control, "?CLOSE")) {
    close(response::Cancelled);
  }
}

void EquipmentAudit::closeBox() {
  if (!running()) Procedure::closeBox();
}

}  // namespace velmora::equipment
