// The case-insensitive order of keys on a real PostgreSQL server: rows
// sorted by the server through an index on velmora_fold() come out in the
// very order the table files' collation gives the same rows.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dictionary/schema.h"
#include "dictionary/server_order.h"
#include "tests/support/pg_cluster.h"

namespace velmora::db {
namespace {

struct Connection {
  explicit Connection(const std::string& conninfo) : pg(PQconnectdb(conninfo.c_str())) {}
  ~Connection() { PQfinish(pg); }
  // One statement; its rows' first column.
  std::vector<std::string> run(const std::string& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(pg, sql.c_str()), PQclear);
    const ExecStatusType st = PQresultStatus(r.get());
    EXPECT_TRUE(st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) << sql.substr(0, 200) << "\n"
                                                                 << PQerrorMessage(pg);
    std::vector<std::string> rows;
    for (int i = 0; i < PQntuples(r.get()); ++i) rows.emplace_back(PQgetvalue(r.get(), i, 0));
    return rows;
  }
  PGconn* pg;
};

TEST(ServerOrder, TheServerSortsKeysAsTheFilesDo) {
  std::string error;
  const std::string& conninfo = test::PgCluster::connection(&error);
  ASSERT_FALSE(conninfo.empty()) << "no PostgreSQL server: " << error;
  Connection c(conninfo);
  ASSERT_EQ(PQstatus(c.pg), CONNECTION_OK) << PQerrorMessage(c.pg);

  // Letters with and without accents in both cases, the letters without a
  // single-byte capital, digits, blanks and signs, in texts of 0 to 6
  // characters: ties of every kind, and prefixes.
  const std::vector<std::string> pieces = {
      "a", "A", "á", "Á", "à", "ä", "Ä", "b", "B", "n", "N", "ñ", "Ñ", "u", "ü", "Ü",
      "z", "Z", "ÿ", "Ÿ", "š", "Š", "œ", "Œ", "ž", "Ž", "ß", "µ", "ç", "Ç", "é", "É",
      "0", "9", " ", "-", ".", "º", "ª", "°", "½", "€", "ø", "Ø", "þ", "Þ", "ð", "Ð"};
  std::mt19937 random(20261210);
  std::vector<std::string> texts = {"", "AB", "ab", "ABC", "Ab ", "aB-"};
  for (int i = 0; i < 3000; ++i) {
    std::string t;
    for (int n = int(random() % 7); n > 0; --n) t += pieces[random() % pieces.size()];
    texts.push_back(t);
  }

  c.run("SET client_min_messages = warning");
  const std::string schema = "orden_" + std::to_string(::getpid());
  c.run("DROP SCHEMA IF EXISTS " + server::quoted(schema) + " CASCADE");
  c.run("CREATE SCHEMA " + server::quoted(schema));
  c.run(server::foldFunctionSql(schema));
  const std::string table = server::quoted(schema) + ".claves";
  c.run("CREATE TABLE " + table + " (id integer PRIMARY KEY, v text NOT NULL)");
  std::string insert = "INSERT INTO " + table + " VALUES ";
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string literal;
    for (char ch : texts[i]) literal += ch == '\'' ? std::string("''") : std::string(1, ch);
    insert += (i ? ",(" : "(") + std::to_string(i) + ",'" + literal + "')";
  }
  c.run(insert);
  const std::string key = server::foldedColumn(schema, "v");
  c.run("CREATE INDEX claves_v ON " + table + " (" + key + ", id)");
  c.run("ANALYZE " + table);

  // The key is an index the server reads in order, not a sort of its own.
  c.run("SET enable_seqscan = off");
  c.run("SET enable_sort = off");
  const std::vector<std::string> plan =
      c.run("EXPLAIN SELECT v FROM " + table + " ORDER BY " + key + ", id");
  ASSERT_FALSE(plan.empty());
  EXPECT_NE(plan[0].find("Index Scan"), std::string::npos) << plan[0];

  std::vector<std::string> expected = texts;
  std::stable_sort(
      expected.begin(), expected.end(),
      [](const std::string& a, const std::string& b) { return schema::compareNoCase(a, b) < 0; });
  const std::vector<std::string> sorted =
      c.run("SELECT v FROM " + table + " ORDER BY " + key + ", id");
  ASSERT_EQ(sorted.size(), expected.size());
  for (std::size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], expected[i]) << "row " << i;

  // Equal keys are equal on the server too: a text and its capitals.
  EXPECT_EQ(c.run("SELECT " + server::quoted(schema) + ".velmora_fold('peña ñandú') = " +
                  server::quoted(schema) + ".velmora_fold('PEÑA ÑANDÚ')"),
            std::vector<std::string>{"t"});
  c.run("DROP SCHEMA " + server::quoted(schema) + " CASCADE");
}

}  // namespace
}  // namespace velmora::db
