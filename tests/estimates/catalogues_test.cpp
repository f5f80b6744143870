// The catalogues of concepts, contractors and the budget of the work, driven
// through the test host over real table files.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "estimates/registry.h"
#include "framework/browse.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

const WarningLines kRisk = {"SITUACION DE RIESGO !!!!!!!", "EL % ACTUAL DE AMORTIZACION",
                            "DE ANTICIPO ES MUY BAJO"};

WarningLines notCovered(const std::string& figure) {
  return {"SI NO LO CORRIGE, CUANDO MENOS", "AL " + figure + "% NO SERA TOTALMENTE",
          "AMORTIZADO EL ANTICIPO"};
}

CTR contractor(std::int16_t cta, std::string name) {
  CTR c;
  c.CTA = cta;
  c.NOMB = std::move(name);
  return c;
}

PAR item(double conc, std::int16_t cont) {
  PAR p;
  p.CONC = conc;
  p.PROC = 10;
  p.FREN = 1;
  p.TEXT = "PARTIDA";
  p.CONT = cont;
  return p;
}

COO row(std::int32_t cta, const char* tipo, std::string text) {
  COO r;
  r.CTA = cta;
  r.TIPO = tipo;
  r.TEXT = std::move(text);
  return r;
}

class Catalogues : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* label : {"CONT", "PART", "POLI", "CONC", "COBR"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    messages.setHost(&host);
    estimates::addConceptProcedures(program);
    estimates::addContractorProcedures(program);
    estimates::addBudgetProcedures(program);
  }

  // Records as another station writes and reads them.
  template <class R>
  void add(const R& r) {
    db::Context c(storage, 90);
    db::Table& t = c.table(R::info());
    ASSERT_TRUE(t.open().ok());
    t.rec<R>() = r;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }
  template <class R>
  std::vector<R> all() {
    db::Context c(storage, 91);
    db::Table& t = c.table(R::info());
    EXPECT_TRUE(t.open().ok());
    std::vector<R> out;
    Status st = t.setStart(nullptr);
    while (st && (st = t.next())) out.push_back(t.rec<R>());
    t.close();
    return out;
  }
  std::optional<CTR> contractorOnFile(int cta) {
    for (const CTR& c : all<CTR>())
      if (c.CTA == cta) return c;
    return std::nullopt;
  }
  std::vector<int> contractorsOfItems() {
    std::vector<int> out;
    for (const PAR& p : all<PAR>()) out.push_back(p.CONT);
    return out;
  }

  // As a browse does before it calls its form: the record in the buffer.
  void read(const char* label, int cta) {
    db::Table& t = ctx.table(label);
    if (!t.isOpen()) {
      ASSERT_TRUE(t.open().ok());
    }
    t.clear();
    ASSERT_TRUE(t.buffer().set(std::string(t.info().prefix) + ":CTA", std::int64_t(cta)).ok());
    ASSERT_TRUE(t.get(t.info().primaryKey()->name).ok());
  }

  int run(const char* procedure, int req) {
    auto p = program.make(procedure, ctx);
    program.request = req;
    return p->run(host);
  }
  void onList(std::function<void(BrowseProcedure&)> f) {
    host.actions.push_back([f](Procedure& p) { f(static_cast<BrowseProcedure&>(p)); });
  }
  // The row of the page showing a record number, which the key puts first.
  static int rowOf(BrowseProcedure& b, int cta) {
    const auto& rows = b.view().rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (std::get<std::int64_t>(
              rows[i].record.get(std::string(rows[i].record.table().prefix) + ":CTA")) == cta)
        return int(i);
    ADD_FAILURE() << "no row " << cta;
    return 0;
  }
  bool opened(const std::string& procedure) const {
    for (const std::string& l : host.log)
      if (l == "abre " + procedure) return true;
    return false;
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  test::TestHost host;
  db::Context ctx{storage, 0};
};

