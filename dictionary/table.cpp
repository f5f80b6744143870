// One open instance of a table in a thread context: the record buffer and
// the operations the procedures use on it.

#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "dictionary/cp1252.h"
#include "dictionary/schema.h"
#include "dictionary/storage.h"
#include "dictionary/busy_wait.h"

namespace velmora::db {

namespace fs = std::filesystem;
using dict::KeyInfo;

// Rows read ahead in key or record order. The anchor is where the next read
// starts: before the first row, at the key values of a set(), or just past
// the row delivered last. A write by this instance makes the rows read ahead
// stale; they are read again from the anchor.
struct Table::Batch {
  explicit Batch(const dict::TableInfo& t) : anchor(t) {}
  enum class Anchor { None, Start, At, After };
  int key = -1;  // index into the table's keys, -1 for record order
  Anchor kind = Anchor::None;
  Record anchor;
  std::int64_t anchorRow = 0;
  bool forward = true;
  std::vector<Record> rows;
  std::vector<std::int64_t> rowids;
  std::size_t filled = 0;
  std::size_t take = 0;
  std::uint64_t generation = 0;
  std::size_t want = 8;
  int prefix = 0;  // components of the anchor that count, for an At anchor
  // The anchor row is taken from the batch lazily: only a refill needs it.
  std::size_t anchorIndex = SIZE_MAX;
};

namespace {

// Resets a cached statement when the operation ends, whatever the path:
// no read may keep a lock on a shared file between two calls.
struct Reset {
  sqlite3_stmt* s;
  ~Reset() {
    if (s) {
      sqlite3_reset(s);
      sqlite3_clear_bindings(s);
    }
  }
};

const schema::Column& columnOf(const dict::TableInfo& t, int field) {
  for (const auto& c : schema::columns(t))
    if (c.field == field) return c;
  throw std::logic_error("field without column");
}

std::string selectList(const dict::TableInfo& t, const std::string& alias = {}) {
  std::string s = alias + "rowid";
  for (const auto& c : schema::columns(t)) s += "," + alias + schema::quote(c.name);
  return s;
}

// Cuts texts to their width and drops trailing blanks, so that the buffer
// holds exactly what the file will hold.
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

}  // namespace

Table::Table(Context& ctx, const dict::TableInfo& info)
    : ctx_(ctx), info_(info), buffer_(info), image_(info), batch_(std::make_unique<Batch>(info)) {}

Table::~Table() {
  finalizeStatements();
  if (db_) sqlite3_close_v2(db_);
}

const dict::TableInfo& Table::stored() const { return dict::table(info_.storage); }

// The temporary order of sortBy() is read like a key under this number.
constexpr int kSortKey = -2;

int Table::storedKey(const KeyInfo& key) const {
  if (&key == sortKey_.get()) return kSortKey;
  return int(&key - info_.keys.data());
}

sqlite3* Table::conn() const { return routeDb_ ? routeDb_ : db_; }

std::string Table::qualified() const {
  return schema::quote(routeSchema_) + "." + schema::quote(schema::tableName(info_));
}

sqlite3_stmt* Table::prepare(const std::string& sql, Status& st) {
  auto id = std::make_pair(conn(), sql);
  auto it = statements_.find(id);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(conn(), sql.c_str(), int(sql.size()), &s, nullptr);
  if (rc != SQLITE_OK) {
    st = engineError(rc, "preparando");
    return nullptr;
  }
  statements_[id] = s;
  return s;
}

void Table::finalizeStatements() {
  for (auto& [id, s] : statements_) sqlite3_finalize(s);
  statements_.clear();
}

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

// --- opening -------------------------------------------------------------

Status Table::open() { return openCounted(Mode::Shared); }
Status Table::openForRebuild() { return openCounted(Mode::Rebuild); }
Status Table::openReadOnly() { return openCounted(Mode::ReadOnly); }

Status Table::openCounted(Mode mode) {
  if (opens_ > 0) {
    ++opens_;
    return Status::success();
  }
  Status st = openFile(mode);
  if (st) opens_ = 1;
  return st;
}

void Table::close() {
  if (opens_ == 0) return;
  if (--opens_ > 0) return;
  if (ctx_.inTransaction(*this)) ctx_.rollback();
  if (streaming_) (void)flush();
  dropSort();
  finalizeStatements();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  current_ = 0;
  batch_ = std::make_unique<Batch>(info_);
}

Status Table::openFile(Mode mode) {
  const bool readOnly = mode == Mode::ReadOnly;
  auto fail = [&](int code, const std::string& detail) {
    Status st = Status::error(code, errorText(code) + (detail.empty() ? "" : ": " + detail));
    st.table = info_.label;
    return st;
  };
  std::string name = ctx_.storage().fileName(info_);
  if (name.empty()) return fail(err::FileNotFound, "la tabla no tiene nombre de archivo");
  path_ = withDefaultExtension(name);
  fs::path p(path_);
  std::error_code ec;
  fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  if (!fs::is_directory(dir, ec)) return fail(err::PathNotFound, dir.string());
  bool exists = fs::exists(p, ec);
  if (exists && !fs::is_regular_file(p, ec))
    return fail(err::AccessDenied, path_ + " no es un archivo");
  // A file or folder marked read-only is refused even to an administrator,
  // who could otherwise write through the mark. The rollback journal is
  // written beside the file, so the folder must be writable too.
  auto writable = [&](const fs::path& f) {
    auto perms = fs::status(f, ec).permissions();
    return !ec &&
           (perms & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) !=
               fs::perms::none &&
           ::access(f.c_str(), W_OK) == 0;
  };
  if (readOnly && !exists) return fail(err::FileNotFound, path_);
  if (exists && ::access(path_.c_str(), R_OK) != 0) return fail(err::AccessDenied, path_);
  if (!readOnly && exists && !writable(p))
    return fail(err::AccessDenied, path_ + " es de solo lectura");
  if (!readOnly && !writable(dir))
    return fail(err::AccessDenied, dir.string() + " es de solo lectura");

  std::string salt;
  if (exists) {
    auto size = fs::file_size(p, ec);
    if (ec) return fail(err::AccessDenied, path_);
    if (size > 0 && size < 512) return fail(err::InvalidDataFile, path_ + " está truncado");
    if (size == 0 && readOnly) return fail(err::InvalidDataFile, path_ + " está vacío");
    if (size > 0) {
      std::ifstream in(path_, std::ios::binary);
      salt.resize(16);
      if (!in.read(salt.data(), 16)) return fail(err::AccessDenied, path_);
    }
  }
  const std::string ours = Storage::saltFor(info_.password);
  if (salt.empty()) salt = ours;
  rawKey_ = ctx_.storage().rawKey(info_.password, salt);

  // Files we made use our page size; a file made elsewhere may use the
  // engine's older default.
  std::vector<int> sizes = {kPageSize};
  if (salt != ours || exists) sizes.push_back(1024);
  Status st;
  for (int size : sizes) {
    if (db_) sqlite3_close_v2(db_), db_ = nullptr;
    // A connection belongs to one context, used by one thread at a time.
    int flags = SQLITE_OPEN_NOMUTEX |
                (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
      st = engineError(rc, "abriendo");
      sqlite3_close_v2(db_);
      db_ = nullptr;
      return st;
    }
    // Nothing of a file's own may run here: no triggers, no extensions.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    installBusyWait(db_, ctx_.storage().busyTimeout());
    schema::registerCollations(db_);
    std::string pragmas =
        "PRAGMA key=\"" + rawKey_ + "\";PRAGMA cipher_page_size=" + std::to_string(size) + ";";
    rc = sqlite3_exec(db_, pragmas.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
      rc = sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      pageSize_ = size;
      st = Status::success();
      break;
    }
    st = engineError(rc, "abriendo");
  }
  if (!st) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return st;
  }
  std::string settings =
      "PRAGMA cell_size_check=ON;PRAGMA cache_size=" + std::to_string(kCacheSize);
  sqlite3_exec(db_, settings.c_str(), nullptr, nullptr, nullptr);
  st = checkSchema(mode == Mode::Rebuild, readOnly);
  if (st && mode == Mode::Rebuild) st = buildKeys();
  if (st && !readOnly) {
    // A file in another journal mode would not be safe on a shared folder.
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) st = engineError(rc, "abriendo");
  }
  if (!st) {
    finalizeStatements();
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  return st;
}

