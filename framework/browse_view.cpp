#include "framework/browse_view.h"

#include <algorithm>
#include <cmath>

#include "dictionary/cp1252.h"

namespace velmora {

namespace {

// The characters a text key is spread over for the thumb, in the order the
// key compares them (upper case).
const std::string& keyCharacters() {
  static const std::string chars = [] {
    std::string s = " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`{|}~";
    return s;
  }();
  return chars;
}

int charIndex(unsigned char c) {
  const std::string& chars = keyCharacters();
  c = cp1252::upper(c);
  auto at = chars.find(char(c));
  if (at != std::string::npos) return int(at);
  // Letters beyond ASCII (Ñ, É ...) sort after Z in the key; place them there.
  return c >= 0x80 ? int(chars.find('Z')) : 0;
}

std::string toBytes(const std::string& utf8) {
  auto enc = cp1252::fromUtf8(utf8);
  return enc.ok ? enc.bytes : utf8;
}

// The four characters after the common prefix, read as a number in base N.
double tailNumber(const std::string& bytes, std::size_t from) {
  double n = 0;
  const double base = double(keyCharacters().size());
  for (std::size_t i = 0; i < 4; ++i) {
    unsigned char c = from + i < bytes.size() ? static_cast<unsigned char>(bytes[from + i]) : ' ';
    n = n * base + charIndex(c);
  }
  return n;
}

std::size_t commonPrefix(const std::string& a, const std::string& b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() &&
         cp1252::upper(static_cast<unsigned char>(a[n])) ==
             cp1252::upper(static_cast<unsigned char>(b[n])))
    ++n;
  return n;
}

double asNumber(const Value& v) {
  if (auto* i = std::get_if<std::int64_t>(&v)) return double(*i);
  if (auto* d = std::get_if<double>(&v)) return *d;
  if (auto* c = std::get_if<Decimal>(&v)) return c->toDouble();
  return 0;
}

}  // namespace

std::string interpolateText(const std::string& first, const std::string& last, int percent) {
  std::string a = toBytes(first), b = toBytes(last);
  std::size_t p = commonPrefix(a, b);
  double x = tailNumber(a, p), y = tailNumber(b, p);
  double v = std::round(x + (y - x) * percent / 100.0);
  const std::string& chars = keyCharacters();
  const double base = double(chars.size());
  std::string tail(4, ' ');
  for (int i = 3; i >= 0; --i) {
    double digit = std::fmod(v, base);
    tail[std::size_t(i)] = chars[std::size_t(digit)];
    v = std::floor(v / base);
  }
  std::string out = a.substr(0, p) + tail;
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return cp1252::toUtf8(out);
}

double textPosition(const std::string& first, const std::string& last, const std::string& value) {
  std::string a = toBytes(first), b = toBytes(last), v = toBytes(value);
  std::size_t p = commonPrefix(a, b);
  double x = tailNumber(a, p), y = tailNumber(b, p);
  if (x == y) return 0;
  // A value outside the common prefix lies before or after the whole span.
  std::size_t pv = commonPrefix(a, v);
  if (pv < p) return v < a ? 0 : 100;
  return std::clamp((tailNumber(v, p) - x) / (y - x) * 100.0, 0.0, 100.0);
}

BrowseView::BrowseView(db::Table& table, int pageRows)
    : table_(table), pageRows_(pageRows < 1 ? 1 : pageRows), rangeProbe_(table.info()) {}

int BrowseView::freeComponent() const { return int(rangeSize_); }

bool BrowseView::inView(const Record& r) const {
  return inRange(r) && (!order_.filter || order_.filter(r));
}

bool BrowseView::inRange(const Record& r) const {
  if (key_ && rangeSize_ > 0) {
    const auto& t = table_.info();
    for (std::size_t i = 0; i < rangeSize_; ++i) {
      FieldRef ref{&t, &t.fields[std::size_t(key_->components[i])], 1};
      Value a = r.get(ref), b = rangeProbe_.get(ref);
      if (auto* sa = std::get_if<std::string>(&a)) {
        const auto& sb = std::get<std::string>(b);
        if (key_->noCase ? cp1252::upperUtf8(*sa) != cp1252::upperUtf8(sb) : *sa != sb)
          return false;
      } else if (asNumber(a) != asNumber(b)) {
        return false;
      }
    }
  }
  return true;
}

Status BrowseView::setOrder(BrowseOrder order) {
  order_ = std::move(order);
  rangeProbe_.clear();
  if (order_.key) {
    if (order_.range.size() > order_.key->components.size())
      order_.range.resize(order_.key->components.size());
    const auto& t = table_.info();
    for (std::size_t i = 0; i < order_.range.size(); ++i) {
      FieldRef ref{&t, &t.fields[std::size_t(order_.key->components[i])], 1};
      Status st = rangeProbe_.set(ref, order_.range[i]);
      if (!st) return st;
    }
  } else {
    order_.range.clear();
  }
  key_ = order_.key;
  rangeSize_ = order_.range.size();
  if (!order_.sortFields.empty()) {
    table_.buffer() = rangeProbe_;
    Status st = table_.sortBy(order_.sortFields, key_, order_.key, int(order_.range.size()));
    if (!st) {
      key_ = order_.key;
      return st;
    }
    rangeSize_ = 0;
  }
  return top();
}

