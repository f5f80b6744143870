// Writing a table: adding, changing (refused when another station changed
// the record since it was read) and deleting records.

#include <sqlcipher/sqlite3.h>

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
  st = end(st);
  if (!st) return st;
  current_ = id;
  image_ = buffer_;
  touched();
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

Status Table::put() {
  if (current_ == 0) return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  Status st = begin();
  if (!st) return st;
  st = unchangedSinceRead();
  if (!st) return end(st);
  normalize(buffer_);
  sqlite3_stmt* s = prepare(Sql::Update, 0, 0, st);
  if (!s) return end(st);
  {
    Reset reset{s};
    st = bindRecord(s, buffer_, 1);
    if (!st) return end(st);
    sqlite3_bind_int64(s, int(schema::columns(info_).size()) + 1, current_);
    int rc;
    st = step(s, rc);
  }
  if (!st) {
    if (st.code == err::DuplicateKey) st = findDuplicate(buffer_, current_);
    return end(st);
  }
  st = end(st);
  if (!st) return st;
  image_ = buffer_;
  touched();
  return st;
}

Status Table::removeByPosition(std::int64_t position) {
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
  if (st && position > freed && position <= INT32_MAX) {
    const std::string mark =
        "PRAGMA " + schema::quote(routeSchema_) + ".user_version=" + std::to_string(position);
    if (int rc = sqlite3_exec(conn(), mark.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK)
      st = engineError(rc, "borrando");
  }
  st = end(st);
  if (st) {
    if (position == current_) current_ = 0;
    touched();
  }
  return st;
}

// The record last read, as it was read: a record another station changed or
// deleted meanwhile is not deleted behind the user's back.
Status Table::remove() {
  if (current_ == 0) return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  Status st = begin();
  if (!st) return st;
  st = unchangedSinceRead();
  if (!st) return end(st);
  return end(removeByPosition(current_));
}

}  // namespace velmora::db
