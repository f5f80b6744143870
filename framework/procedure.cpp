#include "framework/procedure.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "dictionary/cp1252.h"
#include "framework/access.h"
#include "framework/file_errors.h"
#include "framework/help.h"
#include "framework/list_part.h"
#include "framework/picture.h"
#include "framework/settings.h"

namespace velmora {

// --- Program -------------------------------------------------------------------

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) <
           std::toupper(static_cast<unsigned char>(y));
  });
}

Program::Program(std::string name, db::Storage& storage, MessageService& messages,
                 std::string settingsPath)
    : name_(std::move(name)),
      storage_(storage),
      messages_(messages),
      settingsPath_(std::move(settingsPath)) {}

const dict::TableInfo* prefixTable(std::string_view use) {
  const std::size_t colon = use.find(':');
  if (colon == std::string_view::npos) return nullptr;
  for (const dict::TableInfo& t : dict::tables())
    if (dict::sameName(t.prefix, use.substr(0, colon))) return &t;
  return nullptr;
}

namespace {

// The table whose buffer holds the field a use names ("PAR:CONC",
// "OBR:CC[7]"); null for a variable. A table's prefix with a name it does
// not have is a misspelt binding.
const dict::TableInfo* fieldTable(std::string_view use) {
  const dict::TableInfo* t = prefixTable(use);
  if (!t) return nullptr;
  const dict::TableInfo* owner = nullptr;
  if (!dict::findField(use.substr(0, use.find('[')), &owner))
    throw std::logic_error("no field " + std::string(use) + " in " + std::string(t->label));
  return owner;
}

}  // namespace

void Program::declare(std::string_view name, Value initial) {
  if (prefixTable(name))
    throw std::logic_error("variable " + std::string(name) + " named like a field");
  vars_[std::string(name)] = Variable{std::move(initial), {}};
}

void Program::declare(std::string_view name, std::function<Value()> source) {
  if (prefixTable(name))
    throw std::logic_error("variable " + std::string(name) + " named like a field");
  vars_[std::string(name)] = Variable{Value(std::string()), std::move(source)};
}

Value Program::var(std::string_view name) const {
  auto it = vars_.find(name);
  if (it == vars_.end()) throw std::logic_error("undeclared variable " + std::string(name));
  return it->second.source ? it->second.source() : it->second.value;
}

void Program::setVar(std::string_view name, Value v) {
  auto it = vars_.find(name);
  if (it == vars_.end()) throw std::logic_error("undeclared variable " + std::string(name));
  if (it->second.source) throw std::logic_error("read-only variable " + std::string(name));
  it->second.value = std::move(v);
}

bool Program::hasVar(std::string_view name) const { return vars_.find(name) != vars_.end(); }

void Program::addProcedure(std::string name, Factory make) {
  procedures_[std::move(name)] = std::move(make);
}

bool Program::knows(std::string_view name) const {
  return procedures_.find(name) != procedures_.end();
}

std::vector<std::string> Program::procedureNames() const {
  std::vector<std::string> names;
  for (const auto& [name, make] : procedures_) names.push_back(name);
  return names;
}

std::unique_ptr<Procedure> Program::make(std::string_view name, db::Context& ctx) {
  auto it = procedures_.find(name);
  if (it == procedures_.end()) return nullptr;
  std::unique_ptr<Procedure> made = it->second(*this, ctx);
  if (made) made->setHelpName(it->first);
  return made;
}

// --- Procedure -----------------------------------------------------------------

WarningLines warningLines(std::string_view l1, std::string_view l2, std::string_view l3) {
  return {cp1252::utf8Prefix(l1, 40), cp1252::utf8Prefix(l2, 40), cp1252::utf8Prefix(l3, 40)};
}

Procedure::Procedure(Program& program, db::Context& ctx, WindowDescription window)
    : program_(program), ctx_(ctx), window_(std::move(window)) {
  errors_.thread = ctx_.thread();
  for (const Control& c : window_.controls) {
    ControlState s;
    s.enabled = !c.disabled;
    s.hidden = c.hidden;
    states_[c.id] = s;
  }
}

Procedure::~Procedure() {
  for (db::Table* t : opened_) t->close();
}

int Procedure::run(Host& host) {
  if (open(host)) host.runModal(*this);
  return finish();
}

