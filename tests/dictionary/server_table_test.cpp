// The same random sequence of operations on a table file (db::Table) and
// on its table on a real PostgreSQL server (ServerTable): adds, exact gets,
// reading in key order from the start or from values, forwards and back,
// puts, puts over a record another station changed, and removes. After
// every step both give the same answer, the same record and the same
// position (the server's own positions, mapped: it never reuses one).

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dictionary/records.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/server_table.h"
#include "dictionary/storage.h"
#include "tests/support/back_end.h"
#include "tests/support/pg_cluster.h"
#include "tests/support/random_records.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

// A session with the server and a schema of the test's own, dropped after.
class OnServer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    conninfo = test::PgCluster::connection(&error);
    ASSERT_FALSE(conninfo.empty()) << "no PostgreSQL server: " << error;
    session = std::make_unique<server::Connection>(conninfo);
    ASSERT_TRUE(session->status().ok()) << session->status().text;
    ASSERT_TRUE(session->exec("SET client_min_messages = warning").ok());
    ASSERT_TRUE(session->exec("DROP SCHEMA IF EXISTS " + server::quoted(schema) + " CASCADE").ok());
    ASSERT_TRUE(session->exec("CREATE SCHEMA " + server::quoted(schema)).ok());
    ASSERT_TRUE(session->exec(server::foldFunctionSql(schema)).ok());
  }
  void TearDown() override {
    if (session)
      (void)session->exec("DROP SCHEMA IF EXISTS " + server::quoted(schema) + " CASCADE");
  }
  std::string conninfo;
  std::unique_ptr<server::Connection> session;
  const std::string schema = "prueba_" + std::to_string(::getpid());
};

