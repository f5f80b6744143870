// Opening a table file: the checks before any statement touches it (the
// file, its key, its page size, its schema), creating a new one, rebuilding
// its keys, and recognising which table a file holds.

#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "dictionary/busy_wait.h"
#include "dictionary/table_internal.h"

namespace velmora::db {

namespace fs = std::filesystem;

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
  if (!st && missing_ && mode != Mode::ReadOnly) st.creating = true;
  return st;
}

void Table::close() {
  if (opens_ == 0) return;
  if (--opens_ > 0) return;
  if (ctx_.inTransaction(*this)) ctx_.rollback();
  if (streaming_) (void)flush();
  dropSort();
  if (server_) {
    server_.reset();
    current_ = 0;
    return;
  }
  finalizeStatements();
  sqlite3_close_v2(db_);
  db_ = nullptr;
  current_ = 0;
  batch_ = std::make_unique<Batch>(info_);
}

// The company's table on the server: made on first open, as a file is,
// except to read it.
Status Table::openOnServer(Mode mode, const std::string& schema, const std::string& name) {
  Status st;
  server::Connection* session = ctx_.serverSession(st);
  if (!session) return st.on(info_.label);
  auto table = std::make_unique<server::ServerTable>(
      *session, schema, name, info_, server::ServerTable::Cursor{buffer_, image_, current_});
  st = table->open(mode != Mode::ReadOnly);
  if (st) server_ = std::move(table);
  return st;
}

