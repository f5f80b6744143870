// The budget items (CAP_PART, UP_PART), the assignment of their contractor
// (UP_DEOB) and the transfer of part of an item to another contractor
// (CAM_CONT), driven by the test host over real table files; then the same
// road walked by a script through DUDORE on the demo company.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

#include "estimates/budget_items.h"
#include "estimates/registry.h"
#include "framework/maintenance.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora::estimates {
namespace {

class BudgetItems : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* label : {"PART", "CONC", "PROB", "FREN", "CONT"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    messages.setHost(&host);
    addBudgetItemProcedures(program);
    addFrontProcedures(program);
    // The concept and contractor lists the lookups call, as plain lists.
    for (auto [name, label] : {std::pair{"CAP_COES", "CONC"}, {"CAP_DEST", "CONT"}})
      program.addProcedure(name, [l = std::string(label)](Program& p, db::Context& c) {
        return makeMaintenanceBrowse(p, c, *dict::findTable(l));
      });
    add<COE>("CONC", [](COE& r) {
      r.CTA = 12, r.CLAVE = "EXC-001", r.UNID = "M3";
      r.TEXT = "EXCAVACION EN CEPAS CON MAQUINA HASTA 2 M";
      r.TEX1 = "EXCAVACION EN CEPAS CON MAQUINA EN MATERIAL TIPO II";
    });
    add<PRB>("PROB", [](PRB& r) { r.CTA = 7, r.TEXT = "TERRACERIAS"; });
    add<FRE>("FREN", [](FRE& r) { r.CTA = 3, r.NOMB = "EDIFICIO A"; });
    add<CTR>("CONT", [](CTR& r) { r.CTA = 1, r.NOMB = "JUAN PEREZ"; });
    add<CTR>("CONT", [](CTR& r) { r.CTA = 5, r.NOMB = "PEDRO LOPEZ"; });
  }

  template <class R, class F>
  void add(const char* label, F fill) {
    db::Context c(storage, 90);
    db::Table& t = c.table(label);
    ASSERT_TRUE(t.open().ok());
    t.clear();
    fill(t.rec<R>());
    ASSERT_TRUE(t.add().ok());
    t.close();
  }
  // Concept 12, process 7, contractor 1: labour 1000 + 200 over 12 units, 300 paid.
  void item(double conc, int fren = 3, const std::function<void(PAR&)>& more = {}) {
    add<PAR>("PART", [&](PAR& r) {
      r.CONC = conc, r.PROC = 7, r.FREN = fren, r.TEXT = "EXCAVACION", r.UNID = "M3";
      r.CANT = 12, r.PRES = 1000, r.VPRE = 200, r.TPAG = 300, r.CONT = 1, r.PEST = 100;
      if (more) more(r);
    });
  }
  std::optional<PAR> find(double conc, int fren = 3) {
    db::Context c(storage, 91);
    db::Table& t = c.table("PART");
    EXPECT_TRUE(t.open().ok());
    t.rec<PAR>().CONC = conc, t.rec<PAR>().PROC = 7, t.rec<PAR>().FREN = fren;
    std::optional<PAR> r;
    if (t.get("PAR:CTA_KEY").ok()) r = t.rec<PAR>();
    t.close();
    return r;
  }
  std::int64_t items() {
    db::Context c(storage, 92);
    std::int64_t n = -1;
    EXPECT_TRUE(c.table("PART").open().ok() && c.table("PART").records(n).ok());
    c.table("PART").close();
    return n;
  }

