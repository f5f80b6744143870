// The storage engine against the figures it must keep: opening files,
// batch writes against the same INSERTs on the plain interface, reads by
// key, and key-order scans against a plain SELECT of the same file, at both
// cipher page sizes.
//
// The big files are made once in $VELMORA_BENCH_DIR (default
// /tmp/velmora-bench) and reused by later runs.

#include <benchmark/benchmark.h>
#include <sqlcipher/sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "bench/bench_files.h"
#include "dictionary/schema.h"
#include "dictionary/storage.h"

namespace {

namespace fs = std::filesystem;
using namespace velmora;

constexpr int kScanRows = 1000000;
constexpr int kKeyRows = 100000;

std::string benchDir() {
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  fs::path dir = env ? env : "/tmp/velmora-bench";
  fs::create_directories(dir);
  return dir.string();
}

const dict::TableInfo& dpolInfo() { return *dict::findTable("DPOL"); }
const dict::TableInfo& partInfo() { return *dict::findTable("PART"); }

void fillDpol(db::Table& t, int rows) {
  (void)t.stream();
  std::mt19937 rng(7);
  for (int i = 0; i < rows; ++i) {
    t.clear();
    auto& d = t.rec<DPO>();
    d.CTA = std::int16_t(rng() % 30000);
    d.PART = double(i % 5000) + 0.01;
    d.PROC = i % 40;
    d.FREN = i % 12;
    d.TANT = i * 1.5;
    d.TACT = i * 2.25;
    d.USUA = 3;
    (void)t.add();
    if (i % 50000 == 49999) (void)t.flush(), (void)t.stream();
  }
  (void)t.flush();
}

// The 1 000 000-line DPOL file at our page size, and a copy at 1 KiB pages.
const std::string& scanFile(int pageSize) {
  static std::string paths[2];
  std::string& path = paths[pageSize == 1024 ? 1 : 0];
  if (!path.empty()) return path;
  std::string big = benchDir() + "/DPOL-1M.TPS";
  if (!fs::exists(big)) {
    db::Storage s;
    s.setFileName(dpolInfo(), big + ".tmp");
    db::Context c(s);
    db::Table& t = c.table(dpolInfo());
    (void)t.open();
    fillDpol(t, kScanRows);
    t.close();
    fs::rename(big + ".tmp", big);
  }
  if (pageSize != 1024) return path = big;
  std::string small = benchDir() + "/DPOL-1M-1K.TPS";
  if (!fs::exists(small)) {
    db::Storage s;
    std::string key = s.rawKey("482719", db::Storage::saltFor("482719"));
    sqlite3* db = nullptr;
    sqlite3_open((small + ".tmp").c_str(), &db);
    velmora::db::schema::registerCollations(db);
    std::string sql = "PRAGMA key=\"" + key + "\";PRAGMA cipher_page_size=1024;" +
                      "PRAGMA cipher_default_page_size=4096;ATTACH '" + big + "' AS big KEY \"" +
                      key + "\";" + "BEGIN;" + db::schema::tableSql(dpolInfo()) + ";" +
                      db::schema::indexSql(dpolInfo(), 0) +
                      ";INSERT INTO main.DPOL SELECT * FROM big.DPOL ORDER BY rowid;COMMIT;";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    fs::rename(small + ".tmp", small);
  }
  return path = small;
}

// --- opening ---------------------------------------------------------------

void BM_OpenFirstInProcess(benchmark::State& state) {
  std::string path = benchDir() + "/OPEN.TPS";
  {
    db::Storage s;
    s.setFileName(partInfo(), path);
    db::Context c(s);
    (void)c.table(partInfo()).open();
  }
  for (auto _ : state) {
    db::Storage s;  // a new process: nothing derived yet
    s.setFileName(partInfo(), path);
    db::Context c(s);
    db::Table& t = c.table(partInfo());
    if (!t.open()) state.SkipWithError("open failed");
    t.close();
  }
}
BENCHMARK(BM_OpenFirstInProcess)->Unit(benchmark::kMillisecond);

void BM_OpenLater(benchmark::State& state) {
  std::string path = benchDir() + "/OPEN.TPS";
  db::Storage s;
  s.setFileName(partInfo(), path);
  db::Context c(s);
  db::Table& t = c.table(partInfo());
  (void)t.open();
  t.close();
  for (auto _ : state) {
    if (!t.open()) state.SkipWithError("open failed");
    t.close();
  }
}
BENCHMARK(BM_OpenLater)->Unit(benchmark::kMillisecond);

// --- writing ---------------------------------------------------------------

void BM_AddDpolStreamed(benchmark::State& state) {
  for (auto _ : state) {
    std::string path = benchDir() + "/ADD-STREAM.TPS";
    fs::remove(path);
    db::Storage s;
    s.setFileName(dpolInfo(), path);
    db::Context c(s);
    db::Table& t = c.table(dpolInfo());
    (void)t.open();
    fillDpol(t, int(state.range(0)));
    t.close();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AddDpolStreamed)
    ->Arg(100000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_AddDpolOneTransactionEach(benchmark::State& state) {
  for (auto _ : state) {
    std::string path = benchDir() + "/ADD-EACH.TPS";
    fs::remove(path);
    db::Storage s;
    s.setFileName(dpolInfo(), path);
    db::Context c(s);
    db::Table& t = c.table(dpolInfo());
    (void)t.open();
    for (int i = 0; i < state.range(0); ++i) {
      t.clear();
      t.rec<DPO>().CTA = std::int16_t(i % 30000);
      t.rec<DPO>().TACT = i;
      (void)t.add();
    }
    t.close();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AddDpolOneTransactionEach)
    ->Arg(2000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The floor of both: the same records on the plain interface, one prepared
// INSERT of every column, the same transactions (every 50 000 records, or
// one per record).
void addDpolRaw(benchmark::State& state, bool eachOwn) {
  const auto& cols = db::schema::columns(dpolInfo());
  std::string names, params;
  for (const auto& c : cols) {
    names += (names.empty() ? "" : ",") + db::schema::quote(c.name);
    params += params.empty() ? "?" : ",?";
  }
  for (auto _ : state) {
    std::string path = benchDir() + (eachOwn ? "/ADD-EACH-RAW.TPS" : "/ADD-STREAM-RAW.TPS");
    fs::remove(path);
    sqlite3* db = bench::openRaw(path, dpolInfo());
    sqlite3_stmt* ins =
        bench::prepareRaw(db, "INSERT INTO DPOL(" + names + ") VALUES(" + params + ")");
    std::mt19937 rng(7);
    if (!eachOwn) bench::exec(db, "BEGIN IMMEDIATE");
    for (int i = 0; i < state.range(0); ++i) {
      for (std::size_t c = 0; c < cols.size(); ++c) {
        const std::string& n = cols[c].name;
        double v = 0;
        if (eachOwn)
          v = n == "CTA" ? i % 30000 : n == "TACT" ? i : 0;
        else if (n == "CTA")
          v = rng() % 30000;
        else if (n == "PART")
          v = double(i % 5000) + 0.01;
        else if (n == "PROC")
          v = i % 40;
        else if (n == "FREN")
          v = i % 12;
        else if (n == "TANT")
          v = i * 1.5;
        else if (n == "TACT")
          v = i * 2.25;
        else if (n == "USUA")
          v = 3;
        if (cols[c].type == dict::Type::Real)
          sqlite3_bind_double(ins, int(c) + 1, v);
        else
          sqlite3_bind_int64(ins, int(c) + 1, std::int64_t(v));
      }
      if (sqlite3_step(ins) != SQLITE_DONE) std::abort();
      sqlite3_reset(ins);
      if (!eachOwn && i % 50000 == 49999) bench::exec(db, "COMMIT;BEGIN IMMEDIATE");
    }
    if (!eachOwn) bench::exec(db, "COMMIT");
    sqlite3_finalize(ins);
    sqlite3_close_v2(db);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_AddDpolStreamedRaw(benchmark::State& state) { addDpolRaw(state, false); }
void BM_AddDpolOneTransactionEachRaw(benchmark::State& state) { addDpolRaw(state, true); }
BENCHMARK(BM_AddDpolStreamedRaw)
    ->Arg(100000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddDpolOneTransactionEachRaw)
    ->Arg(2000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// --- reading ---------------------------------------------------------------

void BM_GetByKey(benchmark::State& state) {
  std::string path = benchDir() + "/PART-100K.TPS";
  db::Storage s;
  s.setFileName(partInfo(), path);
  db::Context c(s);
  db::Table& t = c.table(partInfo());
  bool fresh = !fs::exists(path);
  (void)t.open();
  if (fresh) {
    (void)t.stream();
    for (int i = 0; i < kKeyRows; ++i) {
      t.clear();
      t.rec<PAR>().CONC = i / 10 + 0.01;
      t.rec<PAR>().PROC = i % 10;
      t.rec<PAR>().FREN = 1;
      t.rec<PAR>().TEXT = "PARTIDA " + std::to_string(i);
      (void)t.add();
    }
    (void)t.flush();
  }
  const auto& key = *t.info().key("PAR:CTA_KEY");
  std::mt19937 rng(11);
  for (auto _ : state) {
    int i = int(rng() % kKeyRows);
    t.clear();
    t.rec<PAR>().CONC = i / 10 + 0.01;
    t.rec<PAR>().PROC = i % 10;
    t.rec<PAR>().FREN = 1;
    if (!t.get(key)) state.SkipWithError("not found");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetByKey);

// Reads the whole file through the engine, in key order (DPO:CTA_KEY, whose
// values here are random, the worst case) or in record order (key < 0).
void scanEngine(benchmark::State& state, bool keyOrder) {
  db::Storage s;
  s.setFileName(dpolInfo(), scanFile(int(state.range(0))));
  db::Context c(s);
  db::Table& t = c.table(dpolInfo());
  if (!t.open()) state.SkipWithError("open failed");
  const auto* key = keyOrder ? t.info().key("DPO:CTA_KEY") : nullptr;
  std::int64_t rows = 0;
  for (auto _ : state) {
    (void)t.setStart(key);
    double sum = 0;
    while (t.next()) {
      sum += t.rec<DPO>().TACT;
      ++rows;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(rows);
}

// The floor: the same file read with one plain SELECT in the same order,
// every column fetched, no record buffer, same connection settings.
void scanPlain(benchmark::State& state, bool keyOrder) {
  db::Storage s;
  std::string path = scanFile(int(state.range(0)));
  std::string key = s.rawKey("482719", db::Storage::saltFor("482719"));
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::string sql = "PRAGMA key=\"" + key +
                    "\";PRAGMA cipher_page_size=" + std::to_string(state.range(0)) +
                    ";PRAGMA cache_size=" + std::to_string(db::kCacheSize);
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  std::int64_t rows = 0;
  const char* q = keyOrder ? "SELECT rowid,* FROM DPOL ORDER BY CTA,rowid"
                           : "SELECT rowid,* FROM DPOL ORDER BY rowid";
  for (auto _ : state) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, q, -1, &st, nullptr);
    double sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int col = 1; col <= 11; ++col) benchmark::DoNotOptimize(sqlite3_column_int64(st, col));
      sum += sqlite3_column_double(st, 6);
      ++rows;
    }
    sqlite3_finalize(st);
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(rows);
}

void BM_ScanKeyOrder(benchmark::State& state) { scanEngine(state, true); }
void BM_ScanKeyOrderPlainSelect(benchmark::State& state) { scanPlain(state, true); }
void BM_ScanRecordOrder(benchmark::State& state) { scanEngine(state, false); }
void BM_ScanRecordOrderPlainSelect(benchmark::State& state) { scanPlain(state, false); }
BENCHMARK(BM_ScanKeyOrder)
    ->Arg(db::kPageSize)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_ScanKeyOrderPlainSelect)
    ->Arg(db::kPageSize)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_ScanRecordOrder)
    ->Arg(db::kPageSize)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_ScanRecordOrderPlainSelect)
    ->Arg(db::kPageSize)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
