// The disturbed system audit of the demo work on the server: the company of
// `velmora demo --size N` copied up once into a template database, every
// running value of the work moved by one, and the audit (estimates::AuditRun,
// as `velmora auditoria` runs it) against plain libpq doing the same rows:
//
//   BM_AuditServer/N   the audit through the engine on the server
//   BM_AuditLibpq/N    its floor: the same four tables' keys rebuilt
//                      (REINDEX), read whole in the same orders, and the
//                      disturbed columns of every record written back in
//                      the audit's batches (the batch's rows read held at
//                      once, one UPDATE each sent in a pipeline, one
//                      transaction per batch)

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "dictionary/dates.h"
#include "dictionary/schema.h"
#include "dictionary/server_copy.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/server_table.h"
#include "dictionary/work_files.h"
#include "estimates/audit_engine.h"
#include "tests/support/pg_cluster.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
namespace srv = db::server;

constexpr const char* kWork = "HOSP01";

// One of the four tables the audit rewrites: its record, the running values
// the disturbance moves, and the order the audit reads it in (empty: the
// record order).
struct Audited {
  const dict::TableInfo& info;
  std::vector<std::string> columns;
  const char* key;
};

const std::vector<Audited>& audited() {
  static const std::vector<Audited> tables = {
      {CTR::info(), {"ICON", "TPAG", "ANTI", "AAMO", "GAAC", "UEST"}, nullptr},
      {PAR::info(), {"TPAG", "AVAN", "COST"}, nullptr},
      {DPO::info(), {"TANT", "PANT"}, "DPO:CTA_KEY"},
      {POL::info(), {"TACU", "SFON", "ESTI"}, "POL:CON_KEY"},
  };
  return tables;
}

void place(db::Storage& storage, const fs::path& company) {
  db::useWorkFiles(storage, db::workFiles({company.string(), kWork, "CONTA", dates::today()}));
}

// The server's name of a table of the work, as the engine places it.
std::string serverTable(const fs::path& company, const dict::TableInfo& t) {
  db::Storage storage;
  storage.setServer("-", company.string());
  place(storage, company);
  std::string schema, table;
  if (!storage.serverPlace(db::withDefaultExtension(storage.fileName(t)), schema, table))
    std::abort();
  return srv::tableName(schema, table);
}

std::string exec(PGconn* pg, const std::string& sql) {
  PGresult* r = PQexec(pg, sql.c_str());
  const ExecStatusType st = PQresultStatus(r);
  std::string error = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK ? "" : PQerrorMessage(pg);
  PQclear(r);
  return error;
}

// A database of its own holding the demo company of size n, copied from a
// template made once; every running value of the work moved by one.
std::string disturbedCompany(int n, fs::path& company) {
  company = bench::demoCompany(VELMORA_EXE, n);
  const std::string& cluster = test::PgCluster::connection();
  if (cluster.empty()) return {};
  static std::map<int, std::string> templates;
  const std::string name = "velmora_bench_audit_" + std::to_string(n);
  PGconn* admin = PQconnectdb(cluster.c_str());
  if (!templates.count(n)) {
    (void)exec(admin, "DROP DATABASE IF EXISTS " + name + "_plantilla WITH (FORCE)");
    if (!exec(admin, "CREATE DATABASE " + name + "_plantilla").empty() ||
        !srv::upload(cluster + " dbname=" + name + "_plantilla", company.string(), "", {})) {
      PQfinish(admin);
      return {};
    }
    templates[n] = name + "_plantilla";
  }
  (void)exec(admin, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  const std::string made = exec(admin, "CREATE DATABASE " + name + " TEMPLATE " + templates[n]);
  PQfinish(admin);
  if (!made.empty()) return {};
  const std::string connection = cluster + " dbname=" + name;
  PGconn* pg = PQconnectdb(connection.c_str());
  std::string error;
  for (const Audited& a : audited()) {
    // As the files' run: an estimate number moves only where there is one.
    std::string set;
    for (const std::string& c : a.columns)
      set += (set.empty() ? "" : ",") + srv::quoted(c) + "=" + srv::quoted(c) +
             (c == "ESTI" ? "+(\"ESTI\">0)::int" : "+1");
    error += exec(pg, "UPDATE " + serverTable(company, a.info) + " SET " + set);
  }
  error += exec(pg, "VACUUM ANALYZE");
  PQfinish(pg);
  return error.empty() ? connection : std::string();
}

void BM_AuditServer(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path company;
    const std::string connection = disturbedCompany(n, company);
    if (connection.empty()) return state.SkipWithError("no server");
    db::Storage storage;
    storage.setServer(connection, company.string());
    place(storage, company);
    db::Context ctx(storage);
    estimates::AuditEvents events;
    estimates::AuditRun run(ctx, events);
    state.ResumeTiming();
    while (run.step()) {
    }
    state.PauseTiming();
    if (!run.finished() || run.counts().storageErrors) return state.SkipWithError("audit failed");
    const estimates::AuditCounts& c = run.counts();
    state.counters["escritos"] =
        double(c.estimatesWritten + c.contractorsWritten + c.itemsWritten + c.linesWritten);
    state.ResumeTiming();
  }
}

