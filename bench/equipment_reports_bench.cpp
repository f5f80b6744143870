// IMP_FAC with its payments on a work of 50 000 equipment invoices (one or
// two payments on most of them, 50 suppliers, four banks) against a plain
// SQLCipher program doing the same reads:
//
//   BM_ImpFacPages     the report to page images
//   BM_ImpFacPdf       those pages painted into a PDF file
//   BM_ImpFacPagesPdf  both, as "Imprimir a PDF" does
//   BM_ScanPlain/0     the baseline: the invoices with every column in
//                      supplier and date order, suppliers and banks once, and
//                      each paid invoice's payments by supplier and invoice
//   BM_ScanPlain/1     the same with the payments read in one pass in key
//                      order, as the report reads them a supplier at a time
//
// BM_ImpFacPages / BM_ScanPlain/1 is what sorting, computing, laying out and
// writing the pages costs over the same reads (the report reads each
// supplier's payments in one pass, not once per invoice as BM_ScanPlain/0).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/bench_files.h"
#include "bench/page_files.h"
#include "dictionary/schema.h"
#include "dictionary/storage.h"
#include "equipment/reports/equipment_reports.h"
#include "reports/report.h"
#include "ui/qt/qt_documents.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
namespace sc = db::schema;
using bench::benchDir;

constexpr int kInvoices = 50000;
constexpr int kSuppliers = 50;
constexpr int kBanks = 4;
constexpr std::int32_t kFirstDay = 81800, kDays = 720;  // about two years to December 2026
constexpr const char* kLabels[] = {"FAMA", "PAGM", "PROV", "BANC"};

void name(db::Storage& s, const fs::path& dir) {
  for (const char* label : kLabels)
    s.setFileName(*dict::findTable(label), (dir / (std::string(label) + ".TPS")).string());
}

void check(const Status& st) {
  if (!st) std::abort();
}

// The work's files, made once: written into a folder of their own that is
// renamed into place when complete, so an interrupted run leaves nothing
// half made behind.
fs::path invoiceWork() {
  const fs::path dir = benchDir() / ("facturas-" + std::to_string(kInvoices));
  if (fs::exists(dir / "FAMA.TPS")) return dir;
  const fs::path tmp = dir.string() + ".tmp";
  fs::remove_all(tmp);
  fs::create_directories(tmp);
  {
    db::Storage s;
    name(s, tmp);
    db::Context c(s);
    auto batch = [&](const char* label) -> db::Table& {
      db::Table& t = c.table(label);
      check(t.open());
      check(t.stream());
      return t;
    };
    db::Table& prov = batch("PROV");
    for (int i = 1; i <= kSuppliers; ++i) {
      prov.clear();
      PRV& p = prov.rec<PRV>();
      p.CTA = i, p.TIPO = 2;
      p.NOMB = "RENTAS Y MAQUINARIA DEL NORTE " + std::to_string(i);
      p.RFC = "RMN" + std::to_string(100000 + i);
      check(prov.add());
    }
    db::Table& banc = batch("BANC");
    const char* banks[] = {"BANCO DEL CENTRO", "BANCO AGRÍCOLA", "CAJA POPULAR", "BANCO SUR"};
    for (int i = 1; i <= kBanks; ++i) {
      banc.clear();
      banc.rec<BAN>().CTA = i, banc.rec<BAN>().NOMB = banks[i - 1];
      check(banc.add());
    }
    db::Table& fama = batch("FAMA");
    db::Table& pagm = batch("PAGM");
    std::mt19937 rng(11);
    long payments = 0;
    for (int i = 1; i <= kInvoices; ++i) {
      const std::int32_t supplier = std::int32_t(rng() % kSuppliers) + 1;
      const std::int32_t day = kFirstDay + std::int32_t(rng() % kDays);
      const std::int64_t impo = 100000 + std::int64_t(rng() % 25000000);  // cents
      const std::int64_t iva = impo * 16 / 100;
      // 15% unpaid, 55% one payment (most of them in full), 30% two.
      const unsigned roll = rng() % 100;
      const int count = roll < 15 ? 0 : roll < 70 ? 1 : 2;
      std::int64_t paid = 0;
      for (int k = 0; k < count; ++k) {
        const std::int64_t left = impo + iva - paid;
        const std::int64_t cant = k + 1 < count || rng() % 4 == 0 ? left / 2 : left;
        pagm.clear();
        PGM& p = pagm.rec<PGM>();
        p.PROV = supplier, p.FACT = i, p.FECH = day + 15 * (k + 1);
        p.CHEC = std::int32_t(++payments), p.BANK = std::int32_t(rng() % kBanks) + 1;
        p.CANT = double(cant) / 100, p.TIPO = "F";
        check(pagm.add());
        paid += cant;
      }
      fama.clear();
      FAM& f = fama.rec<FAM>();
      f.CTA = i, f.PROV = supplier, f.TIPO = "F", f.FACT = 7000 + i, f.FECH = day;
      f.IMPO = double(impo) / 100, f.IVA = double(iva) / 100, f.PAGO = double(paid) / 100;
      check(fama.add());
      if (i % 10000 == 0)
        check(fama.flush()), check(fama.stream()), check(pagm.flush()), check(pagm.stream());
    }
    for (const char* label : kLabels) {
      check(c.table(label).flush());
      c.table(label).close();
    }
  }
  fs::rename(tmp, dir);
  return dir;
}

// One storage for the whole run: its keys are derived once, as in a program.
db::Storage& storage() {
  static db::Storage s;
  static const bool named = (name(s, invoiceWork()), true);
  (void)named;
  return s;
}

struct Run {
  std::unique_ptr<reports::PageList> pages;
  long invoices = 0;
};

