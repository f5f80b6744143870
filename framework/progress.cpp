#include "framework/progress.h"

namespace velmora {

namespace {

constexpr const char* kCaption = "PROGRESO_TEXTO";
constexpr const char* kPercent = "PROGRESO_PORCIENTO";

WindowDescription progressWindow(std::string title) {
  WindowDescription w;
  w.procedure = ProgressWindow::kName;
  w.title = std::move(title);
  w.controls.push_back(makeControl(ControlType::Text, "?CAPTION", {}, kCaption, "@s60"));
  w.controls.push_back(makeControl(ControlType::Text, "?PERCENT", {}, kPercent, "@s5"));
  Control cancel = makeControl(ControlType::Button, "?CANCEL", "Cancela");
  cancel.isDefault = true;
  w.controls.push_back(cancel);
  return w;
}

}  // namespace

ProgressWindow::ProgressWindow(Program& program, db::Context& ctx, std::string title, Job& job)
    : Procedure(program, ctx, progressWindow(std::move(title))), job_(job) {
  setLocal(kCaption, std::string());
  setLocal(kPercent, std::string());
}

void ProgressWindow::show(const Job& job) {
  setLocal(kCaption, job.caption());
  setLocal(kPercent, job.percent() < 0 ? std::string() : std::to_string(job.percent()) + " %");
  refresh("?CAPTION");
  refresh("?PERCENT");
}

void ProgressWindow::windowOpened() {
  running_ = true;
  show(job_);
  JobEvents events;
  events.progress = [this](const Job& job) { show(job); };
  events.done = [this](JobOutcome outcome) {
    running_ = false;
    close(outcome == JobOutcome::Finished ? response::Completed : response::Cancelled);
  };
  runJob(job_, std::move(events));
}

void ProgressWindow::cancel() {
  if (!running_) return close(response::Cancelled);
  job_.cancel();
  disable("?CANCEL");
}

void ProgressWindow::onAccepted(const std::string& control) {
  if (dict::sameName(control, "?CANCEL")) cancel();
}

void ProgressWindow::keyPressed(Key key) {
  if (key == Key::Esc)
    cancel();
  else
    Procedure::keyPressed(key);
}

void ProgressWindow::closeBox() { cancel(); }

}  // namespace velmora
