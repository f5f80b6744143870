#pragma once

// The script host: runs procedures headless from a line-oriented script and
// writes a transcript of everything the user would have seen. See
// docs/script.md for the language.

#include <deque>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "framework/procedure.h"
#include "ui/script/script_services.h"

namespace velmora {

// A key by the name scripts give it ("CtrlEnd", "PageDown"), any case.
std::optional<Key> keyNamed(std::string_view name);

class ScriptHost : public Host {
 public:
  ScriptHost(Program& program, std::istream& script, std::ostream& transcript);
  ~ScriptHost() override;

  // Runs the script to its end. Returns 0, 1 after a line the host could
  // not carry out (the transcript says which and why), or 3 when a fatal
  // message stopped the program.
  int run();
  // The same status for a script that drives a program's own start.
  int status() const { return stopped_ ? 3 : failed_ ? 1 : 0; }

  // Host
  void warn(const WarningLines& lines) override;
  bool choose(const WarningLines& lines) override;
  int show(const MessageBox& box) override;
  void stopProgram() override;
  void opened(Procedure& p) override;
  void runModal(Procedure& p) override;
  void closed(Procedure& p) override;
  void start(std::unique_ptr<Procedure> p) override;
  void place(Procedure&, const WindowPlacement&) override {}
  std::optional<WindowPlacement> placement(Procedure&) override { return std::nullopt; }
  void refresh(Procedure&, const std::string&) override {}
  void focus(Procedure&, const std::string&) override {}
  void saveFailed(Procedure& p, const Status& st) override;
  JobHost& jobs() override { return jobs_; }
  DocumentHost& documents() override { return documents_; }

 private:
  bool nextLine(std::vector<std::string>& words);
  // Carries out one line in a window, or at the top when p is null.
  bool execute(Procedure* p, const std::vector<std::string>& words);
  bool fail(const std::string& why);
  void printPage(const ListPart& list);
  void printHeaders(const ListPart& list);
  void printRecord(db::Table& t);
  std::string nextAnswer(const std::string& fallback);
  // True when the same question comes back with no line of the script read
  // in between, over and over: a retry that cannot succeed.
  bool askedInALoop(const std::string& question);

  Program& program_;
  std::istream& in_;
  std::ostream& out_;
  int line_ = 0;
  bool failed_ = false;
  bool stopped_ = false;
  std::deque<std::string> answers_;
  std::string lastQuestion_;
  int lastQuestionLine_ = -1;
  int repeats_ = 0;
  std::vector<std::unique_ptr<Procedure>> started_;
  std::unique_ptr<db::Context> topContext_;
  ScriptJobs jobs_{out_};
  ScriptDocuments documents_{out_};
};

// Splits a script line into words; "quoted text" is one word.
std::vector<std::string> scriptWords(const std::string& line);

}  // namespace velmora
