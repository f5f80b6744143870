#pragma once

// How procedures talk to the user, split by capability: dialogs, windows,
// jobs and documents. The Qt host, the script host and the test host each
// implement all of them; a procedure asks for the one it needs.

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "framework/document.h"
#include "framework/job.h"
#include "framework/messages.h"
#include "framework/settings.h"

namespace velmora {

class Procedure;

// The three lines of the warning dialog, each up to 40 characters.
using WarningLines = std::array<std::string, 3>;

// The message boxes of the catalogue and the warning dialog.
class DialogHost : public MessageHost {
 public:
  // "MENSAJE DE ADVERTENCIA !!!": three lines and one button.
  virtual void warn(const WarningLines& lines) = 0;
  // The variant with the choice "SELECCIONE SU OPCION": true for yes.
  virtual bool choose(const WarningLines& lines) = 0;
  // The same choice where yes deletes or overwrites: Enter answers no, so
  // that only a deliberate yes goes ahead. Hosts without a keyboard answer
  // as choose() does.
  virtual bool confirm(const WarningLines& lines) { return choose(lines); }
};

// The windows of procedures.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  // The procedure's window opens (built from its description) and later
  // closes. runModal() processes the user's events for that window until it
  // closes: a nested event loop, so callers read straight through.
  virtual void opened(Procedure& p) = 0;
  virtual void runModal(Procedure& p) = 0;
  virtual void closed(Procedure& p) = 0;
  // A procedure on its own thread context (an MDI child of the frame).
  virtual void start(std::unique_ptr<Procedure> p) = 0;

  // The window's placement: applied from the settings file when it opens
  // (only when the file has one), read back when it closes.
  virtual void place(Procedure& p, const WindowPlacement& placement) = 0;
  virtual std::optional<WindowPlacement> placement(Procedure& p) = 0;

  // A control's value or state changed; focus moved.
  virtual void refresh(Procedure& p, const std::string& control) = 0;
  virtual void focus(Procedure& p, const std::string& control) = 0;

  // A text in one zone (from 1) of the status bar; hosts without one ignore it.
  virtual void status(Procedure& p, int zone, const std::string& text) {
    (void)p, (void)zone, (void)text;
  }

  // A form could not save its record (the user has been told). An
  // unattended host stops there instead of acting on the form left open.
  virtual void saveFailed(Procedure& p, const Status& st) { (void)p, (void)st; }
};

// Everything a procedure needs, implemented by the Qt, script and test hosts.
// Jobs and documents keep state of their own (timers, the chosen printer),
// so a host hands them out as separate objects; a host without an event
// loop or a printer may keep the defaults.
class Host : public DialogHost, public WindowHost {
 public:
  // Default: every job runs to its end at once.
  virtual JobHost& jobs();
  // Default: choices are cancelled and output is refused.
  virtual DocumentHost& documents();
};

}  // namespace velmora
