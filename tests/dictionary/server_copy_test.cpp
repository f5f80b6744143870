// A company up to the server and back down: every record of every file at
// its position on the server, the files that come down equal to the
// originals, and every refusal changes nothing, on the server or on disk.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "dictionary/records.h"
#include "dictionary/server_copy.h"
#include "dictionary/storage.h"
#include "tests/support/back_end.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

namespace fs = std::filesystem;

// Every record of a table, with its position, in record order.
std::vector<std::pair<std::int64_t, Record>> rows(Storage& storage, const dict::TableInfo& t,
                                                  const std::string& path) {
  storage.setFileName(t, path);
  Context ctx(storage);
  Table& table = ctx.table(t);
  std::vector<std::pair<std::int64_t, Record>> out;
  Status st = table.openReadOnly();
  EXPECT_TRUE(st.ok()) << path << ": " << st.text;
  if (!st) return out;
  st = table.setStart(nullptr);
  while (st && (st = table.next())) out.emplace_back(table.position(), table.buffer());
  EXPECT_EQ(st.code, err::NoRecord) << st.text;
  return out;
}

std::vector<Record> records(Storage& storage, const dict::TableInfo& t, const std::string& path) {
  std::vector<Record> out;
  for (auto& [position, r] : rows(storage, t, path)) out.push_back(r);
  return out;
}

class Company : public ::testing::Test {
 protected:
  // PART in the program folder (one record deleted: a gap of positions),
  // CONT and a month's POLI in the folder of work OBRA1.
  void SetUp() override {
    fs::create_directories(folder.path() / "OBRA1");
    Storage files;
    Context ctx(files);
    files.setFileName(PAR::info(), folder.file("PART.TPS"));
    files.setFileName(CTR::info(), folder.file("OBRA1/CONT.TPS"));
    files.setFileName(POL::info(), folder.file("OBRA1/POLENE.TPS"));
    Table& part = ctx.table<PAR>();
    Table& cont = ctx.table<CTR>();
    Table& poli = ctx.table<POL>();
    ASSERT_TRUE(part.open() && cont.open() && poli.open());
    for (int i = 1; i <= 30; ++i) {
      part.clear();
      part.rec<PAR>().CONC = i;
      part.rec<PAR>().TEXT = "PARTIDA Ñ " + std::to_string(i);
      part.rec<PAR>().TPAG = i * 123.45;
      ASSERT_TRUE(part.add().ok());
    }
    ASSERT_TRUE(part.removeByPosition(7).ok());
    for (int i = 1; i <= 3; ++i) {
      cont.clear();
      cont.rec<CTR>().CTA = std::int16_t(i);
      cont.rec<CTR>().NOMB = "CONTRATISTA " + std::to_string(i);
      ASSERT_TRUE(cont.add().ok());
    }
    poli.rec<POL>().CTA = 4;
    ASSERT_TRUE(poli.add().ok());
  }
  const std::map<std::string, const dict::TableInfo*> tables = {{"PART.TPS", &PAR::info()},
                                                                {"OBRA1/CONT.TPS", &CTR::info()},
                                                                {"OBRA1/POLENE.TPS", &POL::info()}};

  test::TempFolder folder;
};