TEST_F(Catalogues, APaidContractorIsKeptAndAnUnpaidOneGoesWithItsItemsReleased) {
  CTR paid = contractor(1, "PAGADO");
  paid.TPAG = 1500.50;
  add(paid);
  add(contractor(2, "OTRO"));
  add(contractor(3, "NUNCA COBRO"));
  add(item(10, 3));
  add(item(20, 3));
  add(item(30, 2));
  add(item(40, 1));

  host.buttons = {button::No, button::Yes};
  onList([&](BrowseProcedure& b) {
    b.rowClicked(rowOf(b, 1));
    b.accepted("?DELETE:3");  // refused before any question
    b.rowClicked(rowOf(b, 3));
    b.accepted("?DELETE:3");  // "No": kept
    b.accepted("?DELETE:3");  // "Yes": gone from the list too
    EXPECT_EQ(b.view().rows().size(), 2u);
    b.accepted("?CLOSE");
  });
  EXPECT_EQ(run("CAP_DEST", request::None), response::Completed);

  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0], (WarningLines{"EL CONTRATISTA YA COBRO", "ESTIMACIONES Y NO PUEDE",
                                            "SER BORRADO ......"}));
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[0].title, "Confirmar Borrado");
  EXPECT_TRUE(contractorOnFile(1));
  EXPECT_TRUE(contractorOnFile(2));
  EXPECT_FALSE(contractorOnFile(3));
  // The deleted contractor's items are unassigned, the others' untouched.
  EXPECT_EQ(contractorsOfItems(), (std::vector<int>{0, 0, 2, 1}));

  // The form refuses the paid one when it is called for a delete without its browse too.
  read("CONT", 1);
  EXPECT_EQ(run("UP_DEST", request::Delete), response::Cancelled);
  EXPECT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(host.boxes.size(), 2u);
  EXPECT_TRUE(contractorOnFile(1));

  // The next contractor added takes the freed number, and none of the items.
  host.type("?CTR:NOMB", "NUEVO");
  host.press("?OK");
  EXPECT_EQ(run("UP_DEST", request::Insert), response::Completed);
  ASSERT_TRUE(contractorOnFile(3));
  EXPECT_EQ(contractorOnFile(3)->NOMB, "NUEVO");
  EXPECT_EQ(contractorsOfItems(), (std::vector<int>{0, 0, 2, 1}));
}