TEST_F(OnServer, ATableAnswersAsTheTableFileStepByStep) {
  server::Connection& c = *session;

  test::TempFolder folder;
  std::mt19937 random(37);
  int compared = 0, refused = 0;  // records compared; puts refused on both
  for (const char* label : {"CONT", "PART", "DPOL", "PROV"}) {
    SCOPED_TRACE(label);
    const dict::TableInfo& t = *dict::findTable(label);
    Storage storage;
    storage.setFileName(t, folder.file(std::string(label) + ".TPS"));
    Context ctx(storage, 1), otherStation(storage, 2);
    Table& file = ctx.table(t);
    Table& otherFile = otherStation.table(t);
    ASSERT_TRUE(file.open().ok());
    ASSERT_TRUE(otherFile.open().ok());
    server::ServerTable onServer(c, schema, t), otherOnServer(c, schema, t);
    ASSERT_TRUE(onServer.create().ok());

    std::map<std::int64_t, std::int64_t> serverPos;  // file position → server position
    std::vector<std::int64_t> live;                  // file positions on file
    bool positioned = false;                         // both have a record last read
    auto same = [&](const Status& a, const Status& b, const std::string& step) {
      ASSERT_EQ(a.code, b.code) << step << ": " << a.text << " / " << b.text;
      if (!a.ok()) return;
      ++compared;
      EXPECT_EQ(serverPos[file.position()], onServer.position()) << step;
      EXPECT_TRUE(file.buffer() == onServer.buffer()) << step;
    };
    for (int step = 0; step < 400; ++step) {
      const int what = int(random() % 7);
      const dict::KeyInfo& key = t.keys[random() % t.keys.size()];
      const std::string name = std::to_string(step) + " " + std::string(key.name);
      if (what == 0 || live.size() < 5) {
        file.clear();
        test::fillRandom(file.buffer(), random);
        onServer.buffer() = file.buffer();
        const Status a = file.add(), b = onServer.add();
        ASSERT_EQ(a.code, b.code) << name << " add";
        if (a.ok()) {
          serverPos[file.position()] = onServer.position();
          live.push_back(file.position());
        }
        positioned = false;
      } else if (what == 1) {
        // Exact get on the values of a record on file.
        ASSERT_TRUE(file.getByPosition(live[random() % live.size()]).ok());
        onServer.buffer() = file.buffer();
        same(file.get(key), onServer.get(key), name + " get");
        positioned = true;
      } else if (what == 2 || what == 3) {
        // From the start, or from random values, a few steps either way.
        if (what == 2) {
          ASSERT_TRUE(file.setStart(&key).ok());
          ASSERT_TRUE(onServer.setStart(&key).ok());
        } else {
          test::fillRandom(file.buffer(), random);
          onServer.buffer() = file.buffer();
          ASSERT_TRUE(file.set(&key).ok());
          ASSERT_TRUE(onServer.set(&key).ok());
        }
        const bool forward = random() % 2;
        for (int n = int(random() % 6) + 1; n > 0; --n) {
          const Status a = forward ? file.next() : file.previous();
          const Status b = forward ? onServer.next() : onServer.previous();
          same(a, b, name + (forward ? " next" : " previous"));
          positioned = a.ok();
          if (!a.ok()) break;
        }
      } else if (what == 4 && positioned) {
        // A change of the record last read; now and then another station
        // changed it first, and the put is refused on both.
        const bool raced = random() % 3 == 0;
        if (raced) {
          ASSERT_TRUE(otherFile.getByPosition(file.position()).ok());
          test::fillRandom(otherFile.buffer(), random);
          ASSERT_TRUE(otherOnServer.getByPosition(onServer.position()).ok());
          // Both other stations write the same new record over it.
          const Record changed = otherFile.buffer();
          const Status a = otherFile.put();
          otherOnServer.buffer() = changed;
          const Status b = otherOnServer.put();
          ASSERT_EQ(a.code, b.code) << name << " other station's put";
        }
        test::fillRandom(file.buffer(), random);
        onServer.buffer() = file.buffer();
        const Status a = file.put(), b = onServer.put();
        ASSERT_EQ(a.code, b.code) << name << (raced ? " put after another's" : " put") << ": "
                                  << a.text << " / " << b.text;
        if (a.code == err::RecordChanged) ++refused;
        positioned = false;
      } else if (what == 5 && positioned) {
        const std::int64_t gone = file.position();
        const Status a = file.remove(), b = onServer.remove();
        ASSERT_EQ(a.code, b.code) << name << " remove";
        if (a.ok()) std::erase(live, gone);
        positioned = false;
      }
    }
    std::int64_t count = 0;
    ASSERT_TRUE(file.records(count).ok());
    EXPECT_EQ(count, std::int64_t(live.size()));
  }
  EXPECT_GT(compared, 500);
  EXPECT_GT(refused, 10);
}

