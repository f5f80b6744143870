// The system audit on the demo work of `velmora demo --size N` (N budget
// items, the demo's estimates and lines), against a plain read-and-rewrite
// of the same four files: every record read in record order and written
// back once, in batches inside transactions, as the audit writes.
//
//   BM_Audit           the demo as generated: keys rebuilt, everything read,
//                      almost nothing to write
//   BM_AuditDisturbed  every running value wrong first: the audit rewrites
//                      every record that holds one
//   BM_ReadRewrite     the baseline
//
// The demo companies are made once in $VELMORA_BENCH_DIR (default
// /tmp/velmora-bench); every iteration works on a fresh copy of the work.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/dates.h"
#include "dictionary/work_files.h"
#include "estimates/audit_engine.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWork = "HOSP01";
constexpr const char* kFiles[] = {"OBRA10.TPS", "OBRA12.TPS", "OBRA13.TPS", "OBRA14.TPS"};

fs::path benchDir() {
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  return env ? env : "/tmp/velmora-bench";
}

// The demo company of size n, made once.
fs::path demo(int n) {
  fs::path dir = benchDir() / ("demo-" + std::to_string(n));
  if (fs::exists(dir / kWork / "OBRA14.TPS")) return dir;
  fs::create_directories(benchDir());
  std::string cmd =
      std::string(VELMORA_EXE) + " demo " + dir.string() + " --size " + std::to_string(n);
  if (std::system((cmd + " > /dev/null").c_str()) != 0) std::abort();
  return dir;
}

// A fresh copy of the four files the audit works on.
fs::path freshCopy(int n) {
  fs::path source = demo(n) / kWork;
  fs::path target = benchDir() / ("audit-" + std::to_string(n));
  fs::remove_all(target);
  fs::create_directories(target);
  for (const char* f : kFiles) fs::copy_file(source / f, target / f);
  return target;
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
  db::Storage storage;
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

void audit(const fs::path& folder, benchmark::State& state) {
  db::Storage storage;
  place(storage, folder);
  db::Context ctx(storage);
  estimates::AuditRun run(ctx);
  run.run();
  if (!run.finished() || run.counts().storageErrors) std::abort();
  state.counters["escritos"] =
      double(run.counts().estimatesWritten + run.counts().contractorsWritten +
             run.counts().itemsWritten + run.counts().linesWritten);
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

BENCHMARK(BM_ReadRewrite)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Audit)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AuditDisturbed)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
