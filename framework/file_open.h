#pragma once

// Opening a table file as the programs' file managers do: keys that need
// rebuilding are rebuilt once the user agrees, and a file written in an
// older stored layout is upgraded where the program converts files (VOROVID)
// or refused with advice where it does not. Procedure::openTable uses it.

#include <string>

#include "dictionary/file_upgrade.h"
#include "framework/job.h"

namespace velmora {

// Attached to a program that upgrades old files when it opens them.
struct FileUpgrades {
  bool enabled = false;
  std::string versionFile;  // the program folder's File_Upg
};

// The upgrade of one file as a job for the progress window.
class UpgradeJob : public Job {
 public:
  // `upgrade` must have started (start() returned true).
  explicit UpgradeJob(db::FileUpgrade& upgrade);
  bool step() override;

  // The progress window's title: "File: " and the name in lower case.
  static std::string title(const db::FileUpgrade& upgrade);

 private:
  void show();
  db::FileUpgrade& upgrade_;
};

}  // namespace velmora
