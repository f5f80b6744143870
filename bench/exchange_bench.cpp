// The office transfer on the demo work of `velmora demo --size N`, against
// a program on the plain SQLCipher interface moving the same rows between
// the same files in the same run.
//
//   BM_Send/N         the five tables read in one transaction and written
//                     as transfer files, with their checksums and manifest
//   BM_RawSend/N      the floor: each table read whole with one SELECT and
//                     its rows inserted into a new file of the same table
//                     and keys, one transaction per file
//   BM_Receive/N      those files merged into a work that has none of the
//                     records (every record added), one transaction; its
//                     seconds a run by phase: check_read_s (fingerprints,
//                     private copies, every record read and checked), then
//                     each table merged, and commit_s
//   BM_RawReceive/N   the floor: each transfer file read whole and its rows
//                     inserted into a new work file, one transaction per file
//                     (its seconds by table); it takes no fingerprint and
//                     commits each file on its own
//   BM_ReceiveAgain/N the same files received by the work that sent them:
//                     every estimate skipped, every other record compared
//
// The ratios of BM_Send to BM_RawSend and of BM_Receive to BM_RawReceive are
// the figures. The demo company is made once in $VELMORA_BENCH_DIR (default
// /tmp/velmora-bench).

#include <benchmark/benchmark.h>

#include <sqlcipher/sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "bench/bench_files.h"
#include "dictionary/dates.h"
#include "dictionary/records.h"
#include "dictionary/work_files.h"
#include "exchange/transfer.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWork = "HOSP01";

using bench::benchDir;

fs::path demo(int n) { return bench::demoCompany(VELMORA_EXE, n); }

fs::path emptyDir(const std::string& name) {
  fs::path dir = benchDir() / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void place(db::Storage& storage, const fs::path& folder) {
  db::useWorkFiles(storage, db::workFiles({folder.parent_path().string(),
                                           folder.filename().string(), "CONTA", dates::today()}));
}

const dict::TableInfo* const kTables[] = {&CTR::info(), &POL::info(), &DPO::info(), &PAR::info(),
                                          &COE::info()};

// The transfer files of the demo work, sent once.
fs::path sent(int n) {
  fs::path out = benchDir() / ("envio-" + std::to_string(n));
  if (fs::exists(out / exchange::kManifest)) return out;
  fs::create_directories(out);
  db::Storage storage;
  place(storage, demo(n) / kWork);
  exchange::SendSummary summary;
  if (!exchange::sendWork(storage, {kWork, ""}, out.string(), summary)) std::abort();
  return out;
}

// Every row of `from` inserted into a new file `to` of the same table.
void copyRaw(const std::string& from, const std::string& to, const dict::TableInfo& t) {
  sqlite3* src = bench::openRaw(from, t);
  sqlite3* dst = bench::openRaw(to, t);
  const std::string table = db::schema::quote(db::schema::tableName(t));
  sqlite3_stmt* sel = bench::prepareRaw(src, "SELECT * FROM " + table);
  const int columns = sqlite3_column_count(sel);
  std::string marks;
  for (int i = 0; i < columns; ++i) marks += i ? ",?" : "?";
  sqlite3_stmt* ins = bench::prepareRaw(dst, "INSERT INTO " + table + " VALUES(" + marks + ")");
  bench::exec(dst, "BEGIN IMMEDIATE");
  while (sqlite3_step(sel) == SQLITE_ROW) {
    for (int i = 0; i < columns; ++i) sqlite3_bind_value(ins, i + 1, sqlite3_column_value(sel, i));
    if (sqlite3_step(ins) != SQLITE_DONE) std::abort();
    sqlite3_reset(ins);
  }
  bench::exec(dst, "COMMIT");
  sqlite3_finalize(ins);
  sqlite3_finalize(sel);
  sqlite3_close_v2(dst);
  sqlite3_close_v2(src);
}

void BM_Send(benchmark::State& state) {
  const fs::path work = demo(int(state.range(0))) / kWork;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path out = emptyDir("envio-bench");
    db::Storage storage;
    place(storage, work);
    state.ResumeTiming();
    exchange::SendSummary summary;
    if (!exchange::sendWork(storage, {kWork, ""}, out.string(), summary)) std::abort();
  }
}

