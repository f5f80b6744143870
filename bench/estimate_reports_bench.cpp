// IMP_EDO on the demo work of `velmora demo --size 100000` against a plain
// scan of what it reads (the budget items, and the contractors once):
//
//   BM_ImpEdoPages   the report to page images
//   BM_ImpEdoPdf     those pages painted into a PDF file
//   BM_ImpEdoCsv     the report with its export file written too
//   BM_ScanItems     the baseline: every budget item and every contractor
//                    read in key order
//
// BM_ImpEdoPages / BM_ScanItems is the figure: what computing, laying out
// and writing the pages costs over reading the records; BM_ImpEdoCsv less
// BM_ImpEdoPages is the export's own cost.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "estimates/reports/estimate_reports.h"
#include "ui/qt/qt_documents.h"

#include "bench/bench_files.h"
#include "bench/page_files.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWork = "HOSP01";
constexpr int kItems = 100000;

using bench::benchDir;

fs::path demo(int n) { return bench::demoCompany(VELMORA_EXE, n); }

void place(db::Storage& storage, int n) {
  db::useWorkFiles(storage, db::workFiles({demo(n).string(), kWork, "CONTA", dates::today()}));
}

std::unique_ptr<reports::PageList> runEdo(int n, const std::string& csv, long* rows = nullptr) {
  db::Storage storage;
  place(storage, n);
  db::Context ctx(storage);
  auto report = reports::makeImpEdo();
  reports::RunSettings settings;
  settings.tempRoot = benchDir().string();
  settings.exporting.fileName = csv;
  reports::ReportRun run(ctx, *report, settings);
  runToEnd(run);
  if (run.response() != 1) std::abort();
  if (rows) *rows = run.recordsPrinted();
  return run.takePages();
}

void BM_ImpEdoPages(benchmark::State& state) {
  const int n = int(state.range(0));
  demo(n);
  long rows = 0;
  std::vector<std::string> bytes;
  for (auto _ : state) {
    auto pages = runEdo(n, "", &rows);
    state.PauseTiming();
    bytes = bench::pageBytes(*pages);
    state.ResumeTiming();
  }
  state.counters["hojas"] = double(bytes.size());
  state.counters["renglones"] = double(rows);
  state.counters["page_files_s"] = bench::pageFilesSeconds(bytes, benchDir());
}

void BM_ImpEdoCsv(benchmark::State& state) {
  const int n = int(state.range(0));
  demo(n);
  const std::string csv = (benchDir() / "conceptos.csv").string();
  for (auto _ : state) benchmark::DoNotOptimize(runEdo(n, csv)->pages());
  state.counters["bytes"] = double(fs::file_size(benchDir() / "conceptos.CSV"));
}

void BM_ImpEdoPdf(benchmark::State& state) {
  const int n = int(state.range(0));
  auto pages = runEdo(n, "");
  qt::QtDocuments documents([] { return nullptr; });
  const std::string out = (benchDir() / "conceptos.pdf").string();
  for (auto _ : state)
    if (!documents.savePdf(*pages, out)) std::abort();
  state.counters["hojas"] = pages->pages();
}

void BM_ScanItems(benchmark::State& state) {
  const int n = int(state.range(0));
  db::Storage storage;
  place(storage, n);
  for (auto _ : state) {
    db::Context ctx(storage);
    long rows = 0;
    for (const dict::TableInfo* t : {&CTR::info(), &PAR::info()}) {
      db::Table& table = ctx.table(*t);
      if (!table.open() || !table.setStart(&t->keys.front())) std::abort();
      while (table.next()) ++rows;
      table.close();
    }
    benchmark::DoNotOptimize(rows);
  }
}

BENCHMARK(BM_ScanItems)->Arg(kItems)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImpEdoPages)->Arg(kItems)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImpEdoCsv)->Arg(kItems)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImpEdoPdf)->Arg(kItems)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace velmora
