// The upgrade of a table file written in an older layout: values kept,
// versions recorded, bad files refused untouched, and a run killed at any
// moment leaving a complete table.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "dictionary/file_upgrade.h"
#include "dictionary/records.h"
#include "tests/dictionary/old_works.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

namespace fs = std::filesystem;
using Outcome = UpgradeResult::Outcome;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(FileUpgrade, VersionOneWorksKeepEveryValueAndCurrentFilesAreOnlyRecorded) {
  test::TempFolder folder;
  Storage storage;
  const std::string works = folder.file("DATA1.TPS"), versions = folder.file("File_Upg.TPS");
  writeOldWorks(storage, works, 3);
  EXPECT_EQ(layoutVersion(storage, OBR::info(), works), 1);

  UpgradeResult r = upgradeFile(storage, OBR::info(), works, versions);
  ASSERT_EQ(r.outcome, Outcome::Upgraded) << r.message;
  EXPECT_EQ(r.from, 1);
  EXPECT_EQ(r.to, 2);
  EXPECT_TRUE(r.message.empty()) << r.message;
  EXPECT_TRUE(fs::exists(backupPath(works, 1)));
  EXPECT_FALSE(fs::exists(folder.file("DATA1.UPG")));
  std::vector<OBR> after = currentWorks(storage, works);
  ASSERT_EQ(after.size(), 3u);
  for (int n = 1; n <= 3; ++n) {
    const OBR& w = after[std::size_t(n - 1)];
    Record old = oldWork(n);
    EXPECT_EQ(w.CTA, "OB" + std::to_string(n));
    EXPECT_EQ(w.OBRA, "PUENTE SEÑORÍO " + std::to_string(n));
    EXPECT_EQ(w.TEXT, "AÑO");
    EXPECT_EQ(w.CARI, 12.5 + n);
    EXPECT_EQ(w.LIST, n % 3);
    EXPECT_EQ(w.TOBR, 1234567.89 * n);
    EXPECT_EQ(w.DICO, "CONTA" + std::to_string(n));
    EXPECT_EQ(w.CONTA[6].CC, 1100 + n);
    EXPECT_EQ(w.POAU[9], 1);
    EXPECT_EQ(w.ACHO, 360001);
    EXPECT_EQ(w.POMO, 0.0);
    EXPECT_EQ(w.POMA, 0.0);
  }
  EXPECT_EQ(recordedVersion(storage, versions, "OBRA", upper(works)), 2);

  // Current now: opened without conversion and without writing the version file.
  const auto stamp = fs::last_write_time(versions);
  const std::string bytes = slurp(versions);
  r = upgradeFile(storage, OBR::info(), works, versions);
  EXPECT_EQ(r.outcome, Outcome::Kept);
  EXPECT_EQ(r.from, 2);
  EXPECT_EQ(slurp(versions), bytes);
  EXPECT_EQ(fs::last_write_time(versions), stamp);

  // A current table without a version record is only recorded; a missing
  // file is left for the open to create.
  const std::string items = folder.file("OBRA10.TPS");
  storage.setFileName(PAR::info(), items);
  {
    Context ctx(storage);
    ASSERT_TRUE(ctx.table<PAR>().open().ok());
  }
  EXPECT_EQ(upgradeFile(storage, PAR::info(), items, versions).outcome, Outcome::Kept);
  EXPECT_EQ(recordedVersion(storage, versions, "PART", upper(items)), 1);
  EXPECT_EQ(upgradeFile(storage, CTR::info(), folder.file("OBRA12.TPS"), versions).outcome,
            Outcome::Missing);
  EXPECT_FALSE(fs::exists(folder.file("OBRA12.TPS")));
}