void BM_RawSend(benchmark::State& state) {
  const fs::path work = demo(int(state.range(0))) / kWork;
  db::Storage storage;
  place(storage, work);
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path out = emptyDir("envio-raw");
    state.ResumeTiming();
    int i = 1;
    for (const dict::TableInfo* t : kTables)
      copyRaw(storage.fileName(*t), (out / ("ENVIO" + std::to_string(i++) + ".DAT")).string(), *t);
  }
}

// Where a job's time goes: seconds by the caption it showed while each
// step ran, the last step (the commit) apart.
struct Phases {
  std::map<std::string, double> seconds;
  void run(Job& job) {
    using Clock = std::chrono::steady_clock;
    for (;;) {
      const std::string caption = job.caption();
      const auto t = Clock::now();
      const bool more = job.step();
      const double s = std::chrono::duration<double>(Clock::now() - t).count();
      seconds[more ? caption : "commit"] += s;
      if (!more) break;
    }
  }
  void report(benchmark::State& state, const std::map<std::string, std::string>& names) const {
    for (const auto& [caption, s] : seconds) {
      auto it = names.find(caption);
      state.counters[it != names.end() ? it->second : caption] = s / double(state.iterations());
    }
  }
};

void BM_Receive(benchmark::State& state) {
  const fs::path from = sent(int(state.range(0)));
  Phases phases;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path work = emptyDir("recibe-bench") / kWork;
    fs::create_directories(work);
    db::Storage storage;
    place(storage, work);
    state.ResumeTiming();
    exchange::ReceiveJob job(storage, {kWork, ""}, from.string(), false);
    phases.run(job);
    if (!job.status() || !job.finished()) std::abort();
  }
  // Checking and reading the files (fingerprint, private copy, records
  // decoded and checked), then merging each table, then the commit of the
  // one transaction over the five files.
  phases.report(state, {{"REVISANDO LOS ARCHIVOS", "check_read_s"},
                        {"INCLUYENDO LAS ESTIMACIONES", "estimates_lines_s"},
                        {"INCLUYENDO LOS CONTRATISTAS", "contractors_s"},
                        {"INCLUYENDO LOS PARTIDAS", "items_s"},
                        {"INCLUYENDO LOS CONCEPTOS", "concepts_s"},
                        {"commit", "commit_s"}});
}

void BM_RawReceive(benchmark::State& state) {
  const fs::path from = sent(int(state.range(0)));
  std::map<std::string, double> seconds;  // by table
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path work = emptyDir("recibe-raw") / kWork;
    fs::create_directories(work);
    db::Storage storage;
    place(storage, work);
    state.ResumeTiming();
    int i = 1;
    for (const dict::TableInfo* t : kTables) {
      const auto t0 = std::chrono::steady_clock::now();
      copyRaw((from / ("ENVIO" + std::to_string(i++) + ".DAT")).string(), storage.fileName(*t), *t);
      seconds[std::string(t->label)] +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
  }
  for (const auto& [label, s] : seconds)
    state.counters[label + "_s"] = s / double(state.iterations());
}

void BM_ReceiveAgain(benchmark::State& state) {
  const fs::path from = sent(int(state.range(0)));
  db::Storage storage;
  place(storage, demo(int(state.range(0))) / kWork);
  for (auto _ : state) {
    exchange::ReceiveSummary summary;
    if (!exchange::receiveWork(storage, {kWork, ""}, from.string(), false, summary)) std::abort();
  }
}

}  // namespace

BENCHMARK(BM_Send)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawSend)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Receive)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawReceive)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReceiveAgain)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace velmora

BENCHMARK_MAIN();
