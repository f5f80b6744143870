// Reading a table: exact reads by key or position, and the key-order and
// record-order reading of set/next/previous through a read-ahead batch.

#include <sqlcipher/sqlite3.h>

#include <algorithm>

#include "dictionary/table_internal.h"

namespace velmora::db {

using dict::KeyInfo;

Status Table::readRow(sqlite3_stmt* s, Record& into, std::int64_t& rowid) {
  rowid = sqlite3_column_int64(s, 0);
  const auto& cols = schema::columns(info_);
  for (std::size_t i = 0; i < cols.size(); ++i) {
    Status st = schema::read(s, int(i) + 1, into, cols[i]);
    if (!st) return st;
  }
  return Status::success();
}

Status Table::rowById(std::int64_t rowid, Record& into, bool& found) {
  Status st;
  sqlite3_stmt* s = prepare(Sql::RowById, 0, 0, st);
  if (!s) return st;
  Reset reset{s};
  sqlite3_bind_int64(s, 1, rowid);
  int rc;
  st = step(s, rc);
  found = rc == SQLITE_ROW;
  if (!st || !found) return st;
  std::int64_t id;
  return readRow(s, into, id);
}

Status Table::get(std::string_view keyName) {
  const KeyInfo* k = info_.key(keyName);
  if (!k)
    throw std::invalid_argument("no key " + std::string(keyName) + " in " +
                                std::string(info_.label));
  return get(*k);
}

Status Table::get(const KeyInfo& key) {
  if (server_) return server_->get(key);
  if (!db_) return notOpen(info_);
  Status st;
  sqlite3_stmt* s = prepare(Sql::Get, storedKey(key), 0, st);
  if (!s) return st;
  Reset reset{s};
  for (std::size_t i = 0; i < key.components.size(); ++i) {
    st = schema::bind(s, int(i) + 1, buffer_, columnOf(info_, key.components[i]));
    if (!st) return st;
  }
  int rc;
  st = step(s, rc);
  if (!st) return st;
  if (rc != SQLITE_ROW)
    return Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  Record row(info_);
  std::int64_t id;
  st = readRow(s, row, id);
  if (!st) return st;
  buffer_ = row;
  image_ = std::move(row);
  current_ = id;
  mark_ = markNow();
  return Status::success();
}

Status Table::getByPosition(std::int64_t position) {
  if (server_) return server_->getByPosition(position);
  if (!db_) return notOpen(info_);
  if (const Record* ahead = prefetched(position)) {
    buffer_ = *ahead;
    image_ = *ahead;
    current_ = position;
    mark_ = prefetchMark_;
    return Status::success();
  }
  Record row(info_);
  bool found = false;
  Status st = rowById(position, row, found);
  if (!st) return st;
  if (!found)
    return Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  buffer_ = row;
  image_ = std::move(row);
  current_ = position;
  mark_ = markNow();
  return Status::success();
}

Status Table::set(const KeyInfo* key, int components) {
  if (server_) return server_->set(key, components);
  if (!db_) return notOpen(info_);
  if (!key || components == 0) return setStart(key);
  int n = int(key->components.size());
  batch_->key = storedKey(*key);
  batch_->prefix = components < 0 || components > n ? n : components;
  batch_->kind = Batch::Anchor::At;
  batch_->anchor = buffer_;
  normalize(batch_->anchor);
  batch_->restart();
  return Status::success();
}

Status Table::setAfter(const KeyInfo* key, std::int64_t position) {
  if (server_) return server_->setAfter(key, position);
  if (!db_) return notOpen(info_);
  Record row(info_);
  bool found = false;
  Status st = rowById(position, row, found);
  if (!st) return st;
  if (!found)
    return Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  batch_->key = key ? storedKey(*key) : -1;
  batch_->kind = Batch::Anchor::After;
  batch_->anchor = std::move(row);
  batch_->anchorRow = position;
  batch_->restart();
  return Status::success();
}

Status Table::setStart(const KeyInfo* key) {
  if (server_) return server_->setStart(key);
  if (!db_) return notOpen(info_);
  batch_->key = key ? storedKey(*key) : -1;
  batch_->kind = Batch::Anchor::Start;
  batch_->restart();
  return Status::success();
}

// The text of one range of a read-ahead over a key (or the temporary order,
// or record order for key -1).
std::string Table::fetchSql(int key, int variant) const {
  bool forward;
  const FetchRange r = fetchRange(variant, forward);
  const char* cmp = forward ? ">" : "<";
  const char* dir = forward ? "" : " DESC";
  const bool sorted = key == kSortKey;
  // A temporary order reads its copy of the sorted fields, joined to the rows.
  const std::string from = sorted ? "SELECT " + selectList(info_, "t.") +
                                        " FROM temp.\"sort\" s JOIN " + qualified() +
                                        " t ON t.rowid=s.r"
                                  : "SELECT " + selectList(info_) + " FROM " + qualified();
  const std::string rowid = sorted ? "s.r" : "rowid";
  std::vector<std::string> where;
  std::string order;
  if (key == -1) {
    if (r.afterRow) where.push_back(rowid + cmp + (r.inclusive ? "=?" : "?"));
    order = rowid + dir;
  } else {
    const auto& k = sorted ? *sortKey_ : stored().keys[std::size_t(key)];
    auto comp = [&](int i) {
      if (!sorted) return schema::componentSql(info_, key, i);
      const auto& f = info_.fields[std::size_t(k.components[std::size_t(i)])];
      bool text = f.type == dict::Type::String || f.type == dict::Type::Memo;
      return "s.k" + std::to_string(i) + (text ? std::string(" COLLATE ") + schema::kNoCase : "");
    };
    for (int i = 0; i < r.equal; ++i) where.push_back(comp(i) + "=?");
    if (r.range) where.push_back(comp(r.equal) + cmp + "?");
    if (r.afterRow) where.push_back(rowid + cmp + "?");
    std::string filter = sorted ? std::string() : schema::nullFilterSql(info_, key);
    if (!filter.empty()) where.push_back(filter);
    for (int i = r.equal; i < int(k.components.size()); ++i) order += comp(i) + dir + ",";
    order += rowid + dir;
  }
  std::string sql = from;
  for (std::size_t i = 0; i < where.size(); ++i) sql += (i ? " AND " : " WHERE ") + where[i];
  return sql + " ORDER BY " + order + " LIMIT ?";
}

// Reads ahead from the anchor. A key position is the tuple (components,
// record position); the rows after it are, in order: the same components
// with a later position, then for each component from the last to the
// first, the same leading components with a greater one. Each part is one
// indexed range, so no read ever scans from the top of the key.
Status Table::fetch(int want) {
  Batch& b = *batch_;
  if (b.anchorIndex < b.filled) b.anchor = b.rows[b.anchorIndex];
  b.anchorIndex = SIZE_MAX;
  b.filled = b.take = 0;
  b.generation = generation_;
  b.mark = markNow();
  if (b.rows.size() < std::size_t(want)) {
    b.rows.reserve(std::size_t(want));
    while (b.rows.size() < std::size_t(want)) b.rows.emplace_back(info_);
    b.rowids.resize(std::size_t(want));
  }
  const bool start = b.kind == Batch::Anchor::Start;
  const bool after = b.kind == Batch::Anchor::After;
  FetchRange ranges[64];
  int count = 0;
  if (b.key == -1) {
    ranges[count++] = {0, false, !start, b.kind == Batch::Anchor::At};
  } else if (start) {
    ranges[count++] = {};
  } else {
    // An anchor set on the first m components leaves the rest free.
    const auto& key = b.key == kSortKey ? *sortKey_ : stored().keys[std::size_t(b.key)];
    int m = after ? int(key.components.size()) : b.prefix;
    ranges[count++] = {m, false, after, false};
    for (int j = m - 1; j >= 0 && count < 64; --j) ranges[count++] = {j, true, false, false};
  }

  for (int i = 0; i < count && b.filled < std::size_t(want); ++i) {
    const FetchRange& r = ranges[i];
    Status st;
    sqlite3_stmt* s = prepare(Sql::Fetch, b.key, fetchVariant(r, b.forward), st);
    if (!s) return st;
    Reset reset{s};
    int p = 1;
    if (b.key != -1) {
      const auto& key = b.key == kSortKey ? *sortKey_ : stored().keys[std::size_t(b.key)];
      int bound = r.equal + (r.range ? 1 : 0);
      for (int c = 0; c < bound; ++c) {
        st = schema::bind(s, p++, b.anchor, columnOf(info_, key.components[std::size_t(c)]));
        if (!st) return st;
      }
    }
    if (r.afterRow) sqlite3_bind_int64(s, p++, b.anchorRow);
    sqlite3_bind_int64(s, p, std::int64_t(std::size_t(want) - b.filled));
    int rc;
    while (true) {
      st = step(s, rc);
      if (!st) return st;
      if (rc != SQLITE_ROW) break;
      st = readRow(s, b.rows[b.filled], b.rowids[b.filled]);
      if (!st) return st;
      ++b.filled;
    }
  }
  return Status::success();
}

// next() and previous(): the batch serves while it reads the same way and
// nothing was written since; otherwise it is read again from the anchor,
// larger each time.
Status Table::move(bool forward) {
  if (!db_) return notOpen(info_);
  Batch& b = *batch_;
  if (b.kind == Batch::Anchor::None)
    return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  bool usable = b.forward == forward && b.take < b.filled && b.generation == generation_;
  if (!usable) {
    b.forward = forward;
    Status st = fetch(int(b.want));
    if (!st) return st;
    b.want = std::min<std::size_t>(b.want * 8, 512);
    if (b.filled == 0)
      return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  }
  buffer_ = b.rows[b.take];
  image_ = b.rows[b.take];
  current_ = b.rowids[b.take];
  mark_ = b.mark;
  b.anchorIndex = b.take;
  b.anchorRow = current_;
  b.kind = Batch::Anchor::After;
  ++b.take;
  return Status::success();
}

Status Table::next() { return server_ ? server_->next() : move(true); }
Status Table::previous() { return server_ ? server_->previous() : move(false); }

Status Table::records(std::int64_t& count) {
  if (server_) return server_->records(count);
  if (!db_) return notOpen(info_);
  Status st;
  sqlite3_stmt* s = prepare(Sql::Count, 0, 0, st);
  if (!s) return st;
  Reset reset{s};
  int rc;
  st = step(s, rc);
  if (!st) return st;
  count = sqlite3_column_int64(s, 0);
  return Status::success();
}

}  // namespace velmora::db
