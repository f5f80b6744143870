// velmora dump on real table files, good and bad.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
