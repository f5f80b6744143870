// The system audit on the demo work of `velmora demo --size N` (N budget
// items, the demo's estimates and lines), against a program on the plain
// SQLCipher interface doing the same on the same files in the same run.
//
//   BM_Audit           the demo as generated: keys rebuilt, everything read,
//                      almost nothing to write
//   BM_AuditDisturbed  every running value wrong first (each record's
//                      running values moved by one): the audit rewrites
//                      every record that holds one
//   BM_Raw/N/0         the floor of the disturbed audit: the same key
//                      rebuild, the same four files read whole in the same
//                      orders, the same columns of the same records written
//                      back (one range read and a per-record UPDATE per
//                      batch of kWriteBatch, one transaction each)
//   BM_Raw/N/1         the same with UPDATE OR FAIL: no statement journal
//   BM_Raw/N/2         the floor of the clean audit: the key rebuild and the
//                      reads alone
//   BM_ReadRewrite     every record read and written back through the engine
//   BM_KeyRebuild/N/0  the audit's first step alone: every key of the four
//                      files rebuilt by the engine
//   BM_KeyRebuild/N/1  the same DROP and CREATE INDEX on the plain interface
//
// The ratios of BM_AuditDisturbed to BM_Raw/N/0 and /1, and of BM_Audit to
// BM_Raw/N/2, are the figures. Both sides use the rollback journal with full
// syncs and commit the same batches (the engine writes with UPDATE OR FAIL,
// as /1 does; /0 pays a statement journal on every UPDATE besides).
//
// Where the time goes: the audit and the raw baselines add their wall and
// processor seconds per part, side by side (`llaves`, `leer`, `escribir_*`;
// `_cpu_s` the processor's share, the rest waits on the disk: the journal
// and its syncs, alike on both sides). What the audit pays beyond its floor,
// after the disk, is the engine's per-record work: each scanned record
// decoded whole into a Record and copied to the table's buffer; each
// rewritten record read ahead whole, copied to the buffer and to the
// image, compared column by column and copied back after its UPDATE
// (profile of BM_AuditDisturbed/100000: that is most of the extra processor
// time of `escribir_lineas` and `escribir_partidas`); and `pausa_s`, the
// 3 ms the engine leaves each file's lock free after every commit of a
// batch (db::Table::flush) for stations waiting on it, times `commits`.
//
// The demo companies are made once in $VELMORA_BENCH_DIR (default
// /tmp/velmora-bench); every iteration works on a fresh copy of the work.

#include <benchmark/benchmark.h>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "dictionary/dates.h"
#include "dictionary/schema.h"
#include "dictionary/work_files.h"
#include "estimates/audit_engine.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWork = "HOSP01";
constexpr const char* kFiles[] = {"OBRA10.TPS", "OBRA12.TPS", "OBRA13.TPS", "OBRA14.TPS"};

using bench::benchDir;

// The demo company of size n, made once.
fs::path demo(int n) { return bench::demoCompany(VELMORA_EXE, n); }

// A fresh copy of the four files the audit works on.
fs::path freshCopy(int n) {
  fs::path source = demo(n) / kWork;
  fs::path target = benchDir() / ("audit-" + std::to_string(n));
  fs::remove_all(target);
  fs::create_directories(target);
  for (const char* f : kFiles) fs::copy_file(source / f, target / f);
  return target;
}

// The process's storage, as a program keeps one: the keys of the four files
// are derived once, as the raw baselines' are (openRaw), so that no measure
// counts the derivation.
db::Storage& processStorage() {
  static db::Storage storage;
  static const bool derived = [] {
    for (const dict::TableInfo* t : {&CTR::info(), &PAR::info(), &DPO::info(), &POL::info()})
      (void)storage.rawKey(t->password, db::Storage::saltFor(t->password));
    return true;
  }();
  (void)derived;
  return storage;
}

