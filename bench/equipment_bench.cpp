// The import of 100 000 HORA lines into an empty equipment catalogue, against
// a plain scan of HORA writing the same equipment rows in one transaction
// (no process or equipment look-ups). The ratio is the figure.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "dictionary/unit_of_work.h"
#include "equipment/hours_import.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

constexpr int kLines = 100000;
constexpr int kProcesses = 400;

struct Files {
  Files() {
    dir = fs::temp_directory_path() / "velmora-bench-hours";
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const char* label : {"HORA", "MAQU", "PROB", "FREN"})
      storage.setFileName(*dict::findTable(label), (dir / (std::string(label) + ".TPS")).string());
    db::Context ctx(storage, 1);
    db::Table& hora = ctx.table("HORA");
    ok = hora.open() && hora.stream();
    for (int i = 0; ok && i < kLines; ++i) {
      HOR& h = hora.rec<HOR>();
      h.CTA = i + 1;
      h.DESC = "EQUIPO " + std::to_string(i + 1);
      h.CANT = 10 + i % 90;
      h.PREC = 100 + i % 1000;
      h.DPRO = "PROCESO " + std::to_string(i % kProcesses);
      ok = bool(hora.add());
    }
    ok = ok && hora.flush();
    hora.close();
    db::Table& fren = ctx.table("FREN");
    fren.clear();
    fren.rec<FRE>().CTA = 1;
    ok = ok && fren.open() && fren.add();
    fren.close();
  }
  ~Files() { fs::remove_all(dir); }
  void empty() {
    for (const char* name : {"MAQU.TPS", "PROB.TPS"}) fs::remove(dir / name);
  }
  fs::path dir;
  db::Storage storage;
  bool ok = false;
};

Files& files() {
  static Files f;
  return f;
}

void BM_ImportHours(benchmark::State& state) {
  Files& f = files();
  if (!f.ok) return state.SkipWithError("no HORA");
  int thread = 10;
  for (auto _ : state) {
    state.PauseTiming();
    f.empty();
    state.ResumeTiming();
    db::Context ctx(f.storage, ++thread);
    equipment::HoursImport in;
    in.front = 1;
    in.factor = Decimal::fromCents(150);
    in.accumulate = true;
    equipment::ImportResult r;
    if (!equipment::importHours(ctx, in, &r) || r.added != kLines)
      return state.SkipWithError("import failed");
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ImportHours)->Unit(benchmark::kMillisecond);

void BM_ScanAndWriteBaseline(benchmark::State& state) {
  Files& f = files();
  if (!f.ok) return state.SkipWithError("no HORA");
  int thread = 1000;
  for (auto _ : state) {
    state.PauseTiming();
    f.empty();
    state.ResumeTiming();
    db::Context ctx(f.storage, ++thread);
    db::Table& hora = ctx.table("HORA");
    db::Table& maqu = ctx.table("MAQU");
    db::Transaction tx(ctx, {&hora, &maqu});
    Status st = tx.status();
    if (st) st = hora.setStart(nullptr);
    while (st && (st = hora.next())) {
      const HOR& h = hora.rec<HOR>();
      maqu.clear();
      MAQ& m = maqu.rec<MAQ>();
      m.CTA = h.CTA;
      m.FREN = 1;
      m.DESC = h.DESC;
      m.REQU = h.CANT * 1.5;
      m.PRRE = h.PREC;
      st = maqu.add();
    }
    if (st.code == err::NoRecord) st = tx.commit();
    if (!st) return state.SkipWithError("baseline failed");
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_ScanAndWriteBaseline)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