Status BrowseView::seekStart() {
  if (!key_ || rangeSize_ == 0) return table_.setStart(key_);
  table_.buffer() = rangeProbe_;
  return table_.set(key_, int(rangeSize_));
}

Status BrowseView::seekProbe(const Record& probe, int components) {
  Record at = probe;
  const auto& t = table_.info();
  for (std::size_t i = 0; i < rangeSize_; ++i) {
    FieldRef ref{&t, &t.fields[std::size_t(key_->components[i])], 1};
    Status st = at.set(ref, rangeProbe_.get(ref));
    if (!st) return st;
  }
  table_.buffer() = at;
  return table_.set(key_, components);
}

Status BrowseView::step(bool forward, bool& got) {
  got = false;
  while (true) {
    bool keyForward = forward != order_.descending;
    Status st = keyForward ? table_.next() : table_.previous();
    if (st.code == err::NoRecord) return Status::success();
    if (!st) return st;
    const Record& r = table_.buffer();
    // Past the range the view ends; rows that fail the filter are skipped.
    if (!inRange(r)) return Status::success();
    if (order_.filter && !order_.filter(r)) continue;
    got = true;
    return Status::success();
  }
}

Status BrowseView::collect(bool forward, int count, std::vector<BrowseRow>& out) {
  for (int i = 0; i < count; ++i) {
    bool got = false;
    Status st = step(forward, got);
    if (!st) return st;
    if (!got) break;
    out.push_back({table_.position(), table_.buffer()});
  }
  return Status::success();
}

Status BrowseView::top() {
  rows_.clear();
  Status st = seekStart();
  if (st) st = collect(true, pageRows_, rows_);
  selected_ = rows_.empty() ? -1 : 0;
  return st;
}

Status BrowseView::bottom() {
  rows_.clear();
  Status st = seekStart();
  std::vector<BrowseRow> back;
  if (st) st = collect(false, pageRows_, back);
  rows_.assign(std::make_move_iterator(back.rbegin()), std::make_move_iterator(back.rend()));
  selected_ = rows_.empty() ? -1 : int(rows_.size()) - 1;
  return st;
}

void BrowseView::select(int row) {
  if (rows_.empty()) {
    selected_ = -1;
    return;
  }
  selected_ = std::clamp(row, 0, int(rows_.size()) - 1);
}

Status BrowseView::down() {
  if (rows_.empty()) return Status::success();
  if (selected_ + 1 < int(rows_.size())) {
    ++selected_;
    return Status::success();
  }
  Status st = table_.setAfter(key_, rows_.back().position);
  if (st.code == err::RecordNotFound) return reload();
  std::vector<BrowseRow> more;
  if (st) st = collect(true, 1, more);
  if (st && !more.empty()) {
    if (int(rows_.size()) >= pageRows_) rows_.erase(rows_.begin());
    rows_.push_back(std::move(more.front()));
    selected_ = int(rows_.size()) - 1;
  }
  return st;
}

Status BrowseView::up() {
  if (rows_.empty()) return Status::success();
  if (selected_ > 0) {
    --selected_;
    return Status::success();
  }
  Status st = table_.setAfter(key_, rows_.front().position);
  if (st.code == err::RecordNotFound) return reload();
  std::vector<BrowseRow> more;
  if (st) st = collect(false, 1, more);
  if (st && !more.empty()) {
    if (int(rows_.size()) >= pageRows_) rows_.pop_back();
    rows_.insert(rows_.begin(), std::move(more.front()));
    selected_ = 0;
  }
  return st;
}

Status BrowseView::fillFrom(std::int64_t position) {
  int keep = selected_;
  Status st = table_.getByPosition(position);
  if (!st) return st;
  std::vector<BrowseRow> page;
  page.push_back({position, table_.buffer()});
  st = table_.setAfter(key_, position);
  if (st) st = collect(true, pageRows_ - 1, page);
  if (st && int(page.size()) < pageRows_) {
    // Near the end: top the page up with the rows before it.
    std::vector<BrowseRow> before;
    st = table_.setAfter(key_, position);
    if (st) st = collect(false, pageRows_ - int(page.size()), before);
    page.insert(page.begin(), std::make_move_iterator(before.rbegin()),
                std::make_move_iterator(before.rend()));
  }
  rows_ = std::move(page);
  selected_ = keep;
  return st;
}

Status BrowseView::pageDown() {
  if (rows_.empty()) return Status::success();
  int keep = selected_;
  Status st = table_.setAfter(key_, rows_.back().position);
  if (st.code == err::RecordNotFound) return reload();
  std::vector<BrowseRow> next;
  if (st) st = collect(true, 1, next);
  if (!st) return st;
  if (next.empty()) {
    selected_ = int(rows_.size()) - 1;  // already on the last page
    return st;
  }
  st = fillFrom(next.front().position);
  select(keep);
  return st;
}

