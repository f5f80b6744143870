#pragma once

// The user of a run and his access levels for this program, read once when
// the frame opens.

#include <cstdint>
#include <string_view>

#include "dictionary/storage.h"
#include "framework/program.h"
#include "shell/shell_program.h"

namespace velmora::shell {

// The user number from the first command-line parameter: its characters
// from the second on ("/12" gives 12), at most 20 characters read. A tail
// that is not a whole number gives 0: no user.
std::int32_t userFromParameter(std::string_view parameter);

enum class Rights {
  NoUser,       // user 0 or negative: nothing is checked
  Granted,      // levels loaded, the program may start
  UnknownUser,  // no PERS record: the program ends without a word
  Refused,      // level 0 at the program's entry: warned, the program ends
  Unreadable,   // PERS could not be opened: reported, the program ends
};

// Loads the access levels from the user's array for this program and checks the
// program's entry. Reports a file error itself; the frame shows the refusal.
Rights loadRights(Program& program, db::Context& ctx, const ShellProgram& shell);

// Whether "&Importa del Presupuesto" stays enabled for the user.
bool importAllowed(const Program& program, const ShellProgram& shell);

}  // namespace velmora::shell
