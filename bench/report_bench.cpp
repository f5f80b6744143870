// Report runs against a plain scan of the same table, on the demo work of
// `velmora demo --size N`:
//
//   BM_ImpConPages       the contractors' statement to page images
//   BM_ItemsPages        one line per budget item to page images
//   BM_ItemsPdf          the same pages painted into a PDF file
//   BM_ScanItems         the baseline: every budget item read in key order
//   BM_ScanContractors   what IMP_CON reads: every estimate, what it paid
//                        summed by contractor, then every contractor with
//                        his sum looked up
//   BM_ScanItemsRaw,     the floor of both scans: the same files read in the
//   BM_ScanContractorsRaw  same order with plain SELECTs of every column, the
//                        contractors' sums computed the same way
//
// The ratios BM_ItemsPages / BM_ScanItems and BM_ImpConPages /
// BM_ScanContractors are the figures: what laying out and writing the pages
// costs over reading the records.
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
#include <map>
#include <string>

#include "bench/bench_files.h"
#include "bench/page_files.h"
#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "estimates/reports/estimate_reports.h"
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
  std::vector<std::string> bytes;
  for (auto _ : state) {
    auto report = reports::makeImpCon();
    auto pages = runReport(*report, n);
    state.PauseTiming();
    bytes = bench::pageBytes(*pages);
    state.ResumeTiming();
  }
  state.counters["hojas"] = double(bytes.size());
  state.counters["page_files_s"] = bench::pageFilesSeconds(bytes, benchDir());
}

void BM_ItemsPages(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<std::string> bytes;
  for (auto _ : state) {
    Items report;
    auto pages = runReport(report, n);
    state.PauseTiming();
    bytes = bench::pageBytes(*pages);
    state.ResumeTiming();
  }
  state.counters["hojas"] = double(bytes.size());
  state.counters["page_files_s"] = bench::pageFilesSeconds(bytes, benchDir());
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

// What IMP_CON reads, without the report: every estimate in key order, what
// each paid summed by contractor, then every contractor in key order with
// his sum looked up.
void BM_ScanContractors(benchmark::State& state) {
  db::Storage storage;
  place(storage, int(state.range(0)));
  long estimates = 0, contractors = 0;
  for (auto _ : state) {
    db::Context ctx(storage);
    std::map<std::int32_t, std::int64_t> received;
    db::Table& poli = ctx.table<POL>();
    if (!poli.openReadOnly() || !poli.setStart(POL::info().key(keys::POL_CTA_KEY))) std::abort();
    estimates = contractors = 0;
    while (poli.next()) {
      const POL& e = poli.rec<POL>();
      received[e.CONT] += reports::netPaid(e).cents();
      ++estimates;
    }
    poli.close();
    db::Table& t = ctx.table<CTR>();
    if (!t.open() || !t.setStart(CTR::info().key("CTR:CTA_KEY"))) std::abort();
    std::int64_t sum = 0;
    while (t.next()) {
      const auto it = received.find(t.rec<CTR>().CTA);
      sum += it == received.end() ? 0 : it->second;
      ++contractors;
    }
    benchmark::DoNotOptimize(sum);
    t.close();
  }
  state.counters["estimaciones"] = double(estimates);
  state.counters["contratistas"] = double(contractors);
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

// Where a column is in a row of `SELECT rowid,*`.
int columnOf(sqlite3_stmt* s, const char* name) {
  for (int i = 0; i < sqlite3_column_count(s); ++i)
    if (std::string_view(sqlite3_column_name(s, i)) == name) return i;
  std::abort();
}

// BM_ScanContractors in plain SQL: the estimates with every column in key
// order, each one's net payment summed by contractor as IMP_CON computes it,
// then the contractors with every column, each one's sum looked up.
void BM_ScanContractorsRaw(benchmark::State& state) {
  db::Storage storage;
  place(storage, int(state.range(0)));
  const dict::TableInfo &pol = POL::info(), &ctr = CTR::info();
  const std::string poliPath = db::withDefaultExtension(storage.fileName(pol));
  const std::string contPath = db::withDefaultExtension(storage.fileName(ctr));
  for (auto _ : state) {
    sqlite3* poliDb = bench::openRaw(poliPath, pol);
    sqlite3* contDb = bench::openRaw(contPath, ctr);
    sqlite3_stmt* s = bench::prepareRaw(poliDb, "SELECT rowid,* FROM " +
                                                    db::schema::quote(db::schema::tableName(pol)) +
                                                    bench::keyOrder(pol, keys::POL_CTA_KEY));
    const int cont = columnOf(s, "CONT"), esti = columnOf(s, "ESTI"), ufec = columnOf(s, "UFEC");
    const int cant = columnOf(s, "CANT"), nomi = columnOf(s, "NOMI"), iva = columnOf(s, "IVA");
    const int pant = columnOf(s, "PANT"), pfon = columnOf(s, "PFON"), ppre = columnOf(s, "PPRE");
    const int pres = columnOf(s, "PRES");
    const auto c = [&](int column) {
      return reports::toCents(sqlite3_column_double(s, column)).cents();
    };
    std::map<std::int32_t, std::int64_t> received;
    while (sqlite3_step(s) == SQLITE_ROW) {
      const int e = sqlite3_column_int(s, esti), u = sqlite3_column_int(s, ufec);
      received[sqlite3_column_int(s, cont)] +=
          e < 0 || u == 1 || u == 3
              ? c(cant)
              : c(cant) - c(nomi) + c(iva) - c(pant) - c(pfon) - c(ppre) + c(pres);
    }
    sqlite3_finalize(s);
    s = bench::prepareRaw(contDb, "SELECT rowid,* FROM " +
                                      db::schema::quote(db::schema::tableName(ctr)) +
                                      bench::keyOrder(ctr, "CTR:CTA_KEY"));
    const int cta = columnOf(s, "CTA"), n = sqlite3_column_count(s);
    double sink = 0;
    std::int64_t sum = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      for (int i = 1; i < n; ++i)
        sink += sqlite3_column_type(s, i) == SQLITE_TEXT ? double(sqlite3_column_bytes(s, i))
                                                         : sqlite3_column_double(s, i);
      const auto it = received.find(sqlite3_column_int(s, cta));
      sum += it == received.end() ? 0 : it->second;
    }
    sqlite3_finalize(s);
    benchmark::DoNotOptimize(sink + double(sum));
    sqlite3_close_v2(poliDb);
    sqlite3_close_v2(contDb);
  }
}

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
