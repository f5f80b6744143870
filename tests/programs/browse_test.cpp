// velmora browse: the window comes from velmora-ventanas beside the tool,
// which itself never loads Qt.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dictionary/storage.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

TEST(BrowseCommand, DrawnByTheWindowsProgramBesideTheTool) {
  auto ldd = test::runCommand("ldd " + std::string(VELMORA_EXE));
  ASSERT_EQ(ldd.status, 0);
  EXPECT_EQ(ldd.out.find("libQt"), std::string::npos) << ldd.out;

  test::TempFolder folder;
  std::string path = folder.file("DATA7.TPS");
  {
    db::Storage storage;
    storage.setFileName(*dict::findTable("PERS"), path);
    db::Context ctx(storage);
    db::Table& t = ctx.table("PERS");
    ASSERT_TRUE(t.open().ok());
    t.rec<PER>().CTA = 1;
    t.rec<PER>().NOMB = "PEÑA";
    ASSERT_TRUE(t.add().ok());
  }
  std::string png = folder.file("lista.png");
  auto r = test::runCommand("QT_QPA_PLATFORM=offscreen " + std::string(VELMORA_EXE) + " browse " +
                            path + " PERS --captura " + png + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  std::ifstream in(png, std::ios::binary);
  std::string magic(4, '\0');
  ASSERT_TRUE(in.read(magic.data(), 4));
  EXPECT_EQ(magic, "\x89PNG");

  // A tool installed without its windows program says so.
  fs::copy_file(VELMORA_EXE, folder.file("velmora"));
  r = test::runCommand(folder.file("velmora") + " browse " + path + " 2>&1");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("No se encuentra el programa de ventanas"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velmora
