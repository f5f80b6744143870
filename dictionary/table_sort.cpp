// The temporary orders of a table (a click on a list header): a copy of the
// sorted fields in a temporary table of the connection, indexed, read like a
// key until the next order or the close.

#include <sqlcipher/sqlite3.h>

#include "dictionary/table_internal.h"

namespace velmora::db {

using dict::KeyInfo;

void Table::dropSort() {
  if (!sortKey_) return;
  // Statements over the old copy go with it.
  for (auto it = statements_.begin(); it != statements_.end();)
    if (it->first.key == kSortKey) {
      sqlite3_finalize(it->second);
      it = statements_.erase(it);
    } else {
      ++it;
    }
  if (db_) sqlite3_exec(db_, "DROP TABLE IF EXISTS temp.\"sort\"", nullptr, nullptr, nullptr);
  if (batch_ && batch_->key == kSortKey) batch_->kind = Batch::Anchor::None;
  sortKey_.reset();
  sortFields_.clear();
}

Status Table::sortBy(const std::vector<int>& fields, const KeyInfo*& order, const KeyInfo* rangeKey,
                     int rangeComponents) {
  order = nullptr;
  if (!isOpen()) return notOpen(info_);
  if (routeDb_ || fields.empty())
    return Status::error(err::TransactionRefused, errorText(err::TransactionRefused))
        .on(info_.label);
  for (int f : fields) {
    if (f < 0 || std::size_t(f) >= info_.fields.size()) throw std::out_of_range("no such field");
    const auto& fi = info_.fields[std::size_t(f)];
    if (fi.type == dict::Type::Group || fi.dim > 1 || fi.group >= 0)
      throw std::invalid_argument("only plain fields sort a list");
  }
  if (server_) return server_->sortBy(fields, order, rangeKey, rangeComponents);
  dropSort();
  std::string cols, picks, index;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto& f = info_.fields[std::size_t(fields[i])];
    bool text = f.type == dict::Type::String || f.type == dict::Type::Memo;
    cols += ",k" + std::to_string(i);
    picks += "," + schema::quote(f.shortName);
    index +=
        "k" + std::to_string(i) + (text ? std::string(" COLLATE ") + schema::kNoCase : "") + ",";
  }
  std::string where;
  if (rangeKey && rangeComponents > 0) {
    int k = storedKey(*rangeKey);
    for (int i = 0; i < rangeComponents && i < int(rangeKey->components.size()); ++i)
      where += (where.empty() ? " WHERE " : " AND ") + schema::componentSql(info_, k, i) + "=?";
  }
  std::string sql = "CREATE TEMP TABLE \"sort\"(r INTEGER" + cols + ");";
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return engineError(rc, "ordenando");
  sqlite3_stmt* s = nullptr;
  std::string fill =
      "INSERT INTO temp.\"sort\" SELECT rowid" + picks + " FROM " + qualified() + where;
  rc = sqlite3_prepare_v2(db_, fill.c_str(), -1, &s, nullptr);
  Status st;
  if (rc == SQLITE_OK) {
    for (int i = 0; rangeKey && i < rangeComponents && i < int(rangeKey->components.size()); ++i) {
      st = schema::bind(s, i + 1, buffer_, columnOf(info_, rangeKey->components[std::size_t(i)]));
      if (!st) break;
    }
    if (st) rc = sqlite3_step(s);
    sqlite3_finalize(s);
  }
  if (st && rc != SQLITE_DONE) st = engineError(rc, "ordenando");
  if (st) {
    std::string idx = "CREATE INDEX temp.\"sort_k\" ON \"sort\"(" + index + "r)";
    rc = sqlite3_exec(db_, idx.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) st = engineError(rc, "ordenando");
  }
  if (!st) {
    sqlite3_exec(db_, "DROP TABLE IF EXISTS temp.\"sort\"", nullptr, nullptr, nullptr);
    return st;
  }
  sortFields_.assign(fields.begin(), fields.end());
  sortKey_ = std::make_unique<KeyInfo>(
      KeyInfo{"(orden)", "(orden)", sortFields_, false, false, false, false, false});
  order = sortKey_.get();
  return Status::success();
}

}  // namespace velmora::db
