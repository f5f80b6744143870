// Every table of the dictionary on a real PostgreSQL server, beside its
// table file: the same random records (with ties of every kind, blank keys
// and accents) added to both, then every key read in order on each side.
// The server's indexes give the records in exactly the file's order, and
// leave out the records the file's key leaves out.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dictionary/schema.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/storage.h"
#include "tests/support/pg_cluster.h"
#include "tests/support/random_records.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

Result run(PGconn* pg, const std::string& sql, const std::vector<std::string>& params = {}) {
  std::vector<const char*> values;
  for (const std::string& p : params) values.push_back(p.c_str());
  Result r(PQexecParams(pg, sql.c_str(), int(values.size()), nullptr, values.data(), nullptr,
                        nullptr, 0),
           PQclear);
  const ExecStatusType st = PQresultStatus(r.get());
  EXPECT_TRUE(st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) << sql.substr(0, 300) << "\n"
                                                               << PQerrorMessage(pg);
  return r;
}

TEST(ServerSchema, EveryKeyOfEveryTableReadsInTheFilesOrder) {
  std::string error;
  const std::string& conninfo = test::PgCluster::connection(&error);
  ASSERT_FALSE(conninfo.empty()) << "no PostgreSQL server: " << error;
  std::unique_ptr<PGconn, decltype(&PQfinish)> pg(PQconnectdb(conninfo.c_str()), PQfinish);
  ASSERT_EQ(PQstatus(pg.get()), CONNECTION_OK) << PQerrorMessage(pg.get());
  run(pg.get(), "SET client_min_messages = warning");
  const std::string schema = "tablas_" + std::to_string(::getpid());
  run(pg.get(), "DROP SCHEMA IF EXISTS " + server::quoted(schema) + " CASCADE");
  run(pg.get(), "CREATE SCHEMA " + server::quoted(schema));
  run(pg.get(), server::foldFunctionSql(schema));

  test::TempFolder folder;
  Storage storage;
  Context ctx(storage, 1);
  std::mt19937 random(36);
  int tables = 0, keys = 0;
  for (const dict::TableInfo& t : dict::tables()) {
    // Each stored table once (a table may keep its rows in another's).
    if (t.kind != dict::Kind::Table || t.keys.empty() || &dict::table(t.storage) != &t) continue;
    SCOPED_TRACE(std::string(t.label));
    ++tables;
    storage.setFileName(t, folder.file(std::string(t.label) + ".TPS"));
    Table& file = ctx.table(t);
    ASSERT_TRUE(file.open().ok());
    run(pg.get(), server::tableSql(schema, t));
    for (const std::string& index : server::indexSql(schema, t)) run(pg.get(), index);

    std::string columns, marks;
    int n = 0;
    for (const schema::Column& c : schema::columns(t)) {
      columns += "," + server::quoted(c.name);
      marks += ",$" + std::to_string(++n + 1);
    }
    const std::string insert = "INSERT INTO " + server::tableName(schema, t) + "(" +
                               server::quoted(server::kPosition) + columns +
                               ") OVERRIDING SYSTEM VALUE VALUES($1" + marks + ")";
    for (int i = 0; i < 150; ++i) {
      file.clear();
      test::fillRandom(file.buffer(), random);
      if (!file.add().ok()) continue;  // a unique key already taken
      std::vector<std::string> values = server::columnValues(file.buffer());
      values.insert(values.begin(), std::to_string(file.position()));
      run(pg.get(), insert, values);
    }

    for (std::size_t k = 0; k < t.keys.size(); ++k) {
      SCOPED_TRACE(std::string(t.keys[k].name));
      ++keys;
      std::vector<std::string> onFile, onServer;
      ASSERT_TRUE(file.setStart(&t.keys[k]).ok());
      while (file.next().ok()) onFile.push_back(std::to_string(file.position()));
      Result r =
          run(pg.get(), "SELECT " + server::quoted(server::kPosition) + " FROM " +
                            server::tableName(schema, t) + " " + server::keyFilterSql(t, int(k)) +
                            " ORDER BY " + server::keyOrderSql(schema, t, int(k)));
      for (int i = 0; i < PQntuples(r.get()); ++i) onServer.emplace_back(PQgetvalue(r.get(), i, 0));
      EXPECT_EQ(onServer, onFile);
    }
    file.close();
  }
  EXPECT_GT(tables, 20);
  EXPECT_GT(keys, 40);
  run(pg.get(), "DROP SCHEMA " + server::quoted(schema) + " CASCADE");
}

}  // namespace
}  // namespace velmora::db
