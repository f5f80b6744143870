#include "shell/startup.h"

#include "shell/platform.h"

namespace velmora::shell {

Outcome runShell(const ShellProgram& shell, Program& program, Host& host, FrameServices* services,
                 const StartOptions& options) {
  // VOROVID's windows are dragged as outlines while it runs.
  bool dragWasOn = false;
  if (shell.suite == Suite::Vorovid) {
    dragWasOn = platform::dragFullWindows();
    if (dragWasOn) platform::setDragFullWindows(false);
  }

  db::Context frameContext(program.storage(), program.newThread());
  MainFrame frame(program, frameContext, shell, options.parameter, options.programFolder);
  frame.executableFolder = options.executableFolder;
  frame.setServices(services);
  Outcome out;
  out.response = frame.runFrame(host);
  out.launch = frame.leftForLauncher();
  out.launcher = frame.launcher();

  if (shell.suite == Suite::Vorovid && dragWasOn) platform::setDragFullWindows(true);
  return out;
}

}  // namespace velmora::shell
