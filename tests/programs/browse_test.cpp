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
  std::string png = folder.file("lista.png"), form = folder.file("ficha.png");
  auto r = test::runCommand("QT_QPA_PLATFORM=offscreen " + std::string(VELMORA_EXE) + " browse " +
                            path + " PERS --captura " + png + " --captura-ficha " + form +
                            " --pestana-ficha 3 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  for (const std::string& file : {png, form}) {
    std::ifstream in(file, std::ios::binary);
    unsigned char head[24] = {};
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(head), 24)) << file;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head), 4), "\x89PNG");
    // The form of a user, with nine arrays of twenty access levels, fits a
    // 1366 x 768 screen: its pages scroll instead of growing.
    auto big = [&](int at) {
      return head[at] << 24 | head[at + 1] << 16 | head[at + 2] << 8 | head[at + 3];
    };
    EXPECT_LE(big(16), 1366) << file;
    EXPECT_LE(big(20), 768) << file;
  }

  // A tool installed without its windows program says so.
  fs::copy_file(VELMORA_EXE, folder.file("velmora"));
  r = test::runCommand(folder.file("velmora") + " browse " + path + " 2>&1");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("No se encuentra el programa de ventanas"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velmora
