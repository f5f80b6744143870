// The maintenance browse in a real window over 1 000 000 records: from
// nothing to the first page painted (window built from its description,
// first page read, everything drawn), and paging once it is up.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QTableView>
#include <filesystem>

#include "bench/bench_files.h"
#include "framework/maintenance.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

namespace {

using namespace velmora;
using namespace velmora::bench;

struct Session {
  explicit Session(int rows) {
    storage.setFileName(frenInfo(), frenFile(rows));
    messages.setHost(&host);
    addMaintenance(program);
  }
  db::Storage storage;
  MessageService messages;
  Program program{"VELMORA", storage, messages,
                  (std::filesystem::temp_directory_path() / "velmora-bench.INI").string()};
  db::Context ctx{storage, 1};
  qt::QtHost host;
};

void BM_QtBrowseFirstPagePainted(benchmark::State& state) {
  Session s(int(state.range(0)));
  QImage canvas(900, 420, QImage::Format_ARGB32);
  for (auto _ : state) {
    auto browse = makeMaintenanceBrowse(s.program, s.ctx, frenInfo());
    if (!browse->open(s.host)) state.SkipWithError("the browse did not open");
    qt::WindowWidget* w = s.host.widget(*browse);
    w->resize(900, 420);
    w->render(&canvas);
    benchmark::DoNotOptimize(canvas.bits());
    browse->finish();
    QApplication::processEvents();  // the window is deleted later
  }
}
BENCHMARK(BM_QtBrowseFirstPagePainted)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_QtBrowsePageDownPainted(benchmark::State& state) {
  Session s(int(state.range(0)));
  auto browse = makeMaintenanceBrowse(s.program, s.ctx, frenInfo());
  if (!browse->open(s.host)) state.SkipWithError("the browse did not open");
  qt::WindowWidget* w = s.host.widget(*browse);
  w->resize(900, 420);
  QImage canvas(900, 420, QImage::Format_ARGB32);
  for (auto _ : state) {
    browse->keyPressed(Key::PageDown);
    w->refreshLists();
    w->render(&canvas);
    benchmark::DoNotOptimize(canvas.bits());
  }
  browse->finish();
}
BENCHMARK(BM_QtBrowsePageDownPainted)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