TEST_F(Company, UpWithItsPositionsAndDownEqualRefusalsChangeNothing) {
  Storage made;
  test::ServerDatabase server;
  const std::string connection = server.use(made, folder.path().string());
  ASSERT_FALSE(connection.empty());
  std::vector<std::string> told;
  ASSERT_TRUE(
      server::upload(connection, folder.path().string(), "", [&](const server::CopiedTable& t) {
        told.push_back(t.shown + " " + std::to_string(t.records));
      }).ok());
  EXPECT_EQ(told,
            (std::vector<std::string>{"OBRA1/CONT.TPS 3", "OBRA1/POLENE.TPS 1", "PART.TPS 29"}));

  // On the server, the files' names read the same records at the same
  // positions; a new record numbers on past the highest.
  Storage files, onServer;  // the same names, on either back end
  onServer.setServer(connection, folder.path().string());
  for (const auto& [name, table] : tables) {
    SCOPED_TRACE(name);
    const auto mine = rows(files, *table, folder.file(name));
    const auto theirs = rows(onServer, *table, folder.file(name));
    ASSERT_EQ(mine.size(), theirs.size());
    for (std::size_t i = 0; i < mine.size(); ++i) {
      EXPECT_EQ(mine[i].first, theirs[i].first);
      EXPECT_TRUE(mine[i].second == theirs[i].second) << i;
    }
  }
  {
    onServer.setFileName(PAR::info(), folder.file("PART.TPS"));
    Context ctx(onServer);
    Table& part = ctx.table<PAR>();
    ASSERT_TRUE(part.open().ok());
    part.rec<PAR>().CONC = 99;
    ASSERT_TRUE(part.add().ok());
    EXPECT_EQ(part.position(), 31);
  }

  // Up again: the tables are there already; nothing is written.
  Status again = server::upload(connection, folder.path().string(), "", {});
  EXPECT_EQ(again.code, err::InvalidDataFile);
  EXPECT_NE(again.text.find("ya tiene registros"), std::string::npos) << again.text;
  EXPECT_EQ(records(onServer, PAR::info(), folder.file("PART.TPS")).size(), 30u);

  // Down into another folder: the same records, file for file; the work's
  // folder made. Down again: refused over files that exist, nothing left.
  test::TempFolder other;
  ASSERT_TRUE(server::download(connection, other.path().string(), "", {}).ok());
  for (const auto& [name, table] : tables) {
    SCOPED_TRACE(name);
    auto before = records(files, *table, folder.file(name));
    if (name == "PART.TPS") before.push_back(records(onServer, *table, folder.file(name)).back());
    EXPECT_TRUE(before == records(files, *table, other.file(name)));
  }
  Status over = server::download(connection, other.path().string(), "", {});
  EXPECT_EQ(over.code, err::InvalidDataFile);
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(other.path()))
    if (e.is_regular_file()) left.push_back(e.path().lexically_relative(other.path()).string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"OBRA1/CONT.TPS", "OBRA1/POLENE.TPS", "PART.TPS"}));

  // One work only, down into a third folder.
  test::TempFolder third;
  ASSERT_TRUE(server::download(connection, third.path().string(), "OBRA1", {}).ok());
  EXPECT_TRUE(fs::exists(third.path() / "OBRA1" / "CONT.TPS"));
  EXPECT_FALSE(fs::exists(third.path() / "PART.TPS"));
}

TEST_F(Company, AForeignFileOrNoServerStopsTheUploadBeforeAnything) {
  fs::create_directories(folder.path() / "OBRA2");
  std::ofstream(folder.file("OBRA2/BASURA.TPS")) << std::string(4096, 'x');
  Storage made;
  test::ServerDatabase server;
  const std::string connection = server.use(made, folder.path().string());
  ASSERT_FALSE(connection.empty());
  Status st = server::upload(connection, folder.path().string(), "", {});
  EXPECT_FALSE(st.ok());
  EXPECT_NE(st.text.find("BASURA.TPS"), std::string::npos) << st.text;
  // Nothing is on the server: there is nothing to bring down.
  test::TempFolder other;
  EXPECT_EQ(server::download(connection, other.path().string(), "", {}).code, err::FileNotFound);

  // One folder only goes up without the foreign one.
  ASSERT_TRUE(server::upload(connection, folder.path().string(), "OBRA1", {}).ok());

  // A server that is not there is named.
  Status away = server::upload("host=/nonexistent dbname=x", folder.path().string(), "OBRA1", {});
  EXPECT_FALSE(away.ok());
  EXPECT_NE(away.text.find("No se pudo conectar con el servidor"), std::string::npos) << away.text;
}