// A station killed in the middle of a transaction over two tables leaves
// neither written; one that commits leaves both. A station that waits for
// a row another holds is refused after its wait as a locked file is, and
// once the other commits, its put meets the other's change (89).
TEST_F(OnServer, TransactionsAreWholeAndWaitsEnd) {
  server::Connection& c = *session;
  const dict::TableInfo& cont = *dict::findTable("CONT");
  const dict::TableInfo& lines = *dict::findTable("DPOL");
  server::ServerTable contractors(c, schema, cont), items(c, schema, lines);
  ASSERT_TRUE(contractors.create().ok());
  ASSERT_TRUE(items.create().ok());

  // A station of its own process: adds 40 records to each table in one
  // transaction, then dies before or after its commit.
  auto station = [&](bool commit) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      server::Connection own(conninfo);
      server::ServerTable a(own, schema, cont), b(own, schema, lines);
      std::mt19937 random(commit ? 1 : 2);
      if (!own.begin().ok()) ::_exit(2);
      for (int i = 0; i < 40; ++i) {
        a.buffer().clear();
        test::fillRandom(a.buffer(), random);
        const int number = (commit ? 1000 : 2000) + i;
        a.buffer().as<CTR>().CTA = number;
        a.buffer().as<CTR>().NOMB = "CONTRATISTA " + std::to_string(number);
        b.buffer().clear();
        test::fillRandom(b.buffer(), random);
        if (!a.add().ok() || !b.add().ok()) ::_exit(3);
      }
      if (commit && !own.commit().ok()) ::_exit(4);
      ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  };
  auto count = [&](const dict::TableInfo& t) {
    server::ServerTable reader(c, schema, t);
    int n = 0;
    reader.setStart(nullptr);
    while (reader.next().ok()) ++n;
    return n;
  };
  const int killed = station(false);
  ASSERT_TRUE(WIFSIGNALED(killed)) << killed;
  EXPECT_EQ(count(cont), 0);
  EXPECT_EQ(count(lines), 0);
  const int committed = station(true);
  ASSERT_TRUE(WIFSIGNALED(committed)) << committed;
  EXPECT_EQ(count(cont), 40);
  EXPECT_EQ(count(lines), 40);

  // Two stations on the same contractor.
  server::Connection second(conninfo);
  ASSERT_TRUE(second.setLockTimeout(300).ok());
  server::ServerTable mine(c, schema, cont), theirs(second, schema, cont);
  ASSERT_TRUE(mine.setStart(nullptr).ok());
  ASSERT_TRUE(mine.next().ok());
  ASSERT_TRUE(theirs.getByPosition(mine.position()).ok());
  ASSERT_TRUE(c.begin().ok());
  mine.buffer().as<CTR>().NOMB = "PRIMERA ESTACION";
  ASSERT_TRUE(mine.put().ok());
  theirs.buffer().as<CTR>().NOMB = "SEGUNDA ESTACION";
  const Status waited = theirs.put();
  EXPECT_EQ(waited.code, err::FileLocked) << waited.text;
  EXPECT_EQ(waited.text, "Archivo bloqueado por otra estación");
  second.rollback();
  ASSERT_TRUE(c.commit().ok());
  const Status late = theirs.put();
  EXPECT_EQ(late.code, err::RecordChanged) << late.text;
  ASSERT_TRUE(theirs.getByPosition(mine.position()).ok());
  EXPECT_EQ(theirs.buffer().as<CTR>().NOMB, "PRIMERA ESTACION");
}

