// Estimates: saving a progress estimate of 500 lines through the save
// operation against the same rows written with plain SQL in one transaction
// over the four files; and opening CAP_EST with its first page on the most
// estimates a work holds (the folio is a SHORT: 32 767) against a raw keyed
// read of that page with each row's contractor.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/bench_files.h"
#include "dictionary/schema.h"
#include "estimates/estimate_save.h"
#include "estimates/registry.h"
#include "framework/browse.h"

namespace {

using namespace velmora;
using namespace velmora::bench;
namespace fs = std::filesystem;
namespace sc = db::schema;

constexpr int kLines = 500;
constexpr int kEstimates = 32000;
constexpr int kContractors = 400;

const dict::TableInfo* const kFour[] = {&PAR::info(), &CTR::info(), &POL::info(), &DPO::info()};

using bench::benchDir;

void name(db::Storage& s, const fs::path& dir) {
  for (const dict::TableInfo* t : kFour)
    s.setFileName(*t, (dir / (std::string(t->label) + ".TPS")).string());
}

// A fresh folder with contractor 1 and his 500 items, large enough for many
// estimates; no estimate yet.
fs::path freshWork(const std::string& which) {
  const fs::path dir = benchDir() / ("estimate-save-" + which);
  fs::remove_all(dir);
  fs::create_directories(dir);
  db::Storage s;
  name(s, dir);
  db::Context c(s, 1);
  for (const dict::TableInfo* t : kFour) (void)c.table(*t).open();
  db::Table& cont = c.table("CONT");
  cont.clear();
  cont.rec<CTR>().CTA = 1, cont.rec<CTR>().NOMB = "PEREZ", cont.rec<CTR>().PGAR = 5;
  (void)cont.add();
  db::Table& part = c.table("PART");
  (void)part.stream();
  for (int i = 1; i <= kLines; ++i) {
    part.clear();
    PAR& r = part.rec<PAR>();
    r.CONC = i, r.PROC = 1, r.FREN = 1, r.TEXT = "MURO", r.UNID = "M2";
    r.CANT = 1e7, r.PRES = 1e9, r.PEST = 100, r.CONT = 1;
    (void)part.add();
  }
  (void)part.flush();
  return dir;
}

estimates::ProgressEstimate estimateOf500() {
  estimates::ProgressEstimate e;
  e.header.contractor = 1;
  e.header.date = 80000;
  e.finals.fund = *Decimal::parse("25");
  for (int i = 1; i <= kLines; ++i) {
    estimates::EstimateLine l;
    l.conc = i, l.process = 1, l.front = 1;
    l.quantity = Ratio::of(1);
    l.amount = *Decimal::parse("100");
    l.percent = Ratio::fromDecimal(*Decimal::parse("0.01"));
    e.lines.push_back(l);
  }
  return e;
}

void BM_SaveEstimate500(benchmark::State& state) {
  db::Storage s;
  name(s, freshWork("op"));
  db::Context ctx(s, 1);
  // Open for the whole run, as CAP_EST holds them while the clerk works.
  for (const dict::TableInfo* t : kFour)
    if (!ctx.table(*t).open()) return state.SkipWithError("open failed");
  estimates::ProgressEstimate e = estimateOf500();
  std::int64_t saved = 0;
  for (auto _ : state) {
    // Each line is figured on its item as the saves before left it.
    for (estimates::EstimateLine& l : e.lines) {
      l.paidBefore = Decimal::fromCents(saved * 10000);
      l.doneBefore = saved > 0 ? 0.01 : 0;
    }
    estimates::SaveOutcome out;
    if (!estimates::saveProgressEstimate(ctx, e, &out)) return state.SkipWithError("save failed");
    ++saved;
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_SaveEstimate500)->Unit(benchmark::kMillisecond);

std::string columnList(const dict::TableInfo& t) {
  std::string out;
  for (const sc::Column& c : sc::columns(t)) out += (out.empty() ? "" : ",") + sc::quote(c.name);
  return out;
}

std::string insertSql(const dict::TableInfo& t, const std::string& schema, const char* verb) {
  std::string marks;
  for (std::size_t i = 0; i < sc::columns(t).size(); ++i) marks += i ? ",?" : "?";
  return std::string(verb) + " INTO " + schema + "." + sc::quote(sc::tableName(t)) + "(" +
         columnList(t) + ") VALUES(" + marks + ")";
}

// A statement's columns from 1 into a record (column 0 is the rowid).
void readRow(sqlite3_stmt* s, Record& r) {
  const auto& cols = sc::columns(r.table());
  for (std::size_t i = 0; i < cols.size(); ++i) (void)sc::read(s, int(i) + 1, r, cols[i]);
}
void bindRow(sqlite3_stmt* s, const Record& r) {
  const auto& cols = sc::columns(r.table());
  for (std::size_t i = 0; i < cols.size(); ++i) (void)sc::bind(s, int(i) + 1, r, cols[i]);
}

// The same writes as the save, by hand: the next folio, the contractor, each
// item read by its key and moved, each line added, the contractor and the
// header written; one transaction over the four files attached to one
// connection. Argument 0 writes with plain UPDATE/INSERT, which opens a
// statement journal per row; 1 with OR FAIL, which does not, as the engine.
void BM_SaveEstimate500Raw(benchmark::State& state) {
  const std::string update = state.range(0) ? "UPDATE OR FAIL " : "UPDATE ";
  const char* insert = state.range(0) ? "INSERT OR FAIL" : "INSERT";
  const fs::path dir = freshWork("raw");
  db::Storage keys;
  const dict::TableInfo& par = PAR::info();
  sqlite3* db = openRaw((dir / "PART.TPS").string(), par);
  for (const dict::TableInfo* t : {&CTR::info(), &POL::info(), &DPO::info()}) {
    const std::string key = keys.rawKey(t->password, db::Storage::saltFor(t->password));
    exec(db, "PRAGMA cipher_default_page_size=" + std::to_string(db::kPageSize));
    exec(db, "ATTACH DATABASE '" + (dir / (std::string(t->label) + ".TPS")).string() + "' AS " +
                 std::string(t->label) + " KEY \"" + key + "\"");
  }
  const std::string part = "main." + sc::quote(sc::tableName(par));
  const std::string cont = "CONT." + sc::quote(sc::tableName(CTR::info()));
  const std::string poli = "POLI." + sc::quote(sc::tableName(POL::info()));
  const std::string dpol = "DPOL." + sc::quote(sc::tableName(DPO::info()));
  const int partKey = int(par.key("PAR:CTA_KEY") - par.keys.data());
  std::string where = sc::nullFilterSql(par, partKey);
  for (int i = 0; i < 3; ++i)
    where += (where.empty() ? "" : " AND ") + sc::componentSql(par, partKey, i) + "=?";
  sqlite3_stmt* maxFolio = prepareRaw(db, "SELECT max(\"CTA\") FROM " + poli);
  sqlite3_stmt* readCont = prepareRaw(db, "SELECT rowid,* FROM " + cont + " WHERE \"CTA\"=1");
  sqlite3_stmt* readPart = prepareRaw(db, "SELECT rowid,* FROM " + part + " WHERE " + where);
  sqlite3_stmt* movePart =
      prepareRaw(db, update + part + " SET \"TPAG\"=?,\"AVAN\"=? WHERE rowid=?");
  sqlite3_stmt* addLine = prepareRaw(db, insertSql(DPO::info(), "DPOL", insert));
  sqlite3_stmt* moveCont = prepareRaw(
      db, update + cont + " SET \"UEST\"=?,\"TPAG\"=?,\"GAAC\"=?,\"UFEC\"=? WHERE rowid=?");
  sqlite3_stmt* addHeader = prepareRaw(db, insertSql(POL::info(), "POLI", insert));
  const estimates::ProgressEstimate e = estimateOf500();
  Record item(par), line(DPO::info()), contractor(CTR::info()), header(POL::info());
  for (auto _ : state) {
    exec(db, "BEGIN IMMEDIATE");
    sqlite3_step(maxFolio);
    const int folio = sqlite3_column_int(maxFolio, 0) + 1;
    sqlite3_reset(maxFolio);
    if (sqlite3_step(readCont) != SQLITE_ROW) std::abort();
    readRow(readCont, contractor);
    const std::int64_t contRow = sqlite3_column_int64(readCont, 0);
    sqlite3_reset(readCont);
    double total = 0;
    for (const estimates::EstimateLine& l : e.lines) {
      sqlite3_bind_double(readPart, 1, l.conc);
      sqlite3_bind_int(readPart, 2, l.process);
      sqlite3_bind_int(readPart, 3, l.front);
      if (sqlite3_step(readPart) != SQLITE_ROW) std::abort();
      readRow(readPart, item);
      const std::int64_t row = sqlite3_column_int64(readPart, 0);
      sqlite3_reset(readPart);
      PAR& r = item.as<PAR>();
      DPO& d = line.as<DPO>();
      d.CTA = std::int16_t(folio), d.PART = l.conc, d.PROC = l.process, d.FREN = l.front;
      d.TANT = r.TPAG, d.TACT = r.TPAG + l.amount.toDouble();
      d.PANT = r.AVAN, d.PACT = l.percent.toDouble();
      total += d.TACT - d.TANT;
      sqlite3_bind_double(movePart, 1, d.TACT);
      sqlite3_bind_double(movePart, 2, d.PACT);
      sqlite3_bind_int64(movePart, 3, row);
      if (sqlite3_step(movePart) != SQLITE_DONE) std::abort();
      sqlite3_reset(movePart);
      bindRow(addLine, line);
      if (sqlite3_step(addLine) != SQLITE_DONE) std::abort();
      sqlite3_reset(addLine);
    }
    CTR& k = contractor.as<CTR>();
    POL& p = header.as<POL>();
    p.CTA = std::int16_t(folio), p.CONT = 1, p.FECH = 80000, p.CANT = total, p.PFON = 25;
    p.TACU = k.TPAG, p.UFEC = k.UFEC, p.SFON = k.GAAC + 25;
    k.UEST += 1, k.TPAG += total, k.GAAC += 25, k.UFEC = 80000;
    p.ESTI = k.UEST;
    sqlite3_bind_int(moveCont, 1, k.UEST);
    sqlite3_bind_double(moveCont, 2, k.TPAG);
    sqlite3_bind_double(moveCont, 3, k.GAAC);
    sqlite3_bind_int(moveCont, 4, k.UFEC);
    sqlite3_bind_int64(moveCont, 5, contRow);
    if (sqlite3_step(moveCont) != SQLITE_DONE) std::abort();
    sqlite3_reset(moveCont);
    bindRow(addHeader, header);
    if (sqlite3_step(addHeader) != SQLITE_DONE) std::abort();
    sqlite3_reset(addHeader);
    exec(db, "COMMIT");
  }
  for (sqlite3_stmt* s : {maxFolio, readCont, readPart, movePart, addLine, moveCont, addHeader})
    sqlite3_finalize(s);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK(BM_SaveEstimate500Raw)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// --- CAP_EST on a full work -------------------------------------------------------

// 32 000 estimates of 400 contractors, made once and kept.
fs::path fullWork() {
  const fs::path dir = benchDir() / ("estimates-" + std::to_string(kEstimates));
  if (fs::exists(dir / "POLI.TPS")) return dir;
  const fs::path tmp = dir.string() + ".tmp";
  fs::remove_all(tmp);
  fs::create_directories(tmp);
  {
    db::Storage s;
    name(s, tmp);
    db::Context c(s, 1);
    db::Table& cont = c.table("CONT");
    (void)cont.open();
    (void)cont.stream();
    for (int i = 1; i <= kContractors; ++i) {
      cont.clear();
      cont.rec<CTR>().CTA = std::int16_t(i);
      cont.rec<CTR>().NOMB = "CONTRATISTA " + std::to_string(i);
      (void)cont.add();
    }
    (void)cont.flush();
    db::Table& poli = c.table("POLI");
    (void)poli.open();
    (void)poli.stream();
    for (int i = 1; i <= kEstimates; ++i) {
      poli.clear();
      POL& p = poli.rec<POL>();
      p.CTA = std::int16_t(i), p.CONT = std::int16_t(1 + (i * 7919) % kContractors);
      p.FECH = 80000 + i / 50, p.ESTI = 1 + i / kContractors, p.CANT = 1000 + i % 977;
      (void)poli.add();
    }
    (void)poli.flush();
  }
  fs::rename(tmp, dir);
  return dir;
}

// Shows nothing and answers every box with its default.
class QuietHost : public Host {
 public:
  int show(const MessageBox& box) override { return box.defaultButton; }
  void stopProgram() override {}
  void warn(const WarningLines&) override {}
  bool choose(const WarningLines&) override { return true; }
  void opened(Procedure&) override {}
  void runModal(Procedure&) override {}
  void closed(Procedure&) override {}
  void start(std::unique_ptr<Procedure>) override {}
  void place(Procedure&, const WindowPlacement&) override {}
  std::optional<WindowPlacement> placement(Procedure&) override { return std::nullopt; }
  void refresh(Procedure&, const std::string&) override {}
  void focus(Procedure&, const std::string&) override {}
};

// As the toolbar opens it: a thread context of its own (the files are
// opened too), the first page with each row's contractor name. Opened to
// look, so that its close runs no audit.
void BM_CapEstOpenFirstPage(benchmark::State& state) {
  db::Storage s;
  name(s, fullWork());
  MessageService messages;
  QuietHost host;
  messages.setHost(&host);
  Program program{"DUDORE", s, messages,
                  (fs::temp_directory_path() / "velmora-bench-DUDORE.INI").string()};
  estimates::addEstimateProcedures(program);
  int thread = 1;
  for (auto _ : state) {
    db::Context ctx(s, ++thread);
    program.request = request::View;
    auto list = program.make("CAP_EST", ctx);
    if (!list->open(host)) return state.SkipWithError("CAP_EST did not open");
    auto& b = dynamic_cast<BrowseProcedure&>(*list);
    for (int r = 0; r < 20; ++r) benchmark::DoNotOptimize(b.cell(r, 4));
    list->finish();
  }
}
BENCHMARK(BM_CapEstOpenFirstPage)->Unit(benchmark::kMillisecond);

// The same page by hand: both files opened, the first 20 estimates in folio
// order and each one's contractor read by its key.
void BM_CapEstFirstPageRaw(benchmark::State& state) {
  const fs::path dir = fullWork();
  const dict::TableInfo& pol = POL::info();
  const dict::TableInfo& ctr = CTR::info();
  for (auto _ : state) {
    sqlite3* p = openRaw((dir / "POLI.TPS").string(), pol);
    sqlite3* c = openRaw((dir / "CONT.TPS").string(), ctr);
    sqlite3_stmt* page = prepareRaw(p, "SELECT rowid,* FROM " + sc::quote(sc::tableName(pol)) +
                                           keyOrder(pol, "POL:CTA_KEY") + " LIMIT 20");
    sqlite3_stmt* name =
        prepareRaw(c, "SELECT \"NOMB\" FROM " + sc::quote(sc::tableName(ctr)) + " WHERE \"CTA\"=?");
    Record r(pol);
    std::size_t chars = 0;
    while (sqlite3_step(page) == SQLITE_ROW) {
      readRow(page, r);
      sqlite3_bind_int(name, 1, r.as<POL>().CONT);
      if (sqlite3_step(name) == SQLITE_ROW) chars += std::size_t(sqlite3_column_bytes(name, 0));
      sqlite3_reset(name);
    }
    benchmark::DoNotOptimize(chars);
    sqlite3_finalize(page);
    sqlite3_finalize(name);
    sqlite3_close(c);
    sqlite3_close(p);
  }
}
BENCHMARK(BM_CapEstFirstPageRaw)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
