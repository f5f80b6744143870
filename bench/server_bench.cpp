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
    if (!s.exec("INSERT INTO " + srv::tableName("programa", "PART") + "(" + columns + ") SELECT " +
                values + " FROM generate_series(1," + std::to_string(kRows) + ") g") ||
        !s.exec("ANALYZE " + srv::tableName("programa", "PART")))
      return std::string();
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
BENCHMARK(BM_OpenServer)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_OpenLibpq)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_AddsServer)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_AddsLibpq)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
