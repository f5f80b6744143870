// The upgrade of a version-1 works file of 100 000 records to the current
// layout, against a plain copy of the same rows with SQL into a new file
// with the same keys (one INSERT ... SELECT on an attached file). The ratio
// is the figure: what checking every value against both layouts, counting
// the records, keeping the old file as the backup, replacing it in one
// rename and recording the version cost over the engine copying columns.
//
//   BM_Upgrade/N    velmora's upgrade (temporary file, keys, checks, rename),
//                   with its time by phase in seconds a run: open_s (the
//                   file's layout, the version file, both files opened and
//                   the records counted), copy_s (the rows), keys_commit_s
//                   (keys, the count checked, commit, fsync, backup,
//                   rename, folder fsync, version recorded)
//   BM_PlainCopy/N  the plain SQL copy

#include <benchmark/benchmark.h>
#include <sqlcipher/sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/file_upgrade.h"
#include "dictionary/records.h"
#include "dictionary/schema.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

fs::path benchDir() {
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  fs::path dir = env ? env : "/tmp/velmora-bench";
  fs::create_directories(dir);
  return dir;
}

const dict::TableInfo& v1() { return *dict::layoutOf(OBR::info(), 1); }

// Made once and kept between runs.
std::string oldWorks(int rows) {
  std::string path = (benchDir() / ("V1_OBRA-" + std::to_string(rows) + ".TPS")).string();
  if (fs::exists(path)) return path;
  db::Storage s;
  s.setFileName(v1(), path + ".tmp");
  db::Context c(s);
  db::Table& t = c.table(v1());
  if (!t.open() || !t.stream()) std::abort();
  for (int i = 1; i <= rows; ++i) {
    Record& r = t.buffer();
    r.clear();
    (void)r.set("V1_OBR:CTA", "W" + std::to_string(i));
    (void)r.set("V1_OBR:OBRA", "OBRA NÚMERO " + std::to_string(i));
    (void)r.set("V1_OBR:DICO", std::string("CONTA"));
    (void)r.set("V1_OBR:TOBR", i * 1.25);
    (void)r.set("V1_OBR:CC[3]", std::int64_t(i));
    if (!t.add()) std::abort();
  }
  (void)t.flush();
  t.close();
  fs::rename(path + ".tmp", path);
  return path;
}

void exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

void BM_Upgrade(benchmark::State& state) {
  const std::string old = oldWorks(int(state.range(0)));
  const fs::path work = benchDir() / "upgrade";
  fs::create_directories(work);
  const std::string path = (work / "DATA1.TPS").string();
  db::Storage storage;
  // Where the time goes, by phase (seconds per run): working out the file's
  // layout and opening both files, copying the rows, and building the keys,
  // checking the count, committing, syncing, keeping the backup, renaming
  // and recording the version.
  double startS = 0, copyS = 0, finishS = 0;
  using Clock = std::chrono::steady_clock;
  auto since = [](Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
  };
  for (auto _ : state) {
    state.PauseTiming();
    fs::copy_file(old, path, fs::copy_options::overwrite_existing);
    fs::remove(work / "File_Upg.TPS");
    state.ResumeTiming();
    db::FileUpgrade up(storage, OBR::info(), path, (work / "File_Upg.TPS").string());
    auto t = Clock::now();
    if (!up.start()) std::abort();
    startS += since(t);
    t = Clock::now();
    while (up.phase() == db::FileUpgrade::Phase::Copying && up.step()) {
    }
    copyS += since(t);
    t = Clock::now();
    while (up.step()) {
    }
    finishS += since(t);
    if (up.result().outcome != db::UpgradeResult::Outcome::Upgraded) std::abort();
  }
  const double n = double(state.iterations());
  state.counters["open_s"] = startS / n;
  state.counters["copy_s"] = copyS / n;
  state.counters["keys_commit_s"] = finishS / n;
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PlainCopy(benchmark::State& state) {
  const std::string old = oldWorks(int(state.range(0)));
  const fs::path work = benchDir() / "plain";
  fs::create_directories(work);
  const std::string target = (work / "DATA1.TPS").string();
  db::Storage storage;
  const std::string key = storage.rawKey("482719", db::Storage::saltFor("482719"));
  // The new layout's columns, those the old one lacks as zero.
  std::string columns, values;
  for (const auto& c : db::schema::columns(OBR::info())) {
    bool old = false;
    for (const auto& o : db::schema::columns(v1())) old = old || o.name == c.name;
    columns += (columns.empty() ? "" : ",") + db::schema::quote(c.name);
    values += (values.empty() ? "" : ",") + (old ? db::schema::quote(c.name) : std::string("0"));
  }
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(target);
    state.ResumeTiming();
    sqlite3* db = nullptr;
    sqlite3_open_v2(old.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db::schema::registerCollations(db);
    exec(db, "PRAGMA key=\"" + key +
                 "\";PRAGMA cipher_page_size=4096;PRAGMA cipher_default_page_size=4096;");
    exec(db, "ATTACH DATABASE '" + target + "' AS n KEY \"" + key + "\"");
    exec(db, "PRAGMA n.journal_mode=OFF;BEGIN");
    std::string create = db::schema::tableSql(OBR::info());
    create.insert(std::string("CREATE TABLE ").size(), "n.");
    exec(db, create);
    exec(db, "INSERT INTO n.\"OBRA\"(rowid," + columns + ") SELECT rowid," + values +
                 " FROM main.\"OBRA\"");
    std::string index = db::schema::indexSql(OBR::info(), 0);
    index.insert(index.find(" INDEX ") + 7, "n.");
    exec(db, index);
    exec(db, "COMMIT");
    sqlite3_close_v2(db);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Upgrade)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainCopy)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
