#pragma once

// The global start-up routine of both programs: the program's services,
// the desktop switch VOROVID turns off while it runs, Main, and the way out.

#include <string>

#include "framework/frame.h"
#include "shell/main_frame.h"

namespace velmora::shell {

struct StartOptions {
  std::string parameter;         // the first command-line parameter ("/12")
  std::string programFolder;     // the current directory
  std::string executableFolder;  // where the program is: the launcher is looked for there
};

struct Outcome {
  int response = 0;      // Main's response
  bool launch = false;   // the user left through the exit button
  std::string launcher;  // and this is the launcher found (empty: none)
};

// Runs the whole program on `host` (the Qt host or a script). The caller
// made `program` on the program's settings file and registered its
// procedures (addShellProcedures and the business ones).
Outcome runShell(const ShellProgram& shell, Program& program, Host& host, FrameServices* services,
                 const StartOptions& options);

}  // namespace velmora::shell
