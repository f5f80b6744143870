#include "dictionary/file_upgrade.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>

#include "dictionary/cp1252.h"
#include "dictionary/records.h"
#include "dictionary/table_internal.h"

namespace velmora::db {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileError = "File Upgrade Error";
constexpr const char* kUpgradeError = "Upgrade Error";

std::string upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::uint64_t inodeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_ino) : 0;
}

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

// What the record copy does to one old column, for telling whether it
// leaves the stored value as it is.
struct ColumnCheck {
  enum class Kind { Integer, Real, Text } kind = Kind::Integer;
  std::int64_t lo = 0, hi = 0;   // an integer's range
  std::size_t readWidth = 0;     // a text's width in the old layout
  std::int64_t storedWidth = 0;  // in the new one; below zero when not stored
  bool trim = false;             // trailing blanks dropped (a STRING stored)
  bool stored = false;           // kept in the new layout
};

// The rows a set-based copy leaves to the record copy: a value it would
// change (a text cut or trimmed) or refuse. Filled by velmora_row.
struct RowChecks {
  std::vector<std::vector<ColumnCheck>> chunks;  // at most kChunk columns each
  std::vector<std::int64_t> others;
};
constexpr std::size_t kChunk = 100;  // below the engine's limit on arguments
// The page cache of each file while it is copied (KiB): a file up to this
// size is read from disk and decrypted once.
constexpr int kCopyCache = -65536;

bool unchanged(const ColumnCheck& c, sqlite3_value* v) {
  const int type = sqlite3_value_type(v);
  switch (c.kind) {
    case ColumnCheck::Kind::Integer: {
      if (type != SQLITE_INTEGER) return false;
      const std::int64_t n = sqlite3_value_int64(v);
      return n >= c.lo && n <= c.hi;
    }
    case ColumnCheck::Kind::Real: {
      if (type == SQLITE_INTEGER) return !c.stored;  // stored again as a real
      return type == SQLITE_FLOAT && (!c.stored || std::isfinite(sqlite3_value_double(v)));
    }
    case ColumnCheck::Kind::Text: {
      if (type != SQLITE_TEXT) return false;
      const auto* p = sqlite3_value_text(v);
      const std::size_t n = p ? std::size_t(sqlite3_value_bytes(v)) : 0;
      std::string_view text(p ? reinterpret_cast<const char*>(p) : "", n);
      if (!c.stored) {
        // Only read: valid as far as its width.
        return schema::isAscii(reinterpret_cast<const unsigned char*>(text.data()), n) ||
               cp1252::fromUtf8(cp1252::utf8Prefix(text, c.readWidth)).ok;
      }
      if (c.trim && !text.empty() && text.back() == ' ') return false;
      const auto width = std::min(c.readWidth, std::size_t(c.storedWidth));
      if (schema::isAscii(reinterpret_cast<const unsigned char*>(text.data()), n))
        return n <= width;
      return cp1252::utf8Length(text) <= width && cp1252::fromUtf8(text).ok;
    }
  }
  return false;
}

// velmora_row(rowid, chunk, columns...): whether the record copy would
// store this row's columns of that chunk exactly as they are; the rows it
// would not are noted and left out of the copy.
void rowFn(sqlite3_context* cx, int argc, sqlite3_value** v) {
  auto& checks = *static_cast<RowChecks*>(sqlite3_user_data(cx));
  const auto& chunk = checks.chunks[std::size_t(sqlite3_value_int(v[1]))];
  bool same = std::size_t(argc) == chunk.size() + 2;
  for (std::size_t i = 0; same && i < chunk.size(); ++i) same = unchanged(chunk[i], v[i + 2]);
  if (!same) checks.others.push_back(sqlite3_value_int64(v[0]));
  sqlite3_result_int(cx, same);
}

}  // namespace

std::string versionFilePath(const std::string& programFolder) {
  if (programFolder.empty()) return withDefaultExtension("File_Upg");
  return withDefaultExtension((fs::path(programFolder) / "File_Upg").string());
}

std::string backupPath(const std::string& path, int version) {
  return fs::path(path).replace_extension(".V" + std::to_string(version)).string();
}

bool layoutMismatch(const Status& st) {
  return st.code == err::InvalidRecord &&
         st.text.find("otro formato de registro") != std::string::npos;
}

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
  RowChecks checks;

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
      name_(upper(path_)),
      target_(&table),
      targetVersion_(table.version) {}

FileUpgrade::~FileUpgrade() { discard(); }

bool FileUpgrade::refuse(const std::string& title, const std::string& message, Status st) {
  discard();
  result_.outcome = UpgradeResult::Outcome::Refused;
  result_.title = title;
  result_.message = message;
  result_.status = std::move(st);
  phase_ = Phase::Done;
  return false;
}

