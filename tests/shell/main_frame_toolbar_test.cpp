// The frame's toolbar and way out: procedures on their own context, the
// desktop calls, the launcher, window dragging and a damaged catalogue.

#include "tests/shell/main_frame_fixture.h"

namespace velmora::shell::frame_testing {
namespace {

TEST_F(Frame, ToolbarButtonsStartTheirProceduresOnTheirOwnContext) {
  dudo.addProcedure("CAP_PROC", [](Program& p, db::Context& c) {
    return std::make_unique<Stub>(p, c, "CAP_PROC");
  });
  MainFrame& f = frame(dudo, dudore(), "");
  choose();
  onFrame([&](MainFrame& m) {
    m.accepted("?Button2");
    ASSERT_EQ(host.started.size(), 1u);
    EXPECT_EQ(host.started[0]->name(), "CAP_PROC");
    EXPECT_NE(host.started[0]->context().thread(), m.context().thread());
    EXPECT_TRUE(host.boxes.empty());
    // A button whose procedure the program does not have names it.
    m.accepted("?Button1");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].title, "Procedimiento no definido");
    EXPECT_EQ(host.boxes[0].text, "El Procedimiento CAP_FRE no fue definido.");
    EXPECT_FALSE(m.isClosing());
    m.accepted("?Exit");
  });
  EXPECT_EQ(f.runFrame(host), response::Completed);
}

TEST_F(Frame, TheManualOpensOnItsContentsAndItsFirstFlow) {
  // Without the manual the clerk is told where it should be.
  test::TempFolder manual;
  ::setenv("VELMORA_MANUAL", manual.path().string().c_str(), 1);
  MainFrame& f = frame(dudo, dudore(), "");
  choose();
  onFrame([&](MainFrame& m) {
    m.accepted("?Button10");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text,
              "No se encontró el Manual del Sistema.|Debe estar en la carpeta \"manual\" junto "
              "al programa DUDORE.");
    EXPECT_TRUE(host.documentRunner.helps.empty());

    // With it: the toolbar's manual and the help menu open the contents,
    // the tutorial the first flow, F1 on the frame the contents.
    touch(manual.path() / "index.html");
    m.accepted("?Button10");
    m.accepted("?Button11");
    m.accepted("?HelpIndex");
    m.accepted("?HelpSearch");
    m.accepted("?HelpOnHelp");
    m.keyPressed(Key::Help);
    EXPECT_EQ(host.documentRunner.helps,
              (std::vector<std::string>{"index.html#", "primeros-pasos.html#", "index.html#",
                                        "index.html#", "ventanas.html#ayuda", "index.html#"}));
    EXPECT_EQ(host.boxes.size(), 1u);
    m.accepted("?Exit");
  });
  EXPECT_EQ(f.runFrame(host), response::Completed);
  ::unsetenv("VELMORA_MANUAL");
}

TEST_F(Frame, TheExitButtonHandsOverToTheLauncher) {
  test::TempFolder emptyPath, programDir;
  PathGuard path(emptyPath.path().string());

  // Nowhere to be found: the user is told, and the frame ends anyway.
  MainFrame& f = frame(dudo, dudore(), "");
  f.executableFolder = programDir.path().string();
  choose();
  pressOnFrame("?Button13");
  EXPECT_EQ(f.runFrame(host), response::Completed);
  EXPECT_TRUE(f.leftForLauncher());
  EXPECT_EQ(f.launcher(), "");
  EXPECT_EQ(host.warnings.size(), 1u);
  EXPECT_TRUE(host.actions.empty());

  // Beside the program.
  touch(programDir.path() / "kelto", true);
  forget();
  MainFrame& g = frame(dudo, dudore(), "");
  g.executableFolder = programDir.path().string();
  choose();
  pressOnFrame("?Button13");
  EXPECT_EQ(g.runFrame(host), response::Completed);
  EXPECT_TRUE(g.leftForLauncher());
  EXPECT_EQ(g.launcher(), (programDir.path() / "kelto").string());
  EXPECT_TRUE(host.warnings.empty());

  // On the PATH, through the whole start-up routine of VOROVID; a file of
  // that name that cannot be run is not the launcher.
  test::TempFolder notRunnable, onPath;
  touch(notRunnable.path() / "kelto");
  touch(onPath.path() / "kelto", true);
  PathGuard path2(emptyPath.path().string() + ":" + notRunnable.path().string() + ":" +
                  onPath.path().string());
  forget();
  choose();
  pressOnFrame("?Button8");
  StartOptions options;
  options.programFolder = base();
  Outcome out = runShell(vorovid(), voro, host, &desk, options);
  EXPECT_EQ(out.response, response::Completed);
  EXPECT_TRUE(out.launch);
  EXPECT_EQ(out.launcher, (onPath.path() / "kelto").string());
  EXPECT_TRUE(host.warnings.empty());
}

