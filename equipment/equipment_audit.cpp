#include "equipment/equipment_audit.h"

#include "framework/file_errors.h"

namespace velmora::equipment {

namespace {

WindowDescription auditWindow() {
  WindowDescription w;
  w.procedure = EquipmentAudit::kName;
  w.title = "Título";
  w.controls.push_back(
      makeControl(ControlType::Prompt, "?CAPTION", "TRABAJANDO LA AUDITORIA DEL SISTEMA"));
  Control ok = makeControl(ControlType::Button, "?OK", "OK");
  ok.isDefault = true;
  w.controls.push_back(ok);
  w.controls.push_back(makeControl(ControlType::Button, "?CLOSE", "&Cierra"));
  return w;
}

// One table per step: a file that cannot be read is reported and the
// others are still read.
class TableCheck : public Job {
 public:
  TableCheck(Procedure& owner, ErrorContext& errors) : owner_(owner), errors_(errors) {}
  bool step() override {
    if (next_ >= std::size(EquipmentAudit::kTables)) return false;
    std::int64_t count = 0;
    Status st = owner_.table(EquipmentAudit::kTables[next_++]).records(count);
    if (!st) reportFileError(owner_.program().messages(), errors_, st, FileAction::Read);
    return next_ < std::size(EquipmentAudit::kTables);
  }

 private:
  Procedure& owner_;
  ErrorContext& errors_;
  std::size_t next_ = 0;
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
    job_ = std::make_unique<TableCheck>(*this, errors_);
    JobEvents events;
    events.done = [this](JobOutcome) {
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
