// Writing a table: adding, changing (refused when another station changed
// the record since it was read) and deleting records.

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstring>

#include "dictionary/table_internal.h"

namespace velmora::db {

using dict::KeyInfo;

Status Table::bindRecord(sqlite3_stmt* s, const Record& r, int first) {
  const auto& cols = schema::columns(info_);
  for (std::size_t i = 0; i < cols.size(); ++i) {
    Status st = schema::bind(s, first + int(i), r, cols[i]);
    if (!st) return st;
  }
  return Status::success();
}

std::string updateColumns(const Record& now, const Record& before) {
  const auto& t = now.table();
  const auto& cols = schema::columns(t);
  std::string set((cols.size() + 7) / 8, '\0');
  bool any = false;
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const auto& c = cols[i];
    const void* a = t.ops->address(const_cast<void*>(now.data()), c.field, c.element);
    const void* b = t.ops->address(const_cast<void*>(before.data()), c.field, c.element);
    bool same = true;
    switch (c.type) {
      case dict::Type::Byte: same = std::memcmp(a, b, sizeof(std::uint8_t)) == 0; break;
      case dict::Type::Short: same = std::memcmp(a, b, sizeof(std::int16_t)) == 0; break;
      case dict::Type::Long: same = std::memcmp(a, b, sizeof(std::int32_t)) == 0; break;
      case dict::Type::Real: same = std::memcmp(a, b, sizeof(double)) == 0; break;
      case dict::Type::Decimal:
        same = static_cast<const Decimal*>(a)->cents() == static_cast<const Decimal*>(b)->cents();
        break;
      case dict::Type::String:
      case dict::Type::Memo:
        same = *static_cast<const std::string*>(a) == *static_cast<const std::string*>(b);
        break;
      case dict::Type::Group: break;
    }
    if (!same) {
      set[i / 8] = char(static_cast<unsigned char>(set[i / 8]) | 1u << (i % 8));
      any = true;
    }
  }
  if (!any) set.clear();
  return set;
}

Status Table::existsOther(const KeyInfo& key, const Record& r, std::int64_t exceptRow,
                          bool& found) {
  Status st;
  sqlite3_stmt* s = prepare(Sql::Exists, storedKey(key), 0, st);
  if (!s) return st;
  Reset reset{s};
  for (std::size_t i = 0; i < key.components.size(); ++i) {
    st = schema::bind(s, int(i) + 1, r, columnOf(info_, key.components[i]));
    if (!st) return st;
  }
  sqlite3_bind_int64(s, int(key.components.size()) + 1, exceptRow);
  int rc;
  st = step(s, rc);
  found = rc == SQLITE_ROW;
  return st;
}

// The engine only says that a unique key refused the row; find which, so
// that the message can name it.
Status Table::findDuplicate(const Record& r, std::int64_t exceptRow) {
  for (const auto& key : info_.keys) {
    if (!key.unique) continue;
    bool found = false;
    Status st = existsOther(key, r, exceptRow, found);
    if (!st) return st;
    if (found) {
      Status dup = Status::error(err::DuplicateKey,
                                 errorText(err::DuplicateKey) + ": " + std::string(key.name));
      dup.table = info_.label;
      dup.key = key.name;
      return dup;
    }
  }
  Status dup = Status::error(err::DuplicateKey, errorText(err::DuplicateKey));
  dup.table = info_.label;
  return dup;
}

// Positions are how windows hold on to records, so a position is never
// given twice: a delete of the last records would otherwise let the next add
// take the position again. The highest position a delete freed is kept in
// the file's header (its user version, which nothing else of ours uses).
Status Table::scalar(Sql kind, std::int64_t& value) {
  Status st;
  sqlite3_stmt* s = prepare(kind, 0, 0, st);
  if (!s) return st;
  Reset reset{s};
  int rc;
  st = step(s, rc);
  value = st && rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
  return st;
}

Status Table::add() {
  if (server_) {
    normalize(buffer_);
    return server_->add();
  }
  Status st = begin();
  if (!st) return st;
  normalize(buffer_);
  std::int64_t freed = 0, highest = 0;
  st = scalar(Sql::HighWater, freed);
  if (st && freed > 0) st = scalar(Sql::MaxRow, highest);
  if (!st) return end(st);
  const bool after = freed > highest;
  sqlite3_stmt* s = prepare(after ? Sql::InsertAt : Sql::Insert, 0, 0, st);
  if (!s) return end(st);
  {
    Reset reset{s};
    if (after) sqlite3_bind_int64(s, 1, freed + 1);
    st = bindRecord(s, buffer_, after ? 2 : 1);
    if (!st) return end(st);
    int rc;
    st = step(s, rc);
  }
  if (!st) {
    if (st.code == err::DuplicateKey) st = findDuplicate(buffer_, 0);
    return end(st);
  }
  std::int64_t id = sqlite3_last_insert_rowid(conn());
  wrote();
  const ReadMark mark = markNow();
  st = end(st);
  if (!st) return st;
  current_ = id;
  image_ = buffer_;
  mark_ = mark;
  return st;
}

// Inside the write's transaction: the record last read is still on file as
// it was read, neither changed nor deleted by another station.
Status Table::unchangedSinceRead() {
  Record now(info_);
  bool found = false;
  Status st = rowById(current_, now, found);
  if (!st || (found && now == image_)) return st;
  st = Status::error(err::RecordChanged,
                     errorText(err::RecordChanged) + (found ? "" : ": el registro fue borrado"));
  st.table = info_.label;
  return st;
}

