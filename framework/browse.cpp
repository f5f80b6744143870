#include "framework/browse.h"

#include <algorithm>
#include <cctype>

#include "dictionary/cp1252.h"
#include "framework/access.h"
#include "framework/picture.h"

namespace velmora {

namespace {

// "?INSERT:3" is the insert button; the number only tells buttons apart.
bool isButton(const std::string& id, std::string_view name) {
  if (id.size() < name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(id[i])) !=
        std::toupper(static_cast<unsigned char>(name[i])))
      return false;
  return id.size() == name.size() || id[name.size()] == ':';
}

}  // namespace

BrowseProcedure::BrowseProcedure(Program& program, db::Context& ctx, WindowDescription window,
                                 std::string table, std::string form, std::vector<BrowseTab> tabs,
                                 int entry)
    : Procedure(program, ctx, std::move(window)),
      tableLabel_(std::move(table)),
      form_(std::move(form)),
      tabs_(std::move(tabs)),
      entry_(entry) {
  uses(tableLabel_);
  for (const Control& c : window_.controls)
    if (c.type == ControlType::List && list_.empty()) list_ = c.id;
}

std::string BrowseProcedure::button(std::string_view name) const {
  for (const Control& c : window_.controls)
    if (c.type == ControlType::Button && isButton(c.id, name)) return c.id;
  return {};
}

bool BrowseProcedure::usable(const std::string& b) const {
  if (b.empty()) return false;
  ControlState s = state(b);
  return s.enabled && !s.hidden;
}

bool BrowseProcedure::init() {
  if (!Procedure::init()) return false;
  view_ = std::make_unique<BrowseView>(table(tableLabel_));
  if (window_.hasSheet() && currentTab_ == 0) currentTab_ = 1;
  // A browse opened only to look binds no updates.
  if (wm_.originalRequest == request::View)
    for (const char* b : {"?INSERT", "?CHANGE", "?DELETE"})
      if (auto id = button(b); !id.empty()) {
        states_[id].enabled = false;
        states_[id].hidden = true;
      }
  Status st = showOrder();
  if (!st) warn(st.text);
  return true;
}

Status BrowseProcedure::showOrder() {
  search_.clear();
  BrowseOrder order;
  if (!tabs_.empty()) {
    std::size_t i = std::size_t(std::max(currentTab_, 1) - 1);
    if (i >= tabs_.size()) i = 0;
    const BrowseTab& tab = tabs_[i];
    const dict::TableInfo& t = table(tableLabel_).info();
    order.key = t.key(tab.key);
    if (!order.key) throw std::logic_error("no key " + tab.key + " in " + std::string(t.label));
    order.descending = tab.descending;
    if (tab.range) order.range = tab.range(*this);
    order.filter = tab.filter;
  }
  if (headerField_ >= 0) {
    order.sortFields = {headerField_};
    order.descending = headerDescending_;
  }
  Status st = view_->setOrder(std::move(order));
  applyRules();
  listChanged();
  return st;
}

void BrowseProcedure::selectTab(int tab) {
  int before = currentTab_;
  Procedure::selectTab(tab);
  if (view_ && currentTab_ != before) {
    headerField_ = -1;
    (void)showOrder();
  }
}

void BrowseProcedure::headerClicked(int column) {
  const Control* list = window_.find(list_);
  if (!list || column < 0 || column >= int(list->columns.size())) return;
  const dict::TableInfo& t = table(tableLabel_).info();
  FieldRef ref = resolve(t, list->columns[std::size_t(column)].field);
  if (!ref || ref.elements() > 1 || ref.field->group >= 0 || ref.field->type == dict::Type::Memo)
    return;
  int field = t.fieldIndex(*ref.field);
  headerDescending_ = field == headerField_ ? !headerDescending_ : false;
  headerField_ = field;
  (void)showOrder();
}

void BrowseProcedure::listChanged() {
  selectionChanged();
  refresh(list_);
}

void BrowseProcedure::applyRules() {
  bool rows = view_ && !view_->empty();
  bool viewOnly = wm_.originalRequest == request::View;
  for (const char* name : {"?CHANGE", "?DELETE", "?VIEW"}) {
    std::string id = button(name);
    if (id.empty() || (viewOnly && std::string_view(name) != "?VIEW")) continue;
    states_[id].enabled = rows;
    refresh(id);
  }
  if (std::string sel = button("?SELECT"); !sel.empty()) {
    states_[sel].enabled = selecting() && rows;
    states_[sel].hidden = !selecting();
    refresh(sel);
  }
}

void BrowseProcedure::onAccepted(const std::string& control) {
  if (isButton(control, "?INSERT")) {
    update(request::Insert);
  } else if (isButton(control, "?CHANGE")) {
    update(request::Change);
  } else if (isButton(control, "?DELETE")) {
    if (auto refused = deleteAccess(program_, entry_)) {
      host_->warn(*refused);
      return;
    }
    update(request::Delete);
  } else if (isButton(control, "?VIEW")) {
    update(request::View);
  } else if (isButton(control, "?SELECT")) {
    if (view_->readSelected()) close(response::Completed);
  } else if (isButton(control, "?CLOSE")) {
    close(selecting() ? response::Cancelled : response::Completed);
  }
}

int BrowseProcedure::update(int req) {
  if (wm_.originalRequest == request::View && req != request::View) return response::Cancelled;
  db::Table& t = table(tableLabel_);
  if (req != request::Insert) {
    Status st = view_->readSelected();
    if (!st) return response::Cancelled;
  } else {
    t.clear();
  }
  int r = call(form_, req);
  // A header sort is a copy of the rows: take it again to include the change.
  if (r == response::Completed && headerField_ >= 0) {
    std::int64_t at = t.position();
    (void)showOrder();
    if (at != 0) (void)view_->show(at);
    applyRules();
    listChanged();
    return r;
  }
  if (r == response::Completed && (req == request::Insert || req == request::Change) &&
      t.position() != 0)
    (void)view_->show(t.position());
  else
    (void)view_->reload();
  applyRules();
  listChanged();
  return r;
}

