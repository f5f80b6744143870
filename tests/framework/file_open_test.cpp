// Opening a table as the file managers do: an old layout upgraded with its
// progress window where the program converts files and refused with advice
// where it does not, and keys rebuilt once the user agrees.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <filesystem>

#include "dictionary/records.h"
#include "framework/file_open.h"
#include "tests/support/back_end.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class Uses : public Procedure {
 public:
  Uses(Program& p, db::Context& c, const char* label) : Procedure(p, c, window()) { uses(label); }
  static WindowDescription window() {
    WindowDescription w;
    w.procedure = "USA";
    w.title = "Usa";
    return w;
  }
};

class FileOpenOn : public ::testing::TestWithParam<test::BackEnd> {};

// On a company kept on the server the same happens to its table there.
TEST_P(FileOpenOn, OldLayoutsUpgradedOrRefusedWithAdviceAndKeysRebuiltOnRequest) {
  test::TempFolder folder;
  db::Storage storage;
  test::ServerDatabase server;
  if (GetParam() == test::BackEnd::Server) {
    ASSERT_FALSE(server.use(storage, folder.path().string()).empty());
  }
  MessageService messages;
  test::TestHost host;
  messages.setHost(&host);
  const std::string works = folder.file("DATA1.TPS");
  storage.setFileName(OBR::info(), works);
  {
    db::Context ctx(storage);
    db::Table& t = ctx.table<OBR>();
    ASSERT_TRUE(t.open().ok());
    t.rec<OBR>().CTA = "HOSP01";
    t.rec<OBR>().CARI = 7.5;
    ASSERT_TRUE(t.add().ok());
  }
  ASSERT_EQ(db::convertFile(storage, OBR::info(), works, 1).outcome,
            db::UpgradeResult::Outcome::Upgraded);
  ASSERT_EQ(db::layoutVersion(storage, OBR::info(), works), 1);

  // DUDORE: the catalogue's open error and the advice; the file stays old.
  Program dudore{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  db::Context ctx(storage);
  EXPECT_EQ(Uses(dudore, ctx, "OBRA").run(host), response::Cancelled);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Error de Acceso");
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0][2], "VOROVID PARA ACTUALIZARLO...");
  for (const std::string& line : host.warnings[0]) EXPECT_LE(line.size(), 40u) << line;
  EXPECT_EQ(db::layoutVersion(storage, OBR::info(), works), 1);

  // VOROVID: converted under the progress window, then opened.
  Program vorovid{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  vorovid.attached<FileUpgrades>() = {true, folder.file("File_Upg.TPS")};
  host.log.clear();
  Uses opened(vorovid, ctx, "OBRA");
  opened.run(host);
  EXPECT_EQ(host.boxes.size(), 1u);  // nothing more to tell
  EXPECT_EQ(host.log.front(), "abre PROGRESO");
  EXPECT_EQ(host.jobRunner.captions,
            (std::vector<std::string>{"Upgrading File From Version: 1 To Version: 2",
                                      "Building key(s). Please Wait..."}));
  EXPECT_NE(std::find(host.log.begin(), host.log.end(), "abre USA"), host.log.end());
  EXPECT_EQ(db::layoutVersion(storage, OBR::info(), works), 2);
  test::expectNoFilesOnServer(GetParam(), folder.path());
  if (GetParam() == test::BackEnd::Server) return;

  // Keys lost behind the program's back: asked, then rebuilt.
  {
    sqlite3* db = nullptr;
    sqlite3_open_v2(works.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::string pragmas = "PRAGMA key=\"" +
                          storage.rawKey("482719", db::Storage::saltFor("482719")) +
                          "\";PRAGMA cipher_page_size=4096;DROP INDEX \"OBR:CTA_KEY\";";
    ASSERT_EQ(sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close_v2(db);
  }
  host.buttons = {button::No};
  EXPECT_EQ(Uses(vorovid, ctx, "OBRA").run(host), response::Cancelled);
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1].title, "Clave Inválida");
  host.buttons = {button::Yes};
  host.log.clear();
  Uses(vorovid, ctx, "OBRA").run(host);
  EXPECT_EQ(host.log.front(),
            "mensaje: Clave Inválida: OBRA : Clave inválida. Clave debe ser reconstruida.");
  EXPECT_EQ(host.log[1], "abre USA");
}

INSTANTIATE_TEST_SUITE_P(, FileOpenOn,
                         ::testing::Values(test::BackEnd::Files, test::BackEnd::Server),
                         test::backEndName);

}  // namespace
}  // namespace velmora