// The demo company through the tool: up, then down into an empty folder;
// every file's dump equals the original's.
TEST(CompanyTool, DemoUpAndDownGivesEqualDumps) {
  test::TempFolder demo, back;
  Storage made;
  test::ServerDatabase server;
  const std::string connection = server.use(made, demo.path().string());
  ASSERT_FALSE(connection.empty());
  const std::string velmora = VELMORA_EXE;
  auto r = test::runCommand(velmora + " demo '" + demo.path().string() + "' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  r = test::runCommand(velmora + " servidor sube '" + demo.path().string() + "' --conexion '" +
                       connection + "' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Subido al servidor."), std::string::npos) << r.out;
  r = test::runCommand(velmora + " servidor baja '" + back.path().string() + "' --conexion '" +
                       connection + "' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;

  int compared = 0;
  for (const auto& e : fs::recursive_directory_iterator(demo.path())) {
    if (!e.is_regular_file() || e.path().extension() != ".TPS") continue;
    const fs::path twin = back.path() / e.path().lexically_relative(demo.path());
    SCOPED_TRACE(twin.string());
    ASSERT_TRUE(fs::exists(twin));
    auto a = test::runCommand(velmora + " dump '" + e.path().string() + "' 2>&1");
    auto b = test::runCommand(velmora + " dump '" + twin.string() + "' 2>&1");
    EXPECT_EQ(a.status, 0) << a.out;
    EXPECT_EQ(a.out, b.out);
    ++compared;
  }
  EXPECT_GT(compared, 10);

  // The tool's work commands on the company kept on the server say what
  // they say on its files: the audit of both programs, and a report.
  test::TempFolder onFiles;
  fs::copy(demo.path(), onFiles.path(), fs::copy_options::recursive);
  std::ofstream(demo.file("VELMORA.INI"), std::ios::app)
      << "\r\n[Servidor]\r\nConexion=" << connection << "\r\n";
  // No table file is left to read: everything comes from the server.
  std::vector<fs::path> tableFiles;
  for (const auto& e : fs::recursive_directory_iterator(demo.path()))
    if (e.path().extension() == ".TPS") tableFiles.push_back(e.path());
  for (const fs::path& f : tableFiles) fs::remove(f);
  auto both = [&](const std::string& args) {
    auto a =
        test::runCommand(velmora + " " + args + " '" + onFiles.path().string() + "' HOSP01 2>&1");
    auto b = test::runCommand(velmora + " " + args + " '" + demo.path().string() + "' HOSP01 2>&1");
    EXPECT_EQ(a.status, b.status) << args << "\n" << a.out << "\n" << b.out;
    return std::make_pair(a.out, b.out);
  };
  for (const std::string& args : {std::string("auditoria"), std::string("auditoria --vorovid")}) {
    const auto [files, server] = both(args);
    EXPECT_EQ(files, server) << args;
  }
  const std::string textA = onFiles.file("edo.txt"), textB = demo.file("edo.txt");
  auto a = test::runCommand(velmora + " reporte '" + onFiles.path().string() +
                            "' HOSP01 IMP_EDO --texto '" + textA + "' 2>&1");
  auto b = test::runCommand(velmora + " reporte '" + demo.path().string() +
                            "' HOSP01 IMP_EDO --texto '" + textB + "' 2>&1");
  ASSERT_EQ(a.status, 0) << a.out;
  ASSERT_EQ(b.status, 0) << b.out;
  std::ifstream fa(textA), fb(textB);
  const std::string pagesA{std::istreambuf_iterator<char>(fa), {}},
      pagesB{std::istreambuf_iterator<char>(fb), {}};
  EXPECT_GT(pagesA.size(), 1000u);
  EXPECT_EQ(pagesA, pagesB);

  // The office transfer: sent from the server, the same files as from the
  // files (they go to a folder outside the company, as files); received
  // into the server company, the same as into its files.
  test::TempFolder sentA, sentB;
  for (auto [dir, to] :
       {std::pair{onFiles.path(), sentA.path()}, std::pair{demo.path(), sentB.path()}}) {
    auto sent = test::runCommand(velmora + " envia '" + dir.string() + "' HOSP01 '" + to.string() +
                                 "' 2>&1");
    ASSERT_EQ(sent.status, 0) << sent.out;
  }
  int transferFiles = 0;
  for (const auto& e : fs::directory_iterator(sentA.path())) {
    if (e.path().extension() != ".DAT") continue;
    auto a = test::runCommand(velmora + " dump '" + e.path().string() + "' 2>&1");
    auto b = test::runCommand(velmora + " dump '" + (sentB.path() / e.path().filename()).string() +
                              "' 2>&1");
    EXPECT_EQ(a.status, 0) << a.out;
    EXPECT_EQ(a.out, b.out) << e.path().filename();
    ++transferFiles;
  }
  EXPECT_EQ(transferFiles, 5);
  for (const fs::path& dir : {onFiles.path(), demo.path()}) {
    auto received = test::runCommand(velmora + " recibe '" + dir.string() + "' HOSP01 '" +
                                     sentA.path().string() + "' 2>&1");
    EXPECT_EQ(received.status, 0) << received.out;
  }
  // The budget import into a front: the same report of what it did.
  {
    const auto [files, server] =
        both("importa --factor 1 --porcentaje 100 --frente 1 --desde 1 --hasta 10");
    EXPECT_NE(server.find("IMPORTACION TERMINADA"), std::string::npos) << server;
    EXPECT_EQ(files, server);
  }
  for (const std::string& args : {std::string("auditoria"), std::string("verifica")}) {
    const auto [files, server] = both(args);
    EXPECT_EQ(files, server) << args;
  }
}

}  // namespace
}  // namespace velmora::db