// A table file may come from another office: before any statement touches
// the table, the file must hold exactly our table and keys and nothing else.
Status Table::checkSchema(bool allowMissingKeys, bool readOnly) {
  auto fail = [&](int code, const std::string& detail) {
    Status st = Status::error(code, errorText(code) + ": " + detail);
    st.table = info_.label;
    return st;
  };
  struct Object {
    std::string type, name, table, sql;
  };
  auto readObjects = [&](std::vector<Object>& out) -> Status {
    out.clear();
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT type,name,tbl_name,sql FROM sqlite_master", -1, &s,
                                nullptr);
    if (rc != SQLITE_OK) return engineError(rc, "leyendo el esquema");
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      auto text = [&](int i) {
        const unsigned char* t = sqlite3_column_text(s, i);
        return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
      };
      out.push_back({text(0), text(1), text(2), text(3)});
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) return engineError(rc, "leyendo el esquema");
    return Status::success();
  };

  std::vector<Object> objects;
  Status st = readObjects(objects);
  if (!st) return st;
  if (objects.empty() && readOnly) return fail(err::InvalidRecord, path_ + " no contiene tablas");
  if (objects.empty()) {
    // A new file: create the table under a write lock, unless another
    // station did it first.
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return engineError(rc, "creando");
    st = readObjects(objects);
    if (st && objects.empty()) st = createSchema();
    int end = sqlite3_exec(db_, st ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (st && end != SQLITE_OK) st = engineError(end, "creando");
    if (!st || objects.empty()) return st;
  }

  const std::string table = schema::tableName(info_);
  std::map<std::string, std::string> keys;
  for (std::size_t k = 0; k < stored().keys.size(); ++k)
    keys[schema::indexName(info_, int(k))] = schema::indexSql(info_, int(k));

  std::set<std::string> storedLabels;
  for (const auto& t : dict::tables())
    storedLabels.insert(std::string(dict::table(t.storage).label));
  for (const auto& o : objects)
    if (o.type == "table" && o.name != table && storedLabels.count(o.name))
      return fail(err::InvalidRecord, path_ + " es un archivo de la tabla " + o.name);

  bool haveTable = false;
  std::size_t haveKeys = 0;
  bool badKey = false;
  for (const auto& o : objects) {
    if (o.type == "table" && o.name == table) {
      if (o.sql != schema::tableSql(info_))
        return fail(err::InvalidRecord, path_ + " tiene otro formato de registro");
      haveTable = true;
    } else if (o.type == "index" && o.table == table && keys.count(o.name)) {
      if (o.sql == keys[o.name])
        ++haveKeys;
      else
        badKey = true;
    } else {
      return fail(err::InvalidDataFile,
                  path_ + " contiene objetos ajenos (" + o.type + " " + o.name + ")");
    }
  }
  if (!haveTable) return fail(err::InvalidRecord, path_ + " no contiene la tabla " + table);
  if ((badKey || haveKeys != keys.size()) && !allowMissingKeys)
    return fail(err::KeysNeedRebuilding, path_);
  return Status::success();
}

