// Report runs against a plain scan of the same table, on the demo work of
// `velmora demo --size N`:
//
//   BM_ImpConPages       the contractors' statement to page images
//   BM_ItemsPages        one line per budget item to page images
//   BM_ItemsPdf          the same pages painted into a PDF file
//   BM_ScanItems         the baseline: every budget item read in key order
//   BM_ScanContractors   the same for the contractors
//   BM_ScanItemsRaw,     the floor of both scans: the same files read in the
//   BM_ScanContractorsRaw  same order with one plain SELECT of every column
//
// The ratio BM_ItemsPages / BM_ScanItems is the figure: what laying out
// and writing the pages costs over reading the records.
//
//   BM_PreviewFirstPage  "Vista Previa" on a run of 5 000 pages: the window
//                        opened and its first page painted, then closed
//   BM_PaintOnePage      the baseline: that page painted alone, same size
//
// BM_PreviewFirstPage / BM_PaintOnePage shows that opening does not grow
// with the pages of the run.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>

#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_files.h"
#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "estimates/reports/imp_con.h"
#include "reports/preview_window.h"
#include "reports/report.h"
#include "reports/wmf.h"
#include "ui/qt/qt_documents.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWork = "HOSP01";

using bench::benchDir;

fs::path demo(int n) { return bench::demoCompany(VELMORA_EXE, n); }

void place(db::Storage& storage, int n) {
  db::useWorkFiles(storage, db::workFiles({demo(n).string(), kWork, "CONTA", dates::today()}));
}

// One line per budget item: number, description, quantity and budget.
class Items : public reports::Report {
 public:
  Items() {
    d_.procedure = "PARTIDAS", d_.title = "PARTIDAS DEL PRESUPUESTO AL";
    d_.table = "PART", d_.key = "PAR:CTA_KEY";
    d_.fontHeight = 28;
    d_.pageHeader.height = 120;
    d_.pageHeader.items = {
        reports::field(std::string(reports::names::kTitle), "", 100, 0),
        reports::field(std::string(reports::names::kPage), "pHoja <<<#p", 1800, 0)};
    d_.detail.height = 40;
    d_.detail.items = {reports::field("PAR:CONC", "@n_9.2", 100, 0),
                       reports::field("PAR:TEXT", "@s30", 300, 0),
                       reports::field("PAR:CANT", "@n14.2", 1100, 0),
                       reports::field("PAR:PRES", "@n14.2", 1500, 0)};
    d_.totals.height = 60;
    reports::BandItem sum = reports::field("PAR:PRES", "@n14.2", 1500, 10);
    sum.total = true;
    d_.totals.items = {reports::label("SUMAS:", 300, 10), sum};
  }
  const reports::ReportDescription& description() const override { return d_; }

 private:
  reports::ReportDescription d_;
};

std::unique_ptr<reports::PageList> runReport(reports::Report& report, int n) {
  db::Storage storage;
  place(storage, n);
  db::Context ctx(storage);
  reports::RunSettings settings;
  settings.tempRoot = benchDir().string();
  reports::ReportRun run(ctx, report, settings);
  runToEnd(run);
  if (run.response() != 1) std::abort();
  return run.takePages();
}

void BM_ImpConPages(benchmark::State& state) {
  const int n = int(state.range(0));
  demo(n);
  int pages = 0;
  for (auto _ : state) {
    auto report = reports::makeImpCon();
    pages = runReport(*report, n)->pages();
  }
  state.counters["hojas"] = pages;
}

void BM_ItemsPages(benchmark::State& state) {
  const int n = int(state.range(0));
  int pages = 0;
  for (auto _ : state) {
    Items report;
    pages = runReport(report, n)->pages();
  }
  state.counters["hojas"] = pages;
}

void BM_ItemsPdf(benchmark::State& state) {
  const int n = int(state.range(0));
  Items report;
  auto pages = runReport(report, n);
  qt::QtDocuments documents([] { return nullptr; });
  const std::string out = (benchDir() / "partidas.pdf").string();
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
    db::Table& t = ctx.table<PAR>();
    if (!t.open() || !t.setStart(PAR::info().key("PAR:CTA_KEY"))) std::abort();
    long rows = 0;
    while (t.next()) ++rows;
    benchmark::DoNotOptimize(rows);
    t.close();
  }
}