void BrowseProcedure::closeBox() { close(selecting() ? response::Cancelled : response::Completed); }

void BrowseProcedure::rowClicked(int row) {
  view_->select(row);
  listChanged();
}

void BrowseProcedure::rowDoubleClicked(int row) {
  if (view_->empty()) return;
  view_->select(row);
  std::string b = button(selecting() ? "?SELECT" : "?CHANGE");
  if (usable(b)) accepted(b);
}

void BrowseProcedure::rightButtonReleased(int row) {
  if (!view_->empty()) view_->select(row);
  listChanged();
}

std::vector<PopupItem> BrowseProcedure::popup() const {
  std::vector<PopupItem> items;
  auto add = [&](const char* caption, const char* name) {
    std::string id = button(name);
    if (id.empty() || state(id).hidden) return;
    items.push_back({caption, id, state(id).enabled});
  };
  add("Alta", "?INSERT");
  add("Cambia", "?CHANGE");
  add("Borra", "?DELETE");
  add("Ver", "?VIEW");
  if (selecting()) add("Selecciona", "?SELECT");
  return items;
}

void BrowseProcedure::popupChosen(const std::string& caption) {
  for (const PopupItem& item : popup())
    if (item.caption == caption && item.enabled) accepted(item.control);
}

void BrowseProcedure::scrollThumb(int percent) {
  (void)view_->thumb(percent);
  listChanged();
}

void BrowseProcedure::keyPressed(Key key) {
  auto press = [&](const char* name) {
    std::string b = button(name);
    if (usable(b)) accepted(b);
  };
  switch (key) {
    case Key::Insert: press("?INSERT"); return;
    case Key::Delete: press("?DELETE"); return;
    case Key::CtrlEnter: press("?CHANGE"); return;
    case Key::ShiftEnter: press("?VIEW"); return;
    case Key::Down: (void)view_->down(); break;
    case Key::Up: (void)view_->up(); break;
    case Key::PageDown: (void)view_->pageDown(); break;
    case Key::PageUp: (void)view_->pageUp(); break;
    case Key::CtrlHome:
    case Key::Home: (void)view_->top(); break;
    case Key::CtrlEnd:
    case Key::End: (void)view_->bottom(); break;
    case Key::Backspace:
      if (!search_.empty()) {
        search_ = cp1252::utf8Prefix(search_, cp1252::utf8Length(search_) - 1);
        typedCharacter("");
      }
      return;
    default: Procedure::keyPressed(key); return;
  }
  listChanged();
}

void BrowseProcedure::typedCharacter(const std::string& ch) {
  if (tabs_.empty() || view_ == nullptr) return;
  const BrowseTab& tab = tabs_[std::size_t(std::max(currentTab_, 1) - 1) % tabs_.size()];
  if (tab.locator == LocatorKind::None || tab.locatorField.empty()) return;
  const dict::TableInfo& t = table(tableLabel_).info();
  FieldRef ref = resolve(t, tab.locatorField);
  if (!ref) return;
  Record probe(t);
  if (tab.locator == LocatorKind::Incremental) {
    if (cp1252::utf8Length(search_) < 40) search_ += ch;
    (void)probe.set(ref, search_);
    (void)view_->locate(probe);
  } else {
    if (ch.empty()) return;
    // The next row first; it stays when it still starts with the letter.
    (void)view_->down();
    bool noCase = t.key(tab.key) && t.key(tab.key)->noCase;
    auto fold = [&](const std::string& s) { return noCase ? cp1252::upperUtf8(s) : s; };
    bool stays = false;
    if (!view_->empty()) {
      std::string here = toText(view_->rows()[std::size_t(view_->selected())].record.get(ref));
      stays = fold(here).rfind(fold(ch), 0) == 0;
    }
    if (!stays) {
      (void)probe.set(ref, ch);
      (void)view_->locate(probe);
    }
  }
  listChanged();
}

std::string BrowseProcedure::cell(int row, int column) const {
  const Control* list = window_.find(list_);
  if (!list || column < 0 || column >= int(list->columns.size()) || row < 0 ||
      row >= int(view_->rows().size()))
    return {};
  const ListColumn& col = list->columns[std::size_t(column)];
  const Record& r = view_->rows()[std::size_t(row)].record;
  FieldRef ref = resolve(r.table(), col.field);
  Value v = ref ? r.get(ref) : program_.var(col.field);
  return col.picture.empty() ? toText(v) : formatPicture(col.picture, v);
}

int BrowseProcedure::bestFit(int column,
                             const std::function<int(const std::string&)>& measure) const {
  if (!bestFit_) return -1;
  int widest = 0;
  for (int r = 0; r < int(view_->rows().size()); ++r)
    widest = std::max(widest, measure(cell(r, column)));
  return widest;
}

CellColours BrowseProcedure::colours(int row, int column) const {
  CellColours c;
  const Control* list = window_.find(list_);
  if (!list || column < 0 || column >= int(list->columns.size()) ||
      !list->columns[std::size_t(column)].coloured)
    return c;
  // Green bar: the 1st, 3rd, 5th ... visible rows.
  if (row % 2 == 0) c.normalBg = kGreenBar;
  return c;
}

BrowseTab sortTab(std::string key, std::string locatorField) {
  BrowseTab t;
  t.key = std::move(key);
  if (!locatorField.empty()) {
    t.locator = LocatorKind::Incremental;
    t.locatorField = std::move(locatorField);
  }
  return t;
}

}  // namespace velmora