Status BrowseView::pageUp() {
  if (rows_.empty()) return Status::success();
  int keep = selected_;
  Status st = table_.setAfter(key_, rows_.front().position);
  if (st.code == err::RecordNotFound) return reload();
  std::vector<BrowseRow> before;
  if (st) st = collect(false, pageRows_, before);
  if (!st) return st;
  if (before.empty()) {
    selected_ = 0;
    return st;
  }
  if (int(before.size()) < pageRows_) return top();
  st = fillFrom(before.back().position);
  select(keep);
  return st;
}

Status BrowseView::locate(const Record& probe) {
  if (!key_) return top();
  int components = std::min<int>(freeComponent() + 1, int(key_->components.size()));
  Status st = seekProbe(probe, components);
  std::vector<BrowseRow> found;
  if (st) st = collect(true, 1, found);
  if (!st) return st;
  if (found.empty()) return bottom();
  st = fillFrom(found.front().position);
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].position == found.front().position) selected_ = int(i);
  return st;
}

Status BrowseView::edgeValue(bool first, Value& v, bool& found) {
  found = false;
  Status st = seekStart();
  std::vector<BrowseRow> one;
  if (st) st = collect(first, 1, one);
  if (!st || one.empty()) return st;
  const auto& t = table_.info();
  v = one.front().record.get(
      FieldRef{&t, &t.fields[std::size_t(key_->components[std::size_t(freeComponent())])], 1});
  found = true;
  return st;
}

Status BrowseView::thumb(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (!key_ || freeComponent() >= int(key_->components.size()) || percent == 0) return top();
  if (percent == 100) return bottom();
  Value first, last;
  bool hasFirst = false, hasLast = false;
  Status st = edgeValue(true, first, hasFirst);
  if (st) st = edgeValue(false, last, hasLast);
  if (!st || !hasFirst || !hasLast) return st ? top() : st;
  Record probe(table_.info());
  const auto& t = table_.info();
  FieldRef ref{&t, &t.fields[std::size_t(key_->components[std::size_t(freeComponent())])], 1};
  if (auto* a = std::get_if<std::string>(&first)) {
    st = probe.set(ref, interpolateText(*a, std::get<std::string>(last), percent));
  } else {
    double x = asNumber(first), y = asNumber(last);
    st = probe.set(ref, x + (y - x) * percent / 100.0);
  }
  if (!st) return st;
  return locate(probe);
}

int BrowseView::thumbPercent() {
  if (rows_.empty() || !key_ || freeComponent() >= int(key_->components.size())) return 0;
  Value first, last;
  bool hasFirst = false, hasLast = false;
  // Reading the edges goes through the table's buffer, which may hold the
  // record just selected for the caller: it is put back.
  Record kept = table_.buffer();
  bool read = edgeValue(true, first, hasFirst) && edgeValue(false, last, hasLast);
  table_.buffer() = kept;
  if (!read || !hasFirst || !hasLast) return 0;
  const auto& t = table_.info();
  FieldRef ref{&t, &t.fields[std::size_t(key_->components[std::size_t(freeComponent())])], 1};
  Value here = rows_[std::size_t(std::max(selected_, 0))].record.get(ref);
  double p;
  if (auto* a = std::get_if<std::string>(&first)) {
    p = textPosition(*a, std::get<std::string>(last), std::get<std::string>(here));
  } else {
    double x = asNumber(first), y = asNumber(last), h = asNumber(here);
    p = x == y ? 0 : (h - x) / (y - x) * 100.0;
  }
  return int(std::lround(std::clamp(p, 0.0, 100.0)));
}

Status BrowseView::show(std::int64_t position) {
  Status st = table_.getByPosition(position);
  if (st.code == err::RecordNotFound || (st && !inView(table_.buffer()))) return reload();
  if (!st) return st;
  st = fillFrom(position);
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].position == position) selected_ = int(i);
  return st;
}

Status BrowseView::reload() {
  int keep = selected_;
  // Start from the first row of the page that is still there and in view.
  for (const BrowseRow& row : rows_) {
    Status st = table_.getByPosition(row.position);
    if (st.code == err::RecordNotFound || (st && !inView(table_.buffer()))) continue;
    if (!st) return st;
    st = fillFrom(row.position);
    select(keep);
    return st;
  }
  Status st = top();
  select(keep);
  return st;
}

Status BrowseView::readSelected(bool asShown) {
  if (selected_ < 0) return Status::error(err::NoRecord, "No hay registro seleccionado");
  const BrowseRow& row = rows_[std::size_t(selected_)];
  Status st = table_.getByPosition(row.position);
  const bool gone = st.code == err::RecordNotFound;
  if (gone || (st && asShown && !(table_.buffer() == row.record))) {
    st = Status::error(err::RecordChanged, gone ? "El registro fue borrado por otra estación"
                                                : "El registro fue cambiado por otra estación");
    st.table = std::string(table_.info().label);
  }
  return st;
}

}  // namespace velmora