  // Runs CAP_PART through the actions queued, then closes it.
  void runList() {
    host.closeWindow();
    auto list = program.make("CAP_PART", ctx);
    program.request = request::None;
    list->run(host);
  }
  // Highlights the row of an item; in a lookup's list, chooses a record.
  void pick(double conc, int fren = 3) {
    host.actions.push_back([=](Procedure& p) {
      auto& b = dynamic_cast<BrowseProcedure&>(p);
      for (std::size_t i = 0; i < b.view().rows().size(); ++i) {
        const PAR& r = b.view().rows()[i].record.as<PAR>();
        if (hundredths(r.CONC) == hundredths(conc) && r.FREN == fren) return b.rowClicked(int(i));
      }
      ADD_FAILURE() << "no row for " << conc;
    });
  }
  void choose(std::int64_t cta) {
    host.actions.push_back([=](Procedure& p) {
      auto& b = dynamic_cast<BrowseProcedure&>(p);
      for (std::size_t i = 0; i < b.view().rows().size(); ++i)
        if (b.view().rows()[i].record.get("CTR:CTA") == Value(cta)) {
          b.rowClicked(int(i));
          return p.accepted("?SELECT:2");
        }
      ADD_FAILURE() << "no contractor " << cta;
    });
  }
  void check(std::function<void(Procedure&)> f) { host.actions.push_back(std::move(f)); }
  static std::string shown(Procedure& p, const char* control) {
    std::string s = p.display(control);
    s.erase(0, s.find_first_not_of(' '));
    return s.erase(s.find_last_not_of(' ') + 1);
  }
  static double num(Procedure& p, const char* use) { return number(p.value(use)); }

