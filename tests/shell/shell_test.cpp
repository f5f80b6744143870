// The user of a run and his rights, and the choice of the work, on real
// catalogue files in a folder of their own.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "dictionary/dates.h"
#include "shell/globals.h"
#include "shell/rights.h"
#include "shell/work_selection.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora::shell {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

using Levels = std::array<std::uint8_t, 20>;

Levels levels(std::uint8_t all) {
  Levels l;
  l.fill(all);
  return l;
}

class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("OBRA"), folder.file("DATA1"));
    storage.setFileName(*dict::findTable("PERS"), folder.file("DATA7"));
    messages.setHost(&host);
  }

  void addUser(std::int32_t number, const std::string& login, const Levels& esti,
               const Levels& mate) {
    db::Context c(storage, 9);
    db::Table& t = c.table("PERS");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    t.rec<PER>().CTA = number;
    t.rec<PER>().NOMB = login;
    t.rec<PER>().LOGIN = login;
    t.rec<PER>().ESTI = esti;
    t.rec<PER>().MATE = mate;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }

  Rights rightsOf(std::int32_t user, Program& p, const ShellProgram& shell) {
    p.rights.user = user;
    return loadRights(p, ctx, shell);
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  test::TestHost host;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  db::Context ctx{storage, 0};
};

TEST(UserParameter, TheTailOfTheFirstParameterIsTheUser) {
  EXPECT_EQ(userFromParameter(""), 0);
  EXPECT_EQ(userFromParameter("/"), 0);
  EXPECT_EQ(userFromParameter("/abc"), 0);
  EXPECT_EQ(userFromParameter("/12abc"), 0);
  EXPECT_EQ(userFromParameter("/0"), 0);
  EXPECT_EQ(userFromParameter("/-3"), -3);  // negative: no user either
  EXPECT_EQ(userFromParameter("/12"), 12);
  EXPECT_EQ(userFromParameter("-12"), 12);          // the leading character is never part of it
  EXPECT_EQ(userFromParameter("/99999999999"), 0);  // beyond a LONG
  // Only the first 20 characters are read: the digits after them are lost.
  std::string longer = "/" + std::string(17, '0') + "12" + "34567";
  ASSERT_EQ(longer.size(), 25u);
  EXPECT_EQ(userFromParameter(longer), 12);
}

TEST_F(Shell, RightsComeFromTheProgramsOwnArray) {
  // Without a user nothing is read, not even the personnel file.
  program.rights.levels = levels(7);
  EXPECT_EQ(rightsOf(0, program, dudore()), Rights::NoUser);
  EXPECT_EQ(rightsOf(-3, program, vorovid()), Rights::NoUser);
  EXPECT_EQ(program.rights.levels, levels(7));
  EXPECT_FALSE(fs::exists(folder.file("DATA7.TPS")));

  // Entry 1 is DUDORE's door; VOROVID reads its own array only.
  Levels noDudore = levels(4);
  noDudore[0] = 0;
  Levels mate = levels(1);
  mate[8] = 2;
  mate[0] = 3;
  addUser(5, "ANA", noDudore, mate);
  // Entry 9 is VOROVID's door, whatever the other entries hold.
  Levels esti = levels(2);
  esti[7] = 0;
  Levels noVorovid = levels(5);
  noVorovid[8] = 0;
  addUser(6, "BETO", esti, noVorovid);

  EXPECT_EQ(rightsOf(99, program, dudore()), Rights::UnknownUser);
  EXPECT_EQ(program.rights.levels, levels(7));
  EXPECT_FALSE(ctx.table("PERS").isOpen());

  EXPECT_EQ(rightsOf(5, program, dudore()), Rights::Refused);
  EXPECT_FALSE(ctx.table("PERS").isOpen());
  EXPECT_EQ(rightsOf(5, program, vorovid()), Rights::Granted);
  EXPECT_EQ(program.rights.levels, mate);
  EXPECT_TRUE(importAllowed(program, vorovid()));  // entry 1 at 3
  program.rights.levels[0] = 2;
  EXPECT_FALSE(importAllowed(program, vorovid()));

  EXPECT_EQ(rightsOf(6, program, vorovid()), Rights::Refused);
  EXPECT_EQ(rightsOf(6, program, dudore()), Rights::Granted);
  EXPECT_EQ(program.rights.levels, esti);
  EXPECT_FALSE(importAllowed(program, dudore()));  // entry 8 at 0
  program.rights.levels[7] = 1;
  EXPECT_TRUE(importAllowed(program, dudore()));

  // No user: the import is never held back.
  program.rights.user = 0;
  program.rights.levels = levels(0);
  EXPECT_TRUE(importAllowed(program, dudore()));
  EXPECT_TRUE(importAllowed(program, vorovid()));
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Shell, AForeignPersonnelFileIsReportedAndLeftAlone) {
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage += char((i * 37 + 11) & 0xFF);
  std::ofstream(folder.file("DATA7.TPS"), std::ios::binary) << garbage;
  program.rights.levels = levels(7);

  EXPECT_EQ(rightsOf(5, program, dudore()), Rights::Unreadable);
  EXPECT_EQ(program.rights.levels, levels(7));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text.rfind("Archivo (PERS) no pudo ser abierto.", 0), 0u)
      << host.boxes[0].text;
  EXPECT_EQ(slurp(folder.file("DATA7.TPS")), garbage);
}

