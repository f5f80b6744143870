#pragma once

// Every procedure a program registers: the shell's and, for DUDORE, the
// estimates subsystem's. The programs and the bindings test share it.

#include <string>

#include "framework/program.h"
#include "shell/shell_program.h"

namespace velmora {

void addProgramProcedures(Program& program, const shell::ShellProgram& shell,
                          const std::string& programFolder);

}  // namespace velmora
