// One open instance of a table in a thread context: its cached statements,
// the engine's errors in our codes, and the write transactions of the
// instance itself. Opening, reading, writing and sorting have files of
// their own (table_*.cpp).

#include <sqlcipher/sqlite3.h>

#include "dictionary/busy_wait.h"
#include "dictionary/cp1252.h"
#include "dictionary/table_internal.h"

namespace velmora::db {

using dict::KeyInfo;

std::string selectList(const dict::TableInfo& t, const std::string& alias) {
  std::string s = alias + "rowid";
  for (const auto& c : schema::columns(t)) s += "," + alias + schema::quote(c.name);
  return s;
}

void normalize(Record& r) {
  const auto& t = r.table();
  for (const auto& c : schema::columns(t)) {
    if (c.type != dict::Type::String && c.type != dict::Type::Memo) continue;
    auto& s = *static_cast<std::string*>(t.ops->address(r.data(), c.field, c.element));
    std::size_t width = t.fields[std::size_t(c.field)].size;
    if (s.size() > width) s = cp1252::utf8Prefix(s, width);
    if (c.type == dict::Type::String)
      while (!s.empty() && s.back() == ' ') s.pop_back();
  }
}

Table::Table(Context& ctx, const dict::TableInfo& info)
    : ctx_(ctx), info_(info), buffer_(info), image_(info), batch_(std::make_unique<Batch>(info)) {}

Table::~Table() {
  finalizeStatements();
  if (db_) sqlite3_close_v2(db_);
}

const dict::TableInfo& Table::stored() const { return dict::table(info_.storage); }

int Table::storedKey(const KeyInfo& key) const {
  if (&key == sortKey_.get()) return kSortKey;
  return int(&key - info_.keys.data());
}

sqlite3* Table::conn() const { return routeDb_ ? routeDb_ : db_; }

std::string Table::qualified() const {
  return schema::quote(routeSchema_) + "." + schema::quote(schema::tableName(info_));
}

// --- cached statements ---------------------------------------------------------

// The text of a named statement. Inside a context transaction the
// connection is the host's and the table is named under its attached
// schema; such statements go when the transaction ends, so the connection
// alone tells which schema a cached statement names.
std::string Table::sqlFor(Sql kind, int key, int variant, const std::string& columns) const {
  auto keyWhere = [&] {
    const KeyInfo& k = info_.keys[std::size_t(key)];
    std::string where;
    for (std::size_t i = 0; i < k.components.size(); ++i)
      where += (i ? " AND " : "") + schema::componentSql(info_, key, int(i)) + "=?";
    std::string filter = schema::nullFilterSql(info_, key);
    if (!filter.empty()) where += " AND " + filter;
    return where;
  };
  switch (kind) {
    case Sql::Get:
      return "SELECT " + selectList(info_) + " FROM " + qualified() + " WHERE " + keyWhere() +
             " ORDER BY rowid LIMIT 1";
    case Sql::RowById:
      return "SELECT " + selectList(info_) + " FROM " + qualified() + " WHERE rowid=?";
    case Sql::Count: return "SELECT count(*) FROM " + qualified();
    case Sql::Insert: {
      std::string cols, params;
      for (const auto& c : schema::columns(info_)) {
        cols += (cols.empty() ? "" : ",") + schema::quote(c.name);
        params += params.empty() ? "?" : ",?";
      }
      return "INSERT INTO " + qualified() + "(" + cols + ") VALUES(" + params + ")";
    }
    case Sql::InsertAt: {
      std::string cols = "rowid", params = "?";
      for (const auto& c : schema::columns(info_)) {
        cols += "," + schema::quote(c.name);
        params += ",?";
      }
      return "INSERT INTO " + qualified() + "(" + cols + ") VALUES(" + params + ")";
    }
    case Sql::HighWater: return "PRAGMA " + schema::quote(routeSchema_) + ".user_version";
    case Sql::MaxRow: return "SELECT max(rowid) FROM " + qualified();
    case Sql::Update: {
      // Only the columns that changed: the others' index entries stay
      // untouched. OR FAIL leaves out the statement journal; a one-row
      // update checks every key before it writes anything, so a refused
      // write leaves the record and its keys as they were.
      std::string set;
      const auto& cols = schema::columns(info_);
      for (std::size_t i = 0; i < cols.size(); ++i)
        if (setsColumn(columns, i))
          set += (set.empty() ? "" : ",") + schema::quote(cols[i].name) + "=?";
      return "UPDATE OR FAIL " + qualified() + " SET " + set + " WHERE rowid=?";
    }
    case Sql::Span:
      return "SELECT " + selectList(info_) + " FROM " + qualified() +
             " WHERE rowid BETWEEN ? AND ? ORDER BY rowid";
    case Sql::Delete: return "DELETE FROM " + qualified() + " WHERE rowid=?";
    case Sql::Exists:
      return "SELECT 1 FROM " + qualified() + " WHERE " + keyWhere() + " AND rowid<>? LIMIT 1";
    case Sql::AutoNumber: {
      const KeyInfo& k = info_.keys[std::size_t(key)];
      int n = int(k.components.size());
      const auto& last = info_.fields[std::size_t(k.components[std::size_t(n - 1)])];
      std::string where;
      for (int i = 0; i + 1 < n; ++i)
        where += (where.empty() ? "" : " AND ") + schema::componentSql(info_, key, i) + "=?";
      return "SELECT max(" + schema::quote(last.shortName) + ") FROM " + qualified() +
             (where.empty() ? "" : " WHERE " + where);
    }
    case Sql::Fetch: return fetchSql(key, variant);
    case Sql::Text: break;
  }
  throw std::logic_error("statement without text");
}

sqlite3_stmt* Table::prepare(Sql kind, int key, int variant, Status& st) {
  return prepare(StatementId{conn(), kind, key, variant, {}}, st);
}

sqlite3_stmt* Table::prepare(const std::string& sql, Status& st) {
  return prepare(StatementId{conn(), Sql::Text, 0, 0, sql}, st);
}

sqlite3_stmt* Table::prepare(StatementId id, Status& st) {
  auto it = statements_.find(id);
  if (it != statements_.end()) return it->second;
  std::string sql = id.kind == Sql::Text ? id.text : sqlFor(id.kind, id.key, id.variant, id.text);
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(conn(), sql.c_str(), int(sql.size()), &s, nullptr);
  if (rc != SQLITE_OK) {
    st = engineError(rc, "preparando");
    return nullptr;
  }
  statements_.emplace(std::move(id), s);
  return s;
}

void Table::finalizeStatements(sqlite3* on) {
  for (auto it = statements_.begin(); it != statements_.end();)
    if (!on || it->first.db == on) {
      sqlite3_finalize(it->second);
      it = statements_.erase(it);
    } else {
      ++it;
    }
}

// --- errors --------------------------------------------------------------------

Status Table::engineError(int rc, std::string_view what) const {
  int base = rc & 0xFF;
  int code = err::FileSystem;
  std::string detail;
  switch (base) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: code = err::FileLocked; break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      code = err::InvalidDataFile;
      detail = ": archivo dañado, ajeno o con otra contraseña";
      break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: code = err::AccessDenied; break;
    case SQLITE_CONSTRAINT: code = err::DuplicateKey; break;
    default: break;
  }
  Status st = Status::error(code, errorText(code) + detail);
  st.table = info_.label;
  st.fileErrorCode = std::to_string(rc);
  const char* msg = conn() ? sqlite3_errmsg(conn()) : sqlite3_errstr(rc);
  st.fileError = std::string(msg ? msg : sqlite3_errstr(rc)) + " (" + std::string(what) + ")";
  return st;
}