Status Table::createSchema() {
  std::string sql = schema::tableSql(info_) + ";";
  for (std::size_t k = 0; k < stored().keys.size(); ++k)
    sql += schema::indexSql(info_, int(k)) + ";";
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? Status::success() : engineError(rc, "creando");
}

void Table::dropSort() {
  if (!sortKey_) return;
  // Statements over the old copy go with it.
  for (auto it = statements_.begin(); it != statements_.end();)
    if (it->first.second.find("temp.\"sort\"") != std::string::npos) {
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
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  if (routeDb_ || fields.empty())
    return Status::error(err::TransactionRefused, errorText(err::TransactionRefused))
        .on(info_.label);
  for (int f : fields) {
    if (f < 0 || std::size_t(f) >= info_.fields.size()) throw std::out_of_range("no such field");
    const auto& fi = info_.fields[std::size_t(f)];
    if (fi.type == dict::Type::Group || fi.dim > 1 || fi.group >= 0)
      throw std::invalid_argument("only plain fields sort a list");
  }
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

Status Table::buildKeys() {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  Status st = begin();
  if (!st) return st;
  std::vector<std::string> drop;
  {
    std::string q = "SELECT name FROM " + schema::quote(routeSchema_) +
                    ".sqlite_master WHERE type='index' AND tbl_name=?";
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(conn(), q.c_str(), -1, &s, nullptr);
    if (rc != SQLITE_OK) return end(engineError(rc, "reconstruyendo llaves"));
    std::string table = schema::tableName(info_);
    sqlite3_bind_text(s, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(s) == SQLITE_ROW)
      drop.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
  }
  finalizeStatements();
  std::string sql;
  for (const auto& d : drop)
    sql += "DROP INDEX " + schema::quote(routeSchema_) + "." + schema::quote(d) + ";";
  int rc = sqlite3_exec(conn(), sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return end(engineError(rc, "reconstruyendo llaves"));
  for (std::size_t k = 0; k < stored().keys.size(); ++k) {
    std::string create = schema::indexSql(info_, int(k));
    create.insert(create.find(" INDEX ") + 7, schema::quote(routeSchema_) + ".");
    // The index name is already quoted; qualify it with the schema.
    rc = sqlite3_exec(conn(), create.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      Status e = engineError(sqlite3_extended_errcode(conn()), "reconstruyendo llaves");
      if (e.code == err::DuplicateKey) e.key = schema::indexName(info_, int(k));
      return end(e);
    }
  }
  touched();
  return end(Status::success());
}

// --- transactions of one instance -----------------------------------------

// Writes outside a context transaction or a stream take the file's write
// lock for themselves; nested uses (numbering adds the record) share it.
Status Table::begin() {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  if (routeDb_ || streaming_) return Status::success();
  if (depth_ > 0) {
    ++depth_;
    return Status::success();
  }
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
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  if (streaming_) return Status::success();
  if (routeDb_ || depth_ > 0)
    return Status::error(err::TransactionRefused, errorText(err::TransactionRefused))
        .on(info_.label);
  int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return engineError(sqlite3_extended_errcode(db_), "bloqueando");
  streaming_ = true;
  return Status::success();
}

Status Table::flush() {
  if (!streaming_) return Status::success();
  streaming_ = false;
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

// --- reading -----------------------------------------------------------------

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
  sqlite3_stmt* s =
      prepare("SELECT " + selectList(info_) + " FROM " + qualified() + " WHERE rowid=?", st);
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
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  int k = storedKey(key);
  std::string where;
  for (std::size_t i = 0; i < key.components.size(); ++i)
    where += (i ? " AND " : "") + schema::componentSql(info_, k, int(i)) + "=?";
  std::string filter = schema::nullFilterSql(info_, k);
  if (!filter.empty()) where += " AND " + filter;
  Status st;
  sqlite3_stmt* s = prepare("SELECT " + selectList(info_) + " FROM " + qualified() + " WHERE " +
                                where + " ORDER BY rowid LIMIT 1",
                            st);
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
  return Status::success();
}

Status Table::getByPosition(std::int64_t position) {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  Record row(info_);
  bool found = false;
  Status st = rowById(position, row, found);
  if (!st) return st;
  if (!found)
    return Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  buffer_ = row;
  image_ = std::move(row);
  current_ = position;
  return Status::success();
}

Status Table::set(const KeyInfo* key, int components) {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  if (!key || components == 0) return setStart(key);
  int n = int(key->components.size());
  batch_->key = storedKey(*key);
  batch_->prefix = components < 0 || components > n ? n : components;
  batch_->kind = Batch::Anchor::At;
  batch_->anchorIndex = SIZE_MAX;
  batch_->anchor = buffer_;
  normalize(batch_->anchor);
  batch_->filled = batch_->take = 0;
  batch_->want = 8;
  return Status::success();
}

Status Table::setAfter(const KeyInfo* key, std::int64_t position) {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
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
  batch_->anchorIndex = SIZE_MAX;
  batch_->filled = batch_->take = 0;
  batch_->want = 8;
  return Status::success();
}

Status Table::setStart(const KeyInfo* key) {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  batch_->key = key ? storedKey(*key) : -1;
  batch_->kind = Batch::Anchor::Start;
  batch_->anchorIndex = SIZE_MAX;
  batch_->filled = batch_->take = 0;
  batch_->want = 8;
  return Status::success();
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
  if (b.rows.size() < std::size_t(want)) {
    b.rows.reserve(std::size_t(want));
    while (b.rows.size() < std::size_t(want)) b.rows.emplace_back(info_);
    b.rowids.resize(std::size_t(want));
  }
  const char* cmp = b.forward ? ">" : "<";
  const char* dir = b.forward ? "" : " DESC";
  const bool sorted = b.key == kSortKey;
  // A temporary order reads its copy of the sorted fields, joined to the rows.
  const std::string from = sorted ? "SELECT " + selectList(info_, "t.") +
                                        " FROM temp.\"sort\" s JOIN " + qualified() +
                                        " t ON t.rowid=s.r"
                                  : "SELECT " + selectList(info_) + " FROM " + qualified();
  const std::string rowid = sorted ? "s.r" : "rowid";

  struct Range {
    std::string where, order;
    int equal;      // leading components bound for equality
    bool range;     // one more component bound for the comparison
    bool afterRow;  // the record position bound too
  };
  std::vector<Range> ranges;
  if (b.key == -1) {
    Range r{b.kind == Batch::Anchor::Start
                ? ""
                : std::string("rowid") + cmp + (b.kind == Batch::Anchor::At ? "=?" : "?"),
            std::string("rowid") + dir, 0, false, b.kind != Batch::Anchor::Start};
    ranges.push_back(r);
  } else {
    const auto& key = sorted ? *sortKey_ : stored().keys[std::size_t(b.key)];
    int n = int(key.components.size());
    std::string filter = sorted ? std::string() : schema::nullFilterSql(info_, b.key);
    auto comp = [&](int i) {
      if (!sorted) return schema::componentSql(info_, b.key, i);
      const auto& f = info_.fields[std::size_t(key.components[std::size_t(i)])];
      bool text = f.type == dict::Type::String || f.type == dict::Type::Memo;
      return "s.k" + std::to_string(i) + (text ? std::string(" COLLATE ") + schema::kNoCase : "");
    };
    auto orderFrom = [&](int first) {
      std::string o;
      for (int i = first; i < n; ++i) o += comp(i) + dir + ",";
      return o + rowid + dir;
    };
    auto equalTo = [&](int count) {
      std::string w;
      for (int i = 0; i < count; ++i) w += (w.empty() ? "" : " AND ") + comp(i) + "=?";
      return w;
    };
    if (b.kind == Batch::Anchor::Start) {
      ranges.push_back({filter, orderFrom(0), 0, false, false});
    } else {
      // An anchor set on the first m components leaves the rest free.
      bool after = b.kind == Batch::Anchor::After;
      int m = after ? n : b.prefix;
      std::string w = equalTo(m);
      if (after) w += " AND " + rowid + cmp + "?";
      if (!filter.empty()) w += " AND " + filter;
      ranges.push_back({w, orderFrom(m), m, false, after});
      for (int j = m - 1; j >= 0; --j) {
        std::string wj = equalTo(j);
        wj += (wj.empty() ? "" : " AND ") + comp(j) + cmp + "?";
        if (!filter.empty()) wj += " AND " + filter;
        ranges.push_back({wj, orderFrom(j), j, true, false});
      }
    }
  }

  for (const Range& r : ranges) {
    if (b.filled >= std::size_t(want)) break;
    std::string sql =
        from + (r.where.empty() ? "" : " WHERE " + r.where) + " ORDER BY " + r.order + " LIMIT ?";
    Status st;
    sqlite3_stmt* s = prepare(sql, st);
    if (!s) return st;
    Reset reset{s};
    int p = 1;
    if (b.key != -1) {
      const auto& key = sorted ? *sortKey_ : stored().keys[std::size_t(b.key)];
      int bound = r.equal + (r.range ? 1 : 0);
      for (int i = 0; i < bound; ++i) {
        st = schema::bind(s, p++, b.anchor, columnOf(info_, key.components[std::size_t(i)]));
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

Status Table::next() {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  Batch& b = *batch_;
  if (b.kind == Batch::Anchor::None)
    return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  bool usable = b.forward && b.take < b.filled && b.generation == generation_;
  if (!usable) {
    b.forward = true;
    Status st = fetch(int(b.want));
    if (!st) return st;
    b.want = std::min<std::size_t>(b.want * 8, 512);
    if (b.filled == 0)
      return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  }
  buffer_ = b.rows[b.take];
  image_ = b.rows[b.take];
  current_ = b.rowids[b.take];
  b.anchorIndex = b.take;
  b.anchorRow = current_;
  b.kind = Batch::Anchor::After;
  ++b.take;
  return Status::success();
}

Status Table::previous() {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  Batch& b = *batch_;
  if (b.kind == Batch::Anchor::None)
    return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  bool usable = !b.forward && b.take < b.filled && b.generation == generation_;
  if (!usable) {
    b.forward = false;
    Status st = fetch(int(b.want));
    if (!st) return st;
    b.want = std::min<std::size_t>(b.want * 8, 512);
    if (b.filled == 0)
      return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  }
  buffer_ = b.rows[b.take];
  image_ = b.rows[b.take];
  current_ = b.rowids[b.take];
  b.anchorIndex = b.take;
  b.anchorRow = current_;
  b.kind = Batch::Anchor::After;
  ++b.take;
  return Status::success();
}

Status Table::records(std::int64_t& count) {
  if (!db_) return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(info_.label);
  Status st;
  sqlite3_stmt* s = prepare("SELECT count(*) FROM " + qualified(), st);
  if (!s) return st;
  Reset reset{s};
  int rc;
  st = step(s, rc);
  if (!st) return st;
  count = sqlite3_column_int64(s, 0);
  return Status::success();
}

// --- writing -----------------------------------------------------------------

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
  int k = storedKey(key);
  std::string where;
  for (std::size_t i = 0; i < key.components.size(); ++i)
    where += (i ? " AND " : "") + schema::componentSql(info_, k, int(i)) + "=?";
  std::string filter = schema::nullFilterSql(info_, k);
  if (!filter.empty()) where += " AND " + filter;
  Status st;
  sqlite3_stmt* s =
      prepare("SELECT 1 FROM " + qualified() + " WHERE " + where + " AND rowid<>? LIMIT 1", st);
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

Status Table::add() {
  Status st = begin();
  if (!st) return st;
  normalize(buffer_);
  std::string cols, params;
  for (const auto& c : schema::columns(info_)) {
    cols += (cols.empty() ? "" : ",") + schema::quote(c.name);
    params += params.empty() ? "?" : ",?";
  }
  sqlite3_stmt* s =
      prepare("INSERT INTO " + qualified() + "(" + cols + ") VALUES(" + params + ")", st);
  if (!s) return end(st);
  {
    Reset reset{s};
    st = bindRecord(s, buffer_, 1);
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

Status Table::put() {
  if (current_ == 0) return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  Status st = begin();
  if (!st) return st;
  Record now(info_);
  bool found = false;
  st = rowById(current_, now, found);
  if (!st) return end(st);
  if (!found || !(now == image_)) {
    Status changed =
        Status::error(err::RecordChanged,
                      errorText(err::RecordChanged) + (found ? "" : ": el registro fue borrado"));
    changed.table = info_.label;
    return end(changed);
  }
  normalize(buffer_);
  std::string set;
  for (const auto& c : schema::columns(info_))
    set += (set.empty() ? "" : ",") + schema::quote(c.name) + "=?";
  sqlite3_stmt* s = prepare("UPDATE " + qualified() + " SET " + set + " WHERE rowid=?", st);
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
  sqlite3_stmt* s = prepare("DELETE FROM " + qualified() + " WHERE rowid=?", st);
  if (!s) return end(st);
  {
    Reset reset{s};
    sqlite3_bind_int64(s, 1, position);
    int rc;
    st = step(s, rc);
  }
  if (st && sqlite3_changes(conn()) == 0)
    st = Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  st = end(st);
  if (st) {
    if (position == current_) current_ = 0;
    touched();
  }
  return st;
}

Status Table::remove() {
  if (current_ == 0) return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  return removeByPosition(current_);
}

Status Table::primeAutoNumber(const KeyInfo& key) {
  int k = storedKey(key);
  int n = int(key.components.size());
  const auto& last = info_.fields[std::size_t(key.components[std::size_t(n - 1)])];
  Status st = begin();
  if (!st) return st;
  std::string where;
  for (int i = 0; i + 1 < n; ++i)
    where += (where.empty() ? "" : " AND ") + schema::componentSql(info_, k, i) + "=?";
  sqlite3_stmt* s = prepare("SELECT max(" + schema::quote(last.shortName) + ") FROM " +
                                qualified() + (where.empty() ? "" : " WHERE " + where),
                            st);
  if (!s) return end(st);
  std::int64_t highest = 0;
  {
    Reset reset{s};
    for (int i = 0; i + 1 < n; ++i) {
      st = schema::bind(s, i + 1, buffer_, columnOf(info_, key.components[std::size_t(i)]));
      if (!st) return end(st);
    }
    int rc;
    st = step(s, rc);
    if (!st) return end(st);
    highest = sqlite3_column_int64(s, 0);
  }
  FieldRef ref = resolve(info_, last.name);
  st = buffer_.set(ref, Value(highest < 0 ? std::int64_t(1) : highest + 1));
  if (!st) {
    st.table = info_.label;
    return end(st);
  }
  st = add();  // inside the same lock, so no other station takes the number
  return end(st);
}

}  // namespace velmora::db

namespace velmora::db {

Status Table::identify(Storage& storage, const std::string& path, const dict::TableInfo*& table) {
  table = nullptr;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    Status st = Status::error(err::FileNotFound, errorText(err::FileNotFound) + ": " + path);
    return st;
  }
  std::string salt(16, '\0');
  {
    std::ifstream in(path, std::ios::binary);
    if (!in.read(salt.data(), 16))
      return Status::error(err::InvalidDataFile, errorText(err::InvalidDataFile) + ": " + path);
  }
  std::set<std::string_view> passwords;
  for (const auto& t : dict::tables()) passwords.insert(t.password);
  for (std::string_view password : passwords) {
    std::string key = storage.rawKey(password, salt);
    for (int size : {kPageSize, 1024}) {
      sqlite3* db = nullptr;
      if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return Status::error(err::AccessDenied, errorText(err::AccessDenied) + ": " + path);
      }
      sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
      std::string pragmas =
          "PRAGMA key=\"" + key + "\";PRAGMA cipher_page_size=" + std::to_string(size);
      sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, nullptr);
      sqlite3_stmt* s = nullptr;
      std::string found;
      if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &s,
                             nullptr) == SQLITE_OK) {
        if (sqlite3_step(s) == SQLITE_ROW)
          found = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
      }
      sqlite3_close_v2(db);
      if (found.empty()) continue;
      for (const auto& t : dict::tables())
        if (t.label == found && t.storage == t.index && t.password == password) {
          table = &t;
          return Status::success();
        }
      return Status::error(err::InvalidRecord, errorText(err::InvalidRecord) + ": " + path +
                                                   " contiene la tabla " + found +
                                                   ", que no es del diccionario");
    }
  }
  return Status::error(
      err::InvalidDataFile,
      errorText(err::InvalidDataFile) + ": archivo dañado, ajeno o con otra contraseña: " + path);
}

}  // namespace velmora::db