class Selection : public Shell {
 protected:
  void SetUp() override {
    Shell::SetUp();
    fs::create_directories(folder.path() / "OB1");
    fs::create_directories(folder.path() / "OB2");
    fs::create_directories(folder.path() / "CONTA2");
  }

  void addWorks() {
    db::Context c(storage, 9);
    db::Table& t = c.table("OBRA");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    first.CTA = "OB1";
    first.OBRA = "CENTRO COMERCIAL";
    first.DICO = "CONTA1";
    first.LIST = 1;
    first.TOBR = 10;
    first.TMAT = 20;
    t.rec<OBR>() = first;
    ASSERT_TRUE(t.add().ok());
    t.clear();
    OBR& o = t.rec<OBR>();
    o.CTA = "OB2     ";
    o.OBRA = "PUENTE NORTE";
    o.DIRE = "KM 12 CARRETERA FEDERAL";
    o.DICO = "CONTA2";
    o.LIST = 2;
    o.TOBR = 1000.25;
    o.TMAT = 2000.5;
    o.TCOS = 300.125;
    o.TPOR = 0.125;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }

  double costoDirecto() const { return std::get<double>(program.var("COSTO_DIRECTO")); }
  std::string base() const { return folder.path().string(); }
  std::string month() const {
    return std::string(db::monthAbbreviation(dates::monthOf(dates::today())));
  }
  std::string nameOf(const char* label) const { return storage.fileName(*dict::findTable(label)); }

  OBR first;
};

