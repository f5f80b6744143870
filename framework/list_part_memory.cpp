#include "framework/list_part_memory.h"

#include <algorithm>
#include <numeric>

#include "dictionary/cp1252.h"

namespace velmora {

namespace {

bool isText(const Value& v) { return std::holds_alternative<std::string>(v); }

// Amounts compared in cents where they can be, so that decimals stay exact.
long double amount(const Value& v) {
  if (auto i = std::get_if<std::int64_t>(&v)) return static_cast<long double>(*i) * 100;
  if (auto d = std::get_if<double>(&v)) return static_cast<long double>(*d) * 100;
  if (auto m = std::get_if<Decimal>(&v)) return static_cast<long double>(m->cents());
  return 0;
}

std::int64_t cents(const Value& v) {
  if (auto i = std::get_if<std::int64_t>(&v)) return *i * 100;
  if (auto d = std::get_if<double>(&v)) {
    auto m = Decimal::fromDouble(*d);
    return m ? m->cents() : 0;
  }
  if (auto m = std::get_if<Decimal>(&v)) return m->cents();
  auto m = Decimal::parse(std::get<std::string>(v));
  return m ? m->cents() : 0;
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  return s;
}

}  // namespace

int compareValues(const Value& a, const Value& b) {
  if (isText(a) != isText(b)) return isText(a) ? 1 : -1;
  if (isText(a)) {
    std::string x = cp1252::upperUtf8(std::get<std::string>(a));
    std::string y = cp1252::upperUtf8(std::get<std::string>(b));
    return x < y ? -1 : y < x ? 1 : 0;
  }
  if (auto x = std::get_if<Decimal>(&a))
    if (auto y = std::get_if<Decimal>(&b)) return *x < *y ? -1 : *y < *x ? 1 : 0;
  long double x = amount(a), y = amount(b);
  return x < y ? -1 : y < x ? 1 : 0;
}

MemoryListPart::MemoryListPart(Procedure& owner, std::string control)
    : ListPart(owner, std::move(control)) {}

const ListRow* MemoryListPart::selectedRow() const {
  return selected_ < 0 ? nullptr : &rows_[std::size_t(selected_)];
}

Value MemoryListPart::value(int row, int column) const {
  const ListRow& r = rows_[std::size_t(row)];
  return std::size_t(column) < r.size() ? r[std::size_t(column)] : Value(std::string());
}

std::string MemoryListPart::cell(int row, int column) const {
  if (row < 0 || row >= int(rows_.size()) || column < 0 ||
      std::size_t(column) >= rows_[std::size_t(row)].size())
    return {};
  return ListPart::cell(row, column);
}

void MemoryListPart::select(int row) {
  if (rows_.empty()) {
    selected_ = -1;
    return;
  }
  selected_ = std::clamp(row, 0, int(rows_.size()) - 1);
}

void MemoryListPart::afterEdit() {
  search_.clear();
  applyRules();
  changed();
}

int MemoryListPart::add(ListRow row) {
  auto at = rows_.end();
  if (sortColumn_ >= 0) {
    // After its equals, as a stable sort would put it.
    const std::size_t c = std::size_t(sortColumn_);
    auto key = [c](const ListRow& r) { return c < r.size() ? r[c] : Value(std::string()); };
    Value k = key(row);
    at = std::find_if(rows_.begin(), rows_.end(), [&](const ListRow& r) {
      int cmp = compareValues(key(r), k);
      return descending_ ? cmp < 0 : cmp > 0;
    });
  }
  at = rows_.insert(at, std::move(row));
  selected_ = int(at - rows_.begin());
  afterEdit();
  return selected_;
}

bool MemoryListPart::replace(int row, ListRow values) {
  if (row < 0 || row >= int(rows_.size())) return false;
  rows_[std::size_t(row)] = std::move(values);
  afterEdit();
  return true;
}

bool MemoryListPart::remove(int row) {
  if (row < 0 || row >= int(rows_.size())) return false;
  rows_.erase(rows_.begin() + row);
  select(row);
  afterEdit();
  return true;
}

void MemoryListPart::clear() {
  rows_.clear();
  selected_ = -1;
  afterEdit();
}

void MemoryListPart::sortBy(int column, bool descending) {
  sortColumn_ = column;
  descending_ = descending;
  if (column < 0) return afterEdit();
  std::vector<std::size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), std::size_t(0));
  const std::size_t c = std::size_t(column);
  auto key = [&](std::size_t i) {
    return c < rows_[i].size() ? rows_[i][c] : Value(std::string());
  };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    int cmp = compareValues(key(a), key(b));
    return descending ? cmp > 0 : cmp < 0;
  });
  std::vector<ListRow> sorted;
  sorted.reserve(rows_.size());
  int now = -1;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (int(order[i]) == selected_) now = int(i);
    sorted.push_back(std::move(rows_[order[i]]));
  }
  rows_ = std::move(sorted);
  selected_ = now;
  afterEdit();
}

void MemoryListPart::headerClicked(int column) {
  if (column < 0 || column >= int(columns().size())) return;
  sortBy(column, column == sortColumn_ ? !descending_ : false);
}

Decimal MemoryListPart::total(int column) const {
  std::int64_t sum = 0;
  for (const ListRow& r : rows_)
    if (std::size_t(column) < r.size()) sum += cents(r[std::size_t(column)]);
  return Decimal::fromCents(sum);
}

bool MemoryListPart::move(Key key) {
  switch (key) {
    case Key::Down:
    case Key::Up:
    case Key::PageDown:
    case Key::PageUp:
    case Key::Home:
    case Key::End:
    case Key::CtrlHome:
    case Key::CtrlEnd: break;
    default: return false;
  }
  if (rows_.empty()) return true;
  const int last = int(rows_.size()) - 1, page = std::max(pageRows_ - 1, 1);
  switch (key) {
    case Key::Down: select(selected_ + 1); return true;
    case Key::Up: select(selected_ - 1); return true;
    case Key::PageDown: select(std::min(selected_ + page, last)); return true;
    case Key::PageUp: select(std::max(selected_ - page, 0)); return true;
    case Key::CtrlHome:
    case Key::Home: select(0); return true;
    case Key::CtrlEnd:
    case Key::End: select(last); return true;
    default: return false;
  }
}

void MemoryListPart::typedCharacter(const std::string& ch) {
  if (rows_.empty()) return;
  if (cp1252::utf8Length(search_) < 40) search_ += ch;
  const int column = std::max(sortColumn_, 0);
  const std::string wanted = cp1252::upperUtf8(search_);
  for (int r = 0; r < int(rows_.size()); ++r)
    if (cp1252::upperUtf8(trimmed(cell(r, column))).rfind(wanted, 0) == 0) {
      select(r);
      break;
    }
  changed();
}

}  // namespace velmora
