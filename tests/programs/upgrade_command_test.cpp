// velmora demo --version 1 and velmora actualiza, run as a user would.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dictionary/file_upgrade.h"
#include "dictionary/records.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

bool hasLine(const std::string& out, const std::string& line) {
  return out.find(line + "\n") != std::string::npos;
}

TEST(Actualiza, ConvertsTheOldCatalogueOnceAndSaysSoForEveryFile) {
  test::TempFolder folder;
  const fs::path dir = folder.path() / "empresa";
  const std::string q = "'" + dir.string() + "'";
  test::CommandResult demo = test::runVelmora("demo " + q + " --size 5 --version 1");
  ASSERT_EQ(demo.status, 0) << demo.out;
  db::Storage storage;
  const std::string works = (dir / "DATA1.TPS").string();
  ASSERT_EQ(db::layoutVersion(storage, OBR::info(), works), 1);
  EXPECT_FALSE(fs::exists(dir / "DATA1.V2"));

  test::CommandResult first = test::runVelmora("actualiza " + q, false);
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_TRUE(hasLine(first.out, "DATA1.TPS\tOBRA\tactualizado de la versión 1 a la 2"))
      << first.out;
  EXPECT_TRUE(hasLine(first.out, "DATA0.TPS\tCONTROL\tsin cambios (versión 1)")) << first.out;
  EXPECT_TRUE(hasLine(first.out, "HOSP01/OBRA10.TPS\tPART\tsin cambios (versión 1)")) << first.out;
  EXPECT_EQ(db::layoutVersion(storage, OBR::info(), works), 2);
  EXPECT_TRUE(fs::exists(dir / "DATA1.V1"));
  EXPECT_TRUE(fs::exists(dir / "File_Upg.TPS"));

  // Once is enough; one work only; a damaged file is refused and the run says so.
  test::CommandResult again = test::runVelmora("actualiza " + q + " HOSP01", false);
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_TRUE(hasLine(again.out, "DATA1.TPS\tOBRA\tsin cambios (versión 2)")) << again.out;
  std::ofstream(dir / "HOSP01" / "OBRA12.TPS", std::ios::binary) << std::string(4096, 'x');
  test::CommandResult damaged = test::runVelmora("actualiza " + q + " HOSP01", false);
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.out.find("HOSP01/OBRA12.TPS\tCONT\trechazado: It is not posible to upgrade "
                             "the file: "),
            std::string::npos)
      << damaged.out;
  EXPECT_EQ(test::runVelmora("actualiza " + q + " NOPE").status, 2);
}

}  // namespace
}  // namespace velmora