// Only the columns that differ from the image are written: the image is
// what the file holds, checked below unless the record was read inside this
// very write transaction with nobody else writing since.
Status Table::put() {
  if (current_ == 0) return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  if (server_) {
    normalize(buffer_);
    return server_->put();
  }
  Status st = begin();
  if (!st) return st;
  if (!unchangedSince(mark_)) {
    st = unchangedSinceRead();
    if (!st) return end(st);
  }
  normalize(buffer_);
  const std::string columns = updateColumns(buffer_, image_);
  if (columns.empty()) return end(st);  // nothing to write
  sqlite3_stmt* s = prepare(StatementId{conn(), Sql::Update, 0, 0, columns}, st);
  if (!s) return end(st);
  {
    Reset reset{s};
    const auto& cols = schema::columns(info_);
    int param = 1;
    for (std::size_t i = 0; i < cols.size(); ++i) {
      if (!setsColumn(columns, i)) continue;
      st = schema::bind(s, param++, buffer_, cols[i]);
      if (!st) return end(st);
    }
    sqlite3_bind_int64(s, param, current_);
    int rc;
    st = step(s, rc);
  }
  if (!st) {
    if (st.code == err::DuplicateKey) st = findDuplicate(buffer_, current_);
    return end(st);
  }
  wrote();
  const ReadMark mark = markNow();
  st = end(st);
  if (!st) return st;
  image_ = buffer_;
  mark_ = mark;
  // A record read ahead by prefetch() now reads as written.
  auto at = std::lower_bound(prefetchRows_.begin(), prefetchRows_.end(), current_);
  if (at != prefetchRows_.end() && *at == current_)
    prefetchRecords_[std::size_t(at - prefetchRows_.begin())] = buffer_;
  return st;
}

Status Table::removeByPosition(std::int64_t position) {
  if (server_) return server_->removeByPosition(position);
  Status st = begin();
  if (!st) return st;
  std::int64_t freed = 0;
  st = scalar(Sql::HighWater, freed);
  if (!st) return end(st);
  sqlite3_stmt* s = prepare(Sql::Delete, 0, 0, st);
  if (!s) return end(st);
  {
    Reset reset{s};
    sqlite3_bind_int64(s, 1, position);
    int rc;
    st = step(s, rc);
  }
  if (st && sqlite3_changes(conn()) == 0)
    st = Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  if (st) {
    wrote();
    auto at = std::lower_bound(prefetchRows_.begin(), prefetchRows_.end(), position);
    if (at != prefetchRows_.end() && *at == position) {
      prefetchRecords_.erase(prefetchRecords_.begin() + (at - prefetchRows_.begin()));
      prefetchRows_.erase(at);
    }
  }
  if (st && position > freed && position <= INT32_MAX) {
    const std::string mark =
        "PRAGMA " + schema::quote(routeSchema_) + ".user_version=" + std::to_string(position);
    if (int rc = sqlite3_exec(conn(), mark.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK)
      st = engineError(rc, "borrando");
  }
  st = end(st);
  if (st && position == current_) current_ = 0;
  return st;
}

// The record last read, as it was read: a record another station changed or
// deleted meanwhile is not deleted behind the user's back.
Status Table::remove() {
  if (current_ == 0) return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  if (server_) return server_->remove();
  Status st = begin();
  if (!st) return st;
  if (!unchangedSince(mark_)) {
    st = unchangedSinceRead();
    if (!st) return end(st);
  }
  return end(removeByPosition(current_));
}

// Runs of positions close enough together are read as one range: a few
// records read in vain cost less than a statement per record.
Status Table::preload(const dict::KeyInfo& key, const std::vector<Record>& probes) {
  if (server_) return server_->preload(key, probes);
  return db_ ? Status::success() : notOpen(info_);
}

Status Table::prefetch(std::vector<std::int64_t> positions) {
  prefetchRows_.clear();
  prefetchRecords_.clear();
  if (server_) return server_->prefetch(std::move(positions));
  prefetchMark_ = markNow();
  if (!db_) return notOpen(info_);
  if (prefetchMark_.txn == 0 || positions.empty()) return Status::success();
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  constexpr std::int64_t kGap = 8;
  Status st;
  sqlite3_stmt* s = prepare(Sql::Span, 0, 0, st);
  if (!s) return st;
  std::size_t want = 0;
  for (std::size_t first = 0, last = 0; first < positions.size(); first = last + 1) {
    last = first;
    while (last + 1 < positions.size() && positions[last + 1] - positions[last] <= kGap) ++last;
    Reset reset{s};
    sqlite3_bind_int64(s, 1, positions[first]);
    sqlite3_bind_int64(s, 2, positions[last]);
    while (true) {
      int rc;
      st = step(s, rc);
      if (!st || rc != SQLITE_ROW) break;
      const std::int64_t row = sqlite3_column_int64(s, 0);
      while (want < positions.size() && positions[want] < row) ++want;
      if (want == positions.size() || positions[want] != row) continue;
      prefetchRecords_.emplace_back(info_);
      std::int64_t id;
      st = readRow(s, prefetchRecords_.back(), id);
      if (!st) break;
      prefetchRows_.push_back(row);
    }
    if (!st) break;
  }
  if (!st) {
    prefetchRows_.clear();
    prefetchRecords_.clear();
  }
  return st;
}

const Record* Table::prefetched(std::int64_t position) const {
  if (prefetchRows_.empty() || !unchangedSince(prefetchMark_)) return nullptr;
  auto at = std::lower_bound(prefetchRows_.begin(), prefetchRows_.end(), position);
  if (at == prefetchRows_.end() || *at != position) return nullptr;
  return &prefetchRecords_[std::size_t(at - prefetchRows_.begin())];
}

}  // namespace velmora::db
