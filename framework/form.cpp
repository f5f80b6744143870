#include "framework/form.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <stdexcept>
#include <utility>

#include "dictionary/unit_of_work.h"
#include "framework/access.h"
#include "framework/describe.h"
#include "framework/file_errors.h"
#include "framework/list_part.h"
#include "framework/settings.h"

namespace velmora {

namespace {

const dict::TableInfo& tableInfo(std::string_view label) {
  const dict::TableInfo* t = dict::findTable(label);
  if (!t) throw std::logic_error("no table " + std::string(label));
  return *t;
}

bool blank(const Value& v) {
  if (auto i = std::get_if<std::int64_t>(&v)) return *i == 0;
  if (auto d = std::get_if<double>(&v)) return *d == 0;
  if (auto m = std::get_if<Decimal>(&v)) return m->cents() == 0;
  return std::get<std::string>(v).find_first_not_of(' ') == std::string::npos;
}

bool isFieldType(ControlType t) {
  return t == ControlType::Entry || t == ControlType::Spin || t == ControlType::Option ||
         t == ControlType::Check;
}

bool isButtonType(ControlType t) {
  return t == ControlType::Button || t == ControlType::Lookup || t == ControlType::Calendar;
}

bool isClosingButton(const Control& c) {
  return dict::sameName(c.id, "?OK") || dict::sameName(c.id, "?CANCEL");
}

// The key whose last component is numbered automatically: the primary key
// when it is, otherwise the first that is.
const dict::KeyInfo* autoKey(const dict::TableInfo& t) {
  if (const dict::KeyInfo* k = t.primaryKey(); k && k->autoNumber) return k;
  for (const dict::KeyInfo& k : t.keys)
    if (k.autoNumber) return &k;
  return nullptr;
}

// The layout every form shares: its fields on the sheet "General", then OK,
// Cancela and Help.
WindowDescription formWindow(WindowDescription w) {
  addGeneralSheet(w);
  addHelpButton(w);
  return w;
}

}  // namespace

FormProcedure::FormProcedure(Program& program, db::Context& ctx, WindowDescription window,
                             std::string table, int entry, FormSettings settings)
    : Procedure(program, ctx, formWindow(std::move(window))),
      label_(std::move(table)),
      entry_(entry),
      settings_(std::move(settings)),
      image_(tableInfo(label_)) {
  label_ = std::string(image_.table().label);
  auto need = [this](std::string_view label) {
    if (std::none_of(uses_.begin(), uses_.end(),
                     [&](const std::string& u) { return dict::sameName(u, label); }))
      uses(label);
  };
  need(label_);
  for (LookupField& l : settings_.lookups) {
    const dict::TableInfo& related = tableInfo(l.table);
    const dict::KeyInfo* key = related.key(l.key);
    if (!key || key->components.empty())
      throw std::logic_error("no key " + l.key + " in " + l.table);
    if (l.field.empty())
      l.field = related.fields[std::size_t(key->components.back())].name;
    else if (!related.field(l.field))
      throw std::logic_error("no field " + l.field + " in " + l.table);
    const Control* c = window_.find(l.entry);
    if (!c || c->use.empty()) throw std::logic_error("lookup on " + l.entry + " without a field");
    need(related.label);
  }
  for (const std::string& label : settings_.related) need(tableInfo(label).label);
}

FormProcedure::~FormProcedure() {
  // Still reserved when kill never ran: a subclass refused in init after
  // priming, or the host dropped the window.
  if (!reserved_) return;
  db::Table& t = primary();
  if (!t.open()) return;
  release();
  t.close();
}

bool FormProcedure::refuses(int req) const {
  if (!entry_) return false;
  if (formAccess(program_, entry_, req)) return true;
  return req == request::Delete &&
         deleteAccess(program_, settings_.deleteEntry ? settings_.deleteEntry : entry_);
}

// --- setup by request ---------------------------------------------------------

bool FormProcedure::init() {
  if (entry_) {
    if (!checkAccess(entry_)) return false;
    // Deletes need level 3 even when the form is called without its browse.
    if (wm_.request == request::Delete)
      if (auto refused =
              deleteAccess(program_, settings_.deleteEntry ? settings_.deleteEntry : entry_)) {
        host_->warn(*refused);
        return false;
      }
  }
  if (!Procedure::init()) return false;
  return setUp();
}

bool FormProcedure::setUp() {
  const int req = wm_.request;
  mode_ = req == request::Insert || req == request::Change || req == request::Delete
              ? req
              : request::View;
  if (mode_ == request::View) {
    wm_.insertAction = wm_.changeAction = wm_.deleteAction = 1;
    wm_.cancelAction = 0;
    wm_.okControl.clear();
    // The record is shown as it is: no field takes typing, no button changes it.
    for (const Control& c : window_.controls)
      if (dict::sameName(c.id, "?OK") || c.type == ControlType::Lookup ||
          c.type == ControlType::Calendar)
        disable(c.id);
      else if (isFieldType(c.type))
        setReadOnly(c.id);
  } else {
    wm_.insertAction = wm_.changeAction = wm_.deleteAction = 2;
    wm_.cancelAction = 0;
    wm_.okControl = "?OK";
  }
  if (wm_.firstField.empty())
    for (const Control& c : window_.controls)
      if (isEntryField(c.id)) {
        wm_.firstField = c.id;
        break;
      }

  db::Table& t = primary();
  if (mode_ == request::Insert) return primeRecord();
  if (mode_ == request::View) {
    image_ = t.buffer();
  } else if (t.position() != 0) {
    image_ = t.image();
    position_ = t.position();
  } else {
    Status st = Status::error(err::NoRecord, db::errorText(err::NoRecord)).on(label_);
    fileError(st, FileAction::Read);
    wm_.response = response::Cancelled;
    return false;
  }
  if (mode_ == request::Delete) {
    if (mayDelete())
      deleteRecord();
    else
      wm_.response = response::Cancelled;
    return false;
  }
  return true;
}

bool FormProcedure::primeRecord() {
  db::Table& t = primary();
  t.clear();
  if (!prime()) {
    wm_.response = response::Cancelled;
    return false;
  }
  const dict::KeyInfo* key = autoKey(t.info());
  if (!key) {
    image_ = t.buffer();
    position_ = 0;
    return true;
  }
  const Record initial = t.buffer();
  std::int64_t reservation = 0;
  for (;;) {
    Status st = t.reserveAutoNumber(*key, reservation);
    if (st) break;
    t.buffer() = initial;
    // The next number does not fit the field: trying again cannot help.
    if (st.code == err::ValueRefused) {
      program_.messages().raiseWithFile(errors_, 4, label_, st);
      wm_.response = response::Cancelled;
      return false;
    }
    // Unattended, a "yes" by default would retry forever.
    if (program_.messages().raiseWithFile(errors_, 35, label_, st) !=
            MessageService::kAnsweredYes ||
        program_.messages().silent) {
      wm_.response = response::Cancelled;
      return false;
    }
  }
  // Only the number is held: nothing is on file until OK adds the record.
  reserved_ = reservation;
  position_ = 0;
  image_ = t.buffer();
  return true;
}

void FormProcedure::deleteRecord() {
  wm_.response = response::Cancelled;
  MessageService& m = program_.messages();
  if (wm_.deleteAction == 2 && m.raise(errors_, 11) != MessageService::kAnsweredYes) return;
  db::Table& t = primary();
  Status st = db::RelationManager(ctx_, relations()).remove(t);
  if (st) {
    wm_.response = response::Completed;
    return;
  }
  if (st.code == err::RestrictedDelete)
    fileError(st, FileAction::Delete);
  else
    m.raiseWithFile(errors_, 13, label_, st);
}

void FormProcedure::kill() {
  if (wm_.response != response::Completed) {
    release();
    // Entries not saved are discarded from the caller's buffer too.
    if ((mode_ == request::Change && position_) || mode_ == request::View)
      primary().buffer() = image_;
  }
  Procedure::kill();
}

// A cancelled insert gives its number back. Should the file refuse, the
// number stays held only until this station stops: nothing else is lost, so
// the user is not troubled with it.
void FormProcedure::release() {
  if (!reserved_) return;
  (void)primary().releaseReservation(std::exchange(reserved_, 0));
}

// --- events ------------------------------------------------------------------

void FormProcedure::accepted(const std::string& control) {
  const ControlState s = state(control);
  if (!s.enabled || s.hidden) return;
  if (dict::sameName(control, "?HELP")) return help();
  if (!wm_.okControl.empty() && dict::sameName(control, wm_.okControl)) return ok();
  if (dict::sameName(control, "?CANCEL")) return cancel();
  const Control* c = window_.find(control);
  if (c && mode_ != request::View) {
    if (c->type == ControlType::Lookup) {
      if (const LookupField* l = lookupFor(c->target)) {
        // The entry is accepted with the value chosen.
        if (lookup(*l, true)) onAccepted(l->entry);
        return;
      }
    } else if (const LookupField* l = lookupFor(control)) {
      if (!lookup(*l, false)) return;
    }
  }
  onAccepted(control);
}

void FormProcedure::cancel() { close(response::Cancelled); }

namespace {

// Whether Enter moves to the next field of a capture form, as data-entry
// clerks expect: the programs' settings, [Formas] EnterAvanza, on unless it
// says 0 or NO. Read once per settings file.
bool enterAdvances(const Program& program) {
  static std::map<std::string, bool> known;
  auto it = known.find(program.settingsPath());
  if (it == known.end()) {
    std::string v = SettingsFile(program.settingsPath()).get("Formas", "EnterAvanza", "1");
    for (char& ch : v) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    it = known.emplace(program.settingsPath(), !(v == "0" || v == "NO")).first;
  }
  return it->second;
}

}  // namespace

void FormProcedure::keyPressed(Key key) {
  if (key == wm_.historyKey) return recall(focused_);
  // A list with the focus takes its own keys (its buttons, moving).
  if (ListPart* l = list(focused_); l && l->keyPressed(key)) return;
  const Control* c = window_.find(focused_);
  const bool entry = isEntryField(focused_);
  const bool field = settings_.enterAsTab && entry;
  const bool advance = entry && (settings_.enterAsTab || enterAdvances(program_));
  const bool onButton = c && isButtonType(c->type);
  const std::string id = c ? c->id : std::string();
  switch (key) {
    case Key::Enter:
      if (advance) return moveFocus(1);
      if (onButton) return accepted(id);
      for (const Control& d : window_.controls)
        if (d.isDefault) return accepted(d.id);
      return;
    case Key::CtrlEnter:
      // Always the form's OK, from any field.
      if (!wm_.okControl.empty() && state(wm_.okControl).enabled) return accepted(wm_.okControl);
      if (onButton) accepted(id);
      return;
    case Key::Esc:
      if (field) return moveFocus(-1);
      return cancel();
    default: return Procedure::keyPressed(key);
  }
}

bool FormProcedure::isEntryField(const std::string& control) const {
  for (const Control& c : window_.controls) {
    if (isClosingButton(c)) return false;
    if (dict::sameName(c.id, control)) return isFieldType(c.type);
  }
  return false;
}

void FormProcedure::moveFocus(int step) {
  auto usable = [this](const Control& c) {
    const ControlState s = state(c.id);
    return s.enabled && !s.hidden;
  };
  std::vector<std::string> order;
  std::string closing;
  for (const Control& c : window_.controls) {
    if (isClosingButton(c)) {
      if (usable(c) && closing.empty()) closing = c.id;
      continue;
    }
    if (closing.empty() && isEntryField(c.id) && usable(c)) order.push_back(c.id);
  }
  auto at = std::find_if(order.begin(), order.end(),
                         [&](const std::string& id) { return dict::sameName(id, focused_); });
  const long to = long(at - order.begin()) + step;
  if (at == order.end() || to < 0) return;
  if (std::size_t(to) < order.size())
    select(order[std::size_t(to)]);
  else if (!closing.empty())
    select(closing);
}

// --- recall --------------------------------------------------------------------

void FormProcedure::recall(const std::string& control) {
  const Control* c = window_.find(control);
  if (!c || c->use.empty()) return;
  const Value* v = nullptr;
  if (auto it = entered_.find(c->id); it != entered_.end()) {
    v = &it->second;
  } else if (std::any_of(settings_.recall.begin(), settings_.recall.end(),
                         [&](const std::string& r) { return dict::sameName(r, c->id); })) {
    auto form = program_.saved.find(name());
    if (form == program_.saved.end()) return;
    auto it2 = form->second.find(c->id);
    if (it2 == form->second.end()) return;
    v = &it2->second;
  }
  if (v && setValue(c->use, *v)) refresh(c->id);
}

void FormProcedure::keepForRecall() {
  if (settings_.recall.empty()) return;
  auto& saved = program_.saved[name()];
  for (const std::string& id : settings_.recall)
    if (const Control* c = window_.find(id); c && !c->use.empty()) saved[c->id] = value(c->use);
}

// --- lookups -------------------------------------------------------------------

const LookupField* FormProcedure::lookupFor(const std::string& entry) const {
  for (const LookupField& l : settings_.lookups)
    if (dict::sameName(l.entry, entry)) return &l;
  return nullptr;
}

bool FormProcedure::lookup(const LookupField& l, bool always) {
  const Control& entry = *window_.find(l.entry);
  db::Table& related = table(l.table);
  const Value typed = value(entry.use);
  if (!always && l.optional && blank(typed)) return true;
  related.clear();
  primeLookup(l, related);
  // A value the related field cannot hold cannot be found either.
  const bool held = bool(related.buffer().set(l.field, typed));
  if (!always && held) {
    Status st = related.get(l.key);
    if (st) {
      refreshAll();
      return true;
    }
    if (st.code != err::RecordNotFound) {
      fileError(st, FileAction::Read);
      select(entry.id);
      return false;
    }
  }
  if (call(l.browse, request::Select) == response::Completed &&
      setValue(entry.use, related.buffer().get(l.field))) {
    refreshAll();
    return true;
  }
  // Left without choosing: the browse moved the related buffer through its
  // rows, so the text beside the field is read again for the value it keeps.
  related.clear();
  primeLookup(l, related);
  if (!related.buffer().set(l.field, value(entry.use)) || !related.get(l.key)) related.clear();
  refreshAll();
  select(entry.id);
  return false;
}

// --- saving --------------------------------------------------------------------

void FormProcedure::ok() {
  if (mode_ == request::View || wm_.okControl.empty()) return;
  // Every field is checked again, as if each were accepted once more.
  for (const LookupField& l : settings_.lookups) {
    const ControlState s = state(l.entry);
    if (s.enabled && !s.hidden && !lookup(l, false)) return;
  }
  for (std::size_t i = 0; i < window_.controls.size(); ++i) {
    const Control& c = window_.controls[i];
    const ControlState s = state(c.id);
    if (c.required && !c.use.empty() && s.enabled && !s.hidden && blank(value(c.use))) {
      const bool prompted = i > 0 && window_.controls[i - 1].type == ControlType::Prompt;
      warn(
          "FALTA UN DATO NECESARIO:", prompted ? plainCaption(window_.controls[i - 1].text) : c.use,
          "CAPTURELO PARA CONTINUAR ....");
      select(c.id);
      return;
    }
  }
  // A number too large for its picture shows as "####": it is never saved.
  for (std::size_t i = 0; i < window_.controls.size(); ++i) {
    const Control& c = window_.controls[i];
    if ((c.type != ControlType::Entry && c.type != ControlType::Text) || c.use.empty() ||
        c.picture.empty() || state(c.id).hidden)
      continue;
    const std::string shown = display(c);
    if (shown.empty() || shown.find_first_not_of('#') != std::string::npos) continue;
    // Named as the window names it: by the prompt before it.
    std::string name = c.use;
    if (i > 0 && window_.controls[i - 1].type == ControlType::Prompt)
      name = plainCaption(window_.controls[i - 1].text);
    warn("EL VALOR ES DEMASIADO GRANDE PARA", name, "CORRIJA EL VALOR ....");
    select(c.id);
    return;
  }
  if (!validate()) return;
  save();
}

void FormProcedure::save() {
  MessageService& m = program_.messages();
  const FileAction action = mode_ == request::Insert ? FileAction::Add : FileAction::Change;
  for (;;) {
    Status st = write();
    if (st) {
      reserved_ = 0;
      entered_.clear();
      keepForRecall();
      close(response::Completed);
      return;
    }
    switch (st.code) {
      case err::DuplicateKey:
        fileError(st, action);
        focusFirstField();
        return host().saveFailed(*this, st);
      case err::RecordChanged:
        // A related record changed by another station is a failed write.
        if (dict::sameName(st.table, label_)) {
          changedElsewhere();
          return host().saveFailed(*this, st);
        }
        break;
      case err::RestrictedUpdate:
        // The relation layer has put the linked fields back.
        fileError(st, action);
        refreshAll();
        return host().saveFailed(*this, st);
      default: break;
    }
    const int answer =
        m.ask(errors_, 37, button::Yes | button::No | button::Cancel, button::Cancel, st);
    if (answer == button::Yes) continue;
    if (answer == button::No) {
      close(response::Cancelled);
    } else {
      refreshAll();
      focusFirstField();
    }
    return host().saveFailed(*this, st);
  }
}

Status FormProcedure::write() {
  if (settings_.related.empty() && !reserved_) return writeRecord();
  // The record with the rules' children and the related tables: all or none.
  std::vector<db::Table*> tables;
  Status st = db::RelationManager(ctx_, relations()).involved(primary(), tables);
  for (const std::string& label : settings_.related) tables.push_back(&table(label));
  if (!st) return st;
  db::Transaction tx(ctx_, tables);
  if (!tx.status()) return tx.status();
  const Record image = image_;
  const std::int64_t position = position_;
  st = writeRecord();
  if (st) st = writeRelated();
  if (st) st = tx.commit();
  if (!st) {
    // Rolled back: a retry writes over the record as it still is on file.
    image_ = image;
    position_ = position;
  }
  return st;
}

Status FormProcedure::writeRecord() {
  db::Table& t = primary();
  if (mode_ == request::Insert && position_ == 0) {
    Status st = t.add();
    // The record now holds its number: the reservation goes with the same commit.
    if (st) st = t.releaseReservation(reserved_);
    if (st) {
      position_ = t.position();
      image_ = t.image();
    }
    return st;
  }
  Status st = reposition();
  if (!st || t.buffer() == image_) return st;
  st = db::RelationManager(ctx_, relations()).put(t);
  if (st) image_ = t.image();
  return st;
}

// Handlers may have read other records of the table since the form's own was
// read; the write must go over the form's record and be checked against it.
Status FormProcedure::reposition() {
  db::Table& t = primary();
  if (t.position() == position_ && t.image() == image_) return Status::success();
  const Record entered = t.buffer();
  Status st = t.getByPosition(position_);
  const bool same = st && t.image() == image_;
  t.buffer() = entered;
  if (same) return st;
  if (!st && st.code != err::RecordNotFound) return st;
  Status changed = Status::error(err::RecordChanged, db::errorText(err::RecordChanged));
  changed.table = label_;
  return changed;
}

void FormProcedure::changedElsewhere() {
  db::Table& t = primary();
  MessageService& m = program_.messages();
  const Record mine = t.buffer();
  Status st = t.getByPosition(position_);
  if (st) {
    // The other station's record is shown; the user's entries come back with Ditto.
    for (const Control& c : window_.controls)
      if (isFieldOfPrimary(c)) entered_[c.id] = mine.get(c.use);
    image_ = t.image();
    refreshAll();
    m.raiseWithFile(errors_, 8, label_);
    return;
  }
  t.buffer() = mine;
  if (st.code == err::RecordNotFound)
    m.raiseWithFile(errors_, 7, label_);
  else
    m.raiseWithFile(errors_, 9, label_, st);
}

bool FormProcedure::isFieldOfPrimary(const Control& c) const {
  if (!isFieldType(c.type) || c.use.find(':') == std::string::npos) return false;
  const dict::TableInfo* owner = nullptr;
  if (!dict::findField(std::string_view(c.use).substr(0, c.use.find('[')), &owner)) return false;
  return owner && owner->index == image_.table().index;
}

void FormProcedure::focusFirstField() {
  if (!wm_.firstField.empty()) select(wm_.firstField);
}

}  // namespace velmora
