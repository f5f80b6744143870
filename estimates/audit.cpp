#include "estimates/audit.h"

#include <vector>

#include "estimates/audit_engine.h"
#include "estimates/registry.h"
#include "framework/file_errors.h"

namespace velmora::estimates {

namespace {

WindowDescription auditWindow() {
  WindowDescription w;
  w.procedure = Auditoria::kName;
  w.title = "Auditoría del Sistema";
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

// The audit engine as a job: one batch of the run per step.
class AuditJob : public Job {
 public:
  AuditJob(db::Context& ctx, AuditEvents events) : run_(ctx, announcing(std::move(events))) {}
  bool step() override { return !cancelled() && run_.step(); }
  const AuditRun& run() const { return run_; }

 private:
  AuditEvents announcing(AuditEvents events) {
    events.caption = [this, show = std::move(events.caption)](const std::string& caption) {
      if (show) show(caption);
      setCaption(caption);
    };
    return events;
  }
  AuditRun run_;
};

Auditoria::Auditoria(Program& program, db::Context& ctx) : Procedure(program, ctx, auditWindow()) {}

// A window closed under a running audit (the program ends) drops the run
// where it is, which the next audit repairs.
Auditoria::~Auditoria() = default;

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

void Auditoria::startAudit() {
  AuditEvents events;
  events.caption = [this](const std::string& caption) {
    program_.setVar(kAuditStatus, caption);
    refresh("?ESTADO");
  };
  events.warning = [this](const std::array<std::string, 3>& lines) {
    warn(lines[0], lines[1], lines[2]);
  };
  events.storageError = [this](const Status& st, FileAction action) { fileError(st, action); };
  job_ = std::make_unique<AuditJob>(ctx_, std::move(events));
  JobEvents run;
  run.done = [this](JobOutcome) { auditEnded(); };
  runJob(*job_, std::move(run));
}

void Auditoria::auditEnded() {
  const AuditRun& run = job_->run();
  if (run.stopped()) fileError(run.failure(), run.failureAction());
  const bool finished = run.finished();
  if (finished && !automatic_) {
    MessageBox box;
    box.title = "Auditoría del Sistema";
    box.text = auditSummary(run.counts());
    host().show(box);
  }
  job_.reset();
  close(finished ? response::Completed : response::Cancelled);
}

void Auditoria::onAccepted(const std::string& control) {
  if (running()) return;
  if (dict::sameName(control, "?OK")) {
    disable("?OK");
    disable("?CLOSE");
    startAudit();
  } else if (dict::sameName(control, "?CLOSE")) {
    close(response::Cancelled);
  }
}

void Auditoria::closeBox() {
  // The audit closes the window itself when it ends.
  if (!running()) Procedure::closeBox();
}

void Auditoria::keyPressed(Key key) {
  // Enter presses the button that has the focus, OK (the default) otherwise.
  if (key == Key::Enter || key == Key::CtrlEnter)
    accepted(dict::sameName(focused(), "?CLOSE") ? "?CLOSE" : "?OK");
  else
    Procedure::keyPressed(key);
}

namespace {

std::string count(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "a, b y c"
std::string listed(const std::vector<std::string>& parts) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i)
    out += (i == 0 ? "" : i + 1 == parts.size() ? " y " : ", ") + parts[i];
  return out;
}

}  // namespace

std::string auditSummary(const AuditCounts& c) {
  std::string text = "La auditoría del sistema terminó.|Revisados: " +
                     listed({count(c.contractorsRead, "contratista", "contratistas"),
                             count(c.itemsRead, "concepto de obra", "conceptos de obra"),
                             count(c.estimatesRead, "estimación", "estimaciones"),
                             count(c.linesRead, "renglón", "renglones")}) +
                     ".";
  if (c.changedNothing() && c.storageErrors == 0) return text + "|No hubo nada que corregir.";
  std::vector<std::string> fixed;
  if (c.estimatesWritten) fixed.push_back(count(c.estimatesWritten, "estimación", "estimaciones"));
  if (c.contractorsWritten)
    fixed.push_back(count(c.contractorsWritten, "contratista", "contratistas"));
  if (c.itemsWritten)
    fixed.push_back(count(c.itemsWritten, "concepto de obra", "conceptos de obra"));
  if (c.linesWritten) fixed.push_back(count(c.linesWritten, "renglón", "renglones"));
  if (!fixed.empty()) text += "|Corregidos: " + listed(fixed) + ".";
  if (c.linesDeleted)
    text += "|Borrados: " + count(c.linesDeleted, "renglón", "renglones") +
            " de conceptos que ya no existen.";
  if (c.contractorsCreated)
    text += "|Dados de alta: " + count(c.contractorsCreated, "contratista", "contratistas") +
            " que faltaba" + (c.contractorsCreated == 1 ? "" : "n") + " en el archivo.";
  if (c.storageErrors)
    text += "|No se pudieron grabar: " + count(c.storageErrors, "registro", "registros") + ".";
  return text;
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
