#pragma once

// The script host's jobs and documents: jobs run to their end at once with
// each caption written to the transcript; documents are written to the
// transcript by title and page count, and the files and printers a window
// asks for are the ones the script queued with "elige".

#include <deque>
#include <ostream>
#include <string>

#include "framework/host.h"

namespace velmora {

class ScriptJobs : public JobHost {
 public:
  explicit ScriptJobs(std::ostream& transcript) : out_(transcript) {}
  void run(Procedure& owner, Job& job, JobEvents events) override;

 private:
  std::ostream& out_;
};

class ScriptDocuments : public DocumentHost {
 public:
  explicit ScriptDocuments(std::ostream& transcript) : out_(transcript) {}

  // The next answer to a file or printer choice.
  void queue(std::string choice) { choices_.push_back(std::move(choice)); }

  void preview(const Document& document) override;
  Status print(const Document& document) override;
  Status savePdf(const Document& document, const std::string& path) override;
  std::optional<std::string> chooseFile(const FileRequest& request) override;
  std::optional<std::string> choosePrinter(const std::string& title) override;
  // The page of the manual, in the transcript: "AYUDA page#anchor".
  bool showHelp(const std::string& folder, const help::Topic& topic) override;

 private:
  std::optional<std::string> next(const std::string& what);
  std::ostream& out_;
  std::deque<std::string> choices_;
  std::string printer_;
};

}  // namespace velmora
