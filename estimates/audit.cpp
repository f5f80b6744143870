#include "estimates/audit.h"

#include "estimates/audit_engine.h"
#include "estimates/registry.h"
#include "framework/file_errors.h"

namespace velmora::estimates {

namespace {

WindowDescription auditWindow() {
  WindowDescription w;
  w.procedure = Auditoria::kName;
  w.title = "Título";
  w.controls.push_back(
      makeControl(ControlType::Prompt, "?CAPTION", "TRABAJANDO LA AUDITORIA DEL SISTEMA"));
  w.controls.push_back(
      makeControl(ControlType::Text, "?ESTADO", {}, std::string(kAuditStatus), "@s70"));
  Control ok = makeControl(ControlType::Button, "?OK", "OK");
  ok.isDefault = true;
  w.controls.push_back(ok);
  w.controls.push_back(makeControl(ControlType::Button, "?CLOSE", "&Cierra"));
  return w;
}

}  // namespace

Auditoria::Auditoria(Program& program, db::Context& ctx) : Procedure(program, ctx, auditWindow()) {}

bool Auditoria::init() {
  if (!Procedure::init()) return false;
  automatic_ = toText(program_.var(kAutoRunFlag)) == "A";
  program_.setVar(kAutoRunFlag, std::string());
  program_.setVar(kAuditStatus, std::string());
  // Run by itself, the user can only watch: "&Cierra" is off and OK is
  // pressed as soon as the window is up.
  if (automatic_) disable("?CLOSE");
  return true;
}

void Auditoria::windowOpened() {
  if (automatic_) accepted("?OK");
}

bool Auditoria::runAudit() {
  AuditEvents events;
  events.caption = [this](const std::string& caption) {
    program_.setVar(kAuditStatus, caption);
    refresh("?ESTADO");
  };
  events.warning = [this](const std::array<std::string, 3>& lines) {
    warn(lines[0], lines[1], lines[2]);
  };
  events.storageError = [this](const Status& st, FileAction action) { fileError(st, action); };
  AuditRun run(ctx_, std::move(events));
  while (run.step()) {
  }
  if (run.stopped()) fileError(run.failure(), run.failureAction());
  return run.finished();
}

void Auditoria::onAccepted(const std::string& control) {
  if (dict::sameName(control, "?OK")) {
    disable("?OK");
    disable("?CLOSE");
    bool finished = runAudit();
    close(finished ? response::Completed : response::Cancelled);
  } else if (dict::sameName(control, "?CLOSE")) {
    close(response::Cancelled);
  }
}

void Auditoria::keyPressed(Key key) {
  // Enter presses the button that has the focus, OK (the default) otherwise.
  if (key == Key::Enter || key == Key::CtrlEnter)
    accepted(dict::sameName(focused(), "?CLOSE") ? "?CLOSE" : "?OK");
  else
    Procedure::keyPressed(key);
}

void startAutomaticAudit(Procedure& caller) {
  caller.program().setVar(kAutoRunFlag, std::string("A"));
  caller.start(Auditoria::kName);
}

void addAuditProcedures(Program& program) {
  program.declare(kAutoRunFlag, Value(std::string()));
  program.declare(kAuditStatus, Value(std::string()));
  program.addProcedure(Auditoria::kName, [](Program& p, db::Context& c) {
    return std::make_unique<Auditoria>(p, c);
  });
}

}  // namespace velmora::estimates