  std::vector<std::string> opened() const {
    std::vector<std::string> names;
    for (const std::string& l : host.log)
      if (l.rfind("abre ", 0) == 0 && l != "abre CAP_PART") names.push_back(l.substr(5));
    return names;
  }
  std::string warning(std::size_t i) const {
    if (i >= host.warnings.size()) return "(sin aviso)";
    const WarningLines& w = host.warnings[i];
    return w[0] + " / " + w[1] + " / " + w[2];
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  test::TestHost host;
  db::Context ctx{storage, 0};
};

const std::string kNoAccess = "NO TIENE ACCESO A ESTE PROGRAMA / VERIFIQUE SUS ACCESOS AL SISTEMA";

// --- the list and its form ------------------------------------------------------

TEST_F(BudgetItems, DeletesNeedLevelThreeAndAnItemWithoutProgress) {
  item(12, 3, [](PAR& r) { r.AVAN = 0.01; });
  item(13);
  program.rights.user = 4;
  program.rights.levels[5] = 2;
  pick(13);
  host.key(Key::Delete);
  runList();
  program.rights.levels[5] = 3;
  pick(12);
  host.press("?DELETE:3");
  pick(13);
  host.buttons.push_back(button::Yes);  // the box's default is No
  host.press("?DELETE:3");
  runList();
  // Below level 3 the delete is not offered: its key says why.
  EXPECT_EQ(warning(0), kNoAccess + " / CON Ok CONTINUA...");
  EXPECT_EQ(warning(1),
            "NO SE PUEDE BORRAR PORQUE / YA TIENE POLIZAS DE AVANCE / CON Ok CONTINUA...");
  ASSERT_EQ(host.boxes.size(), 1u);  // only the last delete was asked
  EXPECT_TRUE(find(12));
  EXPECT_FALSE(find(13));
}

// 0 refuses every window of an item, 1 lets the user look, 2 add and look;
// assigning and transferring change the item and need 3.
TEST_F(BudgetItems, TheItemWindowsFollowTheAccessLevels) {
  item(12);
  program.rights.user = 4;
  const std::vector<std::vector<std::string>> expected = {
      {},
      {"UP_PART"},
      {"UP_PART", "UP_PART"},
      {"UP_PART", "UP_PART", "UP_PART", "UP_DEOB", "CAM_CONT"}};
  for (int level = 0; level <= 3; ++level) {
    SCOPED_TRACE(level);
    program.rights.levels[5] = std::uint8_t(level);
    host.log.clear(), host.warnings.clear();
    pick(12);
    for (const char* b : {"?INSERT:3", "?CHANGE:3", "?VIEW", kAssignButton, kTransferButton}) {
      host.press(b);
      check([](Procedure& p) {
        if (p.name() != "CAP_PART") p.accepted("?CANCEL");
      });
    }
    runList();
    EXPECT_EQ(opened(), expected[std::size_t(level)]);
    // "&Alta" and "&Cambia" are not offered where the level refuses them;
    // the other refusals are told.
    const std::size_t notOffered = level < 2 ? 2 : level == 2 ? 1 : 0;
    EXPECT_EQ(host.warnings.size(), 5 - expected[std::size_t(level)].size() - notOffered);
    for (std::size_t i = 0; i < host.warnings.size(); ++i)
      EXPECT_EQ(warning(i).rfind(kNoAccess, 0), 0u) << warning(i);
  }
  EXPECT_EQ(find(12)->CONT, 1);
}

TEST_F(BudgetItems, TheItemFormShowsWhatItsNumbersStandForAndTakesTheConceptsTexts) {
  host.press("?INSERT:3");
  for (auto [field, text] : {std::pair{"?PAR:CONC", "12"}, {"?PAR:PROC", "7"}, {"?PAR:FREN", "3"}})
    host.type(field, text);
  host.type("?PAR:CONT", "9");  // nobody: the contractors' list chooses
  choose(1);
  for (auto [field, text] : {std::pair{"?PAR:PRES", "1000"},
                             {"?PAR:VPRE", "200"},
                             {"?PAR:MATE", "500"},
                             {"?PAR:VEQU", "300"},
                             {"?PAR:CANT", "20"}})
    host.type(field, text);
  check([](Procedure& p) {
    EXPECT_EQ(shown(p, "?COE:TEX1"), "EXCAVACION EN CEPAS CON MAQUINA EN MATERIAL TIPO II");
    EXPECT_EQ(shown(p, "?PRB:TEXT"), "TERRACERIAS");
    EXPECT_EQ(shown(p, "?FRE:NOMB"), "EDIFICIO A");
    EXPECT_EQ(shown(p, "?CTR:NOMB"), "JUAN PEREZ");
    EXPECT_EQ(shown(p, "?UNITARIO"), "100.00");  // all the direct cost, per unit
  });
  host.press("?OK");
  // A sub-item shows its concept; a contractor taken away takes his name along.
  item(12.03, 3, [](PAR& r) { r.CANT = 0; });
  pick(12.03);
  host.press("?CHANGE:3");
  host.type("?PAR:CONT", "0");
  check([](Procedure& p) {
    EXPECT_EQ(shown(p, "?COE:TEX1").substr(0, 10), "EXCAVACION");
    EXPECT_EQ(shown(p, "?CTR:NOMB"), "");
    EXPECT_EQ(shown(p, "?UNITARIO"), "0.00");  // no units, no price
  });
  host.press("?OK");
  runList();

  EXPECT_EQ(opened(), (std::vector<std::string>{"UP_PART", "BROWSE:CONT", "UP_PART"}));
  std::optional<PAR> added = find(12);
  ASSERT_TRUE(added);
  EXPECT_EQ(added->TEXT, "EXCAVACION EN CEPAS CON MAQUIN");  // cut to the item's width
  EXPECT_EQ(added->UNID + added->CLAVE, "M3EXC-001");
  EXPECT_EQ(added->CONT, 1);
  EXPECT_EQ(added->PEST, 100);
  EXPECT_EQ(added->SCON, "N");
  EXPECT_EQ(find(12.03)->CONT, 0);
  EXPECT_EQ(find(12.03)->TEXT, "EXCAVACION");  // the same concept keeps the item's own text
}

// --- assigning the contractor ---------------------------------------------------

TEST_F(BudgetItems, AContractorIsReassignedOnlyBelowOnePercentEstimated) {
  item(12, 3, [](PAR& r) { r.AVAN = 0.99; });
  item(13, 3, [](PAR& r) { r.AVAN = 1.00; });
  for (double conc : {13.0, 12.0}) pick(conc), host.press(kAssignButton);
  host.type("?PAR:CONT", "5");
  host.press("?OK");
  runList();
  EXPECT_EQ(opened(), std::vector<std::string>{"UP_DEOB"});
  EXPECT_EQ(warning(0),
            "EL CONCEPTO YA FUE ESTIMADO / Y NO SE LE PUEDE CAMBIAR EL / CONTRATISTA ....");
  EXPECT_EQ(find(12)->CONT, 5);
  EXPECT_EQ(find(13)->CONT, 1);
}

TEST_F(BudgetItems, APercentageOutside0To100OrTooLargeForItsFieldIsNeverSaved) {
  item(12, 3, [](PAR& r) { r.PEST = 40, r.CONT = 5, r.PRES = 8000, r.VPRE = 2000, r.CANT = 50; });
  pick(12);
  host.press(kAssignButton);
  host.type("?SUM2", "15000");  // 150 %: fits the field, passes the budget
  host.press("?OK");
  host.type("?SUM2", "2000000");  // 20 000 %: shown as "######"
  host.press("?OK");
  host.press("?CANCEL");
  runList();
  ASSERT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(host.warnings[0][0], "EL PORCENTAJE A ESTIMAR DEBE");
  EXPECT_EQ(host.warnings[1][0], "EL VALOR ES DEMASIADO GRANDE PARA");
  EXPECT_DOUBLE_EQ(find(12)->PEST, 40);
}

TEST_F(BudgetItems, TheAssignmentStartsAtAllTheLabourAndEachEntryRecomputesTheOtherTwo) {
  item(12, 3, [](PAR& r) { r.PEST = 0, r.CONT = 0, r.PRES = 8000, r.VPRE = 2000, r.CANT = 50; });
  pick(12);
  host.press(kAssignButton);
  check([](Procedure& p) {
    EXPECT_EQ(shown(p, "?PAR:PEST"), "100.00");
    EXPECT_EQ(shown(p, "?SUM1") + " " + shown(p, "?SUM2") + " " + shown(p, "?SUM3"),
              "10,000.00 10,000.00 200.00");
    EXPECT_EQ(shown(p, "?COE:TEX1").substr(0, 10), "EXCAVACION");
  });
  auto expect = [this](const char* control, const char* text, double pest, double sum2,
                       double sum3) {
    host.type(control, text);
    check([=](Procedure& p) {
      EXPECT_DOUBLE_EQ(num(p, "PAR:PEST"), pest) << control;
      EXPECT_DOUBLE_EQ(num(p, "SUM2"), sum2) << control;
      EXPECT_DOUBLE_EQ(num(p, "SUM3"), sum3) << control;
    });
  };
  expect("?PAR:PEST", "50", 50, 5000, 100);
  expect("?SUM3", "150", 75, 7500, 150);  // the unit price
  expect("?SUM2", "2500", 25, 2500, 50);  // the amount
  host.type("?PAR:SCON", "S");
  host.press("?OK");  // no contractor yet: his list opens and is left
  host.press("?CLOSE");
  host.type("?PAR:CONT", "7");  // nobody: the list chooses
  choose(5);
  host.press("?OK");
  pick(12);  // C&ierra leaves the item as it was
  host.press(kAssignButton);
  host.type("?PAR:PEST", "90");
  host.press("?CANCEL");
  runList();

  EXPECT_EQ(opened(),
            (std::vector<std::string>{"UP_DEOB", "BROWSE:CONT", "BROWSE:CONT", "UP_DEOB"}));
  EXPECT_TRUE(host.warnings.empty());
  std::optional<PAR> r = find(12);
  EXPECT_DOUBLE_EQ(r->PEST, 25);
  EXPECT_EQ(r->CONT, 5);
  EXPECT_EQ(r->SCON, "S");
}

// A zero quantity or budget shows its quotients as 0 and refuses the entry
// that would divide by it, in both windows.
TEST_F(BudgetItems, NeitherWindowDividesByZero) {
  item(12, 3, [](PAR& r) { r.CANT = 0, r.VPRE = 0, r.TPAG = 0, r.PEST = 40; });
  item(13, 3, [](PAR& r) { r.PRES = 0, r.VPRE = 0, r.TPAG = 0, r.PEST = 0; });
  pick(12);
  host.press(kAssignButton);
  host.type("?SUM3", "10");
  host.type("?SUM2", "250");  // the amount still gives the percentage
  check([](Procedure& p) { EXPECT_EQ(shown(p, "?SUM3"), "0.00"); });
  host.press("?OK");
  pick(13);
  host.press(kAssignButton);
  host.type("?SUM2", "100");
  host.type("?SUM3", "20");
  host.press("?OK");
  pick(12);
  host.press(kTransferButton);
  host.type("?TOT1", "1");
  host.type("?TOT2", "100");
  check([](Procedure& p) {
    for (const char* c : {"?TOT1", "?TOT2", "?SUM4", "?SUM5"}) {
      EXPECT_EQ(shown(p, c), "0.00") << c;
      EXPECT_TRUE(std::isfinite(num(p, c + 1))) << c;
    }
  });
  host.press("?CANCEL");
  runList();

  EXPECT_EQ(warning(0),
            "EL CONCEPTO NO TIENE CANTIDAD / Y NO SE LE PUEDE DAR UNITARIO / CON Ok CONTINUA...");
  const std::string noBudget =
      "EL CONCEPTO NO TIENE IMPORTE DE / MANO DE OBRA Y NO SE PUEDE / CALCULAR EL PORCENTAJE ....";
  EXPECT_EQ(warning(1), noBudget);
  EXPECT_EQ(warning(2), noBudget);
  EXPECT_EQ(warning(3), "NO HAY UNIDADES DISPONIBLES / VERIFIQUE USTED / CON Ok CONTINUA");
  EXPECT_EQ(warning(4),
            "EL CONCEPTO NO TIENE UNITARIO / Y NO SE PUEDEN CALCULAR / LAS UNIDADES ....");
  EXPECT_DOUBLE_EQ(find(12)->PEST, 25);
  EXPECT_DOUBLE_EQ(find(13)->PEST, 100);
}

// --- handing part of an item to another contractor ------------------------------

TEST_F(BudgetItems, ASplitTakesTheNextFreeSubItemAndMovesWhatIsLeft) {
  item(12);
  item(12.01, 3, [](PAR& r) { r.CONT = 5; });
  item(12.02, 3, [](PAR& r) { r.CONT = 5; });
  item(12.03, 4);  // another front: not in the way
  // 999.50 left of 1000 over 3 units: 2.9985 units left, shown as 3.00.
  item(20, 3, [](PAR& r) { r.PRES = 1000, r.VPRE = 0, r.CANT = 3, r.TPAG = 0.5; });
  pick(12);
  host.press(kTransferButton);
  check([](Procedure& p) {
    EXPECT_EQ(shown(p, "?ABONO"), "12.03");
    for (auto [control, text] : {std::pair{"?SUM1", "1,200.00"},
                                 {"?SUM2", "300.00"},
                                 {"?SUM3", "900.00"},
                                 {"?SUM4", "9.00"},
                                 {"?SUM5", "100.00"}})
      EXPECT_EQ(shown(p, control), text) << control;
  });
  host.type("?TOT1", "9");  // all the units left
  host.type("?NCON", "5");
  host.press("?OK");
  check([](Procedure& p) {  // the list shows the new sub-item
    auto& b = dynamic_cast<BrowseProcedure&>(p);
    EXPECT_EQ(b.view().rows()[std::size_t(b.view().selected())].record.as<PAR>().CONC, 12.03);
  });
  pick(20);
  host.press(kTransferButton);
  host.type("?TOT1", "3");  // the units left, as shown
  host.type("?NCON", "5");
  host.press("?OK");
  runList();
  EXPECT_TRUE(host.warnings.empty());

  std::optional<PAR> source = find(12), added = find(12.03);
  ASSERT_TRUE(source && added);
  // The item keeps what was executed of it, and its variation.
  EXPECT_DOUBLE_EQ(source->CANT, 3);
  EXPECT_DOUBLE_EQ(source->PRES, 100);
  EXPECT_DOUBLE_EQ(source->VPRE, 200);
  EXPECT_DOUBLE_EQ(source->PRES + source->VPRE, source->TPAG);
  EXPECT_EQ(source->CONT, 1);
  EXPECT_DOUBLE_EQ(added->CANT, 9);
  EXPECT_DOUBLE_EQ(added->PRES, 900);
  EXPECT_EQ(added->VPRE + added->TPAG, 0);
  EXPECT_EQ(added->CONT, 5);
  EXPECT_EQ(added->PEST, 100);
  EXPECT_EQ(added->TEXT + added->UNID, "EXCAVACIONM3");
  EXPECT_DOUBLE_EQ(find(20)->PRES, 0.5);
  EXPECT_DOUBLE_EQ(find(20.01)->PRES, 999.5);
  EXPECT_DOUBLE_EQ(find(20.01)->CANT, 2.9985);
}

TEST_F(BudgetItems, TheTransferRefusesWhatIsNotThereAndTheSameContractor) {
  item(12);
  pick(12);
  host.press(kTransferButton);
  host.type("?TOT1", "9.01");
  host.type("?TOT2", "900.01");
  host.press("?OK");        // nobody receives
  host.type("?NCON", "1");  // the item's own contractor
  host.type("?NCON", "8");  // nobody: the list opens and is left
  host.press("?CLOSE");
  host.press("?CALLLOOKUP");  // the button always asks the list
  choose(5);
  host.press("?OK");  // nothing to hand over
  host.type("?TOT2", "450");
  check([](Procedure& p) {
    EXPECT_DOUBLE_EQ(num(p, "TOT1"), 4.5);
    EXPECT_EQ(num(p, "NCON"), 5);
  });
  host.press("?CANCEL");
  runList();

  EXPECT_EQ(opened(), (std::vector<std::string>{"CAM_CONT", "BROWSE:CONT", "BROWSE:CONT"}));
  EXPECT_EQ(warning(0), "NO HAY UNIDADES DISPONIBLES / VERIFIQUE USTED / CON Ok CONTINUA");
  EXPECT_EQ(warning(1),
            "NO HAY EL IMPORTE DISPONIBLE / VERIFIQUE USTED EL IMPORTE / CON Ok CONTINUA");
  EXPECT_EQ(warning(2),
            "FALTA EL CONTRATISTA QUE RECIBE / CAPTURE SU No DE CONTRATISTA / CON Ok CONTINUA...");
  EXPECT_EQ(warning(3), "LE PASARAS TRABAJO AL MISMO / CONTRATISTA ??? ESTO NO ES / PERMITIDO ...");
  EXPECT_EQ(warning(4), "NO HA DADO UNIDADES NI IMPORTE / A TRASPASAR / CON Ok CONTINUA...");
  EXPECT_EQ(host.warnings.size(), 5u);
  EXPECT_EQ(items(), 1);
}

TEST_F(BudgetItems, SubItemsSpentItemsAndFullConceptsAreNotSplit) {
  item(12);
  item(12.01);
  item(13, 3, [](PAR& r) { r.TPAG = 1199.995; });  // less than a cent left
  item(14);
  {  // 14.01 ... 14.99, in one batch
    db::Context c(storage, 93);
    db::Table& t = c.table("PART");
    ASSERT_TRUE(t.open().ok() && t.stream().ok());
    for (int sub = 1; sub <= 99; ++sub) {
      t.clear();
      t.rec<PAR>().CONC = 14 + sub / 100.0, t.rec<PAR>().PROC = 7, t.rec<PAR>().FREN = 3;
      ASSERT_TRUE(t.add().ok());
    }
    ASSERT_TRUE(t.flush().ok());
    t.close();
  }
  for (double conc : {12.01, 13.0, 14.0}) pick(conc), host.press(kTransferButton);
  runList();
  EXPECT_TRUE(opened().empty());
  EXPECT_EQ(warning(0), "SOLO LA CUENTA PRINCIPAL / SE PUEDE COMPARTIR CON / OTRO CONTRATISTA...");
  EXPECT_EQ(warning(1), "NO HAY SALDO A TRASPASAR / VERIFIQUE EL No DE CUENTA / CON Ok CONTINUA");
  EXPECT_EQ(warning(2),
            "YA SE OCUPARON LOS 99 SUB-CONCEPTOS / DE ESTA CUENTA Y NO SE PUEDE / COMPARTIR OTRA "
            "VEZ ....");
  EXPECT_EQ(items(), 103);
}

// --- the real program -------------------------------------------------------------

TEST(BudgetItemsScript, AssigningAContractorAndSplittingAnItemInDudore) {
  test::TempFolder company;
  test::CommandResult demo = test::runVelmora("demo '" + company.path().string() + "'");
  ASSERT_EQ(demo.status, 0) << demo.out;
  test::CommandResult r = test::runCommand("cd '" + company.path().string() + "' && timeout 120 " +
                                           DUDORE_EXE + " /1 --script '" + VELMORA_TEST_DATA +
                                           "/estimates/data/asigna_y_traspasa.txt' 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string row = " |    570.0";
  const std::string text = " |     70 |      1 | SALIDA ELECTRICA PARA CONTACTO | SAL |          ";
  // The contractor's number and his name beside it.
  auto who = [](int number, const std::string& name) {
    return " |      " + std::to_string(number) + " | " + name;
  };
  const std::vector<std::string> lines = {
      "ABRE CAP_PART \"Catálogo de Conceptos de Obra\"",
      "> 5:" + row + "0" + text + "90.50 |      25,792.31" + who(0, ""),
      "ABRE UP_DEOB \"Actualizando a Contratistas\" (cambio)",
      "CAMPO ?PAR:PEST = \"100.00\"",  // all the labour to begin with
      "CAMPO ?SUM3 = \"        285.00\"",
      "CAMPO ?CTR:NOMB = \"ARMANDO CASTRO CHAVEZ\"",
      "CAMPO ?SUM2 = \"     20,633.85\"",  // 80 %
      "CAMPO ?PAR:PEST = \" 50.00\"",      // from the amount
      "CAMPO ?SUM3 = \"        142.50\"",
      "> 5:" + row + "0" + text + "90.50 |      25,792.31" + who(4, "ARMANDO CASTRO CHAVEZ"),
      "ABRE CAM_CONT \"Traspasando Concepto a Otro Contratista\" (cambio)",
      "CAMPO ?ABONO = \"   570.01\"",
      "CAMPO ?TOT2 = \"      8,549.94\"",  // 30 of 90.50 units
      "AVISO: LE PASARAS TRABAJO AL MISMO / CONTRATISTA ??? ESTO NO ES / "
      "PERMITIDO ...",
      "CIERRA CAM_CONT respuesta 1",
      "  4:" + row + "0" + text + "60.50 |      17,242.37" + who(4, "ARMANDO CASTRO CHAVEZ"),
      "> 8:" + row + "1" + text + "30.00 |       8,549.94" + who(5, "SALVADOR MORALES ROMERO"),
      "AVISO: SOLO LA CUENTA PRINCIPAL / SE PUEDE COMPARTIR CON / OTRO "
      "CONTRATISTA...",
      "AVISO: EL CONCEPTO YA FUE ESTIMADO / Y NO SE LE PUEDE CAMBIAR EL / "
      "CONTRATISTA ....",
      "AVISO: NO SE PUEDE BORRAR PORQUE / YA TIENE POLIZAS DE AVANCE / CON Ok "
      "CONTINUA...",
      "CIERRA CAP_PART respuesta 1"};
  std::size_t at = 0;
  for (const std::string& line : lines) {
    std::size_t found = r.out.find(line + "\n", at);
    ASSERT_NE(found, std::string::npos) << "missing in order: " << line << "\n" << r.out;
    at = found + line.size();
  }
}

}  // namespace
}  // namespace velmora::estimates
