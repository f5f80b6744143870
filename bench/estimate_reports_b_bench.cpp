// IMP_AUX, every estimate line of the work, on the demo work of
// `velmora demo --size 100000` (about 360 000 lines of 9 000 estimates),
// against plain scans of the tables it reads:
//
//   BM_ImpAuxPages     the run to page images
//   BM_ImpAuxPagesCsv  the same run writing its export file too
//   BM_ImpAuxPdf       the pages of one run painted into a PDF file
//   BM_ScanAuxTables   the baseline: DPOL in key order, POLI and PART read
//                      through once each
//   BM_ScanAuxLookups  what the report reads, without the report: DPOL in
//                      key order, its estimate once per folio and each item
//                      by key once, the first time a line names it
//
// BM_ImpAuxPages / BM_ScanAuxLookups is the figure: what computing, laying
// out and writing the pages costs over the same reads.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "estimates/reports/estimate_reports_b.h"
#include "reports/report.h"
#include "ui/qt/qt_documents.h"

#include "bench/bench_files.h"
#include "bench/page_files.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWork = "HOSP01";

using bench::benchDir;

fs::path demo(int n) { return bench::demoCompany(VELMORA_EXE, n); }

void place(db::Storage& storage, int n) {
  db::useWorkFiles(storage, db::workFiles({demo(n).string(), kWork, "CONTA", dates::today()}));
}

std::unique_ptr<reports::PageList> runAux(int n, bool csv, long& lines) {
  db::Storage storage;
  place(storage, n);
  db::Context ctx(storage);
  auto report = reports::makeImpAux();
  reports::RunSettings settings;
  settings.tempRoot = benchDir().string();
  if (csv) settings.exporting.fileName = (benchDir() / "auxiliar.csv").string();
  reports::ReportRun run(ctx, *report, settings);
  runToEnd(run);
  if (run.response() != 1) std::abort();
  lines = run.recordsPrinted();
  return run.takePages();
}

void pages(benchmark::State& state, bool csv) {
  const int n = int(state.range(0));
  demo(n);
  long lines = 0;
  std::vector<std::string> bytes;
  for (auto _ : state) {
    auto pages = runAux(n, csv, lines);
    state.PauseTiming();
    bytes = bench::pageBytes(*pages);
    state.ResumeTiming();
  }
  state.counters["renglones"] = double(lines);
  state.counters["hojas"] = double(bytes.size());
  state.counters["page_files_s"] = bench::pageFilesSeconds(bytes, benchDir());
}

void BM_ImpAuxPages(benchmark::State& state) { pages(state, false); }
void BM_ImpAuxPagesCsv(benchmark::State& state) { pages(state, true); }

void BM_ImpAuxPdf(benchmark::State& state) {
  long lines = 0;
  auto run = runAux(int(state.range(0)), false, lines);
  qt::QtDocuments documents([] { return nullptr; });
  const std::string out = (benchDir() / "auxiliar.pdf").string();
  for (auto _ : state)
    if (!documents.savePdf(*run, out)) std::abort();
  state.counters["hojas"] = run->pages();
}

long scan(db::Table& t, std::string_view key) {
  if (!t.open() || !t.setStart(t.info().key(key))) std::abort();
  long rows = 0;
  while (t.next()) ++rows;
  t.close();
  return rows;
}

void BM_ScanAuxTables(benchmark::State& state) {
  db::Storage storage;
  place(storage, int(state.range(0)));
  for (auto _ : state) {
    db::Context ctx(storage);
    benchmark::DoNotOptimize(scan(ctx.table<DPO>(), keys::DPO_CTA_KEY) +
                             scan(ctx.table<POL>(), keys::POL_CTA_KEY) +
                             scan(ctx.table<PAR>(), keys::PAR_CTA_KEY));
  }
}

void BM_ScanAuxLookups(benchmark::State& state) {
  db::Storage storage;
  place(storage, int(state.range(0)));
  long gets = 0;
  for (auto _ : state) {
    db::Context ctx(storage);
    db::Table &dpol = ctx.table<DPO>(), &poli = ctx.table<POL>(), &part = ctx.table<PAR>();
    if (!dpol.open() || !poli.open() || !part.open()) std::abort();
    if (!dpol.setStart(dpol.info().key(keys::DPO_CTA_KEY))) std::abort();
    long found = 0;
    int folio = -1;
    std::set<std::tuple<std::int64_t, std::int32_t, std::int32_t>> items;
    gets = 0;
    while (dpol.next()) {
      const DPO& d = dpol.rec<DPO>();
      if (d.CTA != folio) {
        folio = d.CTA;
        poli.clear();
        poli.rec<POL>().CTA = d.CTA;
        found += bool(poli.get(keys::POL_CTA_KEY));
        ++gets;
      }
      // Each item once, however often it was estimated, as the report reads it.
      if (!items.emplace(std::llround(d.PART * 100), d.PROC, d.FREN).second) continue;
      part.clear();
      part.rec<PAR>().CONC = d.PART, part.rec<PAR>().PROC = d.PROC, part.rec<PAR>().FREN = d.FREN;
      found += bool(part.get(keys::PAR_CTA_KEY));
      ++gets;
    }
    benchmark::DoNotOptimize(found);
    dpol.close(), poli.close(), part.close();
  }
  state.counters["lecturas"] = double(gets);
}

BENCHMARK(BM_ScanAuxTables)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ScanAuxLookups)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ImpAuxPages)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ImpAuxPagesCsv)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ImpAuxPdf)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace velmora
