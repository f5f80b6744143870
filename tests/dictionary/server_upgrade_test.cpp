// A company on the server with a table in an older layout: the same upgrade
// as the files', made by the server in one transaction. Values, positions
// and keys are kept, the version is recorded, a table not ours is refused,
// and a conversion killed or refused half way leaves the old table whole.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "dictionary/file_upgrade.h"
#include "dictionary/records.h"
#include "dictionary/server_table.h"
#include "tests/dictionary/old_works.h"
#include "tests/support/back_end.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

using Outcome = UpgradeResult::Outcome;

class ServerUpgrade : public ::testing::Test {
 protected:
  void SetUp() override {
    connection = server.use(storage, folder.path().string());
    ASSERT_FALSE(connection.empty());
  }
  // One value of the server's (the first column of the first row).
  std::string ask(const std::string& sql) {
    server::Connection admin(connection);
    PGresult* r = PQexec(admin.get(), sql.c_str());
    std::string out = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0
                          ? PQgetvalue(r, 0, 0)
                          : "(" + std::string(PQresultErrorMessage(r)) + ")";
    PQclear(r);
    return out;
  }
  void run(const std::string& sql) {
    server::Connection admin(connection);
    Status st = admin.exec(sql);
    ASSERT_TRUE(st.ok()) << st.text;
  }

  test::TempFolder folder;
  Storage storage;
  test::ServerDatabase server;
  std::string connection;
  const std::string works = folder.file("DATA1.TPS");
  const std::string versions = versionFilePath(folder.path().string());
};