void BM_ScanContractors(benchmark::State& state) {
  db::Storage storage;
  place(storage, int(state.range(0)));
  for (auto _ : state) {
    db::Context ctx(storage);
    db::Table& t = ctx.table<CTR>();
    if (!t.open() || !t.setStart(CTR::info().key("CTR:CTA_KEY"))) std::abort();
    long rows = 0;
    while (t.next()) ++rows;
    benchmark::DoNotOptimize(rows);
    t.close();
  }
}

void scanRaw(benchmark::State& state, const dict::TableInfo& t, std::string_view key) {
  db::Storage storage;
  place(storage, int(state.range(0)));
  const std::string path = db::withDefaultExtension(storage.fileName(t));
  for (auto _ : state) {
    sqlite3* db = bench::openRaw(path, t);
    benchmark::DoNotOptimize(bench::scanRaw(db, t, bench::keyOrder(t, key)).size());
    sqlite3_close_v2(db);
  }
}

void BM_ScanItemsRaw(benchmark::State& state) { scanRaw(state, PAR::info(), "PAR:CTA_KEY"); }
void BM_ScanContractorsRaw(benchmark::State& state) { scanRaw(state, CTR::info(), "CTR:CTA_KEY"); }

// A run of `n` pages of sixty lines each, written once per process.
reports::PageList& manyPages(int n) {
  static std::unique_ptr<reports::PageList> pages;
  if (pages && pages->pages() == n) return *pages;
  std::string folder;
  fs::create_directories(benchDir());
  if (!reports::makeRunFolder(benchDir().string(), folder)) std::abort();
  pages = std::make_unique<reports::PageList>(folder, "PRUEBA", 2159, 2794);
  reports::WmfWriter page(2159, 2794);
  page.font("Courier New", 30);
  for (int line = 0; line < 60; ++line)
    page.text(100, 150 + line * 40,
              "CONTRATISTA " + std::to_string(line) + "   1,234,567.89   7,654,321.00");
  const std::string first = folder + "/HOJA00001.WMF";
  if (!page.save(first)) std::abort();
  pages->add(first);
  for (int i = 2; i <= n; ++i) {
    const std::string file = folder + "/HOJA" + std::to_string(i) + ".WMF";
    fs::copy_file(first, file);
    pages->add(file);
  }
  return *pages;
}

constexpr int kAreaWidth = 1000, kAreaHeight = 700;

void BM_PreviewFirstPage(benchmark::State& state) {
  reports::PageList& pages = manyPages(int(state.range(0)));
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, (benchDir() / "DUDORE.INI").string()};
  db::Context ctx(storage);
  qt::QtHost host;
  for (auto _ : state) {
    reports::PreviewWindow preview(program, ctx, pages);
    if (!preview.open(host)) std::abort();
    QWidget* area = host.widget(preview)->findChild<QWidget*>("?PAGES");
    area->resize(kAreaWidth, kAreaHeight);
    benchmark::DoNotOptimize(area->grab());
    preview.accepted("?EXITBUTTON");
    preview.finish();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  state.counters["hojas"] = pages.pages();
}

void BM_PaintOnePage(benchmark::State& state) {
  reports::PageList& pages = manyPages(int(state.range(0)));
  QImage image(kAreaWidth, kAreaHeight, QImage::Format_ARGB32_Premultiplied);
  const double height = kAreaWidth * double(pages.pageHeight()) / pages.pageWidth();
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    qt::paintPage(pages, 1, painter, QRectF(0, 0, kAreaWidth, height));
  }
}

BENCHMARK(BM_PreviewFirstPage)->Arg(50)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_PaintOnePage)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ImpConPages)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScanContractors)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScanContractorsRaw)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScanItems)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScanItemsRaw)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ItemsPages)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ItemsPdf)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace velmora
