#include "shell/vorovid_audit.h"

namespace velmora::shell {

namespace {

WindowDescription auditWindow() {
  WindowDescription w;
  w.procedure = VorovidAudit::kName;
  w.title = "Título";
  w.controls.push_back(
      makeControl(ControlType::Prompt, "?CAPTION", "TRABAJANDO LA AUDITORIA DEL SISTEMA"));
  Control ok = makeControl(ControlType::Button, "?OK", "OK");
  ok.isDefault = true;
  w.controls.push_back(ok);
  w.controls.push_back(makeControl(ControlType::Button, "?CLOSE", "&Cierra"));
  return w;
}

}  // namespace

VorovidAudit::VorovidAudit(Program& program, db::Context& ctx)
    : Procedure(program, ctx, auditWindow()) {
  // Opened with the window and closed with it: a file that cannot be opened
  // is reported and the window does not open.
  for (const char* label : {"MAQU", "HORA", "PROV", "FACT", "PAGO", "PAGM"}) uses(label);
}

void VorovidAudit::onAccepted(const std::string& control) {
  if (dict::sameName(control, "?OK"))
    close(response::Completed);
  else if (dict::sameName(control, "?CLOSE"))
    close(response::Cancelled);
}

}  // namespace velmora::shell