void BM_AuditLibpq(benchmark::State& state) {
  const int n = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fs::path company;
    const std::string connection = disturbedCompany(n, company);
    if (connection.empty()) return state.SkipWithError("no server");
    PGconn* pg = PQconnectdb(connection.c_str());
    state.ResumeTiming();
    std::size_t bytes = 0;
    double written = 0;
    for (const Audited& a : audited()) {
      const std::string table = serverTable(company, a.info);
      if (!exec(pg, "REINDEX TABLE " + table).empty()) return state.SkipWithError("reindex");
      // Read whole, every value, in the audit's order.
      const std::string order =
          a.key ? srv::keyOrderSql(kWork, a.info, int(a.info.key(a.key) - a.info.keys.data()))
                : srv::quoted(srv::kPosition);
      PGresult* all = PQexec(pg, ("SELECT * FROM " + table + " ORDER BY " + order).c_str());
      std::vector<std::string> rows;
      for (int r = 0; r < PQntuples(all); ++r) {
        for (int c = 0; c < PQnfields(all); ++c) bytes += std::strlen(PQgetvalue(all, r, c));
        rows.push_back(PQgetvalue(all, r, 0));
      }
      PQclear(all);
      // Written back in batches: the rows read held at once, one UPDATE
      // each in a pipeline.
      std::string read = "SELECT " + srv::quoted(srv::kPosition), set;
      int p = 0;
      for (const std::string& c : a.columns) {
        read += "," + srv::quoted(c);
        set += (set.empty() ? "" : ",") + srv::quoted(c) + "=$" + std::to_string(++p);
      }
      read += " FROM " + table + " WHERE " + srv::quoted(srv::kPosition) +
              " = ANY($1::bigint[]) ORDER BY 1 FOR UPDATE";
      const std::string update = "UPDATE " + table + " SET " + set + " WHERE " +
                                 srv::quoted(srv::kPosition) + "=$" + std::to_string(++p);
      PQclear(PQprepare(pg, ("u" + table).c_str(), update.c_str(), 0, nullptr));
      const std::size_t batch = estimates::AuditRun::kWriteBatch;
      for (std::size_t first = 0; first < rows.size(); first += batch) {
        std::string list = "{";
        for (std::size_t i = first; i < std::min(rows.size(), first + batch); ++i)
          list += (i > first ? "," : "") + rows[i];
        list += "}";
        (void)exec(pg, "BEGIN");
        const char* values[] = {list.c_str()};
        PGresult* held = PQexecParams(pg, read.c_str(), 1, nullptr, values, nullptr, nullptr, 0);
        PQenterPipelineMode(pg);
        for (int r = 0; r < PQntuples(held); ++r) {
          std::vector<std::string> v;
          for (std::size_t c = 0; c < a.columns.size(); ++c)
            v.push_back(std::to_string(std::strtod(PQgetvalue(held, r, int(c) + 1), nullptr) - 1));
          v.push_back(PQgetvalue(held, r, 0));
          std::vector<const char*> params;
          for (const std::string& s : v) params.push_back(s.c_str());
          PQsendQueryPrepared(pg, ("u" + table).c_str(), int(params.size()), params.data(), nullptr,
                              nullptr, 0);
          ++written;
          if (r % 256 == 255 || r + 1 == PQntuples(held)) {
            PQpipelineSync(pg);
            for (;;) {
              PGresult* x = PQgetResult(pg);
              if (!x) {
                if (PQstatus(pg) != CONNECTION_OK) return state.SkipWithError("lost");
                continue;
              }
              const bool sync = PQresultStatus(x) == PGRES_PIPELINE_SYNC;
              PQclear(x);
              if (sync) break;
            }
          }
        }
        PQexitPipelineMode(pg);
        PQclear(held);
        if (!exec(pg, "COMMIT").empty()) return state.SkipWithError("commit");
      }
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["escritos"] = written;
    state.PauseTiming();
    PQfinish(pg);
    state.ResumeTiming();
  }
}

BENCHMARK(BM_AuditServer)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AuditLibpq)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace velmora
