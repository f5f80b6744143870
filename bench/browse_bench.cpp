// A browse over 10 000 and 1 000 000 records: opening with its first page,
// paging, dragging the thumb and locating by text must not grow with the
// table beyond log n.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

#include "framework/browse_view.h"

namespace {

namespace fs = std::filesystem;
using namespace velmora;

const dict::TableInfo& frenInfo() { return *dict::findTable("FREN"); }

std::string frenFile(int rows) {
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

struct Fixture {
  explicit Fixture(int rows) : ctx(storage) {
    storage.setFileName(frenInfo(), frenFile(rows));
    (void)ctx.table(frenInfo()).open();
  }
  db::Storage storage;
  db::Context ctx;
  db::Table& table() { return ctx.table(frenInfo()); }
};

void BM_BrowseOpenFirstPage(benchmark::State& state) {
  Fixture f(int(state.range(0)));
  for (auto _ : state) {
    BrowseView v(f.table(), 20);
    (void)v.setOrder({f.table().info().key("FRE:NOM_KEY")});
    benchmark::DoNotOptimize(v.rows().size());
  }
}
BENCHMARK(BM_BrowseOpenFirstPage)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_BrowsePageDown(benchmark::State& state) {
  Fixture f(int(state.range(0)));
  BrowseView v(f.table(), 20);
  (void)v.setOrder({f.table().info().key("FRE:NOM_KEY")});
  for (auto _ : state) {
    (void)v.pageDown();
    if (v.rows().size() < 20) (void)v.top();
  }
}
BENCHMARK(BM_BrowsePageDown)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_BrowseThumb(benchmark::State& state) {
  Fixture f(int(state.range(0)));
  BrowseView v(f.table(), 20);
  (void)v.setOrder({f.table().info().key("FRE:NOM_KEY")});
  int p = 0;
  for (auto _ : state) {
    p = (p + 37) % 101;
    (void)v.thumb(p);
  }
}
BENCHMARK(BM_BrowseThumb)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_BrowseLocateText(benchmark::State& state) {
  Fixture f(int(state.range(0)));
  BrowseView v(f.table(), 20);
  (void)v.setOrder({f.table().info().key("FRE:NOM_KEY")});
  Record probe(frenInfo());
  const char* starts[] = {"P", "TU", "ZANJA 5", "ñ", "ACC", "NORTE 99"};
  int i = 0;
  for (auto _ : state) {
    probe.as<FRE>().NOMB = starts[i++ % 6];
    (void)v.locate(probe);
  }
}
BENCHMARK(BM_BrowseLocateText)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace
