#include "framework/list_part_table.h"

#include <stdexcept>

#include "dictionary/cp1252.h"

namespace velmora {

TableListPart::TableListPart(Procedure& owner, std::string control, std::string table,
                             std::vector<BrowseTab> tabs)
    : ListPart(owner, std::move(control)), table_(std::move(table)), tabs_(std::move(tabs)) {}

TableListPart::~TableListPart() = default;

void TableListPart::open() {
  view_ = std::make_unique<BrowseView>(owner_.table(table_), pageRows_);
}

const BrowseTab* TableListPart::currentTab() const {
  if (tabs_.empty()) return nullptr;
  std::size_t i = std::size_t(std::max(tab_, 0));
  return &tabs_[i < tabs_.size() ? i : 0];
}

Status TableListPart::showOrder() {
  search_.clear();
  names_.clear();
  BrowseOrder order;
  if (const BrowseTab* tab = currentTab()) {
    const dict::TableInfo& t = view_->table().info();
    order.key = t.key(tab->key);
    if (!order.key) throw std::logic_error("no key " + tab->key + " in " + std::string(t.label));
    order.descending = tab->descending;
    if (tab->range) order.range = tab->range(owner_);
    order.filter = tab->filter;
  }
  if (headerField_ >= 0) {
    order.sortFields = {headerField_};
    order.descending = headerDescending_;
  }
  Status st = view_->setOrder(std::move(order));
  applyRules();
  changed();
  return st;
}

void TableListPart::setTab(int tab) {
  tab_ = tab;
  headerField_ = -1;
  if (view_) (void)showOrder();
}

void TableListPart::select(int row) {
  if (view_) view_->select(row);
}

int TableListPart::pageRows() const { return view_ ? view_->pageRows() : pageRows_; }

void TableListPart::fitPageRows(int rows) {
  ListPart::fitPageRows(rows);
  if (!view_ || view_->pageRows() == pageRows_) return;
  view_->setPageRows(pageRows_);
  (void)view_->reload();
}

void TableListPart::headerClicked(int column) {
  const auto& cols = columns();
  if (!view_ || column < 0 || column >= int(cols.size())) return;
  const dict::TableInfo& t = view_->table().info();
  FieldRef ref = resolve(t, cols[std::size_t(column)].field);
  if (!ref || ref.elements() > 1 || ref.field->group >= 0 || ref.field->type == dict::Type::Memo)
    return;
  int field = t.fieldIndex(*ref.field);
  headerDescending_ = field == headerField_ ? !headerDescending_ : false;
  headerField_ = field;
  (void)showOrder();
}

void TableListPart::scrollThumb(int percent) {
  if (!view_) return;
  (void)view_->thumb(percent);
  changed();
}

bool TableListPart::move(Key key) {
  if (!view_) return false;
  switch (key) {
    case Key::Down: (void)view_->down(); return true;
    case Key::Up: (void)view_->up(); return true;
    case Key::PageDown: (void)view_->pageDown(); return true;
    case Key::PageUp: (void)view_->pageUp(); return true;
    case Key::CtrlHome:
    case Key::Home: (void)view_->top(); return true;
    case Key::CtrlEnd:
    case Key::End: (void)view_->bottom(); return true;
    default: return false;
  }
}

void TableListPart::typedCharacter(const std::string& ch) {
  const BrowseTab* tab = currentTab();
  if (!tab || !view_) return;
  if (tab->locator == LocatorKind::None || tab->locatorField.empty()) return;
  const dict::TableInfo& t = view_->table().info();
  FieldRef ref = resolve(t, tab->locatorField);
  if (!ref) return;
  Record probe(t);
  if (tab->locator == LocatorKind::Incremental) {
    if (cp1252::utf8Length(search_) < 40) search_ += ch;
    (void)probe.set(ref, search_);
    (void)view_->locate(probe);
  } else {
    if (ch.empty()) return;
    // The next row first; it stays when it still starts with the letter.
    (void)view_->down();
    bool noCase = t.key(tab->key) && t.key(tab->key)->noCase;
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
  changed();
}

Value TableListPart::value(int row, int column) const {
  const ListColumn& col = columns()[std::size_t(column)];
  const Record& r = view_->rows()[std::size_t(row)].record;
  if (auto it = computed_.find(col.field); it != computed_.end()) return it->second(r);
  FieldRef ref = resolve(r.table(), col.field);
  Value v = ref ? r.get(ref) : owner_.program().var(col.field);
  return col.lookupKey.empty() ? v : lookedUp(col, v);
}

void TableListPart::computed(std::string field, std::function<Value(const Record&)> compute) {
  computed_[std::move(field)] = std::move(compute);
}

Value TableListPart::lookedUp(const ListColumn& col, const Value& code) const {
  const auto id = std::make_pair(col.lookupKey + "|" + col.lookupField, toText(code));
  if (auto it = names_.find(id); it != names_.end()) return it->second;
  Value found = std::string();
  const dict::TableInfo* related = nullptr;
  const dict::KeyInfo* key = dict::findKey(col.lookupKey, &related);
  if (key && related && !key->components.empty()) {
    if (!lookups_) lookups_ = std::make_unique<db::Context>(owner_.context().storage());
    db::Table& t = lookups_->table(*related);
    if (t.isOpen() || t.open()) {
      t.clear();
      const auto& first = related->fields[std::size_t(key->components[0])];
      if (t.buffer().set(first.name, code) && t.get(*key)) found = t.buffer().get(col.lookupField);
    }
  }
  if (names_.size() > 1000) names_.clear();
  names_.emplace(id, found);
  return found;
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
