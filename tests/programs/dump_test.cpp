// velmora dump on real table files, good and bad.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "dictionary/file_upgrade.h"
#include "dictionary/records.h"
#include "dictionary/storage.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

TEST(Dump, PrintsRecordsAsCsvAndRefusesBadFiles) {
  test::TempFolder folder;
  std::string path = folder.file("DATA7.TPS");
  {
    db::Storage storage;
    storage.setFileName(*dict::findTable("PERS"), path);
    db::Context ctx(storage);
    db::Table& t = ctx.table("PERS");
    ASSERT_TRUE(t.open().ok());
    auto& p = t.rec<PER>();
    p.CTA = 1;
    p.NOMB = "PEÑA, \"EL JEFE\"";
    p.ESTI[0] = 3;
    p.ESTI[19] = 5;
    ASSERT_TRUE(t.add().ok());
    t.clear();
    t.rec<PER>().CTA = 2;
    t.rec<PER>().NOMB = "LUZ";
    ASSERT_TRUE(t.add().ok());
  }
  std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  for (std::string args : {"dump " + path, "dump " + path + " PERS"}) {
    auto r = test::runVelmora(args, false);
    ASSERT_EQ(r.status, 0) << r.out;
    std::string header = r.out.substr(0, r.out.find('\n'));
    EXPECT_EQ(header.rfind("PER:CTA,PER:NOMB,PER:LOGIN,PER:PASS,PER:PRES[1],PER:PRES[2],", 0), 0u)
        << header;
    EXPECT_NE(header.find(",PER:ESTI[20],"), std::string::npos);
    EXPECT_NE(header.find(",PER:EQUI[20],"), std::string::npos);
    EXPECT_EQ(header.substr(header.size() - 26), "PER:USUA,PER:ACFE,PER:ACHO");
    std::string first = r.out.substr(header.size() + 1);
    EXPECT_EQ(first.rfind("1,\"PEÑA, \"\"EL JEFE\"\"\",,,", 0), 0u) << first;
    EXPECT_NE(r.out.find("\n2,LUZ,"), std::string::npos);
  }

  // A damaged file, a missing one, a wrong table: a clear message, status 2.
  std::string junk = folder.file("JUNK.TPS");
  std::ofstream(junk) << std::string(4096, 'z');
  auto r = test::runVelmora("dump " + junk);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("Archivo de datos inválido"), std::string::npos) << r.out;
  r = test::runVelmora("dump " + folder.file("NADA.TPS"));
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(std::filesystem::exists(folder.file("NADA.TPS")));
  r = test::runVelmora("dump " + path + " PART");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("Declaración de registro inválida"), std::string::npos) << r.out;
  r = test::runVelmora("dump " + path + " NOPE");
  EXPECT_EQ(r.status, 2);
  // Folders are named as what they are, for dump and for a script alike.
  r = test::runVelmora("dump " + folder.path().string());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("es una carpeta"), std::string::npos) << r.out;
  r = test::runVelmora("script " + folder.path().string());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("es una carpeta"), std::string::npos) << r.out;

  // The tool's help and its refusals are Spanish too.
  r = test::runVelmora("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Uso:"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Usage"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Options"), std::string::npos) << r.out;
  r = test::runVelmora("");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("Error: falta la orden"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A writer killed mid-write (or stopped by a full disk) leaves its journal
// beside the file, with changed pages already in it: dump identifies the
// file, plays the journal back and prints the records as they were before
// that write. Where the file cannot be written, it says so, not "damaged".
// A works catalogue still in its version-1 layout: its records under the
// names of that layout, without the fields it lacks.
TEST(Dump, AFileOfAnOlderLayoutIsShownInIt) {
  test::TempFolder folder;
  const std::string path = folder.file("DATA1.TPS");
  db::Storage storage;
  storage.setFileName(OBR::info(), path);
  {
    db::Context ctx(storage);
    db::Table& t = ctx.table<OBR>();
    ASSERT_TRUE(t.open().ok());
    t.rec<OBR>().CTA = "HOSP01";
    t.rec<OBR>().OBRA = "HOSPITAL";
    ASSERT_TRUE(t.add().ok());
  }
  ASSERT_EQ(db::convertFile(storage, OBR::info(), path, 1).outcome,
            db::UpgradeResult::Outcome::Upgraded);
  auto r = test::runVelmora("dump " + path, false);
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string header = r.out.substr(0, r.out.find('\n'));
  EXPECT_EQ(header.rfind("V1_OBR:CTA,", 0), 0u) << header;
  EXPECT_EQ(header.find("POMO"), std::string::npos) << header;
  EXPECT_NE(r.out.find("\nHOSP01,HOSPITAL,"), std::string::npos) << r.out;
}

TEST(Dump, AFileLeftInterruptedIsRecoveredNotCalledDamaged) {
  test::TempFolder folder;
  const std::string path = folder.file("OBRA14.TPS");
  {
    db::Storage storage;
    storage.setFileName(*dict::findTable("DPOL"), path);
    db::Context ctx(storage);
    db::Table& t = ctx.table("DPOL");
    ASSERT_TRUE(t.open().ok() && t.stream().ok());
    for (int i = 0; i < 20000; ++i) {
      t.clear();
      t.rec<DPO>().CTA = std::int16_t(1 + i % 30000);
      ASSERT_TRUE(t.add().ok());
    }
    ASSERT_TRUE(t.flush().ok());
  }
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t pid = fork();
  if (pid == 0) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr)) _exit(1);
    db::Storage s;
    const std::string key = s.rawKey("482719", db::Storage::saltFor("482719"));
    const std::string sql = "PRAGMA key=\"" + key +
                            "\";PRAGMA cipher_page_size=4096;PRAGMA cache_size=2;"
                            "BEGIN IMMEDIATE;UPDATE DPOL SET PART=PART+1;";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) _exit(2);
    char b = 1;
    if (write(ready[1], &b, 1) != 1) _exit(3);
    pause();
    _exit(0);
  }
  char b = 0;
  ASSERT_EQ(::read(ready[0], &b, 1), 1);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(ready[0]), close(ready[1]);
  ASSERT_GT(std::filesystem::file_size(path + "-journal"), 0u);

  // In a folder nobody may write: told what happened and how it mends.
  namespace fs = std::filesystem;
  fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::remove);
  auto r = test::runVelmora("dump " + path);
  fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out.find("dañado"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("interrumpido; se recupera al abrirlo para escribir"), std::string::npos)
      << r.out;

  r = test::runVelmora("dump " + path, false);
  ASSERT_EQ(r.status, 0) << r.out;
  std::size_t rows = 0, changed = 0;
  std::size_t at = r.out.find('\n');
  while (at != std::string::npos && at + 1 < r.out.size()) {
    const std::size_t next = r.out.find('\n', at + 1);
    const std::string line = r.out.substr(at + 1, next - at - 1);
    ++rows;
    // CTA,PART,...: the dead writer's PART+1 is undone.
    const std::size_t c1 = line.find(','), c2 = line.find(',', c1 + 1);
    if (line.substr(c1 + 1, c2 - c1 - 1) != "0") ++changed;
    at = next;
  }
  EXPECT_EQ(rows, 20000u);
  EXPECT_EQ(changed, 0u);
  EXPECT_FALSE(fs::exists(path + "-journal") && fs::file_size(path + "-journal") > 0);
}

}  // namespace
}  // namespace velmora