void place(db::Storage& storage, const fs::path& folder) {
  db::WorkFiles files = db::workFiles(
      {folder.parent_path().string(), folder.filename().string(), "CONTA", dates::today()});
  db::useWorkFiles(storage, files);
}

// Reads every record of `t` in record order and writes each back with
// `change` applied, kWriteBatch records per transaction.
template <class R, class Change>
void rewriteAll(db::Table& t, Change change) {
  if (!t.open()) std::abort();
  if (!t.setStart(nullptr)) std::abort();
  std::vector<std::int64_t> rows;
  bool more = true;
  while (more) {
    rows.clear();
    while (rows.size() < std::size_t(estimates::AuditRun::kWriteBatch)) {
      if (!t.next()) {
        more = false;
        break;
      }
      rows.push_back(t.position());
    }
    if (rows.empty()) break;
    if (!t.stream()) std::abort();
    for (std::int64_t row : rows) {
      if (!t.getByPosition(row)) std::abort();
      change(t.rec<R>());
      if (!t.put()) std::abort();
    }
    if (!t.flush()) std::abort();
  }
  t.close();
}

void touchAll(const fs::path& folder, bool disturb) {
  db::Storage& storage = processStorage();
  place(storage, folder);
  db::Context ctx(storage);
  rewriteAll<CTR>(ctx.table<CTR>(), [&](CTR& r) {
    if (disturb)
      r.ICON += 1, r.TPAG += 1, r.ANTI += 1, r.AAMO += 1, r.GAAC += 1, r.UEST += 1;
    else
      r.USUA ^= 1;
  });
  rewriteAll<PAR>(ctx.table<PAR>(), [&](PAR& r) {
    if (disturb)
      r.TPAG += 1, r.AVAN += 1, r.COST += 1;
    else
      r.USUA ^= 1;
  });
  rewriteAll<POL>(ctx.table<POL>(), [&](POL& r) {
    if (disturb)
      r.TACU += 1, r.SFON += 1, r.ESTI = r.ESTI > 0 ? r.ESTI + 1 : r.ESTI;
    else
      r.USUA ^= 1;
  });
  rewriteAll<DPO>(ctx.table<DPO>(), [&](DPO& r) {
    if (disturb)
      r.TANT += 1, r.PANT += 1;
    else
      r.USUA ^= 1;
  });
}

// Wall and processor seconds, added up per part of the work.
struct Clock {
  static double wall() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  static double cpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
  }
  double w = wall(), c = cpu();
  // Adds the time since the last lap to the counters `name`_s and
  // `name`_cpu_s.
  void lap(benchmark::State& state, const std::string& name) {
    const double w1 = wall(), c1 = cpu();
    state.counters[name + "_s"] += w1 - w;
    state.counters[name + "_cpu_s"] += c1 - c;
    w = w1, c = c1;
  }
};

