#pragma once

// The life of every window procedure (init, event loop, kill), the request
// and response protocol and the window manager state. Procedures talk to the
// user through the host (framework/host.h). Business procedures derive from
// Procedure (or from the browse and form behaviour built on it) and never
// touch widgets.

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/storage.h"
#include "framework/file_errors.h"
#include "framework/host.h"
#include "framework/messages.h"
#include "framework/program.h"
#include "framework/settings.h"
#include "framework/window.h"

namespace velmora {

namespace request {
inline constexpr int None = 0, Insert = 1, Change = 2, Delete = 3, Select = 4, Process = 5,
                     View = 6;
}
namespace response {
inline constexpr int None = 0, Completed = 1, Cancelled = 2;
}

enum class Key {
  Enter,
  CtrlEnter,
  ShiftEnter,
  Esc,
  Tab,
  ShiftTab,
  Insert,
  Delete,
  Backspace,
  Up,
  Down,
  Left,
  Right,
  PageUp,
  PageDown,
  Home,
  End,
  CtrlHome,
  CtrlEnd,
  CtrlPageUp,
  CtrlPageDown,
  ContextMenu,
  Ditto,  // Ctrl+' puts back the value saved last
  Help,   // F1: the window's page of the manual, as its "Ayuda" button
};

class Procedure;
class ListPart;

// The window manager state of one procedure.
struct WindowManager {
  int request = request::None;
  int originalRequest = request::None;
  int response = response::None;
  std::string firstField;  // gets focus after a refused save
  std::string okControl;   // empty when the window has none
  Key historyKey = Key::Ditto;
  bool filesOpened = false;
  bool batchProcessing = false;
  int insertAction = 2;
  int changeAction = 2;
  int deleteAction = 2;
  int cancelAction = 3;
};

struct ControlState {
  bool enabled = true;
  bool hidden = false;
  bool readOnly = false;  // shown, but the user cannot change it
};

class Procedure {
 public:
  Procedure(Program& program, db::Context& ctx, WindowDescription window);
  virtual ~Procedure();
  Procedure(const Procedure&) = delete;
  Procedure& operator=(const Procedure&) = delete;

  const std::string& name() const { return window_.procedure; }
  const WindowDescription& window() const { return window_; }
  // The name the program started it by (its section of the manual); the
  // window's own name for a window opened from another.
  const std::string& helpName() const { return helpName_.empty() ? window_.procedure : helpName_; }
  void setHelpName(std::string name) { helpName_ = std::move(name); }
  Program& program() { return program_; }
  db::Context& context() { return ctx_; }
  Host& host() { return *host_; }
  WindowManager& wm() { return wm_; }
  const WindowManager& wm() const { return wm_; }

  // Runs the whole life modally: init; if the window opens, the host's event
  // loop until it closes; kill. Returns the response.
  int run(Host& host);
  // The two halves, for hosts that keep the window open on their own loop.
  bool open(Host& host);  // init; true when the window opened
  int finish();           // kill; the response

  bool isOpen() const { return open_; }
  bool isClosing() const { return closing_; }

  // --- events, called by hosts -------------------------------------------
  // A button was pressed or an entry accepted. "Ayuda" (?HELP) is answered
  // by help() on every window.
  virtual void accepted(const std::string& control);
  virtual void keyPressed(Key key);
  // Typed text for an entry: parsed through its picture into the field or
  // variable it uses. A refused text leaves the value as it was.
  virtual Status typed(const std::string& control, std::string_view text);
  // The close box of the window.
  virtual void closeBox();
  // The user moved to a control (focus); hosts report it so that keys can
  // act on the selected control.
  virtual void selected(const std::string& control) { focused_ = control; }
  const std::string& focused() const { return focused_; }

  // --- what hosts read ---------------------------------------------------
  ControlState state(const std::string& control) const;
  // The control's value as the window shows it, through its picture; a
  // text bound to nothing, its own words.
  std::string display(const Control& c) const;
  std::string display(const std::string& control) const;

  // --- services for handlers ---------------------------------------------
  void warn(std::string_view l1, std::string_view l2 = {}, std::string_view l3 = {});
  bool choose(std::string_view l1, std::string_view l2 = {}, std::string_view l3 = {});
  // A choice whose yes deletes or overwrites: No is the default answer.
  bool confirm(std::string_view l1, std::string_view l2 = {}, std::string_view l3 = {});
  // Calls another procedure in this thread context with a request and
  // returns its response.
  int call(std::unique_ptr<Procedure> callee, int request);
  int call(std::string_view procedure, int request);
  // Starts a procedure on a thread context of its own.
  void start(std::string_view procedure);
  void select(const std::string& control);
  void enable(const std::string& control, bool on = true);
  void disable(const std::string& control) { enable(control, false); }
  void hide(const std::string& control, bool hidden = true);
  // A field that shows its value and takes no typing (a form in view mode).
  void setReadOnly(const std::string& control, bool on = true);
  void unhide(const std::string& control) { hide(control, false); }
  void refresh(const std::string& control);
  void refreshAll();
  // Shows a text in a zone of the status bar (from 1).
  void status(int zone, const std::string& text);
  // Runs long work for this window, a batch at a time (see framework/job.h).
  void runJob(Job& job, JobEvents events);
  DocumentHost& documents() { return host_->documents(); }
  // Closes the window with a response.
  void close(int response);