// Inside a transaction a row read is held, so a write over it cannot meet
// another station's change: it goes ahead without waiting for its answer,
// and only the columns changed are written. A write the server refuses
// (here a constraint; on a real server a full disk, a value out of range)
// is told by the transaction's next statement, fails the commit and leaves
// nothing of the transaction; so does a COMMIT sent with it, a row gone
// under it, and a session dropped while it waits.
TEST_F(OnServer, WritesOverHeldRowsGoAheadAndARefusedOneUndoesTheTransaction) {
  server::Connection& c = *session;
  const dict::TableInfo& cont = CTR::info();
  const dict::KeyInfo& byNumber = *cont.key("CTR:CTA_KEY");
  server::ServerTable t(c, schema, cont);
  ASSERT_TRUE(t.create().ok());
  for (int n = 1; n <= 3; ++n) {
    t.buffer().clear();
    t.buffer().as<CTR>().CTA = n;
    t.buffer().as<CTR>().NOMB = "CONTRATISTA " + std::to_string(n);
    ASSERT_TRUE(t.add().ok());
  }
  server::Connection other(conninfo);
  server::ServerTable theirs(other, schema, cont);
  auto nameOf = [&](int n) {
    theirs.buffer().clear();
    theirs.buffer().as<CTR>().CTA = n;
    EXPECT_TRUE(theirs.get(byNumber).ok()) << n;
    return theirs.buffer().as<CTR>().NOMB;
  };
  auto get = [&](int n) {
    t.buffer().clear();
    t.buffer().as<CTR>().CTA = n;
    return t.get(byNumber);
  };

  // Written, read back as written inside the transaction, seen after.
  ASSERT_TRUE(c.begin().ok());
  ASSERT_TRUE(get(1).ok());
  t.buffer().as<CTR>().NOMB = "PRIMERO";
  ASSERT_TRUE(t.put().ok());
  ASSERT_TRUE(get(2).ok());
  ASSERT_TRUE(get(1).ok());
  EXPECT_EQ(t.buffer().as<CTR>().NOMB, "PRIMERO");
  EXPECT_EQ(nameOf(1), "CONTRATISTA 1");
  ASSERT_TRUE(c.commit().ok());
  EXPECT_EQ(nameOf(1), "PRIMERO");

  // Refused: the next statement fails, and so does everything after it.
  ASSERT_TRUE(c.exec("ALTER TABLE " + server::tableName(schema, "CONT") +
                     " ADD CONSTRAINT rechazo CHECK (\"NOMB\" <> 'RECHAZADO') NOT VALID")
                  .ok());
  ASSERT_TRUE(c.begin().ok());
  ASSERT_TRUE(get(1).ok());
  t.buffer().as<CTR>().NOMB = "OTRA VEZ";
  ASSERT_TRUE(t.put().ok());
  ASSERT_TRUE(get(2).ok());
  t.buffer().as<CTR>().NOMB = "RECHAZADO";
  ASSERT_TRUE(t.put().ok());
  Status st = get(3);
  EXPECT_FALSE(st.ok());
  EXPECT_EQ(st.table, "CONT");
  EXPECT_NE(st.text.find("rechazo"), std::string::npos) << st.text;
  EXPECT_FALSE(get(1).ok());
  EXPECT_FALSE(c.commit().ok());
  EXPECT_EQ(nameOf(1), "PRIMERO");
  EXPECT_EQ(nameOf(2), "CONTRATISTA 2");

  // Refused with the COMMIT sent in the same round trip.
  ASSERT_TRUE(c.begin().ok());
  ASSERT_TRUE(get(3).ok());
  t.buffer().as<CTR>().NOMB = "TERCERO";
  ASSERT_TRUE(t.put().ok());
  ASSERT_TRUE(get(2).ok());
  t.buffer().as<CTR>().NOMB = "RECHAZADO";
  ASSERT_TRUE(t.put().ok());
  st = c.commit();
  EXPECT_FALSE(st.ok());
  EXPECT_NE(st.text.find("rechazo"), std::string::npos) << st.text;
  EXPECT_EQ(nameOf(3), "CONTRATISTA 3");

  // The row gone under the write (this session removed it behind the
  // table's back): a record changed, and the removal undone with the rest.
  ASSERT_TRUE(c.begin().ok());
  ASSERT_TRUE(get(3).ok());
  ASSERT_TRUE(c.exec("DELETE FROM " + server::tableName(schema, "CONT") + " WHERE \"CTA\"=3").ok());
  t.buffer().as<CTR>().TPAG = 100;  // no key: nothing is asked before
  st = t.put();
  ASSERT_TRUE(st.ok()) << st.text;
  st = c.commit();
  EXPECT_EQ(st.code, err::RecordChanged) << st.text;
  EXPECT_EQ(nameOf(3), "CONTRATISTA 3");

  // The session dropped with a write waiting: never told done, and the
  // next transaction starts a session again.
  ASSERT_TRUE(c.begin().ok());
  ASSERT_TRUE(get(3).ok());
  t.buffer().as<CTR>().NOMB = "TERCERO";
  ASSERT_TRUE(t.put().ok());
  // Only this session: other tests share the cluster's database.
  ASSERT_TRUE(
      other.exec("SELECT pg_terminate_backend(" + std::to_string(PQbackendPID(c.get())) + ")")
          .ok());
  st = c.commit();
  EXPECT_FALSE(st.ok());
  EXPECT_NE(st.text.find("Se perdió la conexión con el servidor"), std::string::npos) << st.text;
  c.rollback();
  EXPECT_EQ(nameOf(3), "CONTRATISTA 3");
  ASSERT_TRUE(c.begin().ok());
  ASSERT_TRUE(get(3).ok());
  t.buffer().as<CTR>().NOMB = "TERCERO";
  ASSERT_TRUE(t.put().ok());
  ASSERT_TRUE(c.commit().ok());
  EXPECT_EQ(nameOf(3), "TERCERO");
}