TEST_F(ServerUpgrade, OldWorksAreConvertedKeepingValuesPositionsAndKeys) {
  writeOldWorks(storage, works, 4);
  {  // the last work removed: its position is never given again
    storage.setFileName(*dict::findTable("V1_OBRA"), works);
    Context ctx(storage);
    Table& t = ctx.table(*dict::findTable("V1_OBRA"));
    ASSERT_TRUE(t.open().ok());
    ASSERT_TRUE(t.getByPosition(4).ok());
    ASSERT_TRUE(t.remove().ok());
  }
  {  // the programs of today see another layout, which the upgrade takes
    storage.setFileName(OBR::info(), works);
    Context ctx(storage);
    Status st = ctx.table<OBR>().open();
    EXPECT_TRUE(layoutMismatch(st)) << st.text;
    EXPECT_NE(st.text.find("programa.DATA1 (en el servidor)"), std::string::npos) << st.text;
  }
  EXPECT_EQ(layoutVersion(storage, OBR::info(), works), 1);

  UpgradeResult r = upgradeFile(storage, OBR::info(), works, versions);
  ASSERT_EQ(r.outcome, Outcome::Upgraded) << r.message;
  EXPECT_EQ(r.from, 1);
  EXPECT_EQ(r.to, 2);
  const std::vector<OBR> after = currentWorks(storage, works);
  ASSERT_EQ(after.size(), 3u);
  for (int n = 1; n <= 3; ++n) {
    const OBR& w = after[std::size_t(n - 1)];
    EXPECT_EQ(w.CTA, "OB" + std::to_string(n));
    EXPECT_EQ(w.OBRA, "PUENTE SEÑORÍO " + std::to_string(n));
    EXPECT_EQ(w.TEXT, "AÑO");
    EXPECT_EQ(w.CARI, 12.5 + n);
    EXPECT_EQ(w.TOBR, 1234567.89 * n);
    EXPECT_EQ(w.CONTA[6].CC, 1100 + n);
    EXPECT_EQ(w.POAU[9], 1);
    EXPECT_EQ(w.POMO, 0.0);
    EXPECT_EQ(w.POMA, 0.0);
  }
  EXPECT_EQ(recordedVersion(storage, versions, "OBRA", upper(works)), 2);
  EXPECT_EQ(layoutVersion(storage, OBR::info(), works), 2);

  {  // found by its keys, in their order; numbered past every old position
    storage.setFileName(OBR::info(), works);
    Context ctx(storage);
    Table& t = ctx.table<OBR>();
    ASSERT_TRUE(t.open().ok());
    t.clear();
    t.rec<OBR>().CTA = "OB2";
    ASSERT_TRUE(t.get("OBR:CTA_KEY").ok());
    EXPECT_EQ(t.rec<OBR>().OBRA, "PUENTE SEÑORÍO 2");
    EXPECT_EQ(t.position(), 2);
    t.clear();
    t.rec<OBR>().CTA = "OB9";
    ASSERT_TRUE(t.add().ok());
    EXPECT_EQ(t.position(), 5);
    t.clear();
    t.rec<OBR>().CTA = "OB1";
    EXPECT_EQ(t.add().code, err::DuplicateKey);
  }
  EXPECT_EQ(ask("SELECT count(*) FROM pg_indexes WHERE schemaname = 'programa' AND tablename = "
                "'DATA1'"),
            std::to_string(OBR::info().keys.size() + 1));  // the keys and the position
  EXPECT_EQ(ask("SELECT count(*) FROM pg_class WHERE relname LIKE '%#nuevo%'"), "0");

  // Current now: nothing to do. A table that is not there is left for the
  // open to make.
  r = upgradeFile(storage, OBR::info(), works, versions);
  EXPECT_EQ(r.outcome, Outcome::Kept);
  EXPECT_EQ(r.from, 2);
  EXPECT_EQ(upgradeFile(storage, CTR::info(), folder.file("OBRA12.TPS"), versions).outcome,
            Outcome::Missing);
  EXPECT_EQ(ask("SELECT to_regclass('programa.\"OBRA12\"') IS NULL"), "t");

  // A table of the name that is no layout of ours is refused, untouched.
  run("CREATE TABLE programa.\"OBRA13\" (velmora_pos bigint, \"CTA\" text)");
  run("INSERT INTO programa.\"OBRA13\" VALUES (1, 'X')");
  const std::string foreign = folder.file("OBRA13.TPS");
  storage.setFileName(CTR::info(), foreign);
  {
    Context ctx(storage);
    Status st = ctx.table<CTR>().open();
    EXPECT_EQ(st.code, err::InvalidDataFile) << st.text;
    EXPECT_NE(st.text.find("no es de Velmora"), std::string::npos) << st.text;
  }
  r = upgradeFile(storage, CTR::info(), foreign, versions);
  EXPECT_EQ(r.outcome, Outcome::Refused);
  EXPECT_NE(r.message.find("It is not posible to upgrade the file: "), std::string::npos)
      << r.message;
  EXPECT_EQ(ask("SELECT \"CTA\" FROM programa.\"OBRA13\""), "X");
}