TEST(FileUpgrade, BadFilesAreRefusedWithTheMessageAndLeftUntouched) {
  test::TempFolder folder;
  Storage storage;
  const std::string works = folder.file("DATA1.TPS"), versions = folder.file("File_Upg.TPS");
  const std::string prefix = "It is not posible to upgrade the file: ";

  // A foreign file under the table's name.
  {
    std::ofstream(works, std::ios::binary) << std::string(4096, 'x');
    UpgradeResult r = upgradeFile(storage, OBR::info(), works, versions);
    EXPECT_EQ(r.outcome, Outcome::Refused);
    EXPECT_EQ(r.title, "File Upgrade Error");
    EXPECT_EQ(r.message.rfind(prefix + upper(works) + "|Unrecoverable error :", 0), 0u)
        << r.message;
    EXPECT_EQ(slurp(works), std::string(4096, 'x'));
    fs::remove(works);
  }
  writeOldWorks(storage, works, 2);
  const std::string old = slurp(works);

  // A damaged version file: nothing converted.
  {
    std::ofstream(versions, std::ios::binary) << std::string(2048, '\1');
    UpgradeResult r = upgradeFile(storage, OBR::info(), works, versions);
    EXPECT_EQ(r.outcome, Outcome::Refused);
    EXPECT_EQ(r.message.rfind(prefix + upper(versions), 0), 0u) << r.message;
    EXPECT_EQ(slurp(works), old);
    fs::remove(versions);
  }
  // A version the program does not know yet.
  {
    storage.setFileName(L_UPG::info(), versions);
    Context ctx(storage);
    Table& t = ctx.table<L_UPG>();
    ASSERT_TRUE(t.open().ok());
    t.rec<L_UPG>().FILELABEL = "OBRA";
    t.rec<L_UPG>().FILENAME = upper(works);
    t.rec<L_UPG>().FILEVERSION = 3;
    ASSERT_TRUE(t.add().ok());
    t.close();
    UpgradeResult r = upgradeFile(storage, OBR::info(), works, versions);
    EXPECT_EQ(r.outcome, Outcome::Refused);
    EXPECT_NE(r.message.find("más nueva que la de este programa (2)"), std::string::npos)
        << r.message;
    EXPECT_EQ(slurp(works), old);
    fs::remove(versions);
  }
  // No room for the new file: the old one stays and the message names it.
  fs::remove(works);
  writeOldWorks(storage, works, 400);
  const std::string bigger = slurp(works);
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{rlim_t(bigger.size() / 2), rlim_t(bigger.size() / 2)};
    setrlimit(RLIMIT_FSIZE, &limit);
    Storage own;
    UpgradeResult r = upgradeFile(own, OBR::info(), works, versions);
    bool named = r.message.find("DATA1") != std::string::npos;
    _exit(r.outcome == Outcome::Refused && named ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(slurp(works), bigger);
  EXPECT_FALSE(fs::exists(folder.file("DATA1.UPG")));

  // A record the layout cannot hold, written behind the program's back.
  {
    sqlite3* db = nullptr;
    sqlite3_open_v2(works.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::string sql = "PRAGMA key=\"" + storage.rawKey("482719", Storage::saltFor("482719")) +
                      "\";PRAGMA cipher_page_size=4096;UPDATE OBRA SET LIST=999 WHERE rowid=7";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close_v2(db);
  }
  const std::string damaged = slurp(works);
  UpgradeResult r = upgradeFile(storage, OBR::info(), works, versions);
  EXPECT_EQ(r.outcome, Outcome::Refused);
  EXPECT_NE(r.message.find("no es un BYTE (registro 7)"), std::string::npos) << r.message;
  EXPECT_EQ(slurp(works), damaged);

  // A folder nobody may write in.
  fs::remove(works);
  writeOldWorks(storage, works, 3);
  fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec);
  r = upgradeFile(storage, OBR::info(), works, versions);
  fs::permissions(folder.path(), fs::perms::owner_all);
  EXPECT_EQ(r.outcome, Outcome::Refused);
  EXPECT_NE(r.message.find("es de solo lectura"), std::string::npos) << r.message;
  EXPECT_EQ(layoutVersion(storage, OBR::info(), works), 1);
  r = upgradeFile(storage, OBR::info(), works, versions);
  EXPECT_EQ(r.outcome, Outcome::Upgraded) << r.message;
}

TEST(FileUpgrade, KilledAtAnyMomentARerunEndsWithTheCompleteTable) {
  test::TempFolder folder;
  Storage storage;
  const int kWorks = 20000;
  const std::string pristine = folder.file("V1.TPS"), works = folder.file("DATA1.TPS"),
                    versions = folder.file("File_Upg.TPS");
  writeOldWorks(storage, pristine, kWorks);

  auto upgradeInChild = [&] {
    pid_t child = fork();
    if (child == 0) {
      Storage own;
      UpgradeResult r = upgradeFile(own, OBR::info(), works, versions);
      _exit(r.outcome == Outcome::Refused ? 1 : 0);
    }
    return child;
  };
  auto expectComplete = [&] {
    std::vector<OBR> all = currentWorks(storage, works);
    ASSERT_EQ(all.size(), std::size_t(kWorks));
    EXPECT_EQ(all.back().CTA, "OB" + std::to_string(kWorks));
    EXPECT_EQ(all.back().CONTA[6].CC, 1100 + kWorks);
    EXPECT_EQ(recordedVersion(storage, versions, "OBRA", upper(works)), 2);
  };

  // How long a whole run takes, then kills spread over it.
  fs::copy_file(pristine, works, fs::copy_options::overwrite_existing);
  auto t0 = std::chrono::steady_clock::now();
  int status = 0;
  waitpid(upgradeInChild(), &status, 0);
  const auto whole = std::chrono::steady_clock::now() - t0;
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  expectComplete();

  std::mt19937 random(24);
  for (int run = 0; run < 6; ++run) {
    SCOPED_TRACE(run);
    fs::copy_file(pristine, works, fs::copy_options::overwrite_existing);
    fs::remove(versions);
    pid_t child = upgradeInChild();
    std::this_thread::sleep_for(whole * std::uniform_real_distribution<>(0.0, 1.1)(random));
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    const int layout = layoutVersion(storage, OBR::info(), works);
    EXPECT_TRUE(layout == 1 || layout == 2) << layout;
    UpgradeResult r = upgradeFile(storage, OBR::info(), works, versions);
    EXPECT_NE(r.outcome, Outcome::Refused) << r.message;
    expectComplete();
  }

  // Two stations at once: one converts, the other finds it converted.
  fs::copy_file(pristine, works, fs::copy_options::overwrite_existing);
  fs::remove(versions);
  pid_t a = upgradeInChild(), b = upgradeInChild();
  int sa = 0, sb = 0;
  waitpid(a, &sa, 0);
  waitpid(b, &sb, 0);
  EXPECT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0);
  EXPECT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0);
  expectComplete();
}

}  // namespace
}  // namespace velmora::db