void audit(const fs::path& folder, benchmark::State& state) {
  db::Storage& storage = processStorage();
  place(storage, folder);
  db::Context ctx(storage);
  std::string part;
  estimates::AuditEvents events;
  events.caption = [&](const std::string& caption) {
    using namespace estimates::audit_caption;
    if (caption == kKeys)
      part = "llaves";
    else if (caption == kOpen)
      part = "abrir";
    else if (caption == kContractors || caption == kItems || caption == kEstimates)
      part = "leer";
    else
      part = "escribir";
  };
  estimates::AuditRun run(ctx, events);
  Clock clock;
  std::string was = part;
  for (bool more = true; more;) {
    const estimates::AuditCounts before = run.counts();
    more = run.step();
    // Each batch counts for the part it began in, a batch of writes for
    // the file it wrote.
    const estimates::AuditCounts& after = run.counts();
    std::string name = was;
    if (after.estimatesWritten != before.estimatesWritten) name += "_estimaciones";
    if (after.contractorsWritten + after.contractorsCreated !=
        before.contractorsWritten + before.contractorsCreated)
      name += "_contratistas";
    if (after.itemsWritten != before.itemsWritten) name += "_partidas";
    if (after.linesWritten + after.linesDeleted != before.linesWritten + before.linesDeleted)
      name += "_lineas";
    clock.lap(state, name);
    was = part;
  }
  if (!run.finished() || run.counts().storageErrors) std::abort();
  const estimates::AuditCounts& n = run.counts();
  state.counters["escritos"] =
      double(n.estimatesWritten + n.contractorsWritten + n.itemsWritten + n.linesWritten);
  // One commit per batch that changed something: the estimates per batch
  // read, the others per batch written.
  auto batches = [](int count, int size) { return (count + size - 1) / size; };
  const int read = estimates::AuditRun::kReadBatch, write = estimates::AuditRun::kWriteBatch;
  const int commits = (n.estimatesWritten ? batches(n.estimatesRead, read) : 0) +
                      batches(n.contractorsWritten + n.contractorsCreated, write) +
                      batches(n.itemsWritten, write) + batches(n.linesDeleted, write) +
                      batches(n.linesWritten, write);
  state.counters["commits"] = commits;
  state.counters["pausa_s"] = commits * 0.003;
}

// --- the raw baseline ---------------------------------------------------------

using bench::exec;
using bench::keyOrder;
using bench::prepareRaw;
using bench::scanRaw;

sqlite3* openRaw(db::Storage& storage, const dict::TableInfo& t) {
  return bench::openRaw(db::withDefaultExtension(storage.fileName(t)), t);
}

// The disturbed columns of every row put back, in batches: one range read
// of the batch, then one UPDATE per record, in one transaction.
int rewriteRaw(sqlite3* db, const std::string& table, std::vector<std::int64_t> rows,
               const std::vector<std::string>& columns, bool orFail) {
  int commits = 0;
  std::sort(rows.begin(), rows.end());
  std::string list, set;
  for (const auto& c : columns) {
    list += "," + db::schema::quote(c);
    set += (set.empty() ? "" : ",") + db::schema::quote(c) + "=?";
  }
  sqlite3_stmt* read = prepareRaw(
      db, "SELECT rowid" + list + " FROM " + table + " WHERE rowid BETWEEN ? AND ? ORDER BY rowid");
  sqlite3_stmt* write = prepareRaw(db, std::string("UPDATE ") + (orFail ? "OR FAIL " : "") + table +
                                           " SET " + set + " WHERE rowid=?");
  const std::size_t batch = std::size_t(estimates::AuditRun::kWriteBatch);
  std::vector<double> values;
  std::vector<std::int64_t> ids;
  for (std::size_t first = 0; first < rows.size(); first += batch) {
    const std::size_t last = std::min(rows.size(), first + batch) - 1;
    exec(db, "BEGIN IMMEDIATE");
    sqlite3_bind_int64(read, 1, rows[first]);
    sqlite3_bind_int64(read, 2, rows[last]);
    values.clear();
    ids.clear();
    while (sqlite3_step(read) == SQLITE_ROW) {
      ids.push_back(sqlite3_column_int64(read, 0));
      for (std::size_t c = 0; c < columns.size(); ++c)
        values.push_back(sqlite3_column_double(read, int(c) + 1) - 1);
    }
    sqlite3_reset(read);
    for (std::size_t r = 0; r < ids.size(); ++r) {
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const double v = values[r * columns.size() + c];
        if (v == double(std::int64_t(v)))
          sqlite3_bind_int64(write, int(c) + 1, std::int64_t(v));
        else
          sqlite3_bind_double(write, int(c) + 1, v);
      }
      sqlite3_bind_int64(write, int(columns.size()) + 1, ids[r]);
      if (sqlite3_step(write) != SQLITE_DONE) std::abort();
      sqlite3_reset(write);
    }
    exec(db, "COMMIT");
    ++commits;
  }
  sqlite3_finalize(read);
  sqlite3_finalize(write);
  return commits;
}

