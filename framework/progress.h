#pragma once

// The progress window of long work (reports, imports, transfers, upgrades):
// it starts its job as soon as it is up, shows the job's caption and percent
// as they change, and closes by itself when the job ends. "Cancela", Esc or
// the close box ask the job to stop; the window closes once it has.

#include <string>

#include "framework/job.h"
#include "framework/procedure.h"

namespace velmora {

class ProgressWindow : public Procedure {
 public:
  static constexpr const char* kName = "PROGRESO";
  // The job must outlive the window.
  ProgressWindow(Program& program, db::Context& ctx, std::string title, Job& job);

  void keyPressed(Key key) override;
  void closeBox() override;

 protected:
  void windowOpened() override;
  void onAccepted(const std::string& control) override;

 private:
  void show(const Job& job);
  void cancel();
  Job& job_;
  bool running_ = false;
};

}  // namespace velmora
