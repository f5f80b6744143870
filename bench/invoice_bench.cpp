// Invoices: 1 000 equipment invoices posted in a row through saveInvoice(),
// each with the supplier's total, the item, its three-line policy and the
// totals of the accounts and their parents; against the same rows written
// with plain SQL in one transaction per invoice over the same seven files.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/bench_files.h"
#include "bench/invoice_work.h"
#include "dictionary/schema.h"
#include "equipment/invoices.h"

namespace {

using namespace velmora;
using namespace velmora::bench;
namespace fs = std::filesystem;
namespace sc = db::schema;

constexpr int kInvoices = 1000;

void BM_Invoices(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    db::Storage s;
    name(s, freshWork("op"));
    db::Context ctx(s, 1);
    // The tables the invoice window holds open while the clerk works; the
    // books are opened by the posting itself.
    for (const char* label : {"FAMA", "PROV", "MAQU", "PART"})
      if (!ctx.table(label).open()) return state.SkipWithError("open failed");
    state.ResumeTiming();
    for (int i = 1; i <= kInvoices; ++i) {
      equipment::InvoiceInput in;
      in.invoice = invoiceOf(i);
      in.work = "OB1", in.today = kToday, in.now = 1, in.user = 1;
      if (!equipment::saveInvoice(ctx, in, nullptr)) return state.SkipWithError("save failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * kInvoices);
}
BENCHMARK(BM_Invoices)->Unit(benchmark::kMillisecond)->Iterations(1);

std::string columnList(const dict::TableInfo& t) {
  std::string out;
  for (const sc::Column& c : sc::columns(t)) out += (out.empty() ? "" : ",") + sc::quote(c.name);
  return out;
}
std::string marks(const dict::TableInfo& t) {
  std::string m;
  for (std::size_t i = 0; i < sc::columns(t).size(); ++i) m += i ? ",?" : "?";
  return m;
}
std::string table(const char* label) {
  return std::string(label) + "." + sc::quote(sc::tableName(*dict::findTable(label)));
}
// The key's first `n` components equal to parameters 1..n.
std::string keyWhere(const dict::TableInfo& t, std::string_view key, int n) {
  const int k = int(t.key(key) - t.keys.data());
  std::string where = sc::nullFilterSql(t, k);
  for (int i = 0; i < n; ++i)
    where += (where.empty() ? "" : " AND ") + sc::componentSql(t, k, i) + "=?";
  return where;
}
void readRow(sqlite3_stmt* s, Record& r) {
  const auto& cols = sc::columns(r.table());
  for (std::size_t i = 0; i < cols.size(); ++i) (void)sc::read(s, int(i) + 1, r, cols[i]);
}
void bindRow(sqlite3_stmt* s, const Record& r) {
  const auto& cols = sc::columns(r.table());
  for (std::size_t i = 0; i < cols.size(); ++i) (void)sc::bind(s, int(i) + 1, r, cols[i]);
}
void step(sqlite3_stmt* s, int want) {
  if (sqlite3_step(s) != want) std::abort();
}

// The same reads and writes by hand: the equipment, the invoice, the
// supplier and the item moved, the next policy number, the header, three
// lines and each account with its parents rolled; one transaction each.
void BM_InvoicesRaw(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path dir = freshWork("raw");
    db::Storage keys;
    sqlite3* db = openRaw((dir / "FAMA.TPS").string(), FAM::info());
    for (const char* label : {"MAQU", "PROV", "PART", "POLMES", "DETMES", "CUEN"}) {
      const dict::TableInfo& t = *dict::findTable(label);
      const std::string key = keys.rawKey(t.password, db::Storage::saltFor(t.password));
      exec(db, "PRAGMA cipher_default_page_size=" + std::to_string(db::kPageSize));
      exec(db, "ATTACH DATABASE '" + (dir / (std::string(label) + ".TPS")).string() + "' AS " +
                   label + " KEY \"" + key + "\"");
    }
    const dict::TableInfo &maq = MAQ::info(), &prv = PRV::info(), &par = PAR::info(),
                          &cue = CUE::info();
    sqlite3_stmt* readMaq = prepareRaw(db, "SELECT rowid,* FROM " + table("MAQU") + " WHERE " +
                                               keyWhere(maq, "MAQ:CTA_KEY", 1) + " LIMIT 1");
    sqlite3_stmt* addFam =
        prepareRaw(db, "INSERT OR FAIL INTO main." + sc::quote(sc::tableName(FAM::info())) + "(" +
                           columnList(FAM::info()) + ") VALUES(" + marks(FAM::info()) + ")");
    sqlite3_stmt* readPrv = prepareRaw(
        db, "SELECT rowid,* FROM " + table("PROV") + " WHERE " + keyWhere(prv, "PRV:CTA_KEY", 1));
    sqlite3_stmt* movePrv =
        prepareRaw(db, "UPDATE OR FAIL " + table("PROV") + " SET \"TFAC\"=? WHERE rowid=?");
    sqlite3_stmt* readPar = prepareRaw(
        db, "SELECT rowid,* FROM " + table("PART") + " WHERE " + keyWhere(par, "PAR:CTA_KEY", 3));
    sqlite3_stmt* movePar =
        prepareRaw(db, "UPDATE OR FAIL " + table("PART") + " SET \"TEQU\"=? WHERE rowid=?");
    sqlite3_stmt* lastPoa = prepareRaw(db, "SELECT max(\"NUM\") FROM " + table("POLMES"));
    sqlite3_stmt* addPoa =
        prepareRaw(db, "INSERT OR FAIL INTO " + table("POLMES") + "(" + columnList(POA::info()) +
                           ") VALUES(" + marks(POA::info()) + ")");
    sqlite3_stmt* addDea =
        prepareRaw(db, "INSERT OR FAIL INTO " + table("DETMES") + "(" + columnList(DEA::info()) +
                           ") VALUES(" + marks(DEA::info()) + ")");
    sqlite3_stmt* readCue = prepareRaw(
        db, "SELECT rowid,* FROM " + table("CUEN") + " WHERE " + keyWhere(cue, "CUE:CTA_KEY", 5));
    sqlite3_stmt* moveCue =
        prepareRaw(db, "UPDATE OR FAIL " + table("CUEN") + " SET (" + columnList(cue) + ")=(" +
                           marks(cue) + ") WHERE rowid=?");
    Record machine(maq), invoice(FAM::info()), supplier(prv), item(par), head(POA::info()),
        line(DEA::info()), acc(cue);
    const int ncue = int(sc::columns(cue).size());
    auto roll = [&](std::array<std::int16_t, 5> a, double amount, bool debit) {
      for (int level = 4; level >= 0; --level) {
        if (a[std::size_t(level)] == 0) continue;
        for (int i = 0; i < 5; ++i) sqlite3_bind_int(readCue, i + 1, a[std::size_t(i)]);
        if (sqlite3_step(readCue) == SQLITE_ROW) {
          readRow(readCue, acc);
          const std::int64_t row = sqlite3_column_int64(readCue, 0);
          CUE& r = acc.as<CUE>();
          (debit ? r.CARGOS : r.ABONOS)[11] += amount;
          bindRow(moveCue, acc);
          sqlite3_bind_int64(moveCue, ncue + 1, row);
          step(moveCue, SQLITE_DONE);
          sqlite3_reset(moveCue);
        }
        sqlite3_reset(readCue);
        a[std::size_t(level)] = 0;
      }
    };
    state.ResumeTiming();
    for (int i = 1; i <= kInvoices; ++i) {
      exec(db, "BEGIN IMMEDIATE");
      FAM& f = invoice.as<FAM>();
      f = invoiceOf(i);
      sqlite3_bind_int(readMaq, 1, f.MAQU);
      step(readMaq, SQLITE_ROW);
      readRow(readMaq, machine);
      sqlite3_reset(readMaq);
      f.FREN = machine.as<MAQ>().FREN, f.PROC = machine.as<MAQ>().PROC;
      bindRow(addFam, invoice);
      step(addFam, SQLITE_DONE);
      sqlite3_reset(addFam);
      sqlite3_bind_int(readPrv, 1, f.PROV);
      step(readPrv, SQLITE_ROW);
      readRow(readPrv, supplier);
      sqlite3_bind_double(movePrv, 1, supplier.as<PRV>().TFAC + f.IMPO + f.IVA);
      sqlite3_bind_int64(movePrv, 2, sqlite3_column_int64(readPrv, 0));
      sqlite3_reset(readPrv);
      step(movePrv, SQLITE_DONE);
      sqlite3_reset(movePrv);
      sqlite3_bind_double(readPar, 1, f.CONC);
      sqlite3_bind_int(readPar, 2, f.PROC);
      sqlite3_bind_int(readPar, 3, f.FREN);
      step(readPar, SQLITE_ROW);
      readRow(readPar, item);
      sqlite3_bind_double(movePar, 1, item.as<PAR>().TEQU + f.IMPO);
      sqlite3_bind_int64(movePar, 2, sqlite3_column_int64(readPar, 0));
      sqlite3_reset(readPar);
      step(movePar, SQLITE_DONE);
      sqlite3_reset(movePar);
      step(lastPoa, SQLITE_ROW);
      const int number = sqlite3_column_int(lastPoa, 0) + 1;
      sqlite3_reset(lastPoa);
      const struct {
        std::array<std::int16_t, 5> account;
        const char* side;
        double amount;
      } lines[] = {{{1115, 1, 1, 0, 0}, "C", 2300},
                   {{1108, 1, 0, 0, 0}, "A", 300},
                   {{2101, 1, 0, 0, 0}, "A", 2000}};
      for (const auto& l : lines) {
        DEA& d = line.as<DEA>();
        d.NUM = number, d.CTA = l.account[0], d.SCTA = l.account[1], d.SSCTA = l.account[2];
        d.CANT = l.amount, d.CARG = l.side, d.DIA = 9, d.DESC = "F/REVISION";
        bindRow(addDea, line);
        step(addDea, SQLITE_DONE);
        sqlite3_reset(addDea);
        roll(l.account, l.amount, l.side[0] == 'C');
      }
      POA& h = head.as<POA>();
      h.NUM = number, h.DESC = "FACTURA A REVISION", h.FECH = kToday, h.CANT = 2300;
      bindRow(addPoa, head);
      step(addPoa, SQLITE_DONE);
      sqlite3_reset(addPoa);
      exec(db, "COMMIT");
    }
    state.PauseTiming();
    for (sqlite3_stmt* s : {readMaq, addFam, readPrv, movePrv, readPar, movePar, lastPoa, addPoa,
                            addDea, readCue, moveCue})
      sqlite3_finalize(s);
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kInvoices);
}
BENCHMARK(BM_InvoicesRaw)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
