#pragma once

// main() of DUDORE and VOROVID: the same shell on the Qt host, or on the
// script host with --script FILE.

#include "shell/shell_program.h"

namespace velmora {

int shellMain(const shell::ShellProgram& shell, int argc, char** argv);

}  // namespace velmora