TEST_F(Frame, VorovidDragsWindowsAsOutlinesOnlyWhileItRuns) {
  StartOptions options;
  options.programFolder = base();
  std::vector<bool> seen;
  auto look = [&] {
    host.actions.push_back([&](Procedure& p) {
      seen.push_back(platform::dragFullWindows());
      auto& b = static_cast<BrowseProcedure&>(p);
      b.rowClicked(0);
      b.accepted("?SELECT");
    });
    onFrame([&](MainFrame& m) {
      seen.push_back(platform::dragFullWindows());
      m.accepted("?Exit");
    });
  };

  platform::setDragFullWindows(true);
  look();
  EXPECT_EQ(runShell(vorovid(), voro, host, &desk, options).response, response::Completed);
  EXPECT_EQ(seen, (std::vector<bool>{false, false}));
  EXPECT_TRUE(platform::dragFullWindows());

  // Off already: it stays off.
  seen.clear();
  platform::setDragFullWindows(false);
  look();
  runShell(vorovid(), voro, host, &desk, options);
  EXPECT_EQ(seen, (std::vector<bool>{false, false}));
  EXPECT_FALSE(platform::dragFullWindows());

  // A cancelled choice is a normal end too.
  platform::setDragFullWindows(true);
  forget();
  host.actions.push_back([](Procedure& p) {
    EXPECT_FALSE(platform::dragFullWindows());
    p.accepted("?CLOSE");
  });
  EXPECT_EQ(runShell(vorovid(), voro, host, &desk, options).response, response::Cancelled);
  EXPECT_TRUE(platform::dragFullWindows());

  // DUDORE leaves the desktop alone.
  seen.clear();
  forget();
  look();
  runShell(dudore(), dudo, host, &desk, options);
  EXPECT_EQ(seen, (std::vector<bool>{true, true}));
  EXPECT_TRUE(platform::dragFullWindows());
}

TEST_F(Frame, ADamagedCatalogueIsReportedAndLeftAsItWas) {
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage += char((i * 53 + 7) & 0xFF);

  // A file of another table under the same password: a real file, but not
  // the catalogue of works.
  const fs::path foreign = folder.path() / "foreign.TPS";
  {
    db::Storage other;
    other.setFileName(*dict::findTable("CLAG"), foreign.string());
    db::Context c(other, 95);
    db::Table& t = c.table("CLAG");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    t.rec<CLG>().CTA = "A1";
    t.rec<CLG>().TEXT = "CLAVE";
    ASSERT_TRUE(t.add().ok());
    t.close();
  }
  const std::string foreignBytes = slurp(foreign);
  ASSERT_FALSE(foreignBytes.empty());
  const std::string works = slurp(folder.path() / "DATA1.TPS");

  struct Case {
    std::string file;
    std::string label;
    std::string bytes;
  };
  for (const Case& c :
       {Case{"DATA1.TPS", "OBRA", garbage}, Case{"DATA1.TPS", "OBRA", foreignBytes},
        Case{"DATA0.TPS", "CONTROL", garbage}, Case{"DATA0.TPS", "CONTROL", foreignBytes}}) {
    SCOPED_TRACE(c.file + (c.bytes == garbage ? " garbage" : " foreign"));
    forget();
    host.stops = 0;
    std::ofstream(folder.path() / c.file, std::ios::binary | std::ios::trunc) << c.bytes;
    MainFrame& f = frame(dudo, dudore(), "");
    host.actions.push_back([](Procedure& p) { p.accepted("?CLOSE"); });
    pressOnFrame("?Exit");
    EXPECT_EQ(f.runFrame(host), response::Cancelled);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].title, "Error de Acceso");
    EXPECT_EQ(host.boxes[0].text.rfind("Archivo (" + c.label + ") no pudo ser abierto.", 0), 0u)
        << host.boxes[0].text;
    EXPECT_EQ(host.stops, 1);
    EXPECT_FALSE(logged("abre SEL_OBRA"));
    EXPECT_EQ(host.actions.size(), 2u);
    EXPECT_TRUE(desk.splashes.empty());
    EXPECT_EQ(slurp(folder.path() / c.file), c.bytes);
    fs::remove(folder.path() / c.file);
  }
  // Put back, the catalogue opens again.
  std::ofstream(folder.path() / "DATA1.TPS", std::ios::binary) << works;
  forget();
  MainFrame& f = frame(dudo, dudore(), "");
  choose();
  pressOnFrame("?Exit");
  EXPECT_EQ(f.runFrame(host), response::Completed);
  EXPECT_TRUE(host.boxes.empty());
}

}  // namespace
}  // namespace velmora::shell::frame_testing
