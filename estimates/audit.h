#pragma once

// AUDITORIA: the system audit of DUDORE. Its window ("Auditoría del Sistema") shows the
// step it is on in a 70-character status line; OK runs the audit to the
// end as a job (the window stays live and its status line is painted as it
// goes) and closes the window, "&Cierra" closes it without doing anything.
// While the audit runs the window cannot be closed: it closes at the end.
//
// Automatic run: a caller that wants the audit to run by itself (the
// estimates browse when it closes, the estimate form after a saved change)
// sets the program variable kAutoRunFlag to "A" just before it starts
// AUDITORIA, or calls startAutomaticAudit(). The audit clears the flag as
// soon as it opens; run that way "&Cierra" is off and OK presses itself once
// the window is up, which closes at the end. Started with the flag blank
// (the toolbar), it waits for OK and, once the audit finished, says what it
// checked and corrected; the automatic run says nothing.

#include <memory>
#include <string>
#include <string_view>

#include "framework/job.h"
#include "framework/procedure.h"

namespace velmora::estimates {

// The program-wide automatic-run flag: "A" or blank.
inline constexpr std::string_view kAutoRunFlag = "AUTOMATICO";
// The window variable behind the status line.
inline constexpr std::string_view kAuditStatus = "ESTADO_AUDITORIA";

class AuditJob;

class Auditoria : public Procedure {
 public:
  static constexpr const char* kName = "AUDITORIA";
  Auditoria(Program& program, db::Context& ctx);
  ~Auditoria() override;

  void keyPressed(Key key) override;
  void closeBox() override;
  bool automatic() const { return automatic_; }
  bool running() const { return job_ != nullptr; }

 protected:
  bool init() override;
  void windowOpened() override;
  void onAccepted(const std::string& control) override;

 private:
  void startAudit();
  void auditEnded();
  bool automatic_ = false;
  std::unique_ptr<AuditJob> job_;
};

struct AuditCounts;

// What a finished run did, as the window tells it when the audit was
// started from the toolbar (lines separated by '|').
std::string auditSummary(const AuditCounts& counts);

// Sets the automatic-run flag and starts AUDITORIA on a thread of its own.
void startAutomaticAudit(Procedure& caller);

}  // namespace velmora::estimates