bool FileUpgrade::refuseUnrecoverable(const std::string& file, const Status& st) {
  std::string error = st.text;
  if (!st.fileError.empty()) error += " (" + st.fileError + ")";
  return refuse(
      kFileError,
      "It is not posible to upgrade the file: " + upper(file) + "|Unrecoverable error :" + error,
      st);
}

void FileUpgrade::discard() {
  if (!work_) return;
  std::string temp = work_->temp;
  work_.reset();
  std::error_code ec;
  if (!temp.empty()) {
    fs::remove(temp, ec);
    fs::remove(temp + "-journal", ec);
  }
}

bool FileUpgrade::start() {
  result_ = {};
  result_.to = targetVersion_;
  if (path_.empty())
    return refuse(kFileError, "It was not posible to generate the name of the file.");
  if (table_.kind != dict::Kind::Table || !dict::layoutOf(table_, 1))
    return refuse(kUpgradeError,
                  "It was not posible to find any information on the file:|Label:  " +
                      std::string(table_.label) + "|Name:   " + name_);
  std::error_code ec;
  if (!fs::exists(path_, ec)) {
    result_.outcome = UpgradeResult::Outcome::Missing;
    phase_ = Phase::Done;
    return false;
  }
  // A name linked to a file shared by several stations: the shared file is
  // the one converted, in its own folder with its backup beside it, so that
  // every station sees one catalogue of the new version. The link stays.
  if (fs::is_symlink(path_, ec)) {
    const fs::path target = fs::canonical(path_, ec);
    if (ec)
      return refuseUnrecoverable(
          path_, Status::error(err::FileNotFound, errorText(err::FileNotFound) + ": el enlace " +
                                                      upper(path_) +
                                                      " apunta a un archivo que no existe"));
    path_ = target.string();
  }
  int stored = 0;
  bool found = false;
  if (!versionFile_.empty() && !readVersion(stored, found)) return false;
  // A station replacing the file at this moment: look again once it is done.
  for (int attempt = 0; attempt < 3; ++attempt) {
    int version = 0;
    Status st;
    if (!detect(version, st)) return refuseUnrecoverable(path_, st);
    result_.from = version;
    if (found && stored > table_.version)
      return refuse(kFileError, "It is not posible to upgrade the file: " + name_ +
                                    "|El archivo es de la versión " + std::to_string(stored) +
                                    ", más nueva que la de este programa (" +
                                    std::to_string(table_.version) + ").");
    if (version == targetVersion_) {
      // Recorded once; a run stopped after the replacement finishes here.
      if (!versionFile_.empty() && (!found || stored != version) && !writeVersion(version))
        return false;
      result_.outcome = UpgradeResult::Outcome::Kept;
      phase_ = Phase::Done;
      return false;
    }
    if (prepare(version)) return true;
    if (phase_ == Phase::Done) return false;
  }
  return refuseUnrecoverable(path_, Status::error(err::FileLocked, errorText(err::FileLocked)));
}

namespace {

// The layout the file is written in: the newest whose table it holds.
bool detectLayout(Storage& storage, const dict::TableInfo& table, const std::string& path,
                  int& version, Status& st) {
  Context ctx(storage);
  for (int v = table.version; v >= 1; --v) {
    const dict::TableInfo* layout = dict::layoutOf(table, v);
    if (!layout) continue;
    storage.setFileName(*layout, path);
    Table& t = ctx.table(*layout);
    st = t.openReadOnly();
    t.close();
    if (st || st.code == err::KeysNeedRebuilding) {
      version = v;
      st = {};
      return true;
    }
    if (!layoutMismatch(st)) return false;
  }
  return false;
}

}  // namespace

int layoutVersion(Storage& storage, const dict::TableInfo& table, const std::string& path) {
  int version = 0;
  Status st;
  return detectLayout(storage, table, path, version, st) ? version : 0;
}

bool FileUpgrade::detect(int& version, Status& st) {
  return detectLayout(storage_, table_, path_, version, st);
}

bool FileUpgrade::readVersion(int& stored, bool& found) {
  const dict::TableInfo& info = L_UPG::info();
  storage_.setFileName(info, versionFile_);
  Context ctx(storage_);
  Table& t = ctx.table(info);
  Status st = t.open();
  if (st.code == err::KeysNeedRebuilding) st = t.openForRebuild();
  if (!st) return refuseUnrecoverable(versionFile_, st);
  t.clear();
  t.rec<L_UPG>().FILELABEL = upper(std::string(table_.label));
  t.rec<L_UPG>().FILENAME = name_;
  st = t.get(keys::L_UPG_KEYFILELABELNAME);
  found = bool(st);
  stored = found ? t.rec<L_UPG>().FILEVERSION : 0;
  t.close();
  if (!st && st.code != err::RecordNotFound) return refuseUnrecoverable(versionFile_, st);
  return true;
}