bool Procedure::open(Host& host) {
  host_ = &host;
  program_.messages().registerProcedure(ctx_.thread(), name());
  registered_ = true;
  // The request is handed over in a global that the callee copies and clears.
  wm_.request = program_.request;
  wm_.originalRequest = program_.request;
  program_.request = request::None;
  wm_.response = response::None;
  if (!init()) {
    if (wm_.response == response::None) wm_.response = response::Cancelled;
    return false;
  }
  open_ = true;
  if (window_.hasSheet()) currentTab_ = 1;
  host.opened(*this);
  SettingsFile settings(program_.settingsPath());
  if (auto placement = loadWindowSettings(settings, name())) {
    host.place(*this, *placement);
    if (placement->tab && window_.hasSheet()) selectTab(*placement->tab);
  }
  windowOpened();
  return true;
}

int Procedure::finish() {
  if (open_) {
    if (auto placement = host_->placement(*this)) {
      if (window_.hasSheet()) placement->tab = currentTab_;
      SettingsFile settings(program_.settingsPath());
      (void)saveWindowSettings(settings, name(), *placement, window_.hasSheet());
    }
    kill();
    open_ = false;
    if (host_) host_->closed(*this);
  } else {
    for (db::Table* t : opened_) t->close();
    opened_.clear();
    wm_.filesOpened = false;
  }
  if (registered_) {
    program_.messages().unregisterProcedure(ctx_.thread(), name());
    registered_ = false;
  }
  return wm_.response;
}

void Procedure::uses(std::string_view label) {
  if (!dict::findTable(label)) throw std::logic_error("no table " + std::string(label));
  uses_.emplace_back(label);
}

int Procedure::fileError(const Status& st, FileAction action) {
  return reportFileError(program_.messages(), errors_, st, action);
}

bool Procedure::init() {
  wm_.insertAction = 2;
  wm_.changeAction = 2;
  wm_.deleteAction = 2;
  wm_.cancelAction = 3;
  for (const std::string& label : uses_) {
    db::Table& t = ctx_.table(label);
    if (!openTable(t)) {
      for (db::Table* o : opened_) o->close();
      opened_.clear();
      return false;
    }
    opened_.push_back(&t);
  }
  wm_.filesOpened = !opened_.empty();
  return true;
}

void Procedure::kill() {
  if (wm_.filesOpened) {
    for (db::Table* t : opened_) t->close();
    opened_.clear();
    wm_.filesOpened = false;
  }
}

bool Procedure::checkAccess(int entry) {
  if (auto refused = formAccess(program_, entry, wm_.request)) {
    host_->warn(*refused);
    return false;
  }
  return true;
}

void Procedure::accepted(const std::string& control) {
  if (!state(control).enabled || state(control).hidden) return;
  if (dict::sameName(control, "?HELP")) return help();
  onAccepted(control);
}

void Procedure::onAccepted(const std::string&) {}

void Procedure::help() {
  help::openWindow(*host_, host_->documents(), program_.name(), helpName());
}

void Procedure::keyPressed(Key key) {
  // A list with the focus takes its own keys.
  if (ListPart* l = list(focused_); l && l->keyPressed(key)) return;
  if (key == Key::Esc) closeBox();
  if (key == Key::Help) help();
}

std::vector<ListPart*> Procedure::lists() const {
  std::vector<ListPart*> all;
  for (const auto& l : lists_) all.push_back(l.get());
  return all;
}

ListPart* Procedure::list(std::string_view control) const {
  if (control.empty()) return nullptr;
  for (const auto& l : lists_)
    if (dict::sameName(l->control(), control)) return l.get();
  return nullptr;
}

void Procedure::closeBox() { close(response::Cancelled); }

Status Procedure::typed(const std::string& control, std::string_view text) {
  const Control* c = window_.find(control);
  if (!c || c->use.empty())
    return Status::error(err::ValueRefused, "El control " + control + " no recibe texto");
  if (state(control).readOnly)
    return Status::error(err::ValueRefused, "Esta ventana solo muestra el registro");
  Value v = std::string(text);
  if (!c->picture.empty()) {
    auto pic = compilePicture(c->picture);
    if (!pic) throw std::logic_error("bad picture " + c->picture + " in " + name());
    Status st = parse(*pic, text, v);
    if (!st) return st;
  }
  Status st = setValue(c->use, v);
  if (st) refresh(control);
  return st;
}

ControlState Procedure::state(const std::string& control) const {
  auto it = states_.find(control);
  return it == states_.end() ? ControlState{} : it->second;
}

std::string Procedure::display(const Control& c) const {
  // A text bound to nothing shows its own words (a hint beside a field).
  if (c.use.empty()) return c.type == ControlType::Text ? c.text : std::string();
  Value v = value(c.use);
  if (c.picture.empty()) return toText(v);
  return formatPicture(c.picture, v);
}