// A program's window system sets the locale from the clerk's desktop, and
// many Spanish ones (Spain, most of South America) write decimals with a
// comma. Amounts read from the server and written to it keep every digit
// whatever the locale says.
TEST_F(OnServer, AmountsKeepTheirDecimalsUnderADecimalCommaLocale) {
  server::ServerTable t(*session, schema, CTR::info());
  ASSERT_TRUE(t.create().ok());
  t.buffer().as<CTR>().CTA = 1;
  t.buffer().as<CTR>().NOMB = "CONTRATISTA";
  t.buffer().as<CTR>().TPAG = 1234.56;
  ASSERT_TRUE(t.add().ok());

  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "es_ES.UTF-8"), nullptr)
      << "falta la localización es_ES.UTF-8 (scripts/setup.sh la genera)";
  EXPECT_STREQ(std::localeconv()->decimal_point, ",");
  server::ServerTable reader(*session, schema, CTR::info());
  reader.buffer().as<CTR>().CTA = 1;
  const Status read = reader.get(*CTR::info().key("CTR:CTA_KEY"));
  reader.buffer().as<CTR>().PANT = 0.125;
  const Status written = reader.put();
  std::setlocale(LC_NUMERIC, before.c_str());
  ASSERT_TRUE(read.ok()) << read.text;
  EXPECT_EQ(reader.buffer().as<CTR>().TPAG, 1234.56);
  ASSERT_TRUE(written.ok()) << written.text;
  ASSERT_TRUE(t.get(*CTR::info().key("CTR:CTA_KEY")).ok());
  EXPECT_EQ(t.buffer().as<CTR>().PANT, 0.125);
  EXPECT_EQ(t.buffer().as<CTR>().TPAG, 1234.56);
}

// A session dropped in the middle of a save (the server ended it, as when
// it stops or the network fails): the save is refused with the reason,
// nothing of it is on the server, and the station's next save starts a
// session again on its own.
TEST(LostSession, ASaveCutByADroppedSessionLeavesNothingAndTheNextWorks) {
  test::TempFolder folder;
  Storage storage;
  test::ServerDatabase server;
  const std::string connection = server.use(storage, folder.path().string());
  ASSERT_FALSE(connection.empty());
  storage.setFileName(POL::info(), folder.file("POLI.TPS"));
  storage.setFileName(DPO::info(), folder.file("DPOL.TPS"));
  Context ctx(storage);
  Table& poli = ctx.table<POL>();
  Table& dpol = ctx.table<DPO>();
  ASSERT_TRUE(poli.open().ok() && dpol.open().ok());
  ASSERT_TRUE(ctx.begin({&poli, &dpol}).ok());
  poli.rec<POL>().CTA = 1;
  ASSERT_TRUE(poli.add().ok());
  dpol.rec<DPO>().CTA = 1;
  ASSERT_TRUE(dpol.add().ok());

  server::Connection admin(connection);
  ASSERT_TRUE(admin
                  .exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                        "current_database() AND pid <> pg_backend_pid()")
                  .ok());
  // A line goes ahead without waiting: the loss is told by it or, at the
  // latest, by the commit, never done.
  dpol.clear();
  dpol.rec<DPO>().CTA = 2;
  Status st = dpol.add();
  if (st)
    st = ctx.commit();
  else
    EXPECT_FALSE(ctx.commit().ok());
  EXPECT_FALSE(st.ok());
  EXPECT_NE(st.text.find("Se perdió la conexión con el servidor"), std::string::npos) << st.text;

  std::int64_t n = -1;
  ASSERT_TRUE(poli.records(n).ok());
  EXPECT_EQ(n, 0);
  ASSERT_TRUE(dpol.records(n).ok());
  EXPECT_EQ(n, 0);
  ASSERT_TRUE(ctx.begin({&poli, &dpol}).ok());
  poli.clear();
  poli.rec<POL>().CTA = 2;
  ASSERT_TRUE(poli.add().ok());
  ASSERT_TRUE(ctx.commit().ok());
  Context other(storage);
  Table& theirs = other.table<POL>();
  ASSERT_TRUE(theirs.open().ok());
  ASSERT_TRUE(theirs.records(n).ok());
  EXPECT_EQ(n, 1);
}

}  // namespace
}  // namespace velmora::db