TEST_F(Catalogues, UpDestCutsLongTextsAndARenumberedContractorTakesHisItemsAndEstimates) {
  add(contractor(3, "OTRO"));
  add(item(30, 3));
  add(item(40, 5));
  POL estimate;
  estimate.CTA = 1;
  estimate.CONT = 3;
  add(estimate);
  read("CONT", 3);
  host.type("?CTR:CTA", "7");
  host.type("?CTR:NOMB", "CONSTRUCCIONES Y TERRACERIAS DEL NORTE SA");  // 41 characters
  host.type("?CTR:PANT", "20");
  host.type("?CTR:PGAR", "5");
  host.type("?CTR:IVA", "16");
  host.press("?OK");
  EXPECT_EQ(run("UP_DEST", request::Change), response::Completed);
  ASSERT_TRUE(contractorOnFile(7));
  const CTR c = *contractorOnFile(7);
  EXPECT_EQ(c.NOMB, "CONSTRUCCIONES Y TERRACERIAS D");  // cut to its 30 characters
  EXPECT_EQ(c.PANT, 20);
  EXPECT_EQ(c.PGAR, 5);
  EXPECT_EQ(c.IVA, 16);
  EXPECT_FALSE(contractorOnFile(3));
  EXPECT_EQ(contractorsOfItems(), (std::vector<int>{7, 5}));
  EXPECT_EQ(all<POL>()[0].CONT, 7);
  EXPECT_TRUE(host.warnings.empty());
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Catalogues, ChoosingAContractorWarnsWhenHisAmortisationCannotRecoverTheAdvance) {
  auto terms = [](std::int16_t cta, const char* name, double pant, double icon, double anti,
                  double aamo) {
    CTR c = contractor(cta, name);
    c.PANT = pant, c.ICON = icon, c.ANTI = anti, c.AAMO = aamo;
    return c;
  };
  add(terms(1, "RIESGO", 20, 1'000'000, 300'000, 50'000));    // 250 000 outstanding
  add(terms(2, "CUBIERTO", 25, 1'000'000, 300'000, 50'000));  // 25 % recovers it exactly
  add(terms(3, "SIN CONTRATO", 20, 0, 10'000, 0));
  add(terms(4, "SIN ANTICIPO", 0, 0, 0, 0));
  add(terms(5, "ENORME", 1, 1'000, 500'000, 0));  // 50 000 % does not fit the picture

  auto choose = [&](int cta, bool byButton) {
    host.warnings.clear();
    onList([&, cta, byButton](BrowseProcedure& b) {
      if (byButton) {
        b.rowClicked(rowOf(b, cta));
        b.popupChosen("Selecciona");
      } else {
        b.rowDoubleClicked(rowOf(b, cta));
      }
    });
    EXPECT_EQ(run("CAP_DEST", request::Select), response::Completed);
    // The choice stands whatever the warning.
    EXPECT_EQ(ctx.table("CONT").rec<CTR>().CTA, cta);
    return host.warnings;
  };
  EXPECT_EQ(choose(1, false), (std::vector<WarningLines>{kRisk, notCovered(" 25.00")}));
  EXPECT_EQ(choose(1, true)[1][1], "AL  25.00% NO SERA TOTALMENTE");
  EXPECT_TRUE(choose(2, false).empty());
  // No contract amount yet: the risk is still told, with no figure to give.
  EXPECT_EQ(choose(3, false), (std::vector<WarningLines>{kRisk, notCovered("  0.00")}));
  EXPECT_TRUE(choose(4, false).empty());
  EXPECT_EQ(choose(5, false)[1][1], "AL ######% NO SERA TOTALMENTE");

  // Closing the list chooses nothing, and a maintenance list never warns.
  host.warnings.clear();
  onList([&](BrowseProcedure& b) {
    b.rowClicked(rowOf(b, 1));
    b.accepted("?CLOSE");
  });
  EXPECT_EQ(run("CAP_DEST", request::Select), response::Cancelled);
  onList([&](BrowseProcedure& b) { b.rowDoubleClicked(rowOf(b, 1)); });  // the change form
  host.press("?CANCEL");
  host.press("?CLOSE");
  EXPECT_EQ(run("CAP_DEST", request::None), response::Completed);
  EXPECT_TRUE(opened("UP_DEST"));
  EXPECT_TRUE(host.warnings.empty());
}

// What each request of a form meets at each level: "abre" when the form
// opens, else the third line of the refusal.
class AccessLevels : public Catalogues {
 protected:
  std::string form(const char* procedure, const char* label, int req) {
    host.log.clear();
    host.warnings.clear();
    if (req != request::Insert) read(label, 1);
    (void)run(procedure, req);  // an opened form is closed by the host
    if (opened(procedure)) return "abre";
    return host.warnings.empty() ? "?" : host.warnings.back()[2];
  }
  // A delete from the browse, answered "No" when it gets as far as asking.
  std::string browseDelete(const char* browse) {
    host.warnings.clear();
    host.boxes.clear();
    host.buttons = {button::No};
    bool offered = true;
    onList([&offered](BrowseProcedure& b) {
      offered = b.state("?DELETE:3").enabled;
      b.accepted("?DELETE:3");
      b.accepted("?CLOSE");
    });
    (void)run(browse, request::None);
    host.buttons.clear();
    if (!offered) return "deshabilitado";
    if (!host.boxes.empty()) return "pregunta";
    return host.warnings.empty() ? "?" : host.warnings.back()[2];
  }
  std::string levels(const char* procedure, const char* label) {
    std::string out;
    for (int req : {request::Insert, request::Change, request::View})
      out += form(procedure, label, req) + "|";
    return out;
  }
};

TEST_F(AccessLevels, FormsAndDeletesFollowTheUsersLevels) {
  add(contractor(1, "UNO"));
  COE one;
  one.CTA = 1;
  one.TEXT = "CONCEPTO";
  add(one);

  const std::string no = "CON Ok CONTINUA...", noChange = "CON Ok CONTINUA....";
  const std::vector<std::string> expected = {
      no + "|" + no + "|" + no + "|",  // 0: nothing
      no + "|" + no + "|abre|",        // 1: view only
      "abre|" + noChange + "|abre|",   // 2: insert and view
      "abre|abre|abre|",               // 3: everything
  };
  program.rights.user = 7;
  for (int level = 0; level <= 3; ++level) {
    SCOPED_TRACE("nivel " + std::to_string(level));
    program.rights.levels.fill(0);
    program.rights.levels[4] = std::uint8_t(level);  // entry 5: contractors
    EXPECT_EQ(levels("UP_DEST", "CONT"), expected[std::size_t(level)]);
    EXPECT_EQ(browseDelete("CAP_DEST"), level == 3 ? "pregunta" : "deshabilitado");

    program.rights.levels[3] = std::uint8_t(level);  // entry 4: the concept form
    EXPECT_EQ(levels("UP_COES", "CONC"), expected[std::size_t(level)]);
  }

  // Deleting a concept asks for level 3 at the items' entry; the form's own
  // entry only has to let the form work at all.
  auto conceptDelete = [&](int form, int items) {
    program.rights.levels.fill(0);
    program.rights.levels[3] = std::uint8_t(form);
    program.rights.levels[5] = std::uint8_t(items);
    return browseDelete("CAP_COES");
  };
  EXPECT_EQ(conceptDelete(3, 3), "pregunta");
  EXPECT_EQ(conceptDelete(1, 3), "pregunta");
  // What either entry refuses is not offered at all.
  EXPECT_EQ(conceptDelete(3, 2), "deshabilitado");
  EXPECT_EQ(conceptDelete(0, 3), "deshabilitado");

  // Without a user number nothing is checked.
  program.rights.user = 0;
  program.rights.levels.fill(0);
  EXPECT_EQ(levels("UP_DEST", "CONT"), "abre|abre|abre|");
  EXPECT_EQ(browseDelete("CAP_DEST"), "pregunta");
  EXPECT_EQ(browseDelete("CAP_COES"), "pregunta");
  EXPECT_TRUE(contractorOnFile(1));  // every delete was answered "No"
}

TEST_F(Catalogues, TheFullDescriptionKeepsItsSevenHundredCharacters) {
  // Characters, not bytes: an Ñ is one character of the file's text.
  std::string first700;
  for (int i = 0; i < 175; ++i) first700 += "AÑO\n";
  const std::string full = first700 + "SOBRA";

  host.type("?COE:CLAVE", "PRE001-000-EXTRA");
  host.type("?COE:UNID", "PIEZA");
  host.type("?COE:TEXT", "EXCAVACION EN CEPA");
  host.type("?COE:TEX1", first700);
  host.press("?OK");
  EXPECT_EQ(run("UP_COES", request::Insert), response::Completed);
  std::vector<COE> stored = all<COE>();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].CTA, 1);  // numbered automatically
  EXPECT_EQ(stored[0].CLAVE, "PRE001-000-E");
  EXPECT_EQ(stored[0].UNID, "PIEZ");
  EXPECT_EQ(stored[0].TEX1, first700);

  // A longer text typed in is cut to the 700, never refused.
  read("CONC", 1);
  host.type("?COE:TEX1", full);
  host.press("?OK");
  EXPECT_EQ(run("UP_COES", request::Change), response::Completed);
  EXPECT_EQ(all<COE>()[0].TEX1, first700);

  // Shown again as stored.
  read("CONC", 1);
  host.actions.push_back([&](Procedure& p) {
    EXPECT_EQ(p.display("?COE:TEX1"), first700);
    EXPECT_EQ(p.window().find("?COE:TEX1")->lines, 10);
    p.accepted("?CANCEL");
  });
  EXPECT_EQ(run("UP_COES", request::View), response::Cancelled);
  EXPECT_TRUE(host.warnings.empty());

  // Saved with nothing typed: the missing description is asked for, with the
  // cursor on it, and nothing is stored.
  host.actions.push_back([&](Procedure& p) {
    p.accepted("?OK");
    EXPECT_FALSE(p.isClosing());
    EXPECT_EQ(host.focused, "?COE:TEXT");
    p.accepted("?CANCEL");
  });
  EXPECT_EQ(run("UP_COES", request::Insert), response::Cancelled);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0][0], "FALTA UN DATO NECESARIO:");
  EXPECT_EQ(host.warnings[0][1], "DESCRIPCION:");
  EXPECT_EQ(all<COE>().size(), 1u);
}

