// Posting estimates one after another (POL_PAG's "Genera Póliza" without
// its windows), against the same rows written with plain SQL on the same
// files: per estimate one transaction over the seven files that reads the
// estimate, the posting flag and the last policy, adds the header and five
// lines, adds each line to its account and the account's parents, and
// writes the header, the bank, the estimate and the contractor.
//
//   BM_Post/N   postEstimate() N times, its files open
//   BM_Raw/N    the same reads and writes as prepared SQL statements
//
// The ratio of the two is the figure.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "accounting/estimate_policy.h"
#include "bench/bench_files.h"
#include "dictionary/dates.h"
#include "dictionary/schema.h"
#include "dictionary/unit_of_work.h"

namespace {

using namespace velmora;
using namespace velmora::accounting;
namespace fs = std::filesystem;

constexpr const char* kTables[] = {"OBRA", "POLI",   "CONT",   "BANC",
                                   "CUEN", "POLMES", "DETMES", "CONTROL"};
const std::int32_t kToday = dates::dateOf(3, 15, 2026);

// The accounts of slots 13, 4, 6 and 8 and the bank's, each under a parent.
const std::vector<AccountNumber> kAccounts = {
    {{5102, 1}}, {{1190, 1}}, {{1150, 1}}, {{2150, 1}}, {{1102, 1, 2, 3, 4}}};

fs::path folder() {
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  return fs::path(env ? env : "/tmp/velmora-bench") / "accounting";
}

void name(db::Storage& s) {
  for (const char* label : kTables)
    s.setFileName(*dict::findTable(label), (folder() / (std::string(label) + ".TPS")).string());
}

template <class R>
void add(db::Context& c, const char* label, const R& r) {
  db::Table& t = c.table(label);
  if (!t.isOpen()) (void)t.open();
  t.rec<R>() = r;
  if (!t.add()) std::abort();
}

// A fresh work with `n` unposted estimates.
void books(int n) {
  fs::remove_all(folder());
  fs::create_directories(folder());
  db::Storage s;
  name(s);
  db::Context c(s);
  for (const AccountNumber& a : kAccounts) {
    AccountNumber up = a;
    for (int level = 4; level >= 0; --level) {
      if (up.levels[std::size_t(level)] == 0) continue;
      CUE r{};
      putAccount(r, up);
      r.ULNI = up == a ? "S" : "N";
      add(c, "CUEN", r);
      up.levels[std::size_t(level)] = 0;
    }
  }
  OBR w{};
  w.CTA = "OB1";
  w.POAU[0] = 1;
  for (auto [slot, a] :
       {std::pair{13, kAccounts[0]}, {4, kAccounts[1]}, {6, kAccounts[2]}, {8, kAccounts[3]}}) {
    OBR::CONTA_t& s = w.CONTA[std::size_t(slot - 1)];
    s.CC = a.levels[0], s.SCC = a.levels[1];
  }
  // Payroll and loans are not used by these estimates, yet must exist.
  w.CONTA[10] = w.CONTA[12], w.CONTA[6] = w.CONTA[12];
  add(c, "OBRA", w);
  BAN b{};
  b.CTA = 1, b.SALD = 1e9;
  putAccount(b, kAccounts[4]);
  add(c, "BANC", b);
  CTL k{};
  k.CTA = 1;
  add(c, "CONTROL", k);
  CTR t{};
  t.CTA = 1, t.NOMB = "PEREZ";
  add(c, "CONT", t);
  // The month's policy files exist, empty, as the work selection leaves them.
  for (const char* label : {"POLMES", "DETMES"})
    if (!c.table(label).open()) std::abort();
  db::Table& poli = c.table("POLI");
  (void)poli.open(), (void)poli.stream();
  for (int i = 1; i <= n; ++i) {
    poli.clear();
    POL& p = poli.rec<POL>();
    p.CTA = std::int16_t(i), p.CONT = 1, p.ESTI = i, p.FECH = kToday;
    p.CANT = 10000 + i * 0.125, p.IVA = 1600, p.PANT = 1000, p.PFON = 500;
    if (!poli.add()) std::abort();
  }
  (void)poli.flush();
}

void BM_Post(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    books(n);
    db::Storage s;
    name(s);
    db::Context c(s);
    // Open once, as a window that posts one estimate after another keeps them.
    for (const char* label : kTables)
      if (!c.table(label).open()) std::abort();
    state.ResumeTiming();
    for (int i = 1; i <= n; ++i) {
      PostingInput in;
      in.estimate = std::int16_t(i), in.bank = 1, in.work = "OB1", in.today = kToday;
      if (!postEstimate(c, in, nullptr)) std::abort();
    }
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// --- the raw baseline ---------------------------------------------------------

struct Raw {
  sqlite3* db = nullptr;
  sqlite3_stmt *estimate, *flag, *last, *addHead, *addLine, *account, *debit, *credit, *head, *bank,
      *post, *contractor;
};

std::string insertSql(const char* label) {
  const auto& cols = db::schema::columns(*dict::findTable(label));
  std::string sql = "INSERT INTO " + db::schema::quote(label) + " VALUES(";
  for (std::size_t i = 0; i < cols.size(); ++i) sql += i ? ",?" : "?";
  return sql + ")";
}

void bindAll(sqlite3_stmt* s, const Record& r) {
  const auto& cols = db::schema::columns(r.table());
  for (std::size_t i = 0; i < cols.size(); ++i)
    if (!db::schema::bind(s, int(i + 1), r, cols[i])) std::abort();
}

void run(sqlite3_stmt* s) {
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) std::fprintf(stderr, "%s\n", sqlite3_errmsg(sqlite3_db_handle(s)));
  sqlite3_reset(s);
}

const char* kWhere = " WHERE CTA=? AND SCTA=? AND SSCTA=? AND SSSCTA=? AND SSSSCTA=?";

Raw openRawBooks() {
  Raw r;
  r.db = bench::openRaw((folder() / "POLI.TPS").string(), POL::info());
  db::Storage keys;
  bench::exec(r.db, "PRAGMA cipher_default_page_size=" + std::to_string(db::kPageSize));
  for (const char* label : {"CONT", "BANC", "CUEN", "POLMES", "DETMES", "CONTROL"}) {
    const dict::TableInfo& t = *dict::findTable(label);
    const std::string key = keys.rawKey(t.password, db::Storage::saltFor(t.password));
    const std::string path = (folder() / (std::string(label) + ".TPS")).string();
    sqlite3_stmt* s = nullptr;
    const std::string attach = std::string("ATTACH DATABASE ? AS ") + label + " KEY ?";
    if (sqlite3_prepare_v2(r.db, attach.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "%s: %s\n", attach.c_str(), sqlite3_errmsg(r.db));
      std::abort();
    }
    sqlite3_bind_text(s, 1, path.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 2, key.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(s) != SQLITE_DONE) {
      std::fprintf(stderr, "%s: %s\n", attach.c_str(), sqlite3_errmsg(r.db));
      std::abort();
    }
    sqlite3_finalize(s);
  }
  r.estimate = bench::prepareRaw(r.db, "SELECT * FROM POLI WHERE CTA=?");
  r.flag = bench::prepareRaw(r.db, "SELECT OCUP FROM CONTROL LIMIT 1");
  r.last = bench::prepareRaw(r.db, "SELECT max(NUM) FROM POLMES");
  r.addHead = bench::prepareRaw(r.db, insertSql("POLMES"));
  r.addLine = bench::prepareRaw(r.db, insertSql("DETMES"));
  r.account = bench::prepareRaw(r.db, std::string("SELECT ULNI FROM CUEN") + kWhere);
  r.debit = bench::prepareRaw(
      r.db, std::string("UPDATE CUEN SET \"CARGOS[3]\"=\"CARGOS[3]\"+?6") + kWhere);
  r.credit = bench::prepareRaw(
      r.db, std::string("UPDATE CUEN SET \"ABONOS[3]\"=\"ABONOS[3]\"+?6") + kWhere);
  r.head = bench::prepareRaw(r.db, "UPDATE POLMES SET CANT=? WHERE NUM=?");
  r.bank = bench::prepareRaw(r.db, "UPDATE BANC SET SALD=SALD-? WHERE CTA=1");
  r.post = bench::prepareRaw(r.db, "UPDATE POLI SET NOPO=? WHERE CTA=?");
  r.contractor = bench::prepareRaw(r.db, "UPDATE CONT SET UCON=? WHERE CTA=1");
  return r;
}

void bindAccount(sqlite3_stmt* s, const AccountNumber& a) {
  for (int i = 0; i < 5; ++i) sqlite3_bind_int(s, i + 1, a.levels[std::size_t(i)]);
}

void BM_Raw(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    books(n);
    Raw r = openRawBooks();
    state.ResumeTiming();
    for (int i = 1; i <= n; ++i) {
      if (sqlite3_exec(r.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(r.db));
        break;
      }
      sqlite3_bind_int(r.estimate, 1, i);
      run(r.estimate);
      run(r.flag);
      for (const AccountNumber& a : kAccounts) bindAccount(r.account, a), run(r.account);
      int number = 0;
      if (sqlite3_step(r.last) == SQLITE_ROW) number = sqlite3_column_int(r.last, 0) + 1;
      sqlite3_reset(r.last);
      Record head(POA::info());
      head.as<POA>().NUM = number;
      bindAll(r.addHead, head), run(r.addHead);
      const double amounts[] = {10000 + i * 0.125, 1600, 1000, 500, 10100 + i * 0.125};
      for (std::size_t l = 0; l < kAccounts.size(); ++l) {
        Record line(DEA::info());
        line.as<DEA>().NUM = number;
        putAccount(line.as<DEA>(), kAccounts[l]);
        line.as<DEA>().CANT = amounts[l];
        bindAll(r.addLine, line), run(r.addLine);
        sqlite3_stmt* total = l < 2 ? r.debit : r.credit;
        AccountNumber up = kAccounts[l];
        for (int level = 4; level >= 0; --level) {
          if (up.levels[std::size_t(level)] == 0) continue;
          bindAccount(total, up);
          sqlite3_bind_double(total, 6, amounts[l]);
          run(total);
          up.levels[std::size_t(level)] = 0;
        }
      }
      sqlite3_bind_double(r.head, 1, amounts[0] + amounts[1]);
      sqlite3_bind_int(r.head, 2, number);
      run(r.head);
      sqlite3_bind_double(r.bank, 1, amounts[4]);
      run(r.bank);
      sqlite3_bind_int(r.post, 1, number);
      sqlite3_bind_int(r.post, 2, i);
      run(r.post);
      sqlite3_bind_int(r.contractor, 1, number);
      run(r.contractor);
      if (sqlite3_exec(r.db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(r.db));
        break;
      }
    }
    state.PauseTiming();
    for (sqlite3_stmt* s : {r.estimate, r.flag, r.last, r.addHead, r.addLine, r.account, r.debit,
                            r.credit, r.head, r.bank, r.post, r.contractor})
      sqlite3_finalize(s);
    sqlite3_close(r.db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(BM_Post)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Raw)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
