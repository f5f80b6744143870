// The conversion of a table file: the records copied into a new file beside
// the old one (by SQL where the old file can be attached, else record by
// record), its keys built and its count checked, then the new file put in
// the old one's place with the old kept as its backup.

#include "dictionary/file_upgrade.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>

#include "dictionary/cp1252.h"
#include "dictionary/records.h"
#include "dictionary/server_upgrade.h"
#include "dictionary/table_internal.h"
#include "dictionary/upgrade_rows.h"

namespace velmora::db {

namespace fs = std::filesystem;

namespace {

std::uint64_t inodeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_ino) : 0;
}

// The page cache of each file while it is copied (KiB): a file up to this
// size is read from disk and decrypted once.
constexpr int kCopyCache = -65536;

bool syncPath(const std::string& path, bool directory) {
  int fd = ::open(path.c_str(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// One element of a field into the element of the same name in another layout.
void copyElement(const Record& from, const schema::Column& fc, Record& to,
                 const schema::Column& tc) {
  const void* a = from.table().ops->address(const_cast<void*>(from.data()), fc.field, fc.element);
  void* b = to.table().ops->address(to.data(), tc.field, tc.element);
  switch (tc.type) {
    case dict::Type::Byte:
      *static_cast<std::uint8_t*>(b) = *static_cast<const std::uint8_t*>(a);
      break;
    case dict::Type::Short:
      *static_cast<std::int16_t*>(b) = *static_cast<const std::int16_t*>(a);
      break;
    case dict::Type::Long:
      *static_cast<std::int32_t*>(b) = *static_cast<const std::int32_t*>(a);
      break;
    case dict::Type::Real: *static_cast<double*>(b) = *static_cast<const double*>(a); break;
    case dict::Type::Decimal: *static_cast<Decimal*>(b) = *static_cast<const Decimal*>(a); break;
    case dict::Type::String:
    case dict::Type::Memo:
      *static_cast<std::string*>(b) = *static_cast<const std::string*>(a);
      break;
    case dict::Type::Group: break;
  }
}

}  // namespace

// The open files of a conversion.
struct FileUpgrade::Work {
  explicit Work(Storage& s) : ctx(s) {}
  ~Work() {
    sqlite3_finalize(copy);
    sqlite3_finalize(one);
    sqlite3_finalize(select);
    sqlite3_finalize(insert);
    if (out) sqlite3_close_v2(out);
    if (old) {
      (void)old->flush();
      old->close();
    }
  }
  Context ctx;
  Table* old = nullptr;  // the old file under its layout, held against writers
  const dict::TableInfo* layout = nullptr;
  sqlite3* out = nullptr;
  sqlite3_stmt* select = nullptr;
  sqlite3_stmt* insert = nullptr;
  std::string temp;
  int from = 0;
  std::int64_t highWater = 0;
  std::vector<std::pair<std::size_t, std::size_t>> map;  // new column <- old column
  std::unique_ptr<Record> oldRec, newRec;
  // The set-based copy: a batch of rows after `last` copied by SQL from the
  // old file, attached, into the new one; the rows whose values the record
  // copy would change or refuse go through it, one by one (`one` reads
  // such a row). Without `copy`, every row goes that way.
  sqlite3_stmt* copy = nullptr;
  sqlite3_stmt* one = nullptr;
  std::int64_t last = std::numeric_limits<std::int64_t>::min();
  upgrade::RowChecks checks;

  // The current row of `rows` (rowid, then the old columns) read through
  // the old layout, copied into the new record and written by `insert`
  // (`rc` the engine's answer). A value either layout refuses is the
  // status, naming the record.
  Status convertRow(sqlite3_stmt* rows, const dict::TableInfo& target, int& rc) {
    const auto& oldCols = schema::columns(*layout);
    const auto& newCols = schema::columns(target);
    const std::int64_t rowid = sqlite3_column_int64(rows, 0);
    auto named = [&](Status st) {
      st.text += " (registro " + std::to_string(rowid) + ")";
      return st;
    };
    rc = SQLITE_OK;
    for (std::size_t j = 0; j < oldCols.size(); ++j)
      if (Status st = schema::read(rows, int(j) + 1, *oldRec, oldCols[j]); !st) return named(st);
    newRec->clear();
    for (auto [to, from] : map) copyElement(*oldRec, oldCols[from], *newRec, newCols[to]);
    sqlite3_bind_int64(insert, 1, rowid);
    for (std::size_t i = 0; i < newCols.size(); ++i)
      if (Status st = schema::bind(insert, int(i) + 2, *newRec, newCols[i]); !st) {
        sqlite3_reset(insert);
        return named(st);
      }
    rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    return Status::success();
  }
};

FileUpgrade::FileUpgrade(Storage& storage, const dict::TableInfo& table, std::string path,
                         std::string versionFile)
    : storage_(storage),
      table_(table),
      path_(std::move(path)),
      versionFile_(std::move(versionFile)),
      name_(upperFileName(path_)),
      target_(&table),
      targetVersion_(table.version) {}

FileUpgrade::~FileUpgrade() { discard(); }

void FileUpgrade::discard() {
  onServer_.reset();
  if (!work_) return;
  std::string temp = work_->temp;
  work_.reset();
  std::error_code ec;
  if (!temp.empty()) {
    fs::remove(temp, ec);
    fs::remove(temp + "-journal", ec);
  }
}
bool FileUpgrade::prepare(int from) {
  work_ = std::make_unique<Work>(storage_);
  Work& w = *work_;
  w.from = from;
  w.layout = dict::layoutOf(table_, from);
  storage_.setFileName(*w.layout, path_);
  const std::uint64_t inode = inodeOf(path_);
  w.old = &w.ctx.table(*w.layout);
  Status st = w.old->open();
  if (st.code == err::KeysNeedRebuilding) st = w.old->openForRebuild();
  if (!st) {
    w.old = nullptr;
    if (layoutMismatch(st)) {  // replaced since it was looked at
      work_.reset();
      return false;
    }
    return refuseUnrecoverable(path_, st);
  }
  // Writers wait until the file is replaced; a station upgrading the same
  // file waits here and then finds it converted.
  st = w.old->stream();
  if (!st) return refuseUnrecoverable(path_, st);
  if (inodeOf(path_) != inode) {
    work_.reset();
    return false;
  }
  sqlite3* in = w.old->db_;

  w.temp = fs::path(path_).replace_extension(".UPG").string();
  std::error_code ec;
  fs::remove(w.temp, ec);
  fs::remove(w.temp + "-journal", ec);
  auto outError = [&](int rc, const char* what) {
    Status e = Status::error(
        err::FileSystem,
        errorText(err::FileSystem) + ": " +
            (rc == SQLITE_FULL ? "no hay espacio en el disco para " : std::string(what) + " ") +
            upperFileName(w.temp));
    e.fileErrorCode = std::to_string(rc);
    e.fileError = w.out ? sqlite3_errmsg(w.out) : sqlite3_errstr(rc);
    e.table = table_.label;
    return refuseUnrecoverable(path_, e);
  };
  int rc =
      sqlite3_open_v2(w.temp.c_str(), &w.out,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) return outError(rc, "creando");
  schema::registerCollations(w.out);
  // The new file is nobody's until it replaces the old one: no journal; a
  // stop leaves a scrap that the next run removes.
  std::string key = storage_.rawKey(table_.password, Storage::saltFor(table_.password));
  std::string setup = "PRAGMA key=\"" + key +
                      "\";PRAGMA cipher_page_size=" + std::to_string(kPageSize) +
                      ";PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF;" +
                      "PRAGMA cache_size=" + std::to_string(kCacheSize) + ";";
  rc = sqlite3_exec(w.out, setup.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return outError(rc, "creando");
  // The old file read beside the new one, so that SQL copies the rows; it
  // is only read, under the write lock `old` holds. Where it cannot be
  // attached the rows go one by one.
  const bool attached = [&] {
    std::string pragma = "PRAGMA cipher_default_page_size=" + std::to_string(w.old->pageSize_);
    sqlite3_exec(w.out, pragma.c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    int arc = sqlite3_prepare_v2(w.out, "ATTACH DATABASE ? AS old KEY ?", -1, &s, nullptr);
    if (arc == SQLITE_OK) {
      sqlite3_bind_text(s, 1, w.old->path_.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s, 2, w.old->rawKey_.c_str(), -1, SQLITE_TRANSIENT);
      arc = sqlite3_step(s);
    }
    sqlite3_finalize(s);
    pragma = "PRAGMA cipher_default_page_size=" + std::to_string(kPageSize);
    sqlite3_exec(w.out, pragma.c_str(), nullptr, nullptr, nullptr);
    return arc == SQLITE_DONE && upgrade::registerRowCheck(w.out, w.checks);
  }();
  setup = "BEGIN;" + schema::tableSql(*target_) + ";";
  rc = sqlite3_exec(w.out, setup.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return outError(rc, "creando");
  // The records to copy. Counted attached, the pages read stay in that
  // cache for the copy, as the new file's do for its keys and its count:
  // each file is decrypted once (up to kCopyCache of it).
  if (attached) {
    std::string q = "PRAGMA old.cache_size=" + std::to_string(kCopyCache) +
                    ";PRAGMA main.cache_size=" + std::to_string(kCopyCache);
    sqlite3_exec(w.out, q.c_str(), nullptr, nullptr, nullptr);
    q = "SELECT count(*) FROM old." + schema::quote(schema::tableName(*w.layout));
    sqlite3_stmt* s = nullptr;
    rc = sqlite3_prepare_v2(w.out, q.c_str(), -1, &s, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) total_ = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    if (rc != SQLITE_ROW) {
      Status e = w.old->engineError(sqlite3_extended_errcode(w.out), "contando");
      e.fileError = sqlite3_errmsg(w.out);
      return refuseUnrecoverable(path_, e);
    }
  } else if (Status c = w.old->records(total_); !c) {
    return refuseUnrecoverable(path_, c);
  }

  // Stations entering records keep the numbers they hold.
  {
    sqlite3_stmt* s = nullptr;
    std::string q = std::string("SELECT key,prefix,number,station,since FROM ") +
                    schema::quote(schema::kReservations);
    if (sqlite3_prepare_v2(in, q.c_str(), -1, &s, nullptr) == SQLITE_OK) {
      std::string create = std::string("CREATE TABLE ") + schema::quote(schema::kReservations) +
                           schema::kReservationColumns;
      rc = sqlite3_exec(w.out, create.c_str(), nullptr, nullptr, nullptr);
      sqlite3_stmt* ins = nullptr;
      std::string i =
          std::string("INSERT INTO ") + schema::quote(schema::kReservations) + " VALUES(?,?,?,?,?)";
      if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(w.out, i.c_str(), -1, &ins, nullptr);
      while (rc == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
        for (int c = 0; c < 5; ++c) sqlite3_bind_value(ins, c + 1, sqlite3_column_value(s, c));
        rc = sqlite3_step(ins) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(w.out);
        sqlite3_reset(ins);
      }
      sqlite3_finalize(ins);
      sqlite3_finalize(s);
      if (rc != SQLITE_OK) return outError(rc, "escribiendo");
    }
  }
  {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(in, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      w.highWater = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
  }

  const auto& oldCols = schema::columns(*w.layout);
  const auto& newCols = schema::columns(*target_);
  std::string list, params;
  for (std::size_t i = 0; i < newCols.size(); ++i) {
    list += "," + schema::quote(newCols[i].name);
    params += ",?";
    for (std::size_t j = 0; j < oldCols.size(); ++j)
      if (oldCols[j].name == newCols[i].name && oldCols[j].type == newCols[i].type)
        w.map.emplace_back(i, j);
  }
  std::string ins = "INSERT INTO " + schema::quote(schema::tableName(*target_)) + "(rowid" + list +
                    ") VALUES(?" + params + ")";
  rc = sqlite3_prepare_v2(w.out, ins.c_str(), -1, &w.insert, nullptr);
  if (rc != SQLITE_OK) return outError(rc, "preparando");
  std::string sel = "SELECT rowid";
  for (const auto& c : oldCols) sel += "," + schema::quote(c.name);
  sel += " FROM " + schema::quote(schema::tableName(*w.layout)) + " ORDER BY rowid";
  rc = sqlite3_prepare_v2(in, sel.c_str(), -1, &w.select, nullptr);
  if (rc != SQLITE_OK) return refuseUnrecoverable(path_, w.old->engineError(rc, "leyendo"));
  w.oldRec = std::make_unique<Record>(*w.layout);
  w.newRec = std::make_unique<Record>(*target_);

  if (attached) {
    // The rows go as they are where the record copy would store them so:
    // each new column from the old one of its name and type, the others
    // as a cleared record has them; every old column is checked.
    std::string values = "rowid", where;
    std::vector<std::pair<int, std::size_t>> constants;  // parameter <- new column
    std::vector<bool> stored(oldCols.size());
    std::vector<std::size_t> storedAs(oldCols.size());
    bool exact = true;
    for (std::size_t i = 0; i < newCols.size(); ++i) {
      auto m = std::find_if(w.map.begin(), w.map.end(), [&](auto p) { return p.first == i; });
      if (m == w.map.end()) {
        exact = exact && newCols[i].type != dict::Type::Group;
        constants.emplace_back(int(constants.size()) + 3, i);
        values += ",?" + std::to_string(constants.back().first);
        continue;
      }
      stored[m->second] = true;
      storedAs[m->second] = i;
      values += ",old." + schema::quote(schema::tableName(*w.layout)) + "." +
                schema::quote(oldCols[m->second].name);
    }
    for (std::size_t j = 0; j < oldCols.size(); ++j) {
      const auto& c = oldCols[j];
      std::optional<upgrade::ColumnCheck> k = upgrade::columnCheck(
          c, *w.layout,
          stored[j] ? &target_->fields[std::size_t(newCols[storedAs[j]].field)] : nullptr);
      if (!k) exact = false, k.emplace();
      if (j % upgrade::kChunk == 0) {
        w.checks.chunks.emplace_back();
        where += " AND velmora_row(rowid," + std::to_string(j / upgrade::kChunk);
      }
      w.checks.chunks.back().push_back(*k);
      where += ",old." + schema::quote(schema::tableName(*w.layout)) + "." + schema::quote(c.name);
      if (j % upgrade::kChunk == upgrade::kChunk - 1 || j + 1 == oldCols.size()) where += ")";
    }
    std::string copy = "INSERT INTO main." + schema::quote(schema::tableName(*target_)) + "(rowid" +
                       list + ") SELECT " + values + " FROM old." +
                       schema::quote(schema::tableName(*w.layout)) + " WHERE rowid>?1" + where +
                       " ORDER BY rowid LIMIT ?2";
    std::string one = "SELECT rowid";
    for (const auto& c : oldCols) one += "," + schema::quote(c.name);
    one += " FROM " + schema::quote(schema::tableName(*w.layout)) + " WHERE rowid=?";
    if (exact && sqlite3_prepare_v2(w.out, copy.c_str(), -1, &w.copy, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(in, one.c_str(), -1, &w.one, nullptr) == SQLITE_OK) {
      w.newRec->clear();
      for (auto [param, i] : constants)
        if (Status st = schema::bind(w.copy, param, *w.newRec, newCols[i]); !st)
          return refuseUnrecoverable(path_, st);
    } else {
      sqlite3_finalize(w.copy);
      w.copy = nullptr;
    }
  }
  phase_ = Phase::Copying;
  copied_ = 0;
  return true;
}

bool FileUpgrade::step(int batch) {
  if (onServer_) return stepOnServer(batch);
  if (phase_ == Phase::Keys) return finish();
  if (phase_ != Phase::Copying) return false;
  Work& w = *work_;
  auto writeError = [&](int rc) {
    Status e = Status::error(
        err::FileSystem,
        errorText(err::FileSystem) + ": " +
            (rc == SQLITE_FULL ? "no hay espacio en el disco para " : "escribiendo ") +
            upperFileName(w.temp));
    e.fileErrorCode = std::to_string(rc);
    e.fileError = sqlite3_errmsg(w.out);
    return refuseUnrecoverable(path_, e);
  };
  if (w.copy) {
    batch = std::max(batch, 1);
    w.checks.others.clear();
    sqlite3_bind_int64(w.copy, 1, w.last);
    sqlite3_bind_int(w.copy, 2, batch);
    int rc = sqlite3_step(w.copy);
    const int added = sqlite3_changes(w.out);
    const std::int64_t lastAdded = sqlite3_last_insert_rowid(w.out);
    sqlite3_reset(w.copy);
    if (rc != SQLITE_DONE) {
      // Reading the old file or writing the new one.
      const int code = sqlite3_extended_errcode(w.out);
      if ((code & 0xFF) == SQLITE_FULL) return writeError(SQLITE_FULL);
      Status e = w.old->engineError(code, "copiando");
      e.fileError =
          std::string(sqlite3_errmsg(w.out)) + " (copiando a " + upperFileName(w.temp) + ")";
      return refuseUnrecoverable(path_, e);
    }
    copied_ += added;
    if (added > 0) w.last = std::max(w.last, lastAdded);
    // The rows left out, stored field by field or refused as the record
    // copy does.
    auto& others = w.checks.others;
    std::sort(others.begin(), others.end());
    others.erase(std::unique(others.begin(), others.end()), others.end());
    for (std::int64_t rowid : others) {
      w.last = std::max(w.last, rowid);
      sqlite3_bind_int64(w.one, 1, rowid);
      rc = sqlite3_step(w.one);
      if (rc != SQLITE_ROW) {
        sqlite3_reset(w.one);
        return refuseUnrecoverable(path_, w.old->engineError(rc, "leyendo"));
      }
      Status st = w.convertRow(w.one, *target_, rc);
      sqlite3_reset(w.one);
      if (!st) return refuseUnrecoverable(path_, st);
      if (rc != SQLITE_DONE) return writeError(rc);
      ++copied_;
    }
    if (added < batch) phase_ = Phase::Keys;
    return true;
  }
  for (int n = 0; n < batch; ++n) {
    int rc = sqlite3_step(w.select);
    if (rc == SQLITE_DONE) {
      phase_ = Phase::Keys;
      return true;
    }
    if (rc != SQLITE_ROW) return refuseUnrecoverable(path_, w.old->engineError(rc, "leyendo"));
    if (Status st = w.convertRow(w.select, *target_, rc); !st)
      return refuseUnrecoverable(path_, st);
    if (rc != SQLITE_DONE) return writeError(rc);
    ++copied_;
  }
  return true;
}

bool FileUpgrade::finish() {
  Work& w = *work_;
  auto fail = [&](int rc, const std::string& what) {
    Status e = Status::error(
        err::FileSystem, errorText(err::FileSystem) + ": " +
                             (rc == SQLITE_FULL ? "no hay espacio en el disco para " : what + " ") +
                             upperFileName(w.temp));
    if (rc == SQLITE_CONSTRAINT || (rc & 0xFF) == SQLITE_CONSTRAINT)
      e = Status::error(err::DuplicateKey, errorText(err::DuplicateKey));
    e.fileErrorCode = std::to_string(rc);
    e.fileError = w.out ? sqlite3_errmsg(w.out) : sqlite3_errstr(rc);
    return refuseUnrecoverable(path_, e);
  };
  sqlite3_finalize(w.select);
  w.select = nullptr;
  sqlite3_finalize(w.insert);
  w.insert = nullptr;
  std::string keys;
  for (std::size_t k = 0; k < target_->keys.size(); ++k)
    keys += schema::indexSql(*target_, int(k)) + ";";
  keys += "PRAGMA user_version=" + std::to_string(w.highWater) + ";";
  int rc = sqlite3_exec(w.out, keys.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fail(sqlite3_extended_errcode(w.out), "construyendo las llaves de");
  std::int64_t count = -1;
  {
    sqlite3_stmt* s = nullptr;
    std::string q = "SELECT count(*) FROM " + schema::quote(schema::tableName(*target_));
    if (sqlite3_prepare_v2(w.out, q.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW)
      count = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
  }
  if (count != total_ || copied_ != total_)
    return refuseUnrecoverable(
        path_, Status::error(err::InvalidDataFile,
                             errorText(err::InvalidDataFile) + ": el archivo nuevo tiene " +
                                 std::to_string(count) + " registros y el anterior " +
                                 std::to_string(total_)));
  rc = sqlite3_exec(w.out, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fail(sqlite3_extended_errcode(w.out), "escribiendo");
  rc = sqlite3_close_v2(w.out);
  w.out = nullptr;
  if (rc != SQLITE_OK || !syncPath(w.temp, false)) return fail(SQLITE_IOERR, "escribiendo");

  // The old file stays as the backup, linked before the new one takes its
  // name in one rename: the name never lacks a complete file.
  const std::string backup = backupPath(path_, w.from);
  std::error_code ec;
  fs::remove(backup, ec);
  if (::link(path_.c_str(), backup.c_str()) != 0) {
    ec.clear();
    fs::copy_file(path_, backup, fs::copy_options::overwrite_existing, ec);
    if (ec || !syncPath(backup, false))
      return refuseUnrecoverable(
          path_, Status::error(err::FileSystem, errorText(err::FileSystem) +
                                                    ": no se pudo guardar la copia " +
                                                    upperFileName(backup)));
  }
  if (::rename(w.temp.c_str(), path_.c_str()) != 0)
    return refuseUnrecoverable(
        path_, Status::error(err::FileSystem,
                             errorText(err::FileSystem) + ": no se pudo reemplazar " + name_));
  w.temp.clear();
  fs::path dir = fs::path(path_).parent_path();
  syncPath(dir.empty() ? "." : dir.string(), true);
  work_.reset();

  result_.outcome = UpgradeResult::Outcome::Upgraded;
  phase_ = Phase::Done;
  if (!versionFile_.empty()) writeVersion(targetVersion_);
  return false;
}

}  // namespace velmora::db