TEST_F(ServerUpgrade, KilledOrRefusedHalfWayTheOldTableStaysWhole) {
  const int kWorks = 3000;
  writeOldWorks(storage, works, kWorks);
  auto oldCount = [&] { return ask("SELECT count(*) FROM programa.\"DATA1\""); };

  // Killed while copying: the server undoes everything it did.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    Storage own;
    own.setServer(connection, folder.path().string());
    FileUpgrade up(own, OBR::info(), works, versions);
    if (!up.start() || !up.step(500) || !up.step(500)) _exit(2);
    char b = char(up.copied() / 100);
    (void)!write(ready[1], &b, 1);
    pause();
    _exit(0);
  }
  char copied = 0;
  ASSERT_EQ(::read(ready[0], &copied, 1), 1);
  EXPECT_EQ(copied, 10);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]), close(ready[1]);
  EXPECT_EQ(layoutVersion(storage, OBR::info(), works), 1);
  EXPECT_EQ(oldCount(), std::to_string(kWorks));

  // Refused at its keys (two works with one code, written past the key):
  // the old table as it was, and the message says why.
  run("DROP INDEX programa.\"DATA1_CTA_KEY\"");
  run("CREATE TEMP TABLE twin AS SELECT * FROM programa.\"DATA1\" WHERE velmora_pos = 7;"
      "UPDATE twin SET velmora_pos = " +
      std::to_string(kWorks + 1) +
      ";"
      "INSERT INTO programa.\"DATA1\" OVERRIDING SYSTEM VALUE SELECT * FROM twin");
  UpgradeResult r = upgradeFile(storage, OBR::info(), works, versions);
  EXPECT_EQ(r.outcome, Outcome::Refused);
  EXPECT_NE(r.message.find("It is not posible to upgrade the file: "), std::string::npos)
      << r.message;
  EXPECT_EQ(layoutVersion(storage, OBR::info(), works), 1);
  EXPECT_EQ(oldCount(), std::to_string(kWorks + 1));
  EXPECT_EQ(ask("SELECT count(*) FROM pg_class WHERE relname LIKE '%#nuevo%'"), "0");

  // Mended, the next run converts every work.
  run("DELETE FROM programa.\"DATA1\" WHERE velmora_pos > " + std::to_string(kWorks));
  r = upgradeFile(storage, OBR::info(), works, versions);
  ASSERT_EQ(r.outcome, Outcome::Upgraded) << r.message;
  const std::vector<OBR> all = currentWorks(storage, works);
  ASSERT_EQ(all.size(), std::size_t(kWorks));
  EXPECT_EQ(all.back().CONTA[6].CC, 1100 + kWorks);
}

// A company whose catalogue is still in its version-1 layout goes up as it
// is; velmora actualiza then converts its table on the server, as it
// converts files.
TEST(ActualizaOnServer, AnOldCatalogueGoesUpAsItIsAndIsConvertedThereOnce) {
  test::TempFolder demo;
  Storage made;
  test::ServerDatabase server;
  const std::string connection = server.use(made, demo.path().string());
  ASSERT_FALSE(connection.empty());
  const std::string velmora = VELMORA_EXE, q = " '" + demo.path().string() + "'";
  auto r = test::runCommand(velmora + " demo" + q + " --size 5 --version 1 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  r = test::runCommand(velmora + " servidor sube" + q + " --conexion '" + connection + "' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  std::ofstream(demo.file("VELMORA.INI"), std::ios::app)
      << "\r\n[Servidor]\r\nConexion=" << connection << "\r\n";
  const std::string works = demo.file("DATA1.TPS");
  ASSERT_EQ(layoutVersion(made, OBR::info(), works), 1);
  {  // and comes down as it is
    test::TempFolder back;
    r = test::runCommand(velmora + " servidor baja '" + back.path().string() + "' --conexion '" +
                         connection + "' 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    Storage files;
    EXPECT_EQ(layoutVersion(files, OBR::info(), back.file("DATA1.TPS")), 1);
    auto rows = [&](const std::string& path) {
      const dict::TableInfo& v1 = *dict::findTable("V1_OBRA");
      files.setFileName(v1, path);
      Context ctx(files);
      Table& t = ctx.table(v1);
      std::vector<Record> out;
      EXPECT_TRUE(t.openReadOnly().ok());
      (void)t.setStart(nullptr);
      while (t.next().ok()) out.push_back(t.buffer());
      return out;
    };
    const std::vector<Record> down = rows(back.file("DATA1.TPS")), kept = rows(works);
    EXPECT_EQ(down.size(), 2u);
    EXPECT_TRUE(down == kept);
  }

  r = test::runCommand(velmora + " actualiza" + q);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("DATA1.TPS\tOBRA\tactualizado de la versión 1 a la 2\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("HOSP01/OBRA10.TPS\tPART\tsin cambios (versión 1)\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(layoutVersion(made, OBR::info(), works), 2);
  r = test::runCommand(velmora + " actualiza" + q + " HOSP01");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("DATA1.TPS\tOBRA\tsin cambios (versión 2)\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velmora::db
