#pragma once

// SEL_OBRA: the catalogue of works from which the user chooses the work to
// work on. Choosing points every work and accounting table at the work's
// files and sets the current-work globals.

#include <string>

#include "framework/browse.h"
#include "shell/shell_program.h"

namespace velmora::shell {

// The names of a chosen work's files, set in the program's storage, and the
// globals GLO:LISTA, GLO:NOMBRE_OBRA and GLO:OBRA. `programFolder` is the
// current directory, `today` picks the monthly accounting files.
db::WorkFiles chooseWork(Program& program, const ShellProgram& shell, const OBR& work,
                         const std::string& programFolder, std::int32_t today);

class WorkSelection : public BrowseProcedure {
 public:
  static constexpr const char* kName = "SEL_OBRA";
  WorkSelection(Program& program, db::Context& ctx, const ShellProgram& shell,
                std::string programFolder);

  // What the last choice set (empty before one).
  const db::WorkFiles& chosen() const { return chosen_; }

 protected:
  void onAccepted(const std::string& control) override;
  void selectionChanged() override;

 private:
  const ShellProgram& shell_;
  std::string programFolder_;
  db::WorkFiles chosen_;
};

}  // namespace velmora::shell