TEST_F(Selection, ChoosingAWorkPointsItsTablesAtItsFiles) {
  addWorks();
  program.request = request::Select;
  WorkSelection sel(program, ctx, dudore(), base());
  host.actions.push_back([this](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    EXPECT_TRUE(br.state("?SELECT").enabled);
    ASSERT_EQ(br.view().rows().size(), 2u);
    EXPECT_EQ(br.view().rows()[1].record.as<OBR>().CTA, "OB2");
    // The totals are those of the work under the bar, from the first.
    EXPECT_DOUBLE_EQ(costoDirecto(), 30);
    br.rowClicked(1);
    EXPECT_DOUBLE_EQ(costoDirecto(), 3301);
    br.accepted("?SELECT");
  });
  EXPECT_EQ(sel.run(host), response::Completed);
  EXPECT_EQ(globals(program).obra, "OB2");
  EXPECT_EQ(globals(program).nombreObra, "PUENTE NORTE");
  EXPECT_EQ(globals(program).lista, 2);
  EXPECT_EQ(nameOf("PART"), base() + "/OB2/OBRA10.TPS");
  EXPECT_EQ(nameOf("BANC"), base() + "/OB2/PAGO3.TPS");
  EXPECT_EQ(nameOf("CUEN"), base() + "/CONTA2/CUENTAS.TPS");
  EXPECT_EQ(nameOf("POLMES"), base() + "/CONTA2/POL" + month() + ".TPS");
  EXPECT_EQ(nameOf("DETMES"), base() + "/CONTA2/DET" + month() + ".TPS");
  EXPECT_EQ(nameOf("OBRA"), folder.file("DATA1"));  // catalogues stay put
  EXPECT_EQ(sel.chosen().workFolder, base() + "/OB2");
  EXPECT_TRUE(host.boxes.empty());

  // VOROVID names the same files without extension; a double-click chooses.
  Program vor{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  vor.request = request::Select;
  db::Context vctx(storage, 1);
  WorkSelection vsel(vor, vctx, vorovid(), base());
  host.actions.push_back(
      [](Procedure& p) { static_cast<BrowseProcedure&>(p).rowDoubleClicked(0); });
  EXPECT_EQ(vsel.run(host), response::Completed);
  EXPECT_EQ(globals(vor).obra, "OB1");
  EXPECT_EQ(globals(vor).nombreObra, "CENTRO COMERCIAL");
  EXPECT_EQ(globals(vor).lista, 1);
  EXPECT_DOUBLE_EQ(std::get<double>(vor.var("COSTO_DIRECTO")), 30);
  EXPECT_EQ(nameOf("PART"), base() + "/OB1/OBRA10");
  EXPECT_EQ(nameOf("POLMES"), base() + "/CONTA1/POL" + month());
  db::Context after(storage, 2);
  ASSERT_TRUE(after.table("PART").open().ok());
  EXPECT_EQ(after.table("PART").path(), base() + "/OB1/OBRA10.TPS");
  EXPECT_TRUE(fs::exists(folder.path() / "OB1" / "OBRA10.TPS"));
}

TEST_F(Selection, CierraAndAnEmptyCatalogueChooseNothing) {
  // An empty catalogue: nothing to choose, the totals are zero.
  program.request = request::Select;
  WorkSelection empty(program, ctx, dudore(), base());
  host.actions.push_back([this](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    EXPECT_FALSE(br.state("?SELECT").enabled);
    EXPECT_DOUBLE_EQ(costoDirecto(), 0);
    br.rowDoubleClicked(0);
    br.accepted("?SELECT");
    EXPECT_FALSE(br.isClosing());
    br.accepted("?CLOSE");
  });
  EXPECT_EQ(empty.run(host), response::Cancelled);
  EXPECT_EQ(nameOf("PART"), "");
  EXPECT_EQ(globals(program).obra, "");

  // With works on file, a previous choice survives a cancelled one.
  addWorks();
  chooseWork(program, dudore(), first, base(), dates::dateOf(4, 15, 2026));
  EXPECT_EQ(nameOf("POLMES"), base() + "/CONTA1/POLABR.TPS");
  program.request = request::Select;
  WorkSelection sel(program, ctx, dudore(), base());
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    br.rowClicked(1);
    br.accepted("?CLOSE");
  });
  EXPECT_EQ(sel.run(host), response::Cancelled);
  EXPECT_EQ(globals(program).obra, "OB1");
  EXPECT_EQ(globals(program).nombreObra, "CENTRO COMERCIAL");
  EXPECT_EQ(globals(program).lista, 1);
  EXPECT_EQ(nameOf("PART"), base() + "/OB1/OBRA10.TPS");
  EXPECT_EQ(nameOf("POLMES"), base() + "/CONTA1/POLABR.TPS");
  EXPECT_TRUE(sel.chosen().names.empty());
}

TEST_F(Selection, TablesOpenBeforeAChoiceKeepTheirFiles) {
  addWorks();
  chooseWork(program, dudore(), first, base(), dates::today());
  db::Context early(storage, 1);
  db::Table& part = early.table("PART");
  ASSERT_TRUE(part.open().ok());
  part.rec<PAR>().CONC = 12.01;
  ASSERT_TRUE(part.add().ok());

  program.request = request::Select;
  WorkSelection sel(program, ctx, dudore(), base());
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    br.rowClicked(1);
    br.accepted("?SELECT");
  });
  ASSERT_EQ(sel.run(host), response::Completed);

  // Still on the first work's file, and still usable.
  EXPECT_TRUE(part.isOpen());
  EXPECT_EQ(part.path(), base() + "/OB1/OBRA10.TPS");
  std::int64_t count = 0;
  ASSERT_TRUE(part.records(count).ok());
  EXPECT_EQ(count, 1);

  // Opened from now on: the chosen work's file.
  db::Context late(storage, 2);
  ASSERT_TRUE(late.table("PART").open().ok());
  EXPECT_EQ(late.table("PART").path(), base() + "/OB2/OBRA10.TPS");
  ASSERT_TRUE(late.table("PART").records(count).ok());
  EXPECT_EQ(count, 0);
  part.close();
  ASSERT_TRUE(part.open().ok());
  EXPECT_EQ(part.path(), base() + "/OB2/OBRA10.TPS");
}

