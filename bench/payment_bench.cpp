// Supplier payments: 1 000 postings in a row through postPayment() (with
// the automatic policy off, and on: header, three lines, their roll-up and
// the bank) against the same rows of the policy-off posting written with
// plain SQL, one transaction each.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_files.h"
#include "dictionary/dates.h"
#include "dictionary/schema.h"
#include "dictionary/unit_of_work.h"
#include "equipment/payments.h"

namespace {

using namespace velmora;
using namespace velmora::bench;
namespace fs = std::filesystem;
namespace sc = db::schema;

constexpr int kPayments = 1000;
constexpr const char* kTables[] = {"PAGM", "PROV", "FAMA",   "BANC",  "CONTROL",
                                   "OBRA", "CUEN", "POLMES", "DETMES"};

using bench::benchDir;

void name(db::Storage& s, const fs::path& dir) {
  for (const char* label : kTables)
    s.setFileName(*dict::findTable(label), (dir / (std::string(label) + ".TPS")).string());
}

// Supplier 1, his invoice 1 large enough for every payment, bank 1, the
// work with its two accounts and the bank's in the chart.
fs::path freshWork(const std::string& which, bool policies) {
  const fs::path dir = benchDir() / ("payments-" + which);
  fs::remove_all(dir);
  fs::create_directories(dir);
  db::Storage s;
  name(s, dir);
  db::Context c(s, 1);
  db::Transaction tx(
      c, {"PAGM", "PROV", "FAMA", "BANC", "CONTROL", "OBRA", "CUEN", "POLMES", "DETMES"});
  auto add = [&](const char* label, auto r) {
    db::Table& t = c.table(label);
    t.clear();
    t.rec<decltype(r)>() = r;
    if (!t.add()) std::abort();
  };
  PRV p{};
  p.CTA = 1, p.NOMB = "PROVEEDOR", p.TIPO = 2;
  add("PROV", p);
  FAM f{};
  f.CTA = 1, f.PROV = 1, f.IMPO = 1e9;
  add("FAMA", f);
  BAN b{};
  b.CTA = 1, b.NOMB = "BANCO", b.CT = 1102, b.SCT = 1, b.SALD = 1e9;
  add("BANC", b);
  add("CONTROL", CTL{});
  OBR w{};
  w.CTA = "OB1";
  w.POAU[1] = policies ? 1 : 0;
  w.CONTA[1].CC = 2101, w.CONTA[1].SCC = 1;
  w.CONTA[2].CC = 1120, w.CONTA[2].SCC = 1;
  add("OBRA", w);
  for (std::int16_t a : {2101, 1120, 1102}) {
    CUE k{};
    k.CTA = a, k.ULNI = "N";
    add("CUEN", k);
    k.SCTA = 1, k.ULNI = "S";
    add("CUEN", k);
  }
  if (!tx.commit()) std::abort();
  return dir;
}

equipment::PaymentInput payment() {
  equipment::PaymentInput in;
  in.payment.PROV = 1, in.payment.FACT = 1, in.payment.TIPO = "F";
  in.payment.CANT = 1.25, in.payment.FECH = 80000, in.payment.BANK = 1, in.payment.CHEC = 7;
  in.work = "OB1", in.today = 80000, in.now = 100, in.user = 1;
  return in;
}

void BM_PostPayments(benchmark::State& state) {
  db::Storage s;
  name(s, freshWork(state.range(0) ? "on" : "off", state.range(0) != 0));
  db::Context ctx(s, 1);
  // Open for the whole run, as UP_PAGO and CAP_PAGO hold them.
  for (const char* label : kTables)
    if (!ctx.table(label).open()) return state.SkipWithError("open failed");
  const equipment::PaymentInput in = payment();
  for (auto _ : state)
    if (!equipment::postPayment(ctx, in, nullptr)) return state.SkipWithError("posting failed");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostPayments)->Arg(0)->Arg(1)->Iterations(kPayments)->Unit(benchmark::kMicrosecond);

// The posting by hand: the flag, the work's switch, the supplier, the
// invoice and the bank read, supplier and invoice written and the payment
// added, in one transaction over the files attached. With the policy (/1):
// its three accounts checked, the last policy number read, the two lines
// (the supplier's debit, the bank's credit) added and each rolled up into
// its account and the account's parent, the header added and the bank's
// balance written.
void BM_PostPaymentsRaw(benchmark::State& state) {
  const bool policy = state.range(0) != 0;
  const fs::path dir = freshWork(policy ? "raw-on" : "raw", policy);
  db::Storage keys;
  sqlite3* db = openRaw((dir / "PAGM.TPS").string(), PGM::info());
  std::vector<const char*> attached = {"PROV", "FAMA", "BANC", "CONTROL", "OBRA"};
  if (policy) attached.insert(attached.end(), {"CUEN", "POLMES", "DETMES"});
  for (const char* label : attached) {
    const dict::TableInfo& t = *dict::findTable(label);
    const std::string key = keys.rawKey(t.password, db::Storage::saltFor(t.password));
    exec(db, "PRAGMA cipher_default_page_size=" + std::to_string(db::kPageSize));
    exec(db, "ATTACH DATABASE '" + (dir / (std::string(label) + ".TPS")).string() + "' AS " +
                 label + " KEY \"" + key + "\"");
  }
  auto tableOf = [](const char* schema, const dict::TableInfo& t) {
    return std::string(schema) + "." + sc::quote(sc::tableName(t));
  };
  const std::string prov = tableOf("PROV", PRV::info()), fama = tableOf("FAMA", FAM::info());
  sqlite3_stmt* flag =
      prepareRaw(db, "SELECT \"OCUP\" FROM " + tableOf("CONTROL", CTL::info()) + " LIMIT 1");
  sqlite3_stmt* work = prepareRaw(
      db, "SELECT \"POAU[2]\" FROM " + tableOf("OBRA", OBR::info()) + " WHERE \"CTA\"='OB1'");
  sqlite3_stmt* readProv =
      prepareRaw(db, "SELECT rowid,\"AAMO\",\"TPAG\" FROM " + prov + " WHERE \"CTA\"=1");
  sqlite3_stmt* readFam = prepareRaw(
      db, "SELECT rowid,\"PROV\",\"IMPO\",\"IVA\",\"PAGO\" FROM " + fama + " WHERE \"CTA\"=1");
  sqlite3_stmt* readBank =
      prepareRaw(db, "SELECT rowid FROM " + tableOf("BANC", BAN::info()) + " WHERE \"CTA\"=1");
  sqlite3_stmt* moveProv =
      prepareRaw(db, "UPDATE OR FAIL " + prov + " SET \"AAMO\"=?,\"TPAG\"=? WHERE rowid=?");
  sqlite3_stmt* moveFam =
      prepareRaw(db, "UPDATE OR FAIL " + fama + " SET \"PAGO\"=? WHERE rowid=?");
  std::string cols, marks;
  for (const sc::Column& c : sc::columns(PGM::info())) {
    cols += (cols.empty() ? "" : ",") + sc::quote(c.name);
    marks += marks.empty() ? "?" : ",?";
  }
  sqlite3_stmt* addPay =
      prepareRaw(db, "INSERT OR FAIL INTO main." + sc::quote(sc::tableName(PGM::info())) + "(" +
                         cols + ") VALUES(" + marks + ")");
  Record pay(PGM::info());
  pay.as<PGM>() = payment().payment;

  sqlite3_stmt *account = nullptr, *last = nullptr, *addHead = nullptr, *addLine = nullptr,
               *debit = nullptr, *credit = nullptr, *bank = nullptr;
  const int month = dates::monthOf(payment().today);
  if (policy) {
    const std::string cuen = tableOf("CUEN", CUE::info());
    const std::string where = " WHERE CTA=?1 AND SCTA=?2 AND SSCTA=0 AND SSSCTA=0 AND SSSSCTA=0";
    const std::string m = std::to_string(month);
    account = prepareRaw(db, "SELECT ULNI FROM " + cuen + where);
    debit = prepareRaw(db, "UPDATE OR FAIL " + cuen + " SET \"CARGOS[" + m + "]\"=\"CARGOS[" + m +
                               "]\"+?3" + where);
    credit = prepareRaw(db, "UPDATE OR FAIL " + cuen + " SET \"ABONOS[" + m + "]\"=\"ABONOS[" + m +
                                "]\"+?3" + where);
    last = prepareRaw(db, "SELECT max(NUM) FROM " + tableOf("POLMES", POA::info()));
    auto insert = [&](const char* schema, const dict::TableInfo& t) {
      std::string c, q;
      for (const sc::Column& col : sc::columns(t)) {
        c += (c.empty() ? "" : ",") + sc::quote(col.name);
        q += q.empty() ? "?" : ",?";
      }
      return prepareRaw(
          db, "INSERT OR FAIL INTO " + tableOf(schema, t) + "(" + c + ") VALUES(" + q + ")");
    };
    addHead = insert("POLMES", POA::info());
    addLine = insert("DETMES", DEA::info());
    bank = prepareRaw(db, "UPDATE OR FAIL " + tableOf("BANC", BAN::info()) +
                              " SET \"SALD\"=\"SALD\"-1.25 WHERE \"CTA\"=1");
  }
  auto step = [](sqlite3_stmt* s) {
    while (sqlite3_step(s) == SQLITE_ROW) {
    }
    if (sqlite3_reset(s) != SQLITE_OK) std::abort();
  };
  auto bindAll = [](sqlite3_stmt* s, const Record& r) {
    const auto& cols = sc::columns(r.table());
    for (std::size_t i = 0; i < cols.size(); ++i)
      if (!sc::bind(s, int(i) + 1, r, cols[i])) std::abort();
  };
  // The policy's writes, between the supplier's and the payment's.
  auto writePolicy = [&] {
    for (int a : {2101, 1120, 1102}) {
      sqlite3_bind_int(account, 1, a), sqlite3_bind_int(account, 2, 1);
      step(account);
    }
    int number = 1;
    if (sqlite3_step(last) == SQLITE_ROW) number = sqlite3_column_int(last, 0) + 1;
    sqlite3_reset(last);
    for (auto [a, side] : {std::pair{2101, 'C'}, {1102, 'A'}}) {
      Record line(DEA::info());
      line.as<DEA>().NUM = number, line.as<DEA>().CTA = std::int16_t(a), line.as<DEA>().SCTA = 1;
      line.as<DEA>().CARG = std::string(1, side), line.as<DEA>().CANT = 1.25;
      bindAll(addLine, line), step(addLine);
      sqlite3_stmt* total = side == 'C' ? debit : credit;
      for (int sub : {1, 0}) {
        sqlite3_bind_int(total, 1, a), sqlite3_bind_int(total, 2, sub);
        sqlite3_bind_double(total, 3, 1.25);
        step(total);
      }
    }
    Record head(POA::info());
    head.as<POA>().NUM = number, head.as<POA>().CANT = 1.25;
    bindAll(addHead, head), step(addHead);
    step(bank);
  };

  for (auto _ : state) {
    exec(db, "BEGIN IMMEDIATE");
    for (sqlite3_stmt* s : {flag, work, readBank}) {
      if (sqlite3_step(s) != SQLITE_ROW) std::abort();
      sqlite3_reset(s);
    }
    if (sqlite3_step(readProv) != SQLITE_ROW || sqlite3_step(readFam) != SQLITE_ROW) std::abort();
    const double tpag = sqlite3_column_double(readProv, 2) + 1.25;
    const double pago = sqlite3_column_double(readFam, 4) + 1.25;
    sqlite3_bind_double(moveProv, 1, sqlite3_column_double(readProv, 1));
    sqlite3_bind_double(moveProv, 2, tpag);
    sqlite3_bind_int64(moveProv, 3, sqlite3_column_int64(readProv, 0));
    sqlite3_bind_double(moveFam, 1, pago);
    sqlite3_bind_int64(moveFam, 2, sqlite3_column_int64(readFam, 0));
    sqlite3_reset(readProv);
    sqlite3_reset(readFam);
    for (sqlite3_stmt* s : {moveProv, moveFam}) {
      if (sqlite3_step(s) != SQLITE_DONE) std::abort();
      sqlite3_reset(s);
    }
    const auto& columns = sc::columns(PGM::info());
    for (std::size_t i = 0; i < columns.size(); ++i)
      (void)sc::bind(addPay, int(i) + 1, pay, columns[i]);
    if (policy) writePolicy();
    if (sqlite3_step(addPay) != SQLITE_DONE) std::abort();
    sqlite3_reset(addPay);
    exec(db, "COMMIT");
  }
  for (sqlite3_stmt* s : {flag, work, readProv, readFam, readBank, moveProv, moveFam, addPay,
                          account, last, addHead, addLine, debit, credit, bank})
    sqlite3_finalize(s);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PostPaymentsRaw)->Arg(0)->Arg(1)->Iterations(kPayments)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
