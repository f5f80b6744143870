// The import of 100 000 budget rows into an empty front, against a plain
// scan of the same rows writing one budget item each in one transaction (no
// process, concept or item look-ups). The ratio is the figure.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "dictionary/unit_of_work.h"
#include "exchange/budget_import.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

constexpr int kRows = 100000;
constexpr int kHeadingEvery = 50;

struct Files {
  Files() {
    dir = fs::temp_directory_path() / "velmora-bench-budget";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* label : {"COBR", "PART", "CONC", "PROB", "FREN", "CONTROL"})
      storage.setFileName(*dict::findTable(label), (dir / (std::string(label) + ".TPS")).string());
    db::Context ctx(storage, 1);
    db::Table& cobr = ctx.table("COBR");
    ok = cobr.open() && cobr.stream();
    for (int i = 1; ok && i <= kRows; ++i) {
      cobr.clear();
      COO& r = cobr.rec<COO>();
      r.CTA = i;
      if (i % kHeadingEvery == 1) {
        r.TIPO = "T";
        r.TEXT = "PROCESO " + std::to_string(i / kHeadingEvery);
      } else {
        r.TIPO = "C";
        r.TEXT = "CONCEPTO DEL PRESUPUESTO " + std::to_string(i);
        r.GENE = "G";
        r.LLAV = std::to_string(i);
        r.UNID = "M2";
        r.CANT = 10 + i % 90;
        r.TOBR = 50 + i % 7, r.TMAT = 120, r.TCOS = 15, r.TPOR = 8;
        r.TEX1 = "DESCRIPCION COMPLETA DEL CONCEPTO " + std::to_string(i);
      }
      ok = bool(cobr.add());
    }
    ok = ok && cobr.flush();
    cobr.close();
    db::Table& fren = ctx.table("FREN");
    fren.clear();
    fren.rec<FRE>().CTA = 1;
    ok = ok && fren.open() && fren.add();
    fren.close();
    db::Table& control = ctx.table("CONTROL");
    control.clear();
    control.rec<CTL>().CTA = 1;
    control.rec<CTL>().DHAB = 293;
    ok = ok && control.open() && control.add();
    control.close();
  }
  ~Files() { fs::remove_all(dir); }
  void empty() {
    for (const char* name : {"PART.TPS", "CONC.TPS", "PROB.TPS"}) fs::remove(dir / name);
  }
  fs::path dir;
  db::Storage storage;
  bool ok = false;
};

Files& files() {
  static Files f;
  return f;
}

void BM_ImportBudget(benchmark::State& state) {
  Files& f = files();
  if (!f.ok) return state.SkipWithError("no budget rows");
  int thread = 10;
  for (auto _ : state) {
    state.PauseTiming();
    f.empty();
    state.ResumeTiming();
    db::Context ctx(f.storage, ++thread);
    exchange::BudgetImportResult r;
    if (!exchange::importBudget(ctx, {1, 1.5, 100, 0, 0, {}}, &r) ||
        r.itemsAdded != kRows - kRows / kHeadingEvery)
      return state.SkipWithError("import failed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ImportBudget)->Unit(benchmark::kMillisecond);

void BM_ScanAndWriteBaseline(benchmark::State& state) {
  Files& f = files();
  if (!f.ok) return state.SkipWithError("no budget rows");
  int thread = 1000;
  for (auto _ : state) {
    state.PauseTiming();
    f.empty();
    state.ResumeTiming();
    db::Context ctx(f.storage, ++thread);
    db::Table& cobr = ctx.table("COBR");
    db::Table& part = ctx.table("PART");
    db::Transaction tx(ctx, {&cobr, &part});
    Status st = tx.status();
    if (st) st = cobr.setStart(cobr.info().key("COO:CTA_KEY"));
    while (st && (st = cobr.next())) {
      const COO& r = cobr.rec<COO>();
      if (r.TIPO != "C") continue;
      part.clear();
      PAR& p = part.rec<PAR>();
      p.CONC = r.CTA;
      p.FREN = 1;
      p.TEXT = r.TEXT.substr(0, 30);
      p.CANT = p.CANI = r.CANT * 1.5;
      p.PRES = p.PREI = r.TOBR * p.CANT;
      p.MATE = p.MATI = (r.TMAT + r.TPOR) * p.CANT;
      p.EQUI = p.EQII = r.TCOS * p.CANT;
      st = part.add();
    }
    if (st.code == err::NoRecord) st = tx.commit();
    if (!st) return state.SkipWithError("baseline failed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ScanAndWriteBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