bool FileUpgrade::writeVersion(int version) {
  const dict::TableInfo& info = L_UPG::info();
  storage_.setFileName(info, versionFile_);
  Context ctx(storage_);
  Table& t = ctx.table(info);
  Status st = t.open();
  auto failed = [&] {
    t.close();
    result_.title = kFileError;
    result_.message = "It was not posible to write the upgrade-version to the version file.";
    result_.status = st;
    return false;
  };
  if (!st) return failed();
  auto fill = [&] {
    t.clear();
    t.rec<L_UPG>().FILELABEL = upper(std::string(table_.label));
    t.rec<L_UPG>().FILENAME = name_;
  };
  // Another station may add the same record meanwhile: then it is there to change.
  for (int attempt = 0; attempt < 2; ++attempt) {
    fill();
    st = t.get(keys::L_UPG_KEYFILELABELNAME);
    if (st) {
      t.rec<L_UPG>().FILEVERSION = version;
      st = t.put();
    } else if (st.code == err::RecordNotFound) {
      fill();
      t.rec<L_UPG>().FILEVERSION = version;
      st = t.add();
    }
    if (st.code != err::DuplicateKey && st.code != err::RecordChanged) break;
  }
  if (!st) return failed();
  // Read back: only a record found on file counts as written.
  fill();
  st = t.get(keys::L_UPG_KEYFILELABELNAME);
  if (!st || t.rec<L_UPG>().FILEVERSION != version) return failed();
  t.close();
  return true;
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
            upper(w.temp));
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
    return arc == SQLITE_DONE &&
           sqlite3_create_function_v2(w.out, "velmora_row", -1, SQLITE_UTF8, &w.checks, rowFn,
                                      nullptr, nullptr, nullptr) == SQLITE_OK;
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
      ColumnCheck k;
      k.stored = stored[j];
      switch (c.type) {
        case dict::Type::Byte: k.lo = 0, k.hi = 255; break;
        case dict::Type::Short: k.lo = INT16_MIN, k.hi = INT16_MAX; break;
        case dict::Type::Long: k.lo = INT32_MIN, k.hi = INT32_MAX; break;
        case dict::Type::Decimal: k.lo = -999999999, k.hi = 999999999; break;
        case dict::Type::Real: k.kind = ColumnCheck::Kind::Real; break;
        case dict::Type::String:
        case dict::Type::Memo:
          k.kind = ColumnCheck::Kind::Text;
          k.readWidth = w.layout->fields[std::size_t(c.field)].size;
          k.storedWidth =
              k.stored ? std::int64_t(target_->fields[std::size_t(newCols[storedAs[j]].field)].size)
                       : -1;
          k.trim = k.stored && c.type == dict::Type::String;
          break;
        case dict::Type::Group: exact = false; break;
      }
      if (j % kChunk == 0) {
        w.checks.chunks.emplace_back();
        where += " AND velmora_row(rowid," + std::to_string(j / kChunk);
      }
      w.checks.chunks.back().push_back(k);
      where += ",old." + schema::quote(schema::tableName(*w.layout)) + "." + schema::quote(c.name);
      if (j % kChunk == kChunk - 1 || j + 1 == oldCols.size()) where += ")";
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
  if (phase_ == Phase::Keys) return finish();
  if (phase_ != Phase::Copying) return false;
  Work& w = *work_;
  auto writeError = [&](int rc) {
    Status e = Status::error(
        err::FileSystem,
        errorText(err::FileSystem) + ": " +
            (rc == SQLITE_FULL ? "no hay espacio en el disco para " : "escribiendo ") +
            upper(w.temp));
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
      e.fileError = std::string(sqlite3_errmsg(w.out)) + " (copiando a " + upper(w.temp) + ")";
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
                             upper(w.temp));
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
          path_,
          Status::error(err::FileSystem, errorText(err::FileSystem) +
                                             ": no se pudo guardar la copia " + upper(backup)));
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

void FileUpgrade::convertTo(int version) {
  if (const dict::TableInfo* layout = dict::layoutOf(table_, version)) {
    target_ = layout;
    targetVersion_ = version;
    versionFile_.clear();
  }
}

UpgradeResult convertFile(Storage& storage, const dict::TableInfo& table, const std::string& path,
                          int version) {
  FileUpgrade up(storage, table, path, {});
  up.convertTo(version);
  if (up.start())
    while (up.step()) {
    }
  return up.result();
}

UpgradeResult upgradeFile(Storage& storage, const dict::TableInfo& table, const std::string& path,
                          const std::string& versionFile) {
  FileUpgrade up(storage, table, path, versionFile);
  if (up.start())
    while (up.step()) {
    }
  return up.result();
}

}  // namespace velmora::db
