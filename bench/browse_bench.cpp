// A browse over 10 000 and 1 000 000 records: opening with its first page,
// paging, dragging the thumb and locating by text must not grow with the
// table beyond log n.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_files.h"
#include "framework/browse_view.h"

namespace {

using namespace velmora::bench;
using namespace velmora;

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