TEST_F(Catalogues, TheBudgetShowsCostsToTheCentAndColoursHeadingsAndSubtotals) {
  COO trazo = row(20, "C", "TRAZO");
  trazo.UNID = "M2";
  trazo.CANT = 3;
  trazo.TOBR = 0.50, trazo.TMAT = 0.25, trazo.TCOS = 0.25, trazo.TPOR = 0.005;  // 1.005: 1.01
  trazo.PUNI = 99;  // the unit cost comes from its parts
  COO limpieza = row(30, "C", "LIMPIEZA");
  limpieza.CANT = 2.5;
  limpieza.PUNI = 10.01;  // a row with only its price: 25.025 rounds up
  COO subtotal = row(40, "S", "SUBTOTAL PRELIMINARES");
  subtotal.IMPO = 999;  // what was stored does not decide
  COO columnas = row(70, "C", "COLUMNAS");
  columnas.CANT = 10, columnas.TOBR = 100;
  COO remate = row(90, "C", "REMATE");
  remate.CANT = 1, remate.TMAT = 5;
  for (const COO& r :
       {row(10, "T", "PRELIMINARES"), trazo, limpieza, subtotal, row(50, "T", "ESTRUCTURA"),
        row(60, "T", "COLUMNAS"), columnas, row(80, "S", "SUBTOTAL COLUMNAS"), remate,
        row(100, "S", "SUBTOTAL ESTRUCTURA")})
    add(r);
  program.declare("GLO:NOMBRE_OBRA", std::string("HOSPITAL GENERAL"));

  onList([&](BrowseProcedure& b) {
    auto line = [&](int r) {
      std::string s;
      for (int c = 0; c < 6; ++c) {
        std::string v = b.cell(r, c);
        v.erase(0, v.find_first_not_of(' '));
        s += (c ? "|" : "") + v;
      }
      return s;
    };
    ASSERT_EQ(b.view().rows().size(), 10u);
    EXPECT_EQ(line(0), "10|PRELIMINARES||||");
    EXPECT_EQ(line(1), "20|TRAZO|M2|3.00|1.01|3.03");
    EXPECT_EQ(line(2), "30|LIMPIEZA||2.50|10.01|25.03");
    EXPECT_EQ(line(3), "40|SUBTOTAL PRELIMINARES||||28.06");
    EXPECT_EQ(line(6), "70|COLUMNAS||10.00|100.00|1,000.00");
    EXPECT_EQ(line(7), "80|SUBTOTAL COLUMNAS||||1,000.00");
    EXPECT_EQ(line(9), "100|SUBTOTAL ESTRUCTURA||||1,005.00");
    EXPECT_EQ(b.display("?COSTO_DIRECTO"), "         1,033.06");
    EXPECT_EQ(b.display("?NOMBRE_OBRA"), "HOSPITAL GENERAL");

    // Headings and subtotals in colours of their own in every column;
    // concepts keep the green bar of their position.
    for (int c = 0; c < 6; ++c) {
      EXPECT_EQ(b.colours(0, c).normalFg, 0x000080);
      EXPECT_EQ(b.colours(0, c).normalBg, 0xCCE5FF);
      EXPECT_EQ(b.colours(3, c).normalFg, 0x800000);
      EXPECT_EQ(b.colours(3, c).normalBg, 0xFFFFCC);
      EXPECT_EQ(b.colours(9, c).normalBg, 0xFFFFCC);
    }
    EXPECT_EQ(b.colours(1, 0).normalBg, -1);
    EXPECT_EQ(b.colours(1, 0).normalFg, -1);
    EXPECT_EQ(b.colours(2, 0).normalBg, kGreenBar);
    EXPECT_EQ(b.colours(6, 5).normalBg, kGreenBar);

    // Shown only: no buttons to change it, and the keys find none.
    for (const char* id : {"?INSERT:3", "?CHANGE:3", "?DELETE:3"})
      EXPECT_EQ(b.window().find(id), nullptr);
    b.keyPressed(Key::Insert);
    b.keyPressed(Key::Delete);
    b.rowDoubleClicked(1);
    EXPECT_TRUE(b.state("?SELECT:2").hidden);
  });
  host.press("?CLOSE");
  EXPECT_EQ(run("PRESUP", request::None), response::Completed);
  EXPECT_EQ(host.log, (std::vector<std::string>{"abre PRESUP", "cierra PRESUP 1"}));
  // Its figures are its own: no program variable was set for them.
  EXPECT_FALSE(program.hasVar("COSTO_DIRECTO"));
  EXPECT_FALSE(program.hasVar("NOMBRE_OBRA"));

  // As the lookup of budget rows it returns the row chosen.
  onList([&](BrowseProcedure& b) { b.rowDoubleClicked(6); });
  EXPECT_EQ(run("PRESUP", request::Select), response::Completed);
  EXPECT_EQ(ctx.table("COBR").rec<COO>().CTA, 70);
}

}  // namespace
}  // namespace velmora
