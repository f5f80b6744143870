#include "equipment/equipment_audit.h"

#include <string>

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
    if (!st) {
      reportFileError(owner_.program().messages(), errors_, st, FileAction::Read);
      ++damaged_;
    } else {
      records_ += count;
    }
    return next_ < std::size(EquipmentAudit::kTables);
  }
  // What the window tells at the end (lines separated by '|').
  std::string summary() const {
    const std::size_t files = std::size(EquipmentAudit::kTables);
    std::string text = "La auditoría del sistema terminó.|Se revisaron " + std::to_string(files) +
                       " archivos de la obra con " + std::to_string(records_) + " registro" +
                       (records_ == 1 ? "" : "s") + ".";
    if (damaged_ > 0)
      text += damaged_ == 1 ? std::string("|No se pudo leer 1 archivo.")
                            : "|No se pudieron leer " + std::to_string(damaged_) + " archivos.";
    return text;
  }

 private:
  Procedure& owner_;
  ErrorContext& errors_;
  std::size_t next_ = 0;
  std::int64_t records_ = 0;
  int damaged_ = 0;
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
      // Only the toolbar starts it: it always says what it did.
      MessageBox box;
      box.title = "Auditoría del Sistema";
      box.text = static_cast<TableCheck&>(*job_).summary();
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