namespace velmora::db {
namespace {

// Stations whose catalogue is a link to one shared file: the first upgrade
// converts the shared file in its own folder, the backup a real file beside
// it, and every other station finds it current.
TEST(FileUpgrade, ALinkedFileIsUpgradedWhereItLivesOnce) {
  test::TempFolder folder;
  Storage storage;
  fs::create_directories(folder.path() / "compartida");
  fs::create_directories(folder.path() / "estacion1");
  fs::create_directories(folder.path() / "estacion2");
  const std::string shared = (folder.path() / "compartida" / "DATA1.TPS").string();
  writeOldWorks(storage, shared, 4);
  const std::string one = (folder.path() / "estacion1" / "DATA1.TPS").string();
  const std::string two = (folder.path() / "estacion2" / "DATA1.TPS").string();
  fs::create_symlink("../compartida/DATA1.TPS", one);
  fs::create_symlink(shared, two);

  UpgradeResult r = upgradeFile(storage, OBR::info(), one, folder.file("estacion1/File_Upg.TPS"));
  ASSERT_EQ(r.outcome, Outcome::Upgraded) << r.message;
  EXPECT_TRUE(fs::is_symlink(one));
  EXPECT_EQ(layoutVersion(storage, OBR::info(), shared), 2);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(backupPath(shared, 1))));
  EXPECT_EQ(layoutVersion(storage, OBR::info(), backupPath(shared, 1)), 1);
  EXPECT_FALSE(fs::exists(fs::symlink_status(backupPath(one, 1))));
  EXPECT_EQ(currentWorks(storage, one).size(), 4u);

  r = upgradeFile(storage, OBR::info(), two, folder.file("estacion2/File_Upg.TPS"));
  EXPECT_EQ(r.outcome, Outcome::Kept) << r.message;
  EXPECT_TRUE(fs::is_symlink(two));

  // A link to nothing is named as such.
  const std::string dangling = folder.file("estacion2/DATA9.TPS");
  fs::create_symlink(folder.file("compartida/NADA.TPS"), dangling);
  r = upgradeFile(storage, OBR::info(), dangling, {});
  EXPECT_NE(r.outcome, Outcome::Upgraded);
}

}  // namespace
}  // namespace velmora::db

