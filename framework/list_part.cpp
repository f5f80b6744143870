#include "framework/list_part.h"

#include <algorithm>

#include "dictionary/cp1252.h"
#include "framework/picture.h"

namespace velmora {

ListPart::ListPart(Procedure& owner, std::string control)
    : owner_(owner), control_(std::move(control)) {}

ListPart::~ListPart() = default;

const std::vector<ListColumn>& ListPart::columns() const {
  static const std::vector<ListColumn> none;
  const Control* c = owner_.window().find(control_);
  return c ? c->columns : none;
}

const std::vector<ColumnGroup>& ListPart::columnGroups() const {
  static const std::vector<ColumnGroup> none;
  const Control* c = owner_.window().find(control_);
  return c ? c->groups : none;
}

std::string ListPart::cell(int row, int column) const {
  const auto& cols = columns();
  if (column < 0 || column >= int(cols.size()) || row < 0 || row >= rowCount()) return {};
  const ListColumn& col = cols[std::size_t(column)];
  Value v = value(row, column);
  if (!col.words.empty()) {
    const std::string text = toText(v);
    for (const auto& [value, word] : col.words)
      if (value == text) return word;
  }
  return col.picture.empty() ? toText(v) : formatPicture(col.picture, v);
}

std::string ListPart::footer(int column) const {
  const auto& cols = columns();
  if (column < 0 || column >= int(cols.size())) return {};
  const ListColumn& col = cols[std::size_t(column)];
  if (col.total.empty()) return {};
  Value v = owner_.value(col.total);
  return col.picture.empty() ? toText(v) : formatPicture(col.picture, v);
}

std::string ListPart::footerOf(std::string_view variable) const {
  const auto& cols = columns();
  for (std::size_t i = 0; i < cols.size(); ++i)
    if (cols[i].total == variable) return footer(int(i));
  return {};
}

bool ListPart::hasFooter() const {
  for (const ListColumn& c : columns())
    if (!c.total.empty()) return true;
  return false;
}

CellColours ListPart::colours(int row, int column) const {
  CellColours c;
  const auto& cols = columns();
  if (column < 0 || column >= int(cols.size()) || !cols[std::size_t(column)].coloured) return c;
  // Green bar: the 1st, 3rd, 5th ... visible rows.
  if (row % 2 == 0) c.normalBg = kGreenBar;
  return c;
}

int ListPart::bestFit(int column, const std::function<int(const std::string&)>& measure) const {
  if (!bestFit_) return -1;
  int widest = 0;
  for (int r = 0; r < rowCount(); ++r) widest = std::max(widest, measure(cell(r, column)));
  return widest;
}

bool ListPart::usable(const std::string& b) const {
  if (b.empty()) return false;
  ControlState s = owner_.state(b);
  return s.enabled && !s.hidden;
}

void ListPart::press(const std::string& b) {
  if (usable(b)) owner_.accepted(b);
}

void ListPart::changed() {
  if (onChanged_) onChanged_();
  owner_.refresh(control_);
}

void ListPart::applyRules() {
  bool rows = !empty();
  for (auto [id, no] : {std::pair{&buttons.change, refused.change},
                        {&buttons.remove, refused.remove},
                        {&buttons.view, false}}) {
    if (id->empty() || (viewOnly && id != &buttons.view)) continue;
    owner_.enable(*id, rows && !no);
  }
  if (refused.insert && !buttons.insert.empty()) owner_.enable(buttons.insert, false);
  if (!buttons.select.empty()) {
    owner_.enable(buttons.select, selecting && rows);
    owner_.hide(buttons.select, !selecting);
  }
}

void ListPart::rowClicked(int row) {
  select(row);
  changed();
}

void ListPart::rowDoubleClicked(int row) {
  if (empty()) return;
  select(row);
  press(selecting ? buttons.select : buttons.change);
}

void ListPart::rightButtonReleased(int row) {
  if (!empty()) select(row);
  changed();
}

std::vector<PopupItem> ListPart::popup() const {
  std::vector<PopupItem> items;
  auto add = [&](const char* caption, const std::string& id) {
    if (id.empty() || owner_.state(id).hidden) return;
    items.push_back({caption, id, owner_.state(id).enabled});
  };
  add("Alta", buttons.insert);
  add("Cambia", buttons.change);
  add("Borra", buttons.remove);
  add("Ver", buttons.view);
  if (selecting) add("Selecciona", buttons.select);
  return items;
}

void ListPart::popupChosen(const std::string& caption) {
  for (const PopupItem& item : popup())
    if (item.caption == caption && item.enabled) owner_.accepted(item.control);
}

void ListPart::backspace() {
  if (search_.empty()) return;
  search_ = cp1252::utf8Prefix(search_, cp1252::utf8Length(search_) - 1);
  typedCharacter("");
}

bool ListPart::keyPressed(Key key) {
  switch (key) {
    case Key::Insert: press(buttons.insert); return true;
    case Key::Delete: press(buttons.remove); return true;
    case Key::CtrlEnter: press(buttons.change); return true;
    case Key::ShiftEnter: press(buttons.view); return true;
    case Key::Enter:
      // While choosing, "Selecciona" is the default button: Enter picks the row.
      if (!selecting) return false;
      press(buttons.select);
      return true;
    case Key::Backspace: backspace(); return true;
    default:
      if (!move(key)) return false;
      changed();
      return true;
  }
}

}  // namespace velmora