Status Table::step(sqlite3_stmt* s, int& rc) {
  rc = sqlite3_step(s);
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return Status::success();
  return engineError(sqlite3_extended_errcode(conn()), "leyendo o escribiendo");
}

// --- transactions of one instance -----------------------------------------

Table::ReadMark Table::markNow() const {
  sqlite3* db = conn();
  if (!db || sqlite3_get_autocommit(db)) return {};
  return {txn_, std::int64_t(sqlite3_total_changes(db)) - ownChanges_};
}

void Table::wrote() {
  ownChanges_ += sqlite3_changes(conn());
  touched();
}

// Writes outside a context transaction or a stream take the file's write
// lock for themselves; nested uses (numbering adds the record) share it.
Status Table::begin() {
  if (!db_) return notOpen(info_);
  if (routeDb_ || streaming_) {
    // An I/O error or a full disk makes the engine undo the whole
    // transaction; what follows must not be written outside it.
    if (sqlite3_get_autocommit(conn()))
      return Status::error(err::TransactionRefused,
                           errorText(err::TransactionRefused) + ": la transacción se deshizo")
          .on(info_.label);
    return Status::success();
  }
  if (depth_ > 0) {
    ++depth_;
    return Status::success();
  }
  ++txn_;
  int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return engineError(sqlite3_extended_errcode(db_), "bloqueando");
  depth_ = 1;
  return Status::success();
}

Status Table::end(Status st) {
  if (routeDb_ || streaming_ || depth_ == 0) return st;
  if (--depth_ > 0) return st;
  if (st) {
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return st;
    st = engineError(sqlite3_extended_errcode(db_), "confirmando");
  }
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return st;
}

Status Table::stream() {
  if (server_) {
    if (streaming_) return Status::success();
    if (ctx_.inTransaction(*this))
      return Status::error(err::TransactionRefused, errorText(err::TransactionRefused))
          .on(info_.label);
    Status st = ctx_.session_->beginStream();
    streaming_ = bool(st);
    return st.on(info_.label);
  }
  if (!db_) return notOpen(info_);
  if (streaming_) return Status::success();
  if (routeDb_ || depth_ > 0)
    return Status::error(err::TransactionRefused, errorText(err::TransactionRefused))
        .on(info_.label);
  ++txn_;
  int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return engineError(sqlite3_extended_errcode(db_), "bloqueando");
  streaming_ = true;
  return Status::success();
}

Status Table::flush() {
  if (!streaming_) return Status::success();
  streaming_ = false;
  // The server lets a waiting station in as soon as the commit is done.
  if (server_) return ctx_.session_->endStream().on(info_.label);
  int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) {
    // Batches follow each other: leave the lock free long enough for a
    // waiting station to take it.
    yieldToWaiters();
    return Status::success();
  }
  Status st = engineError(sqlite3_extended_errcode(db_), "confirmando");
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return st;
}

}  // namespace velmora::db