// Every key dropped and made again, in one transaction.
void rebuildRaw(sqlite3* db, const dict::TableInfo& t) {
  std::string sql = "BEGIN IMMEDIATE;";
  for (std::size_t k = 0; k < t.keys.size(); ++k)
    sql += "DROP INDEX " + db::schema::quote(db::schema::indexName(t, int(k))) + ";" +
           db::schema::indexSql(t, int(k)) + ";";
  exec(db, sql + "COMMIT");
}

// The disturbed audit's work on the plain interface.
enum class RawWrites { Update, UpdateOrFail, None };

void raw(const fs::path& folder, RawWrites writes, benchmark::State& state) {
  Clock clock;
  db::Storage storage;
  place(storage, folder);
  struct File {
    const dict::TableInfo& info;
    std::string order;
    std::vector<std::string> columns;
    sqlite3* db = nullptr;
    std::vector<std::int64_t> rows;
  };
  File files[] = {
      {CTR::info(),
       " ORDER BY rowid",
       {"ICON", "TPAG", "ANTI", "AAMO", "GAAC", "UEST"},
       nullptr,
       {}},
      {PAR::info(), " ORDER BY rowid", {"TPAG", "AVAN", "COST"}, nullptr, {}},
      {DPO::info(), keyOrder(DPO::info(), "DPO:CTA_KEY"), {"TANT", "PANT"}, nullptr, {}},
      {POL::info(), keyOrder(POL::info(), "POL:CON_KEY"), {"TACU", "SFON", "ESTI"}, nullptr, {}},
  };
  for (File& f : files) {
    f.db = openRaw(storage, f.info);
    rebuildRaw(f.db, f.info);
    clock.lap(state, "llaves");
    f.rows = scanRaw(f.db, f.info, f.order);
    clock.lap(state, "leer");
  }
  for (File& f : files) {
    if (writes != RawWrites::None)
      state.counters["commits"] +=
          rewriteRaw(f.db, db::schema::quote(db::schema::tableName(f.info)), std::move(f.rows),
                     f.columns, writes == RawWrites::UpdateOrFail);
    sqlite3_close_v2(f.db);
    clock.lap(state, "escribir_" + std::string(f.info.label));
  }
}

void BM_Raw(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path folder = freshCopy(n);
    const auto writes = RawWrites(state.range(1));
    if (writes != RawWrites::None) touchAll(folder, true);
    state.ResumeTiming();
    raw(folder, writes, state);
  }
}

void BM_Audit(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path folder = freshCopy(n);
    state.ResumeTiming();
    audit(folder, state);
  }
}

void BM_AuditDisturbed(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path folder = freshCopy(n);
    touchAll(folder, true);
    state.ResumeTiming();
    audit(folder, state);
  }
}

void BM_ReadRewrite(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path folder = freshCopy(n);
    state.ResumeTiming();
    touchAll(folder, false);
  }
}

void BM_KeyRebuild(benchmark::State& state) {
  const int n = int(state.range(0));
  const dict::TableInfo* tables[] = {&CTR::info(), &PAR::info(), &DPO::info(), &POL::info()};
  for (auto _ : state) {
    state.PauseTiming();
    fs::path folder = freshCopy(n);
    state.ResumeTiming();
    db::Storage& storage = processStorage();
    place(storage, folder);
    db::Context ctx(storage);
    for (const dict::TableInfo* t : tables) {
      if (state.range(1) == 0) {
        db::Table& table = ctx.table(*t);
        if (!table.openForRebuild()) std::abort();
        table.close();
      } else {
        sqlite3* db = openRaw(storage, *t);
        rebuildRaw(db, *t);
        sqlite3_close_v2(db);
      }
    }
  }
}

BENCHMARK(BM_KeyRebuild)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_ReadRewrite)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Audit)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AuditDisturbed)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Raw)
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({10000, 2})
    ->Args({100000, 2})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