std::string Procedure::display(const std::string& control) const {
  const Control* c = window_.find(control);
  return c ? display(*c) : std::string();
}

void Procedure::warn(std::string_view l1, std::string_view l2, std::string_view l3) {
  host_->warn(warningLines(l1, l2, l3));
}

bool Procedure::choose(std::string_view l1, std::string_view l2, std::string_view l3) {
  return host_->choose(warningLines(l1, l2, l3));
}

bool Procedure::confirm(std::string_view l1, std::string_view l2, std::string_view l3) {
  return host_->confirm(warningLines(l1, l2, l3));
}

int Procedure::call(std::unique_ptr<Procedure> callee, int req) {
  program_.request = req;
  return callee->run(*host_);
}

int Procedure::call(std::string_view procedure, int req) {
  auto callee = program_.make(procedure, ctx_);
  if (!callee) {
    program_.messages().raiseWithMessage(errors_, 27, procedure);
    return response::Cancelled;
  }
  return call(std::move(callee), req);
}

void Procedure::start(std::string_view procedure) {
  auto ctx = std::make_unique<db::Context>(program_.storage(), program_.newThread());
  auto p = program_.make(procedure, *ctx);
  if (!p) {
    program_.messages().raiseWithMessage(errors_, 27, procedure);
    return;
  }
  p->ownContext_ = std::move(ctx);
  host_->start(std::move(p));
}

void Procedure::select(const std::string& control) {
  focused_ = control;
  if (host_) host_->focus(*this, control);
}

void Procedure::enable(const std::string& control, bool on) {
  states_[control].enabled = on;
  refresh(control);
}

void Procedure::hide(const std::string& control, bool hidden) {
  states_[control].hidden = hidden;
  refresh(control);
}

void Procedure::setReadOnly(const std::string& control, bool on) {
  states_[control].readOnly = on;
  refresh(control);
}

void Procedure::refresh(const std::string& control) {
  if (host_ && open_) host_->refresh(*this, control);
}

void Procedure::refreshAll() {
  for (const Control& c : window_.controls) refresh(c.id);
}

void Procedure::status(int zone, const std::string& text) {
  if (host_ && open_) host_->status(*this, zone, text);
}

void Procedure::runJob(Job& job, JobEvents events) {
  host_->jobs().run(*this, job, std::move(events));
}

void Procedure::selectTab(int tab) {
  int tabs = int(window_.tabs().size());
  if (tab < 1 || tab > tabs) return;
  currentTab_ = tab;
  refresh("?CURRENTTAB");
}

void Procedure::close(int resp) {
  wm_.response = resp;
  closing_ = true;
}

void Procedure::showRelated(std::string_view label, std::string_view field, std::string_view key,
                            std::int64_t value) {
  db::Table& t = table(label);
  t.clear();
  if (value == 0 || !t.buffer().set(field, value) || !t.get(key)) t.clear();
}

bool Procedure::chooseRecord(std::string_view label, std::string_view key, std::string_view field,
                             std::string_view var, std::string_view browse, bool always) {
  db::Table& t = table(label);
  const auto typed = std::int64_t(number(value(var)));
  t.clear();
  (void)t.buffer().set(field, Value(typed));
  bool found = false;
  if (!always && typed != 0) {
    Status st = t.get(key);
    found = bool(st);
    if (!st && st.code != err::RecordNotFound) fileError(st, FileAction::Read);
  }
  if (!found && call(std::string(browse), request::Select) == response::Completed) found = true;
  if (!found) {
    t.clear();
    select("?" + std::string(var));
    return false;
  }
  (void)setValue(var, Value(std::int64_t(number(t.buffer().get(field)))));
  return true;
}

Value Procedure::value(std::string_view use) const {
  if (const dict::TableInfo* t = fieldTable(use)) return ctx_.table(*t).buffer().get(use);
  if (auto it = locals_.find(use); it != locals_.end()) return it->second;
  return program_.var(use);
}

void Procedure::setLocal(std::string_view name, Value v) {
  if (auto it = locals_.find(name); it != locals_.end())
    it->second = std::move(v);
  else
    locals_.emplace(std::string(name), std::move(v));
}

Status Procedure::setValue(std::string_view use, const Value& v) {
  if (const dict::TableInfo* t = fieldTable(use)) return ctx_.table(*t).buffer().set(use, v);
  if (auto it = locals_.find(use); it != locals_.end()) {
    it->second = v;
    return Status::success();
  }
  program_.setVar(use, v);
  return Status::success();
}

}  // namespace velmora
