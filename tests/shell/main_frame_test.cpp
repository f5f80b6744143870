// The frame of DUDORE and VOROVID on real program-folder files: who may
// start, what the opening reads and clears, the choice of the work and the
// splash.

#include "tests/shell/main_frame_fixture.h"
#include "tests/support/posting_flag_station.h"

namespace velmora::shell::frame_testing {
namespace {

TEST_F(Frame, WithoutAUserNothingIsCheckedAndEverythingIsEnabled) {
  // No parameter, an empty or non-numeric tail, zero and a negative number:
  // no user. Nothing may be refused, even with every level at zero.
  struct Case {
    Program* program;
    const ShellProgram* shell;
    std::string parameter;
    std::int32_t usuario;
  };
  for (const Case& c : {Case{&dudo, &dudore(), "", 0}, Case{&dudo, &dudore(), "/", 0},
                        Case{&dudo, &dudore(), "/abc", 0}, Case{&dudo, &dudore(), "/0", 0},
                        Case{&dudo, &dudore(), "/-3", -3}, Case{&voro, &vorovid(), "", 0},
                        Case{&voro, &vorovid(), "/0", 0}, Case{&voro, &vorovid(), "/-3", -3}}) {
    SCOPED_TRACE(c.shell->name + " '" + c.parameter + "'");
    forget();
    c.program->rights.user = 77;
    c.program->rights.levels = levels(0);
    MainFrame& f = frame(*c.program, *c.shell, c.parameter);
    choose();
    bool reached = false;
    onFrame([&](MainFrame& m) {
      reached = true;
      EXPECT_EQ(m.program().rights.user, c.usuario);
      EXPECT_EQ(disabledControls(m), kNoControls);
      EXPECT_EQ(m.layout().toolbar.size(), c.shell->toolbar.size());
      m.accepted("?Exit");
    });
    EXPECT_EQ(f.runFrame(host), response::Completed);
    EXPECT_TRUE(reached);
    EXPECT_TRUE(host.warnings.empty());
    EXPECT_TRUE(host.boxes.empty());
  }
  // The personnel file was never looked at.
  EXPECT_FALSE(fs::exists(folder.path() / "DATA7.TPS"));
}

TEST_F(Frame, AnUnknownOrRefusedUserEndsTheProgramBeforeTheWorkIsAsked) {
  // Entry 1 is DUDORE's door, entry 9 VOROVID's; the other program's array
  // and the other entries do not count.
  Levels noDudore = levels(5);
  noDudore[0] = 0;
  Levels noVorovid = levels(5);
  noVorovid[8] = 0;
  addUser(5, noDudore, levels(5));
  addUser(6, levels(5), noVorovid);

  const WarningLines refusal = {"NO TIENE PERMITIDO EL ACCESO", "A ESTE SISTEMA, VERIFIQUE",
                                "SUS ACCESOS..."};
  struct Case {
    Program* program;
    const ShellProgram* shell;
    std::string parameter;
    bool warned;
  };
  for (const Case& c : {Case{&dudo, &dudore(), "/99", false}, Case{&voro, &vorovid(), "/99", false},
                        Case{&dudo, &dudore(), "/5", true}, Case{&voro, &vorovid(), "/6", true}}) {
    SCOPED_TRACE(c.shell->name + " " + c.parameter);
    forget();
    MainFrame& f = frame(*c.program, *c.shell, c.parameter);
    choose();
    EXPECT_NE(f.runFrame(host), response::Completed);
    EXPECT_EQ(host.actions.size(), 1u) << "the work selection must not open";
    for (const std::string& line : host.log) EXPECT_EQ(line.find("SEL_OBRA"), std::string::npos);
    EXPECT_TRUE(host.boxes.empty());
    if (c.warned) {
      ASSERT_EQ(host.warnings.size(), 1u);
      EXPECT_EQ(host.warnings[0], refusal);
    } else {
      EXPECT_TRUE(host.warnings.empty());
    }
    EXPECT_TRUE(desk.splashes.empty());
  }

  // The same users in the other program are let in.
  for (auto [program, shell, parameter] :
       {std::tuple{&dudo, &dudore(), "/6"}, std::tuple{&voro, &vorovid(), "/5"}}) {
    SCOPED_TRACE(shell->name);
    forget();
    MainFrame& f = frame(*program, *shell, parameter);
    choose();
    pressOnFrame("?Exit");
    EXPECT_EQ(f.runFrame(host), response::Completed);
    EXPECT_TRUE(host.warnings.empty());
    EXPECT_EQ(program->rights.levels, levels(5));
  }
}

TEST_F(Frame, TheImportMenuFollowsTheUsersLevel) {
  // DUDORE: entry 8 at 0 holds the import back, 1 lets it through.
  Levels esti = levels(5);
  esti[7] = 0;
  addUser(10, esti, levels(0));
  esti[7] = 1;
  addUser(11, esti, levels(0));
  // VOROVID: entry 1 below 3 holds it back.
  Levels mate = levels(5);
  mate[0] = 2;
  addUser(12, levels(0), mate);
  mate[0] = 3;
  addUser(13, levels(0), mate);

  struct Case {
    Program* program;
    const ShellProgram* shell;
    std::string parameter;
    bool importa;
  };
  for (const Case& c :
       {Case{&dudo, &dudore(), "/10", false}, Case{&dudo, &dudore(), "/11", true},
        Case{&voro, &vorovid(), "/12", false}, Case{&voro, &vorovid(), "/13", true}}) {
    SCOPED_TRACE(c.shell->name + " " + c.parameter);
    forget();
    MainFrame& f = frame(*c.program, *c.shell, c.parameter);
    choose();
    onFrame([&](MainFrame& m) {
      std::vector<std::string> expected;
      if (!c.importa) expected.push_back("?Importa");
      EXPECT_EQ(disabledControls(m), expected);
      // Pressing a disabled item starts nothing.
      if (!c.importa) m.accepted("?Importa");
      m.accepted("?Exit");
    });
    EXPECT_EQ(f.runFrame(host), response::Completed);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(logged("inicia IMPORTA"));
  }
}

TEST_F(Frame, OpeningClearsThePostingFlagAndReadsZonesCompanyAndToday) {
  // Record order and key order differ: the flag is the first record's, the
  // zones follow the key.
  addControl(3, "ZONA C", 1);
  addControl(1, "ZONA A", 1);
  addControl(5, "ZONA E", 0);
  addControl(2, "ZONA B", 0);
  addControl(4, "ZONA D", 0);
  addControl(6, "ZONA F", 0);
  std::ofstream(folder.file("VELMORA.INI")) << "[Empresa]\r\nNombre=CONSTRUCTORA DEL NORTE\r\n";

  globals(dudo).empresa = "OTRA";
  globals(dudo).lista = 7;
  MainFrame& f = frame(dudo, dudore(), "");
  host.actions.push_back([this](Procedure& p) {
    // Set before the work is asked for.
    EXPECT_EQ(p.name(), "SEL_OBRA");
    EXPECT_EQ(globals(dudo).lista, 1);
    EXPECT_EQ(globals(dudo).empresa, "CONSTRUCTORA DEL NORTE");
    EXPECT_EQ(globals(dudo).hoy, dates::today());
    EXPECT_EQ(globals(dudo).zona,
              (std::array<std::string, 5>{"ZONA A", "ZONA B", "ZONA C", "ZONA D", "ZONA E"}));
    EXPECT_EQ(postingFlags(), (std::vector<int>{0, 1, 0, 0, 0, 0}));
    p.accepted("?CLOSE");
  });
  EXPECT_EQ(f.runFrame(host), response::Cancelled);
  EXPECT_EQ(postingFlags(), (std::vector<int>{0, 1, 0, 0, 0, 0}));

  // Cleared at every start, before the user is looked at: also for a user
  // who is turned away. Fewer than five zones leave the rest empty.
  Levels refused = levels(0);
  addUser(5, refused, refused);
  {
    db::Context c(storage, 94);
    db::Table& t = c.table("CONTROL");
    ASSERT_TRUE(t.open().ok());
    (void)t.setStart(nullptr);
    ASSERT_TRUE(t.next().ok());
    t.rec<CTL>().OCUP = 1;
    ASSERT_TRUE(t.put().ok());
    t.close();
  }
  forget();
  MainFrame& refusedFrame = frame(voro, vorovid(), "/5");
  EXPECT_NE(refusedFrame.runFrame(host), response::Completed);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(postingFlags(), (std::vector<int>{0, 1, 0, 0, 0, 0}));

  // Without the company file the name is empty.
  fs::remove(folder.file("VELMORA.INI"));
  forget();
  MainFrame& bare = frame(dudo, dudore(), "");
  host.actions.push_back([](Procedure& p) { p.accepted("?CLOSE"); });
  bare.runFrame(host);
  EXPECT_EQ(globals(dudo).empresa, "");
}

TEST_F(Frame, TheCompanyNameKeepsItsFirstFiftyCharacters) {
  // The file is written the way the platform writes it, in Windows-1252:
  // "CONSTRUCCIONES Y PAVIMENTACIÓN DEL NORTE DE MÉXICO, S.A. DE C.V."
  // (64 characters, two of them accented).
  std::ofstream(folder.file("VELMORA.INI"), std::ios::binary)
      << "[Empresa]\r\nNombre=CONSTRUCCIONES Y PAVIMENTACI\xD3N DEL NORTE DE M\xC9XICO, S.A. DE "
         "C.V.\r\n";
  MainFrame& f = frame(dudo, dudore(), "");
  host.actions.push_back([](Procedure& p) { p.accepted("?CLOSE"); });
  f.runFrame(host);
  EXPECT_EQ(globals(dudo).empresa, "CONSTRUCCIONES Y PAVIMENTACIÓN DEL NORTE DE MÉXICO");
}

TEST_F(Frame, CancellingTheWorkSelectionEndsTheProgram) {
  for (auto [program, shell] : {std::pair{&dudo, &dudore()}, std::pair{&voro, &vorovid()}}) {
    SCOPED_TRACE(shell->name);
    forget();
    MainFrame& f = frame(*program, *shell, "");
    host.actions.push_back([&](Procedure& p) {
      EXPECT_EQ(p.name(), "SEL_OBRA");
      EXPECT_EQ(p.window().title, shell->selectionTitle);
      EXPECT_EQ(p.wm().request, request::Select);
      EXPECT_FALSE(f.splashOpen());
      p.accepted("?CLOSE");
    });
    bool frameLoop = false;
    onFrame([&](MainFrame& m) {
      frameLoop = true;
      m.accepted("?Exit");
    });
    EXPECT_EQ(f.runFrame(host), response::Cancelled);
    EXPECT_FALSE(frameLoop);
    EXPECT_EQ(globals(*program).obra, "");
    EXPECT_TRUE(desk.splashes.empty());
    EXPECT_TRUE(host.warnings.empty());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(f.leftForLauncher());
  }
  EXPECT_EQ(dudore().selectionTitle, "Seleccione la Obra a Trabajar");
  EXPECT_EQ(vorovid().selectionTitle, "Mostrando Archivo de Obras");
}

TEST_F(Frame, ChoosingAWorkOpensTheFrameAndTheSplashUntilTheFirstControl) {
  host.placements["Main"] = WindowPlacement{false, false, 40, 30, 800, 600, std::nullopt};
  MainFrame& f = frame(dudo, dudore(), "");
  host.actions.push_back([&](Procedure& p) {
    EXPECT_TRUE(desk.splashes.empty());
    auto& b = static_cast<BrowseProcedure&>(p);
    b.rowClicked(0);
    b.accepted("?SELECT");
  });
  onFrame([&](MainFrame& m) {
    EXPECT_EQ(globals(dudo).obra, "OB1");
    EXPECT_EQ(globals(dudo).nombreObra, "PUENTE NORTE");
    EXPECT_EQ(globals(dudo).lista, 3);
    EXPECT_EQ(m.background(), "PROMO1.JPG");
    EXPECT_EQ(m.toolbarImage(), "banner4.gif");
    EXPECT_TRUE(m.splashOpen());
    EXPECT_EQ(desk.splashes, std::vector<bool>{true});
    m.accepted("?Tile");
    EXPECT_FALSE(m.splashOpen());
    EXPECT_EQ(desk.splashes, (std::vector<bool>{true, false}));
    // Closed once: neither more controls nor the timer close it again.
    m.accepted("?Cascade");
    m.splashTimedOut();
    EXPECT_EQ(desk.splashes, (std::vector<bool>{true, false}));
    EXPECT_EQ(desk.commands,
              (std::vector<StandardCommand>{StandardCommand::Tile, StandardCommand::Cascade}));
    EXPECT_EQ(m.background(), "PROMO1.JPG");  // menu items draw no logo
  });
  pressOnFrame("?Exit");
  EXPECT_EQ(f.runFrame(host), response::Completed);
  EXPECT_FALSE(f.leftForLauncher());
  EXPECT_TRUE(host.warnings.empty());
  EXPECT_TRUE(host.actions.empty());
  // The frame's place is stored under its own section.
  SettingsFile ini(folder.file("DUDORE.INI"));
  EXPECT_EQ(ini.get("Main", "XPos"), "40");
  EXPECT_EQ(ini.get("Main", "Width"), "800");

  // The timer closes it as well; then a control does not.
  forget();
  MainFrame& v = frame(voro, vorovid(), "");
  choose();
  onFrame([&](MainFrame& m) {
    EXPECT_EQ(m.toolbarImage(), "banner10.gif");
    m.splashTimedOut();
    EXPECT_FALSE(m.splashOpen());
    m.accepted("?Tile");
    EXPECT_EQ(desk.splashes, (std::vector<bool>{true, false}));
    m.accepted("?Exit");
  });
  EXPECT_EQ(v.runFrame(host), response::Completed);
  EXPECT_EQ(globals(voro).obra, "OB1");
}

TEST_F(Frame, EveryLogoIsShownOnceBeforeAnyRepeats) {
  for (int i : {1, 2, 3, 5}) touch(folder.path() / ("logo" + std::to_string(i) + ".jpg"));
  dudo.addProcedure("CAP_FRE", [](Program& p, db::Context& c) {
    return std::make_unique<Stub>(p, c, "CAP_FRE");
  });
  MainFrame& f = frame(dudo, dudore(), "");
  choose();
  std::vector<std::string> shown;
  onFrame([&](MainFrame& m) {
    EXPECT_EQ(m.logos().count(), 3);  // logo4.jpg is missing: logo5.jpg does not count
    for (int i = 0; i < 9; ++i) {
      m.accepted("?Button1");
      shown.push_back(m.background());
    }
    m.accepted("?Exit");
  });
  EXPECT_EQ(f.runFrame(host), response::Completed);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(desk.backgrounds, shown);
  ASSERT_EQ(shown.size(), 9u);
  for (std::size_t round = 0; round < 3; ++round) {
    std::vector<std::string> bag(shown.begin() + long(round * 3),
                                 shown.begin() + long(round * 3 + 3));
    std::sort(bag.begin(), bag.end());
    EXPECT_EQ(bag, (std::vector<std::string>{"logo1.jpg", "logo2.jpg", "logo3.jpg"}))
        << "round " << round + 1;
  }

  // Without logo1.jpg there are none: the start-up picture stays.
  fs::remove(folder.path() / "logo1.jpg");
  forget();
  MainFrame& g = frame(dudo, dudore(), "");
  choose();
  onFrame([](MainFrame& m) {
    EXPECT_EQ(m.logos().count(), 0);
    m.accepted("?Button1");
    m.accepted("?Button1");
    EXPECT_EQ(m.background(), "PROMO1.JPG");
    m.accepted("?Exit");
  });
  g.runFrame(host);
  EXPECT_TRUE(desk.backgrounds.empty());

  // At most 52 are counted, and all 52 come round once.
  for (int i = 1; i <= 53; ++i) touch(folder.path() / ("logo" + std::to_string(i) + ".jpg"));
  LogoBag bag;
  bag.count(base());
  EXPECT_EQ(bag.count(), 52);
  std::mt19937 random(7);
  std::vector<std::string> all;
  for (int i = 0; i < 52; ++i) all.push_back(bag.draw(random));
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_EQ(all.size(), 52u);
  EXPECT_EQ(std::count(all.begin(), all.end(), "logo53.jpg"), 0);
}

}  // namespace
}  // namespace velmora::shell::frame_testing