namespace velmora::db {
namespace {

void rawExec(Storage& storage, const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  std::string all = "PRAGMA key=\"" + storage.rawKey("482719", Storage::saltFor("482719")) +
                    "\";PRAGMA cipher_page_size=4096;" + sql;
  EXPECT_EQ(sqlite3_exec(db, all.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db) << " " << sql;
  sqlite3_close_v2(db);
}

// Most rows are copied as they are; a value the record copy would change
// (a text past its width, trailing blanks) or refuse must come out exactly
// as reading and storing the record makes it, whichever batch it falls in.
TEST(FileUpgrade, ValuesTheRecordCopyChangesOrRefusesAreTreatedAsItDoes) {
  test::TempFolder folder;
  Storage storage;
  const std::string works = folder.file("DATA1.TPS"), versions = folder.file("File_Upg.TPS");
  const std::string sixty(60, 'X');
  const std::string longEnye = [] {
    std::string s;
    for (int i = 0; i < 90; ++i) s += "Ñ";
    return s;
  }();
  writeOldWorks(storage, works, 12);
  rawExec(storage, works,
          "UPDATE OBRA SET OBRA='" + sixty + "', TEXT='AÑO   ' WHERE rowid=2;" +
              "UPDATE OBRA SET DICO='" + longEnye + "' WHERE rowid=5;" +
              "UPDATE OBRA SET CTA='OB9  ', AOBR='   ' WHERE rowid=9;");
  {
    FileUpgrade up(storage, OBR::info(), works, versions);
    ASSERT_TRUE(up.start());
    while (up.step(4)) {
    }
    ASSERT_EQ(up.result().outcome, Outcome::Upgraded) << up.result().message;
    EXPECT_EQ(up.copied(), 12);
  }
  std::vector<OBR> after = currentWorks(storage, works);
  ASSERT_EQ(after.size(), 12u);
  EXPECT_EQ(after[1].OBRA, sixty.substr(0, 50));
  EXPECT_EQ(after[1].TEXT, "AÑO");
  EXPECT_EQ(after[4].DICO, longEnye.substr(0, 80 * 2));
  EXPECT_EQ(after[8].CTA, "OB9");
  EXPECT_EQ(after[8].AOBR, "");
  for (int n : {1, 3, 4, 6, 7, 8, 10, 11, 12}) {
    const OBR& w = after[std::size_t(n - 1)];
    EXPECT_EQ(w.OBRA, "PUENTE SEÑORÍO " + std::to_string(n));
    EXPECT_EQ(w.CARI, 12.5 + n);
    EXPECT_EQ(w.CONTA[6].CC, 1100 + n);
    EXPECT_EQ(w.POMO, 0.0);
  }
  // The cut and trimmed texts are stored as the engine stores them: the
  // file opens and finds them by key.
  {
    storage.setFileName(OBR::info(), works);
    Context ctx(storage);
    Table& t = ctx.table<OBR>();
    ASSERT_TRUE(t.open().ok());
    t.rec<OBR>().CTA = "OB9";
    EXPECT_TRUE(t.get(keys::OBR_CTA_KEY).ok());
  }

  // Each refusal names the record and the reason, and leaves the file.
  struct Bad {
    std::string sql, why;
  };
  const Bad bad[] = {
      {"UPDATE OBRA SET OBRA='PUENTE ☃' WHERE rowid=3", "tiene caracteres inválidos (registro 3)"},
      {"UPDATE OBRA SET \"CC[2]\"=2.5 WHERE rowid=4", "no es un LONG (registro 4)"},
      {"UPDATE OBRA SET LIST=-1 WHERE rowid=10", "no es un BYTE (registro 10)"},
      {"UPDATE OBRA SET TOBR='abc' WHERE rowid=6", "no es un REAL (registro 6)"},
      {"UPDATE OBRA SET TOBR=9e999 WHERE rowid=8", "no acepta un valor no finito (registro 8)"},
      {"UPDATE OBRA SET DIRE=x'00ff' WHERE rowid=11", "no es un texto (registro 11)"},
      {"UPDATE OBRA SET ACHO='12abc' WHERE rowid=12", "no es un LONG (registro 12)"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.sql);
    fs::remove(works);
    fs::remove(backupPath(works, 1));
    writeOldWorks(storage, works, 12);
    rawExec(storage, works, b.sql);
    const std::string before = slurp(works);
    FileUpgrade up(storage, OBR::info(), works, versions);
    ASSERT_TRUE(up.start());
    while (up.step(5)) {
    }
    EXPECT_EQ(up.result().outcome, Outcome::Refused);
    EXPECT_NE(up.result().message.find(b.why), std::string::npos) << up.result().message;
    EXPECT_TRUE(slurp(works) == before) << "the file was changed";
    EXPECT_FALSE(fs::exists(folder.file("DATA1.UPG")));
  }

  // Converting to a layout without POMO and POMA still reads them: a
  // value no record holds is refused, though it would not be kept.
  fs::remove(works);
  fs::remove(backupPath(works, 1));
  writeOldWorks(storage, works, 12);
  ASSERT_EQ(upgradeFile(storage, OBR::info(), works, versions).outcome, Outcome::Upgraded);
  rawExec(storage, works, "UPDATE OBRA SET POMA='x' WHERE rowid=7");
  UpgradeResult r = convertFile(storage, OBR::info(), works, 1);
  EXPECT_EQ(r.outcome, Outcome::Refused);
  EXPECT_NE(r.message.find("no es un REAL (registro 7)"), std::string::npos) << r.message;
  rawExec(storage, works, "UPDATE OBRA SET POMA=3.5 WHERE rowid=7");
  r = convertFile(storage, OBR::info(), works, 1);
  ASSERT_EQ(r.outcome, Outcome::Upgraded) << r.message;
  EXPECT_EQ(layoutVersion(storage, OBR::info(), works), 1);
}

}  // namespace
}  // namespace velmora::db
