// The frame of DUDORE and VOROVID on real program-folder files: who may
// start, what the opening reads and clears, the choice of the work, the
// toolbar's desktop calls and the way out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>

#include "dictionary/dates.h"
#include "framework/browse.h"
#include "framework/settings.h"
#include "shell/globals.h"
#include "shell/main_frame.h"
#include "shell/platform.h"
#include "shell/startup.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora::shell {
namespace {

namespace fs = std::filesystem;

using Levels = std::array<std::uint8_t, 20>;

Levels levels(std::uint8_t all) {
  Levels l;
  l.fill(all);
  return l;
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void touch(const fs::path& path, bool executable = false) {
  std::ofstream(path) << "x";
  if (executable)
    fs::permissions(path, fs::perms::owner_exec | fs::perms::owner_read | fs::perms::owner_write);
}

// What the frame asked of the desktop.
class DeskRecorder : public FrameServices {
 public:
  // The code openDocument answers; unset: opened when the file exists, else
  // "file not found".
  std::optional<int> code;
  std::vector<std::string> documents;
  std::vector<std::string> programs;
  std::vector<StandardCommand> commands;
  std::vector<std::string> backgrounds;
  std::vector<bool> splashes;

  int openDocument(const std::string& path) override {
    documents.push_back(path);
    if (code) return *code;
    std::error_code ec;
    return fs::exists(path, ec) ? 42 : 2;
  }
  bool runProgram(const std::string& path) override {
    programs.push_back(path);
    return true;
  }
  void standard(StandardCommand command) override { commands.push_back(command); }
  void pictures(FrameProcedure& frame) override { backgrounds.push_back(frame.background()); }
  void splash(bool open) override { splashes.push_back(open); }
};

// A started procedure whose window never opens: the toolbar's target
// without the business behind it.
class Stub : public Procedure {
 public:
  Stub(Program& p, db::Context& c, std::string name)
      : Procedure(p, c, [&] {
          WindowDescription w;
          w.procedure = std::move(name);
          return w;
        }()) {}

 protected:
  bool init() override { return false; }
};

// PATH for the duration of a test.
class PathGuard {
 public:
  explicit PathGuard(const std::string& value) {
    if (const char* old = std::getenv("PATH")) old_ = old;
    ::setenv("PATH", value.c_str(), 1);
  }
  ~PathGuard() {
    if (old_)
      ::setenv("PATH", old_->c_str(), 1);
    else
      ::unsetenv("PATH");
  }

 private:
  std::optional<std::string> old_;
};

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("CONTROL"), folder.file("DATA0"));
    storage.setFileName(*dict::findTable("OBRA"), folder.file("DATA1"));
    storage.setFileName(*dict::findTable("PERS"), folder.file("DATA7"));
    messages.setHost(&host);
    addShellProcedures(dudo, dudore(), base());
    addShellProcedures(voro, vorovid(), base());
    fs::create_directories(folder.path() / "OB1");
    fs::create_directories(folder.path() / "CONTA1");
    addWork();
  }

  std::string base() const { return folder.path().string(); }

  void addWork() {
    db::Context c(storage, 90);
    db::Table& t = c.table("OBRA");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    OBR& o = t.rec<OBR>();
    o.CTA = "OB1";
    o.OBRA = "PUENTE NORTE";
    o.DICO = "CONTA1";
    o.LIST = 3;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }

  void addUser(std::int32_t number, const Levels& esti, const Levels& mate) {
    db::Context c(storage, 91);
    db::Table& t = c.table("PERS");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    t.rec<PER>().CTA = number;
    t.rec<PER>().NOMB = "USUARIO " + std::to_string(number);
    t.rec<PER>().LOGIN = "U" + std::to_string(number);
    t.rec<PER>().ESTI = esti;
    t.rec<PER>().MATE = mate;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }

  void addControl(std::uint8_t cta, const std::string& zona, std::uint8_t ocup) {
    db::Context c(storage, 92);
    db::Table& t = c.table("CONTROL");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    t.rec<CTL>().CTA = cta;
    t.rec<CTL>().ZONA = zona;
    t.rec<CTL>().OCUP = ocup;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }

  // OCUP of every CONTROL record, in record order.
  std::vector<int> postingFlags() {
    db::Context c(storage, 93);
    db::Table& t = c.table("CONTROL");
    std::vector<int> flags;
    if (!t.open().ok()) return flags;
    (void)t.setStart(nullptr);
    while (t.next()) flags.push_back(t.rec<CTL>().OCUP);
    t.close();
    return flags;
  }

  MainFrame& frame(Program& p, const ShellProgram& s, std::string parameter) {
    contexts.push_back(std::make_unique<db::Context>(storage, p.newThread()));
    frames.push_back(
        std::make_unique<MainFrame>(p, *contexts.back(), s, std::move(parameter), base()));
    frames.back()->setServices(&desk);
    return *frames.back();
  }

  // What the user does in a run: first in the work selection, then in
  // the frame.
  void choose() {
    host.actions.push_back([](Procedure& p) {
      ASSERT_EQ(p.name(), "SEL_OBRA");
      auto& b = static_cast<BrowseProcedure&>(p);
      b.rowClicked(0);
      b.accepted("?SELECT");
    });
  }
  void onFrame(std::function<void(MainFrame&)> f) {
    host.actions.push_back([f = std::move(f)](Procedure& p) {
      ASSERT_EQ(p.name(), "Main");
      f(static_cast<MainFrame&>(p));
    });
  }
  void pressOnFrame(const std::string& control) {
    onFrame([control](MainFrame& f) { f.accepted(control); });
  }

  bool logged(const std::string& line) const {
    return std::find(host.log.begin(), host.log.end(), line) != host.log.end();
  }
  void forget() {
    host.log.clear();
    host.warnings.clear();
    host.boxes.clear();
    host.actions.clear();
    desk = DeskRecorder();
  }

  // Every menu item and toolbar button of the frame, by control.
  static std::vector<std::string> disabledControls(MainFrame& f) {
    std::vector<std::string> off;
    for (const MenuEntry& m : f.layout().menu)
      if (!f.state(m.control).enabled) off.push_back(m.control);
    for (const std::string& b : f.layout().toolbar)
      if (!f.state(b).enabled) off.push_back(b);
    return off;
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  test::TestHost host;
  DeskRecorder desk;
  Program dudo{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  Program voro{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  std::vector<std::unique_ptr<db::Context>> contexts;
  std::vector<std::unique_ptr<MainFrame>> frames;
};

const std::vector<std::string> kNoControls;

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

TEST_F(Frame, TheManualAndTheTutorialNeedTheirFiles) {
  MainFrame& f = frame(dudo, dudore(), "");
  choose();
  const std::string manual = folder.file("estima.doc");
  onFrame([&](MainFrame& m) {
    m.accepted("?Button10");
    EXPECT_EQ(desk.documents, std::vector<std::string>{manual});
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Archivo no localizado|estima.doc");

    // Found: nothing to say. Other failures by their code; codes without a
    // text, and any code above 32, show nothing.
    touch(manual);
    m.accepted("?Button10");
    desk.code = 31;
    m.accepted("?Button10");
    desk.code = 0;
    m.accepted("?Button10");
    for (int quiet : {1, 4, 32, 33}) {
      desk.code = quiet;
      m.accepted("?Button10");
    }
    ASSERT_EQ(host.boxes.size(), 3u);
    EXPECT_EQ(host.boxes[1].text, "No hay programa asociado al archivo|estima.doc");
    EXPECT_EQ(host.boxes[2].text, "Falta memoria o archivo corrupto|estima.doc");
    desk.code.reset();

    // The tutorial needs both of its files.
    const WarningLines missing = {"NO TIENE INSTALADO EL MODULO", "DEL TUTORIAL, BAJELO DE NUESTO",
                                  "SITIO www.velmora.com.mx"};
    m.accepted("?Button11");
    touch(folder.path() / "MOBRA01.HTML");
    m.accepted("?Button11");
    fs::remove(folder.path() / "MOBRA01.HTML");
    touch(folder.path() / "TUTORIAL2.EXE");
    m.accepted("?Button11");
    ASSERT_EQ(host.warnings.size(), 3u);
    for (const WarningLines& w : host.warnings) EXPECT_EQ(w, missing);
    EXPECT_TRUE(desk.programs.empty());
    touch(folder.path() / "MOBRA01.HTML");
    m.accepted("?Button11");
    EXPECT_EQ(host.warnings.size(), 3u);
    EXPECT_EQ(desk.programs, std::vector<std::string>{folder.file("TUTORIAL2.EXE")});
    EXPECT_FALSE(m.isClosing());
    m.accepted("?Exit");
  });
  EXPECT_EQ(f.runFrame(host), response::Completed);

  // VOROVID's manual has a name of its own.
  forget();
  MainFrame& v = frame(voro, vorovid(), "");
  choose();
  onFrame([&](MainFrame& m) {
    m.accepted("?Button7");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Archivo no localizado|VOROVID.doc");
    EXPECT_EQ(desk.documents, std::vector<std::string>{folder.file("VOROVID.doc")});
    m.accepted("?Exit");
  });
  EXPECT_EQ(v.runFrame(host), response::Completed);
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
}  // namespace velmora::shell
