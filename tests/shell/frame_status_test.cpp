// What the frame shows of the run once the work is chosen: the work's code
// and name, the user and the date, in its title and in its status bar (the
// script transcript of the programs shows when the hosts are told).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dictionary/dates.h"
#include "framework/browse.h"
#include "framework/picture.h"
#include "shell/main_frame.h"
#include "tests/support/back_end.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora::shell {
namespace {

namespace fs = std::filesystem;

class FrameStatus : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("CONTROL"), folder.file("DATA0"));
    storage.setFileName(*dict::findTable("OBRA"), folder.file("DATA1"));
    storage.setFileName(*dict::findTable("PERS"), folder.file("DATA7"));
    messages.setHost(&host);
    addShellProcedures(dudo, dudore(), folder.path().string());
    fs::create_directories(folder.path() / "OB1");
    db::Context c(storage, 90);
    db::Table& obra = c.table("OBRA");
    ASSERT_TRUE(obra.open().ok());
    obra.clear();
    obra.rec<OBR>().CTA = "OB1";
    obra.rec<OBR>().OBRA = "PUENTE NORTE";
    obra.rec<OBR>().DICO = "OB1";
    ASSERT_TRUE(obra.add().ok());
    db::Table& pers = c.table("PERS");
    ASSERT_TRUE(pers.open().ok());
    pers.clear();
    pers.rec<PER>().CTA = 7;
    pers.rec<PER>().NOMB = "ANA RUIZ";
    pers.rec<PER>().LOGIN = "ANA";
    pers.rec<PER>().ESTI.fill(3);
    pers.rec<PER>().MATE.fill(3);
    ASSERT_TRUE(pers.add().ok());
  }

  // Runs the frame: the work is chosen, `onFrame` looks at it, "&Salir".
  void run(Program& program, const ShellProgram& shell, const std::string& parameter,
           const std::function<void(MainFrame&)>& onFrame) {
    db::Context ctx(storage, program.newThread());
    MainFrame frame(program, ctx, shell, parameter, folder.path().string());
    host.actions.push_back([&](Procedure& selection) {
      // Nothing is shown of a work before one is chosen.
      EXPECT_EQ(frame.title(), shell.title);
      EXPECT_TRUE(frame.statusTexts().empty());
      auto& b = static_cast<BrowseProcedure&>(selection);
      b.rowClicked(0);
      b.accepted("?SELECT");
    });
    host.actions.push_back([&](Procedure&) {
      onFrame(frame);
      frame.accepted("?Exit");
    });
    EXPECT_EQ(frame.runFrame(host), response::Completed);
    EXPECT_TRUE(host.actions.empty());
  }

  test::ServerDatabase server;
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  test::TestHost host;
  Program dudo{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
};

TEST_F(FrameStatus, TheTitleAndStatusBarCarryTheWorkTheUserAndTheDate) {
  const std::string today = formatPicture("@D6", Value(std::int64_t(dates::today())));
  ASSERT_EQ(today.size(), 10u);  // dd/mm/yyyy
  const std::vector<std::string> bar = {"Obra OB1 PUENTE NORTE", "Usuario 7 ANA RUIZ", today};
  const std::string title =
      "Sub-Sistema de Control de Estimaciones Velmora - Obra OB1 "
      "PUENTE NORTE - Usuario 7 ANA RUIZ - " +
      today;
  run(dudo, dudore(), "/7", [&](MainFrame& f) {
    EXPECT_EQ(f.title(), title);
    EXPECT_EQ(f.statusTexts(), bar);
  });
}

// The company on a database server, named in VELMORA.INI: the frame says
// so after the work, and no table file is made in the folder.
class FrameStatusOnServer : public FrameStatus {
 protected:
  void SetUp() override {
    const std::string connection = server.use(storage, folder.path().string());
    ASSERT_FALSE(connection.empty());
    std::ofstream(folder.file("VELMORA.INI")) << "[Servidor]\r\nConexion=" << connection << "\r\n";
    FrameStatus::SetUp();
  }
};

TEST_F(FrameStatusOnServer, TheStatusBarNamesTheServer) {
  run(dudo, dudore(), "/7", [&](MainFrame& f) {
    const std::vector<std::string> bar = f.statusTexts();
    ASSERT_EQ(bar.size(), 4u);
    EXPECT_EQ(bar[0], "Obra OB1 PUENTE NORTE");
    EXPECT_EQ(bar[3].rfind("Servidor: ", 0), 0u) << bar[3];
    EXPECT_NE(bar[3].find("/velmora_"), std::string::npos) << bar[3];  // the database
  });
  for (const auto& e : fs::recursive_directory_iterator(folder.path()))
    EXPECT_NE(e.path().extension(), ".TPS") << e.path();
}

}  // namespace
}  // namespace velmora::shell