Run runImpFac() {
  db::Context ctx(storage());
  auto report = reports::makeImpFac();
  check(report->option("INCLUYE_PAGOS", "SI"));
  reports::RunSettings settings;
  settings.heading = {"CONSTRUCTORA DE PRUEBA", "OBRA DE PRUEBA", kFirstDay + kDays,
                      "AV. PRINCIPAL 100"};
  settings.tempRoot = benchDir().string();
  reports::ReportRun run(ctx, *report, settings);
  runToEnd(run);
  if (run.response() != 1) std::abort();
  return {run.takePages(), run.recordsPrinted()};
}

void BM_ImpFacPages(benchmark::State& state) {
  invoiceWork();
  long invoices = 0;
  std::vector<std::string> bytes;
  // As in the preview, the page files go when the run's pages do.
  for (auto _ : state) {
    const Run run = runImpFac();
    invoices = run.invoices;
    state.PauseTiming();
    bytes = bench::pageBytes(*run.pages);
    state.ResumeTiming();
  }
  state.counters["hojas"] = double(bytes.size());
  state.counters["facturas"] = double(invoices);
  state.counters["page_files_s"] = bench::pageFilesSeconds(bytes, benchDir());
}

void BM_ImpFacPdf(benchmark::State& state) {
  Run run = runImpFac();
  qt::QtDocuments documents([] { return nullptr; });
  const std::string out = (benchDir() / "facturas.pdf").string();
  for (auto _ : state) check(documents.savePdf(*run.pages, out));
  state.counters["hojas"] = run.pages->pages();
  state.counters["bytes"] = double(fs::file_size(out));
}

void BM_ImpFacPagesPdf(benchmark::State& state) {
  invoiceWork();
  qt::QtDocuments documents([] { return nullptr; });
  const std::string out = (benchDir() / "facturas.pdf").string();
  for (auto _ : state) check(documents.savePdf(*runImpFac().pages, out));
}

// Where each column of interest is in a row of `SELECT rowid,*`.
int columnOf(sqlite3_stmt* s, const char* name) {
  for (int i = 0; i < sqlite3_column_count(s); ++i)
    if (std::string_view(sqlite3_column_name(s, i)) == name) return i;
  std::abort();
}

// Every column of the current row, so that none is left unread.
double touch(sqlite3_stmt* s) {
  double sink = 0;
  for (int i = 1; i < sqlite3_column_count(s); ++i)
    sink += sqlite3_column_type(s, i) == SQLITE_TEXT ? double(sqlite3_column_bytes(s, i))
                                                     : sqlite3_column_double(s, i);
  return sink;
}

void BM_ScanPlain(benchmark::State& state) {
  const bool onePass = state.range(0) != 0;
  const fs::path dir = invoiceWork();
  auto path = [&](const char* label) { return (dir / (std::string(label) + ".TPS")).string(); };
  const dict::TableInfo &fam = FAM::info(), &pgm = PGM::info();
  long payments = 0, invoices = 0;
  for (auto _ : state) {
    sqlite3* prov = bench::openRaw(path("PROV"), PRV::info());
    sqlite3* banc = bench::openRaw(path("BANC"), BAN::info());
    sqlite3* fama = bench::openRaw(path("FAMA"), fam);
    sqlite3* pagm = bench::openRaw(path("PAGM"), pgm);
    benchmark::DoNotOptimize(bench::scanRaw(prov, PRV::info(), ""));
    benchmark::DoNotOptimize(bench::scanRaw(banc, BAN::info(), ""));
    const int key = int(pgm.key("PGM:NUM_KEY") - pgm.keys.data());
    sqlite3_stmt* byInvoice = bench::prepareRaw(
        pagm, "SELECT rowid,* FROM " + sc::quote(sc::tableName(pgm)) + " WHERE " +
                  sc::componentSql(pgm, key, 0) + "=? AND " + sc::componentSql(pgm, key, 1) +
                  "=? ORDER BY " + sc::componentSql(pgm, key, 0) + "," +
                  sc::componentSql(pgm, key, 1) + ",rowid");
    sqlite3_stmt* all = bench::prepareRaw(
        fama, "SELECT rowid,* FROM " + sc::quote(sc::tableName(fam)) + " ORDER BY " +
                  sc::quote("PROV") + "," + sc::quote("FECH") + ",rowid");
    const int cta = columnOf(all, "CTA"), supplier = columnOf(all, "PROV"),
              pago = columnOf(all, "PAGO");
    double sink = 0;
    payments = invoices = 0;
    if (onePass)
      payments = long(bench::scanRaw(pagm, pgm, bench::keyOrder(pgm, "PGM:NUM_KEY")).size());
    while (sqlite3_step(all) == SQLITE_ROW) {
      ++invoices;
      sink += touch(all);
      if (onePass || sqlite3_column_double(all, pago) == 0) continue;
      sqlite3_bind_int64(byInvoice, 1, sqlite3_column_int64(all, supplier));
      sqlite3_bind_int64(byInvoice, 2, sqlite3_column_int64(all, cta));
      while (sqlite3_step(byInvoice) == SQLITE_ROW) ++payments, sink += touch(byInvoice);
      sqlite3_reset(byInvoice);
    }
    benchmark::DoNotOptimize(sink);
    sqlite3_finalize(all);
    sqlite3_finalize(byInvoice);
    for (sqlite3* db : {prov, banc, fama, pagm}) sqlite3_close(db);
  }
  state.counters["facturas"] = double(invoices);
  state.counters["pagos"] = double(payments);
}

BENCHMARK(BM_ScanPlain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImpFacPages)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImpFacPdf)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ImpFacPagesPdf)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace velmora