TEST_F(Selection, TheCallersOwnTablesStayOpenAcrossAChoice) {
  // The procedure that offers the choice has COBR open on its own thread;
  // the window does not own that opening and must not take it away.
  addWorks();
  chooseWork(program, dudore(), first, base(), dates::today());
  db::Table& cobr = ctx.table("COBR");
  ASSERT_TRUE(cobr.open().ok());

  program.request = request::Select;
  WorkSelection sel(program, ctx, dudore(), base());
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    br.rowClicked(1);
    br.accepted("?SELECT");
  });
  ASSERT_EQ(sel.run(host), response::Completed);
  EXPECT_TRUE(cobr.isOpen());
  EXPECT_EQ(cobr.path(), base() + "/OB1/OBRA1.TPS");
  std::int64_t count = -1;
  EXPECT_TRUE(cobr.records(count).ok());
  cobr.close();
}

TEST_F(Selection, AWorkWithoutItsFolderIsNotChosen) {
  addWorks();
  fs::remove(folder.path() / "OB2");
  program.request = request::Select;
  WorkSelection sel(program, ctx, dudore(), base());
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    br.rowClicked(1);
    br.accepted("?SELECT");
    // Still open: the user may choose another work.
    EXPECT_FALSE(br.isClosing());
    br.rowClicked(0);
    br.accepted("?SELECT");
  });
  EXPECT_EQ(sel.run(host), response::Completed);
  ASSERT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(host.warnings[0][0], "NO EXISTE LA CARPETA DE LA OBRA");
  EXPECT_EQ(host.warnings[0][1], "OB2");
  // OB1's accounting folder is missing too: said, but the work is chosen.
  EXPECT_EQ(host.warnings[1][0], "NO EXISTE LA CARPETA CONTABLE");
  EXPECT_EQ(globals(program).obra, "OB1");
  EXPECT_FALSE(fs::exists(folder.path() / "OB2"));
}

TEST_F(Selection, ACodeThatLeadsOutOfTheCompanyIsNeverChosen) {
  // The folders they would reach exist, so that only the check stops them.
  fs::create_directories(folder.path() / "out");
  {
    db::Context c(storage, 9);
    db::Table& t = c.table("OBRA");
    ASSERT_TRUE(t.open().ok());
    for (auto [code, dico] : {std::pair{"..", "CONTA1"}, std::pair{"../out", "CONTA1"},
                              std::pair{"/", "CONTA1"}, std::pair{"OB1", "../out"}}) {
      t.clear();
      t.rec<OBR>().CTA = code;
      t.rec<OBR>().DICO = dico;
      ASSERT_TRUE(t.add().ok());
    }
    t.close();
  }
  program.request = request::Select;
  WorkSelection sel(program, ctx, dudore(), base());
  host.actions.push_back([](Procedure& p) {
    auto& br = static_cast<BrowseProcedure&>(p);
    for (int row = 0; row < 4; ++row) {
      br.rowClicked(row);
      br.accepted("?SELECT");
      EXPECT_FALSE(br.isClosing());
    }
    br.accepted("?CLOSE");
  });
  sel.run(host);
  ASSERT_EQ(host.warnings.size(), 4u);
  EXPECT_EQ(host.warnings[0][0], "EL CODIGO DE LA OBRA NO ES VALIDO");
  EXPECT_EQ(host.warnings[0][1], "..");
  EXPECT_EQ(host.warnings[1][1], "../out");
  EXPECT_EQ(host.warnings[2][1], "/");
  EXPECT_EQ(host.warnings[3][0], "LA CARPETA CONTABLE NO ES VALIDA");
  EXPECT_TRUE(globals(program).obra.empty());
  EXPECT_TRUE(nameOf("PART").empty());

  EXPECT_TRUE(db::unsafeFolderName("OB1     ").empty());
  EXPECT_TRUE(db::unsafeFolderName("  ", true).empty()) << "no accounting yet";
  for (const char* bad : {"", "   ", ".", "..", "a/b", "a\\b", "C:", "A\x01B"})
    EXPECT_FALSE(db::unsafeFolderName(bad).empty()) << bad;
}

}  // namespace
}  // namespace velmora::shell
