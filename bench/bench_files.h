#pragma once

// The large table files the benchmarks read, made once and kept between runs
// in VELMORA_BENCH_DIR (default /tmp/velmora-bench), and the plain SQLCipher
// programs that batch benchmarks are measured against.

#include <benchmark/benchmark.h>
#include <sqlcipher/sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/schema.h"
#include "dictionary/storage.h"

namespace velmora::bench {

// Where the benchmarks keep their files: VELMORA_BENCH_DIR, else /tmp/velmora-bench.
inline std::filesystem::path benchDir() {
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  return env ? env : "/tmp/velmora-bench";
}

// The demo company whose first work has `size` budget items, made once by
// `velmora demo` (the program at `velmora`) and kept between runs.
inline std::filesystem::path demoCompany(const char* velmora, int size) {
  namespace fs = std::filesystem;
  fs::path dir = benchDir() / ("demo-" + std::to_string(size));
  if (fs::exists(dir / "HOSP01" / "OBRA14.TPS")) return dir;
  fs::create_directories(benchDir());
  std::string cmd =
      std::string(velmora) + " demo " + dir.string() + " --size " + std::to_string(size);
  if (std::system((cmd + " > /dev/null").c_str()) != 0) std::abort();
  return dir;
}

inline const dict::TableInfo& frenInfo() { return *dict::findTable("FREN"); }

inline std::string frenFile(int rows) {
  namespace fs = std::filesystem;
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  fs::path dir = env ? env : "/tmp/velmora-bench";
  fs::create_directories(dir);
  std::string path = (dir / ("FREN-" + std::to_string(rows) + ".TPS")).string();
  if (fs::exists(path)) return path;
  db::Storage s;
  s.setFileName(frenInfo(), path + ".tmp");
  db::Context c(s);
  db::Table& t = c.table(frenInfo());
  (void)t.open();
  (void)t.stream();
  std::mt19937 rng(5);
  const char* words[] = {"NORTE", "SUR", "PUENTE", "CASETA", "TUNEL", "ÑANDÚ", "ACCESO", "ZANJA"};
  for (int i = 1; i <= rows; ++i) {
    t.clear();
    t.rec<FRE>().CTA = i;
    t.rec<FRE>().NOMB = std::string(words[rng() % 8]) + " " + std::to_string(rng() % 1000000);
    (void)t.add();
    if (i % 100000 == 0) (void)t.flush(), (void)t.stream();
  }
  (void)t.flush();
  t.close();
  fs::rename(path + ".tmp", path);
  return path;
}

// --- the raw baselines ---------------------------------------------------------

inline void exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
}

inline sqlite3_stmt* prepareRaw(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) std::abort();
  return s;
}

// A table file as any SQLCipher program opens it: the raw key, our page
// size and collation, the rollback journal. A missing file is created with
// our table and keys.
inline sqlite3* openRaw(const std::string& path, const dict::TableInfo& t) {
  // One derivation of each key per process, as the engine's storage keeps
  // them: the key derivation is no part of the work measured.
  static db::Storage storage;
  const bool fresh = !std::filesystem::exists(path);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK)
    std::abort();
  db::schema::registerCollations(db);
  sqlite3_busy_timeout(db, 10000);
  const std::string key = storage.rawKey(t.password, db::Storage::saltFor(t.password));
  exec(db, "PRAGMA key=\"" + key + "\";PRAGMA cipher_page_size=" + std::to_string(db::kPageSize) +
               ";PRAGMA cache_size=" + std::to_string(db::kCacheSize) +
               ";PRAGMA journal_mode=DELETE");
  if (fresh) {
    std::string sql = "BEGIN;" + db::schema::tableSql(t) + ";";
    for (std::size_t k = 0; k < t.keys.size(); ++k) sql += db::schema::indexSql(t, int(k)) + ";";
    exec(db, sql + "COMMIT");
  }
  return db;
}

// A key's order, as its index gives it.
inline std::string keyOrder(const dict::TableInfo& t, std::string_view name) {
  const int key = int(t.key(name) - t.keys.data());
  std::string filter = db::schema::nullFilterSql(t, key);
  std::string order = filter.empty() ? "" : " WHERE " + filter;
  for (std::size_t i = 0; i < t.keys[std::size_t(key)].components.size(); ++i)
    order += (i ? "," : " ORDER BY ") + db::schema::componentSql(t, key, int(i));
  return order + ",rowid";
}

// Every column of every row, in an order; the rows' numbers in that order.
inline std::vector<std::int64_t> scanRaw(sqlite3* db, const dict::TableInfo& t,
                                         const std::string& order) {
  sqlite3_stmt* s =
      prepareRaw(db, "SELECT rowid,* FROM " + db::schema::quote(db::schema::tableName(t)) + order);
  std::vector<std::int64_t> rows;
  double sink = 0;
  const int n = sqlite3_column_count(s);
  while (sqlite3_step(s) == SQLITE_ROW) {
    rows.push_back(sqlite3_column_int64(s, 0));
    for (int i = 1; i < n; ++i)
      if (sqlite3_column_type(s, i) == SQLITE_TEXT)
        sink += double(sqlite3_column_bytes(s, i));
      else
        sink += sqlite3_column_double(s, i);
  }
  sqlite3_finalize(s);
  benchmark::DoNotOptimize(sink);
  return rows;
}

}  // namespace velmora::bench