namespace velmora::shell::frame_testing {
namespace {

// A program starting while another station posts leaves that station its
// flag (and greets nobody with a conflict); once the station is gone, the
// next start clears it.
TEST_F(Frame, AStartLeavesALiveStationItsPostingFlag) {
  addControl(1, "ZONA A", 0);
  const pid_t pid = ::velmora::test::stationHoldingThePostingFlag(storage, 2);
  ASSERT_GT(pid, 0);
  for (auto [program, shell] : {std::pair{&dudo, &dudore()}, std::pair{&voro, &vorovid()}}) {
    forget();
    MainFrame& f = frame(*program, *shell, "");
    host.actions.push_back([](Procedure& p) { p.accepted("?CLOSE"); });
    f.runFrame(host);
    EXPECT_EQ(postingFlags(), (std::vector<int>{1}));
  }
  EXPECT_TRUE(host.warnings.empty());
  ASSERT_TRUE(::velmora::test::killStation(storage, pid));
  forget();
  MainFrame& f = frame(dudo, dudore(), "");
  host.actions.push_back([](Procedure& p) { p.accepted("?CLOSE"); });
  f.runFrame(host);
  EXPECT_EQ(postingFlags(), (std::vector<int>{0}));
}

}  // namespace
}  // namespace velmora::shell::frame_testing
