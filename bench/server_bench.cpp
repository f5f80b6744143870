// A company on a PostgreSQL server (a throw-away cluster on a Unix socket,
// as the tests start it, with fsync on): the back end against plain libpq
// doing the same rows, and several stations, each its own process, posting
// invoices at once on the table files and on the server.

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/invoice_work.h"
#include "dictionary/schema.h"
#include "dictionary/server_copy.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/server_table.h"
#include "equipment/invoices.h"
#include "tests/support/pg_cluster.h"

namespace {

using namespace velmora;
using namespace velmora::bench;
namespace fs = std::filesystem;
namespace srv = db::server;

// A new database of the benchmark's cluster: its connection string.
std::string freshDatabase(const std::string& name) {
  const std::string& cluster = test::PgCluster::connection();
  if (cluster.empty()) return {};
  srv::Connection admin(cluster);
  if (!admin.status()) return {};
  (void)admin.exec("DROP DATABASE IF EXISTS " + srv::quoted(name) + " WITH (FORCE)");
  if (!admin.exec("CREATE DATABASE " + srv::quoted(name))) return {};
  return cluster + " dbname=" + name;
}

// --- several stations posting at once ---------------------------------------

// range(0): 0 the table files, 1 the server; range(1): stations. Each
// station opens its session and tables as a clerk's program does when it
// starts, says it is ready, and at the word posts 100 invoices in a row
// ($VELMORA_BENCH_EACH to post more):
// the time runs from the word to the last station's last commit, and
// postings_s counts them all.
void BM_Stations(benchmark::State& state) {
  const bool server = state.range(0) == 1;
  const int stations = int(state.range(1));
  const char* each = std::getenv("VELMORA_BENCH_EACH");  // more, for steadier figures
  const int kEach = each ? std::max(1, std::atoi(each)) : 100;
  for (auto _ : state) {
    const fs::path dir = freshWork(server ? "stations-server" : "stations-files");
    std::string connection;
    if (server) {
      connection = freshDatabase("velmora_bench_stations");
      if (connection.empty() || !srv::upload(connection, dir.string(), "", {}))
        return state.SkipWithError("no server");
    }
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) return state.SkipWithError("no pipe");
    std::vector<pid_t> pids;
    for (int s = 0; s < stations; ++s) {
      const pid_t pid = fork();
      if (pid == 0) {
        close(ready[0]), close(go[1]);
        db::Storage st;
        if (server) st.setServer(connection, dir.string());
        name(st, dir);
        db::Context ctx(st, 1 + s);
        for (const char* label : kLabels)
          if (!ctx.table(label).open()) _exit(2);
        char c = 1;
        if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 0) _exit(3);
        for (int i = 1; i <= kEach; ++i) {
          equipment::InvoiceInput in;
          in.invoice = invoiceOf(s * 1000 + i);
          in.work = "OB1", in.today = kToday, in.now = 1, in.user = 1;
          if (!equipment::saveInvoice(ctx, in, nullptr)) _exit(1);
        }
        _exit(0);
      }
      pids.push_back(pid);
    }
    close(ready[1]), close(go[0]);
    int seen = 0;
    char c;
    while (seen < stations && read(ready[0], &c, 1) == 1) ++seen;
    const auto start = std::chrono::steady_clock::now();
    close(go[1]);  // the word: every station's read returns
    bool ok = seen == stations;
    for (pid_t p : pids) {
      int status = 0;
      waitpid(p, &status, 0);
      ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    close(ready[0]);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!ok) return state.SkipWithError("a station's posting failed");
  }
  state.counters["postings_s"] = benchmark::Counter(double(state.iterations()) * stations * kEach,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Stations)
    ->ArgsProduct({{0, 1}, {1, 2, 4, 8}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseManualTime();

// --- 1 000 postings, one station --------------------------------------------

constexpr int kPostings = 1000;

// A fresh work on the server with its accounts, supplier, equipment and item.
std::string postingWork(fs::path& dir) {
  dir = freshWork("postings");
  const std::string connection = freshDatabase("velmora_bench_postings");
  if (connection.empty() || !srv::upload(connection, dir.string(), "", {})) return {};
  return connection;
}

// 1 000 invoices posted through the engine (saveInvoice: the invoice, the
// totals it moves and its policy), each its own transaction.
void BM_PostingsServer(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    fs::path dir;
    const std::string connection = postingWork(dir);
    if (connection.empty()) return state.SkipWithError("no server");
    db::Storage st;
    st.setServer(connection, dir.string());
    name(st, dir);
    db::Context ctx(st, 1);
    for (const char* label : kLabels)
      if (!ctx.table(label).open()) return state.SkipWithError("open failed");
    state.ResumeTiming();
    for (int i = 1; i <= kPostings; ++i) {
      equipment::InvoiceInput in;
      in.invoice = invoiceOf(i);
      in.work = "OB1", in.today = kToday, in.now = 1, in.user = 1;
      if (!equipment::saveInvoice(ctx, in, nullptr)) return state.SkipWithError("posting failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * kPostings);
}
BENCHMARK(BM_PostingsServer)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The column of a month's element of an account's debits or credits.
std::string monthColumn(const char* field, int month) {
  const dict::TableInfo& t = CUE::info();
  for (const db::schema::Column& c : db::schema::columns(t))
    if (t.fields[std::size_t(c.field)].shortName == field && c.element == month - 1)
      return srv::quoted(c.name);
  return {};
}

// The same rows with plain libpq, as a program written for the server
// would: one prepared statement per row and no read before a total (each
// moved where it is, "x = x + amount"), one transaction per invoice; the
// equipment read for its process and the last policy's number read held.
void BM_PostingsLibpq(benchmark::State& state) {
  const std::string debit = monthColumn("CARGOS", 12), credit = monthColumn("ABONOS", 12);
  const std::string fama = srv::tableName("programa", "FAMA");
  // An INSERT of every column, as the rows are whole.
  auto insert = [](const char* table, const dict::TableInfo& t) {
    std::string columns, marks;
    int n = 0;
    for (const db::schema::Column& c : db::schema::columns(t)) {
      columns += (n ? "," : "") + srv::quoted(c.name);
      marks += (n ? ",$" : "$") + std::to_string(n + 1);
      ++n;
    }
    return "INSERT INTO " + srv::tableName("programa", table) + "(" + columns + ") VALUES(" +
           marks + ")";
  };
  const std::vector<std::pair<std::string, std::string>> statements = {
      {"maq", "SELECT \"PROC\",\"FREN\" FROM " + srv::tableName("programa", "MAQU") +
                  " WHERE \"CTA\"=$1 AND \"FREN\"=$2 FOR UPDATE"},
      {"fac", insert("FAMA", FAM::info())},
      {"prv", "UPDATE " + srv::tableName("programa", "PROV") +
                  " SET \"TFAC\"=\"TFAC\"+$1 WHERE \"CTA\"=$2"},
      {"par", "UPDATE " + srv::tableName("programa", "PART") +
                  " SET \"TEQU\"=\"TEQU\"+$1 WHERE \"CONC\"=0 AND \"PROC\"=$2 AND "
                  "\"FREN\"=$3"},
      {"mqt", "UPDATE " + srv::tableName("programa", "MAQU") +
                  " SET \"RECI\"=\"RECI\"+$1,\"IMPO\"=\"IMPO\"+$2,\"USUA\"=1,\"ACFE\"=$3,"
                  "\"ACHO\"=1 WHERE \"CTA\"=$4 AND \"FREN\"=$5"},
      {"num", "SELECT \"NUM\" FROM " + srv::tableName("programa", "POLMES") +
                  " ORDER BY \"NUM\" DESC LIMIT 1 FOR UPDATE"},
      {"det", insert("DETMES", DEA::info())},
      {"cgo", "UPDATE " + srv::tableName("programa", "CUEN") + " SET " + debit + "=" + debit +
                  "+$1 WHERE \"CTA\"=$2 AND \"SCTA\"=$3 AND \"SSCTA\"=$4 AND "
                  "\"SSSCTA\"=0 AND \"SSSSCTA\"=0"},
      {"abo", "UPDATE " + srv::tableName("programa", "CUEN") + " SET " + credit + "=" + credit +
                  "+$1 WHERE \"CTA\"=$2 AND \"SCTA\"=$3 AND \"SSCTA\"=$4 AND "
                  "\"SSSCTA\"=0 AND \"SSSSCTA\"=0"},
      {"pol", insert("POLMES", POA::info())},
      {"fpo", "UPDATE " + fama + " SET \"POLI\"=$1 WHERE \"CTA\"=$2"},
  };
  for (auto _ : state) {
    state.PauseTiming();
    fs::path dir;
    const std::string connection = postingWork(dir);
    if (connection.empty()) return state.SkipWithError("no server");
    PGconn* pg = PQconnectdb(connection.c_str());
    for (const auto& [name, sql] : statements)
      PQclear(PQprepare(pg, name.c_str(), sql.c_str(), 0, nullptr));
    auto run = [&](const char* name, std::vector<std::string> values, ExecStatusType want) {
      std::vector<const char*> p;
      for (const std::string& v : values) p.push_back(v.c_str());
      PGresult* r = PQexecPrepared(pg, name, int(p.size()), p.data(), nullptr, nullptr, 0);
      const bool ok = PQresultStatus(r) == want;
      std::string first =
          ok && want == PGRES_TUPLES_OK && PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
      PQclear(r);
      if (!ok) {
        std::fprintf(stderr, "%s: %s\n", name, PQerrorMessage(pg));
        std::abort();
      }
      return first;
    };
    auto exec = [&](const char* sql) { PQclear(PQexec(pg, sql)); };
    const std::string today = std::to_string(kToday);
    state.ResumeTiming();
    for (int i = 1; i <= kPostings; ++i) {
      const FAM f = invoiceOf(i);
      exec("BEGIN");
      run("maq", {"7", "3"}, PGRES_TUPLES_OK);
      Record invoice(FAM::info());
      invoice.as<FAM>() = f;
      invoice.as<FAM>().PROC = 20, invoice.as<FAM>().FREN = 3;
      run("fac", srv::columnValues(invoice), PGRES_COMMAND_OK);
      run("prv", {"2300", "1"}, PGRES_COMMAND_OK);
      run("par", {"2000", "20", "3"}, PGRES_COMMAND_OK);
      run("mqt", {"8", "2000", today, "7", "3"}, PGRES_COMMAND_OK);
      const std::string last = run("num", {}, PGRES_TUPLES_OK);
      const std::string number = std::to_string(last.empty() ? 1 : std::stoi(last) + 1);
      // The warehouse debited, the tax and the supplier credited, each
      // account and its parents.
      auto line = [&](std::int16_t a, std::int16_t b, std::int16_t c, double amount,
                      const char* side) {
        Record r(DEA::info());
        DEA& d = r.as<DEA>();
        d.NUM = std::stoi(number), d.DIA = 26, d.HOUS = 1, d.FEUS = kToday;
        d.CARG = side, d.CTA = a, d.SCTA = b, d.SSCTA = c, d.CANT = amount;
        d.DESC = "F/REVISION      " + std::to_string(f.CTA);
        run("det", srv::columnValues(r), PGRES_COMMAND_OK);
      };
      line(1115, 1, 1, 2300, "C");
      static const char* const kWarehouse[][3] = {
          {"1115", "1", "1"}, {"1115", "1", "0"}, {"1115", "0", "0"}};
      for (const auto& a : kWarehouse) run("cgo", {"2300", a[0], a[1], a[2]}, PGRES_COMMAND_OK);
      line(1108, 1, 0, 300, "A");
      run("abo", {"300", "1108", "1", "0"}, PGRES_COMMAND_OK);
      run("abo", {"300", "1108", "0", "0"}, PGRES_COMMAND_OK);
      line(2101, 1, 0, 2000, "A");
      run("abo", {"2000", "2101", "1", "0"}, PGRES_COMMAND_OK);
      run("abo", {"2000", "2101", "0", "0"}, PGRES_COMMAND_OK);
      Record policy(POA::info());
      POA& h = policy.as<POA>();
      h.NUM = std::stoi(number), h.FECH = kToday, h.HOUS = 1, h.FEUS = kToday, h.CANT = 2300;
      h.DESC = "FACTURA A REVISION No " + std::to_string(f.CTA);
      run("pol", srv::columnValues(policy), PGRES_COMMAND_OK);
      run("fpo", {number, std::to_string(f.CTA)}, PGRES_COMMAND_OK);
      exec("COMMIT");
    }
    state.PauseTiming();
    PQfinish(pg);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kPostings);
}
BENCHMARK(BM_PostingsLibpq)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// --- a browse's first page of 1 000 000 items ---------------------------------

constexpr int kRows = 1000000;

// The items on the server, made once: the program folder's PART.
std::string bigItems(const fs::path& dir) {
  static std::string connection = [&] {
    std::string c = freshDatabase("velmora_bench_browse");
    if (c.empty()) return c;
    srv::Connection s(c);
    Record buffer(PAR::info()), image(PAR::info());
    std::int64_t current = 0;
    srv::ServerTable part(s, "programa", "PART", PAR::info(), {buffer, image, current});
    if (!part.open(true)) return std::string();
    std::string columns, values;
    for (const db::schema::Column& col : db::schema::columns(PAR::info())) {
      columns += (columns.empty() ? "" : ",") + srv::quoted(col.name);
      std::string v;
      switch (col.type) {
        case dict::Type::String:
        case dict::Type::Memo: v = "'PARTIDA ' || g"; break;
        case dict::Type::Real: v = "g::double precision"; break;
        case dict::Type::Byte: v = "g % 200"; break;
        case dict::Type::Short: v = "g % 30000"; break;
        default: v = "g";
      }
      values += (values.empty() ? "" : ",") + v;
    }
    // The keys built once the rows are in: sorted at once, not row by row.
    for (const dict::KeyInfo& k : PAR::info().keys)
      if (!s.exec("DROP INDEX programa." + srv::quoted("PART_" + std::string(k.shortName))))
        return std::string();
    if (!s.exec("INSERT INTO " + srv::tableName("programa", "PART") + "(" + columns + ") SELECT " +
                values + " FROM generate_series(1," + std::to_string(kRows) + ") g"))
      return std::string();
    for (const std::string& index : srv::indexSql("programa", PAR::info(), "PART"))
      if (!s.exec(index)) return std::string();
    if (!s.exec("ANALYZE " + srv::tableName("programa", "PART"))) return std::string();
    return c;
  }();
  (void)dir;
  return connection;
}

// Twenty items in the key order of their text (a case-insensitive key), as
// a list of a running program shows its first page: position, read. The
// session and the table are open, as they are in the program.
void BM_FirstPageServer(benchmark::State& state) {
  const fs::path dir = fs::path(std::getenv("VELMORA_BENCH_DIR") ? std::getenv("VELMORA_BENCH_DIR")
                                                                 : "/tmp/velmora-bench") /
                       "browse-server";
  fs::create_directories(dir);
  const std::string connection = bigItems(dir);
  if (connection.empty()) return state.SkipWithError("no server");
  db::Storage s;
  s.setServer(connection, dir.string());
  s.setFileName(PAR::info(), (dir / "PART.TPS").string());
  db::Context ctx(s, 1);
  db::Table& t = ctx.table<PAR>();
  if (!t.open()) return state.SkipWithError("open failed");
  for (auto _ : state) {
    if (!t.setStart(PAR::info().key("PAR:TEX_KEY"))) return state.SkipWithError("set failed");
    for (int i = 0; i < 20; ++i)
      if (!t.next()) return state.SkipWithError("read failed");
    benchmark::DoNotOptimize(t.rec<PAR>().CONC);
  }
}
BENCHMARK(BM_FirstPageServer)->Unit(benchmark::kMillisecond);

// The same twenty rows with plain libpq on an open session: one query in
// the key's order, every value read.
void BM_FirstPageLibpq(benchmark::State& state) {
  const std::string connection = bigItems({});
  if (connection.empty()) return state.SkipWithError("no server");
  const int key = int(PAR::info().key("PAR:TEX_KEY") - PAR::info().keys.data());
  const std::string filter = srv::keyFilterSql(PAR::info(), key);
  const std::string sql = "SELECT * FROM " + srv::tableName("programa", "PART") + " " + filter +
                          " ORDER BY " + srv::keyOrderSql("programa", PAR::info(), key) +
                          " LIMIT 20";
  PGconn* pg = PQconnectdb(connection.c_str());
  for (auto _ : state) {
    PGresult* r = PQexec(pg, sql.c_str());
    std::size_t bytes = 0;
    for (int row = 0; row < PQntuples(r); ++row)
      for (int col = 0; col < PQnfields(r); ++col) bytes += std::strlen(PQgetvalue(r, row, col));
    benchmark::DoNotOptimize(bytes);
    if (PQntuples(r) != 20) return state.SkipWithError("query failed");
    PQclear(r);
  }
  PQfinish(pg);
}
BENCHMARK(BM_FirstPageLibpq)->Unit(benchmark::kMillisecond);

// A table of the program folder opened on the server by a new context (a
// window of a program that starts): the session, the schema checked, the
// table found.
void BM_OpenServer(benchmark::State& state) {
  const fs::path dir = fs::path("/tmp/velmora-bench") / "browse-server";
  const std::string connection = bigItems(dir);
  if (connection.empty()) return state.SkipWithError("no server");
  db::Storage s;
  s.setServer(connection, dir.string());
  s.setFileName(PAR::info(), (dir / "PART.TPS").string());
  for (auto _ : state) {
    db::Context ctx(s, 1);
    if (!ctx.table<PAR>().open()) return state.SkipWithError("open failed");
  }
}
// By the clock: the program's own time is a small part of an open, and
// counting iterations by it would run the open thousands of times.
BENCHMARK(BM_OpenServer)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with plain libpq: a session and the table looked up.
void BM_OpenLibpq(benchmark::State& state) {
  const std::string connection = bigItems({});
  if (connection.empty()) return state.SkipWithError("no server");
  for (auto _ : state) {
    PGconn* pg = PQconnectdb(connection.c_str());
    PGresult* r = PQexec(pg, "SELECT to_regclass('programa.\"PART\"') IS NOT NULL");
    if (PQntuples(r) != 1) return state.SkipWithError("query failed");
    PQclear(r);
    PQfinish(pg);
  }
}
BENCHMARK(BM_OpenLibpq)->Unit(benchmark::kMillisecond)->UseRealTime();

// --- adds ---------------------------------------------------------------------

constexpr int kAdds = 1000;

Record lineOf(int n) {
  Record r(DPO::info());
  DPO& d = r.as<DPO>();
  d.CTA = n;
  return r;
}

// 1 000 policy lines added in one batch through the engine.
void BM_AddsServer(benchmark::State& state) {
  const fs::path dir = fs::path("/tmp/velmora-bench") / "adds-server";
  fs::create_directories(dir);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string connection = freshDatabase("velmora_bench_adds");
    if (connection.empty()) return state.SkipWithError("no server");
    db::Storage s;
    s.setServer(connection, dir.string());
    s.setFileName(DPO::info(), (dir / "DPOL.TPS").string());
    db::Context ctx(s, 1);
    db::Table& t = ctx.table<DPO>();
    if (!t.open()) return state.SkipWithError("open failed");
    state.ResumeTiming();
    if (!t.stream()) return state.SkipWithError("stream failed");
    for (int i = 1; i <= kAdds; ++i) {
      t.buffer() = lineOf(i);
      if (!t.add()) return state.SkipWithError("add failed");
    }
    if (!t.flush()) return state.SkipWithError("flush failed");
  }
  state.SetItemsProcessed(state.iterations() * kAdds);
}
// Five batches, each into a new database (made outside the timing).
BENCHMARK(BM_AddsServer)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The same rows with plain libpq: one prepared INSERT, one transaction.
void BM_AddsLibpq(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string connection = freshDatabase("velmora_bench_adds");
    if (connection.empty()) return state.SkipWithError("no server");
    {
      srv::Connection c(connection);
      Record buffer(DPO::info()), image(DPO::info());
      std::int64_t current = 0;
      srv::ServerTable t(c, "programa", "DPOL", DPO::info(), {buffer, image, current});
      if (!t.open(true)) return state.SkipWithError("open failed");
    }
    PGconn* pg = PQconnectdb(connection.c_str());
    std::string columns, marks;
    int n = 0;
    for (const db::schema::Column& col : db::schema::columns(DPO::info())) {
      columns += (n ? "," : "") + srv::quoted(col.name);
      marks += (n ? ",$" : "$") + std::to_string(n + 1);
      ++n;
    }
    PQclear(PQprepare(pg, "add",
                      ("INSERT INTO " + srv::tableName("programa", "DPOL") + "(" + columns +
                       ") VALUES(" + marks + ")")
                          .c_str(),
                      n, nullptr));
    state.ResumeTiming();
    PQclear(PQexec(pg, "BEGIN"));
    for (int i = 1; i <= kAdds; ++i) {
      const std::vector<std::string> values = srv::columnValues(lineOf(i));
      std::vector<const char*> p;
      for (const std::string& v : values) p.push_back(v.c_str());
      PGresult* r = PQexecPrepared(pg, "add", n, p.data(), nullptr, nullptr, 0);
      if (PQresultStatus(r) != PGRES_COMMAND_OK) return state.SkipWithError("insert failed");
      PQclear(r);
    }
    PQclear(PQexec(pg, "COMMIT"));
    state.PauseTiming();
    PQfinish(pg);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kAdds);
}
BENCHMARK(BM_AddsLibpq)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