  // The selected tab of the window's sheet, from 1; 0 without a sheet.
  int currentTab() const { return currentTab_; }
  virtual void selectTab(int tab);

  // Fields ("PAR:CONC", "OBR:CC[7]") of this context's record buffers, this
  // window's own variables, or declared program variables. A table's prefix
  // with a field it does not have, or a variable never declared, is a
  // programming error (std::logic_error).
  Value value(std::string_view use) const;
  Status setValue(std::string_view use, const Value& v);
  // A variable of this window alone (a total below its list): no other
  // procedure sees or changes it, and it hides a program variable of the
  // same name.
  void setLocal(std::string_view name, Value v);
  bool hasLocal(std::string_view name) const { return locals_.count(name) != 0; }

  // The parts of the window's list controls, each found by its control;
  // nullptr for a control that has none.
  std::vector<ListPart*> lists() const;
  ListPart* list(std::string_view control) const;

  // Tables the procedure uses: opened by init, closed by kill. An unknown
  // label is a programming error.
  void uses(std::string_view label);
  const std::vector<std::string>& usedTables() const { return uses_; }
  db::Table& table(std::string_view label) { return ctx_.table(label); }
  // Reads the record of `label` whose `field` holds `value` (by `key`) into
  // its buffer, left blank when there is none or the value is 0: the text a
  // window shows beside a number.
  void showRelated(std::string_view label, std::string_view field, std::string_view key,
                   std::int64_t value);
  // The number typed in `var` must name a record of `label` (its `field`,
  // read by `key`): when it names none, or always (the lookup button), the
  // browse `browse` chooses one. True with the record in the buffer and its
  // number in `var`; false with the buffer clear and the entry selected.
  bool chooseRecord(std::string_view label, std::string_view key, std::string_view field,
                    std::string_view var, std::string_view browse, bool always);

 protected:
  // The steps business procedures extend. init() returns false when the
  // window must not open (the response is then what it set, or cancelled).
  virtual bool init();
  virtual void kill();
  // The window is up (built, placed): for a window that acts by itself as
  // soon as it is seen.
  virtual void windowOpened() {}
  // Called when a control is accepted and the framework has no behaviour of
  // its own for it; business rules live here.
  virtual void onAccepted(const std::string& control);
  // "Ayuda" (?HELP) and F1: the window's section of the manual.
  virtual void help();

  // Gives a list control its part (list_part.h); the procedure owns it.
  template <class Part>
  Part& addList(std::unique_ptr<Part> part) {
    Part& added = *part;
    lists_.push_back(std::move(part));
    return added;
  }

  // The access check of a window for its entry k, by request.
  bool checkAccess(int entry);

  // Opens a table as the file managers do (framework/file_open.h): keys to
  // rebuild are rebuilt once the user agrees; a file of an older layout is
  // upgraded where the program converts files. A failure is shown.
  bool openTable(db::Table& t);

  // Shows the catalogue message of a failed table operation (with the table
  // or key it names) and returns what the user answered.
  int fileError(const Status& st, FileAction action);

  Program& program_;
  db::Context& ctx_;
  WindowDescription window_;
  std::string helpName_;
  WindowManager wm_;
  Host* host_ = nullptr;
  std::map<std::string, ControlState, NoCaseLess> states_;
  std::vector<std::string> uses_;
  std::vector<db::Table*> opened_;
  bool open_ = false;
  bool closing_ = false;
  int currentTab_ = 0;
  std::string focused_;
  bool registered_ = false;
  std::unique_ptr<db::Context> ownContext_;
  std::map<std::string, Value, NoCaseLess> locals_;
  ErrorContext errors_;  // this procedure's messages
  std::vector<std::unique_ptr<ListPart>> lists_;

  friend class Program;
};

// The table whose prefix a bound name starts with ("PAR" of "PAR:CONC");
// null for a variable's name.
const dict::TableInfo* prefixTable(std::string_view use);

// Cuts the three lines of a warning to 40 characters each.
WarningLines warningLines(std::string_view l1, std::string_view l2, std::string_view l3);

}  // namespace velmora