Status Table::openFile(Mode mode) {
  const bool readOnly = mode == Mode::ReadOnly;
  auto fail = [&](int code, const std::string& detail) {
    Status st = Status::error(code, errorText(code) + (detail.empty() ? "" : ": " + detail));
    st.table = info_.label;
    return st;
  };
  missing_ = false;
  std::string name = ctx_.storage().fileName(info_);
  if (name.empty()) return fail(err::FileNotFound, "la tabla no tiene nombre de archivo");
  path_ = withDefaultExtension(name);
  if (std::string schemaName, tableName; ctx_.storage().serverPlace(path_, schemaName, tableName))
    return openOnServer(mode, schemaName, tableName);
  fs::path p(path_);
  std::error_code ec;
  missing_ = !fs::exists(p, ec) && !ec;
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

  // A writer that died mid-transaction leaves its journal beside the file;
  // only a connection that may write can roll it back. A reader does that
  // first, rather than calling a recoverable file damaged.
  if (readOnly && fs::file_size(path_ + "-journal", ec) > 0 && !ec) {
    if (!writable(p) || !writable(dir))
      return fail(err::AccessDenied, path_ + " quedó interrumpido; se recupera al abrirlo " +
                                         "para escribir (con permiso de escritura)");
    Status recovered = openFile(Mode::Shared);
    if (!recovered) return recovered;
    finalizeStatements();
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  ec.clear();

  std::string salt;
  if (exists) {
    auto size = fs::file_size(p, ec);
    if (ec) return fail(err::AccessDenied, path_);
    // Only a missing file is created empty. One of zero bytes is damage,
    // unless another station is creating it this very moment: its first
    // page follows within milliseconds.
    for (int waited = 0; size == 0 && !ec && waited < 500; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      size = fs::file_size(p, ec);
    }
    if (ec) return fail(err::AccessDenied, path_);
    if (size == 0) return fail(err::InvalidDataFile, path_ + " está vacío");
    if (size < 512) return fail(err::InvalidDataFile, path_ + " está truncado");
    if (size > 0) {
      std::ifstream in(path_, std::ios::binary);
      salt.resize(16);
      if (!in.read(salt.data(), 16)) return fail(err::AccessDenied, path_);
    }
  }
  const std::string ours = Storage::saltFor(info_.password);
  if (salt.empty()) salt = ours;
  rawKey_ = ctx_.storage().rawKey(info_.password, salt);

  // A new file appears under its name only with its table in it: it is
  // made under a name of its own and linked into place. A station stopped
  // half way then leaves no empty file, which every later open would
  // refuse as damaged.
  struct Making {
    std::string final, temp;
    std::string& path;
    ~Making() {
      if (temp.empty()) return;
      std::error_code ignored;
      fs::remove(temp, ignored);
      fs::remove(temp + "-journal", ignored);
      path = final;
    }
  } making{{}, {}, path_};
  if (!exists && !readOnly) {
    static std::atomic<int> made{0};
    making.final = path_;
    making.temp = path_ + ".nuevo-" + std::to_string(::getpid()) + "-" + std::to_string(made++);
    fs::remove(making.temp, ec);
    fs::remove(making.temp + "-journal", ec);
    ec.clear();
    path_ = making.temp;
  }

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
  if (!st || !making.temp.empty()) {
    finalizeStatements();
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  if (making.temp.empty() || !st) return st;
  // Into place, unless another station put its own there meanwhile: then
  // that one is opened. A file system without links gets a rename when the
  // name is still free.
  if (::link(making.temp.c_str(), making.final.c_str()) != 0 && errno != EEXIST) {
    if (fs::exists(making.final, ec) || std::rename(making.temp.c_str(), making.final.c_str()) != 0)
      if (!fs::exists(making.final, ec))
        return fail(err::AccessDenied,
                    making.final + ": no se pudo poner el archivo nuevo en su lugar");
  }
  path_ = making.final;
  const bool wasMissing = missing_;
  st = openFile(mode);
  missing_ = wasMissing;
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
    } else if (o.type == "table" && o.name == schema::kReservations) {
      // Numbers held by stations entering records: ours, whatever its state.
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

Status Table::buildKeys() {
  if (server_) return server_->buildKeys();
  if (!db_) return notOpen(info_);
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

namespace {

// The name of the table a file holds under a key; empty when the key does
// not open it. Only a writable connection rolls back a journal left by a
// writer that died.
std::string tableUnderKey(const std::string& path, const std::string& key, int pageSize,
                          bool writable, bool& opened) {
  sqlite3* db = nullptr;
  const int flags = writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
  opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK;
  std::string found;
  if (opened) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    std::string pragmas =
        "PRAGMA key=\"" + key + "\";PRAGMA cipher_page_size=" + std::to_string(pageSize);
    sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    const std::string q =
        std::string("SELECT name FROM sqlite_master WHERE type='table' AND name<>'") +
        schema::kReservations + "'";
    if (sqlite3_prepare_v2(db, q.c_str(), -1, &s, nullptr) == SQLITE_OK) {
      if (sqlite3_step(s) == SQLITE_ROW)
        found = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      sqlite3_finalize(s);
    }
  }
  sqlite3_close_v2(db);
  return found;
}

// A file with the journal of a writer that died beside it: its pages may be
// half the old and half the new state until the journal is played back. The
// play-back is tried on a copy of both, so that trying a wrong key never
// touches the file itself.
class RecoveredCopy {
 public:
  explicit RecoveredCopy(const std::string& path) : source_(path) {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) return;
    std::string pattern = (base / "velmora-identifica-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return;
    dir_ = pattern;
    copy_ = (fs::path(dir_) / fs::path(path).filename()).string();
  }
  ~RecoveredCopy() {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  // A fresh copy of the file and its journal; empty when it cannot be made.
  std::string fresh() {
    if (dir_.empty()) return {};
    std::error_code ec;
    fs::remove(copy_ + "-journal", ec);
    const auto overwrite = fs::copy_options::overwrite_existing;
    if (!fs::copy_file(source_, copy_, overwrite, ec) || ec) return {};
    if (!fs::copy_file(source_ + "-journal", copy_ + "-journal", overwrite, ec) || ec) return {};
    return copy_;
  }

 private:
  std::string source_, dir_, copy_;
};

}  // namespace

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
  const bool interrupted = fs::file_size(path + "-journal", ec) > 0 && !ec;
  std::optional<RecoveredCopy> copy;
  if (interrupted) copy.emplace(path);
  std::set<std::string_view> passwords;
  for (const auto& t : dict::tables()) passwords.insert(t.password);
  for (std::string_view password : passwords) {
    std::string key = storage.rawKey(password, salt);
    for (int size : {kPageSize, 1024}) {
      bool opened = false;
      std::string found;
      if (interrupted) {
        const std::string probe = copy->fresh();
        if (probe.empty())
          return Status::error(err::AccessDenied,
                               errorText(err::AccessDenied) + ": " + path +
                                   " quedó interrumpido y no se pudo copiar para leerlo");
        found = tableUnderKey(probe, key, size, /*writable=*/true, opened);
      } else {
        found = tableUnderKey(path, key, size, /*writable=*/false, opened);
      }
      if (!opened)
        return Status::error(err::AccessDenied, errorText(err::AccessDenied) + ": " + path);
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
