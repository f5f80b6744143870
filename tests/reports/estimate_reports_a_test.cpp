// The budget and payment reports on a small work whose figures are worked
// out by hand: the rows each option takes, the computed columns and sums,
// IMP_EDO's file read back by Python's csv module, what a contractor
// received as IMP_CON, REP_ESC and IMP_SOL count it, and the options window.

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "estimates/reports/estimate_reports.h"
#include "estimates/reports/estimate_reports_b.h"
#include "estimates/reports/imp_con.h"
#include "reports/report_options.h"
#include "tests/support/report_fixture.h"
#include "tests/support/test_host.h"

namespace velmora::reports {
namespace {

constexpr std::int32_t kDay = 80000;

class EstimateReports : public ReportFixture {
 protected:
  EstimateReports() {
    storage_.setFileName(PAR::info(), folder_.file("OBRA10.TPS"));
    storage_.setFileName(CTR::info(), folder_.file("OBRA12.TPS"));
    storage_.setFileName(POL::info(), folder_.file("OBRA13.TPS"));
    settings_.heading = {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", kDay};
  }

  // Contractor 9 was deleted after its items and estimates were written.
  // The contractors' totals are those of the estimates below.
  void smallWork() {
    add<CTR>([](CTR& c) {
      c.CTA = 1, c.NOMB = "JUAN PEREZ", c.TPAG = 1000, c.NOAC = 100, c.TIVA = 144;
      c.AAMO = 100, c.GAAC = 50, c.ANTI = 5000;
    });
    add<CTR>([](CTR& c) {
      c.CTA = 2, c.NOMB = "CONSTRUCTORA ÑANDÚ", c.TPAG = 2100, c.TIVA = 336, c.GAAC = 100;
      c.PRES = 300;
    });
    // concept, process, front, text, unit, quantity, labour + variation, paid,
    // materials + variation, equipment, contractor, progress.
    add<PAR>([](PAR& p) {
      p.CONC = 1.01, p.PROC = 1, p.FREN = 10, p.TEXT = "EXCAVACION", p.UNID = "M3", p.CANT = 100;
      p.PRES = 1000, p.VPRE = 200, p.TPAG = 300, p.MATE = 500, p.VMAT = 50, p.EQUI = 250;
      p.CONT = 1, p.AVAN = 25;
    });
    add<PAR>([](PAR& p) {
      p.CONC = 2, p.PROC = 1, p.FREN = 20, p.TEXT = "CIMBRA", p.UNID = "M2", p.CANT = 0;
      p.PRES = 500, p.VPRE = -100, p.TPAG = 400, p.CONT = 2, p.AVAN = 100;
    });
    add<PAR>([](PAR& p) {
      p.CONC = 3.5, p.PROC = 2, p.FREN = 10, p.TEXT = "MURO", p.CANT = 10, p.PRES = 800;
      p.CONT = 9;
    });
    add<PAR>([](PAR& p) {
      p.CONC = 12, p.PROC = 1, p.FREN = 10, p.TEXT = "LOSA", p.PRES = 1000, p.TPAG = 250.5;
    });
    // Net paid: 1000 − 100 + 144 − 100 − 50 = 894; an advance pays its 5000
    // (posted); 2000 + 320 − 100 − 500 + 300 = 2020; a fund return pays 150;
    // 100 + 16 = 116 (posted).
    add<POL>([](POL& e) {
      e.CTA = 1, e.CONT = 1, e.FECH = kDay + 1, e.ESTI = 1, e.CANT = 1000, e.NOMI = 100;
      e.IVA = 144, e.PANT = 100, e.PFON = 50;
    });
    add<POL>([](POL& e) {
      e.CTA = 2, e.CONT = 1, e.FECH = kDay + 2, e.ESTI = -1, e.CANT = 5000, e.PANT = -5000;
      e.NOPO = 7;
    });
    add<POL>([](POL& e) {
      e.CTA = 3, e.CONT = 2, e.FECH = kDay + 10, e.ESTI = 1, e.CANT = 2000, e.IVA = 320;
      e.PFON = 100, e.PPRE = 500, e.PRES = 300;
    });
    add<POL>([](POL& e) {
      e.CTA = 4, e.CONT = 9, e.FECH = kDay + 20, e.ESTI = -3, e.CANT = 150, e.PFON = -150;
    });
    add<POL>([](POL& e) {
      e.CTA = 5, e.CONT = 2, e.FECH = kDay + 30, e.ESTI = 2, e.CANT = 100, e.IVA = 16, e.NOPO = 3;
    });
  }
};

TEST_F(EstimateReports, BudgetReportsTakeTheRowsTheirOptionsSayWithTheirSums) {
  {
    // A work without items: the headings and sums of zero.
    auto edo = makeImpEdo();
    const std::string text = run(*edo);
    EXPECT_TRUE(has(text, "ESTADO DE CUENTAS DE CONCEPTOS AL " + date(kDay))) << text;
    EXPECT_TRUE(has(text, "Hoja 1"));
    EXPECT_TRUE(has(lineOf(text, "SUMAS:"), "0.00"));
  }
  smallWork();
  long printed = 0;

  // A concept range given backwards is turned round, and the title says so;
  // a whole number reaches its sub-items (12 takes 12.00, not 1.01).
  auto lev = makeImpLev();
  auto& levChoices = dynamic_cast<OptionsReport&>(*lev).choices();
  levChoices.conceptFrom = 12, levChoices.conceptTo = 2;
  std::string text = run(*lev, &printed);
  EXPECT_EQ(printed, 3);
  EXPECT_TRUE(has(text, "CONCEPTOS DEL 2.00 AL 12.00")) << text;
  EXPECT_FALSE(has(text, "EXCAVACION"));
  EXPECT_TRUE(has(text, "AVANCE ACTUAL Y COMENTARIOS"));
  EXPECT_TRUE(has(lineOf(text, "SUMAS:"), "2,200.00"));  // 400 + 800 + 1,000

  // The price list: totals with their variations, unit prices over the
  // quantity (none without one), front 10 and process 1 only.
  auto tab = makeImpTab();
  auto& tabChoices = dynamic_cast<OptionsReport&>(*tab).choices();
  tabChoices.front = 10, tabChoices.process = 1;
  text = run(*tab, &printed);
  EXPECT_EQ(printed, 2);
  const std::string excavation = lineOf(text, "EXCAVACION");
  for (const char* figure : {"12.00", "1,200.00", "5.50", "550.00", "2.50", "250.00", "2,000.00"})
    EXPECT_TRUE(has(excavation, figure)) << figure << " in " << excavation;
  EXPECT_TRUE(has(lineOf(text, "SUMAS:"), "3,000.00"));  // 2,000 + the 1,000 of LOSA

  // Contract against estimated for one contractor, then one concept.
  auto rea = makeImpRea();
  auto& reaChoices = dynamic_cast<OptionsReport&>(*rea).choices();
  reaChoices.contractor = 1;
  text = run(*rea, &printed);
  EXPECT_EQ(printed, 1);
  EXPECT_TRUE(has(lineOf(text, "EXCAVACION"), "25.00"));  // 300 of 1,200
  EXPECT_TRUE(has(lineOf(text, "SUMAS:"), "900.00"));
  reaChoices = {}, reaChoices.conceptCta = 3;
  text = run(*rea, &printed);
  EXPECT_EQ(printed, 1);
  EXPECT_TRUE(has(text, "MURO"));

  // Every item: budget, executed, remaining; the deleted contractor is
  // named so, an unassigned item has no name.
  auto edo = makeImpEdo();
  text = run(*edo, &printed);
  EXPECT_EQ(printed, 4);
  EXPECT_TRUE(has(lineOf(text, "MURO"), kDeletedContractor));
  EXPECT_TRUE(has(lineOf(text, "CIMBRA"), "CONSTRUCTORA ÑANDÚ"));
  EXPECT_FALSE(has(lineOf(text, "LOSA"), "*****"));
  const std::string sums = lineOf(text, "SUMAS:");
  for (const char* figure : {"3,400.00", "950.50", "2,449.50"})
    EXPECT_TRUE(has(sums, figure)) << figure << " in " << sums;
}

TEST_F(EstimateReports, ConceptStateExportsItsColumnsReadBackByPython) {
  smallWork();
  auto edo = makeImpEdo();
  dynamic_cast<OptionsReport&>(*edo).choices().front = 10;
  dynamic_cast<OptionsReport&>(*edo).choices().process = 1;
  settings_.exporting = {folder_.file("conceptos.txt"), ";"};
  long printed = 0;
  run(*edo, &printed);
  EXPECT_EQ(printed, 2);
  EXPECT_EQ(readCsv("conceptos.CSV"),
            "CTA|PROCESO|FRENTE|DESCRIPCION|CONTRATISTA|UNIDAD|AVANCE|PRESUPUESTO|EJERCIDO|"
            "XEJERCER\n"
            "1.01|1|10|EXCAVACION|1|M3|25|1200.00|300.00|900.00\n"
            "12|1|10|LOSA|0||0|1000.00|250.50|749.50\n");
}

TEST_F(EstimateReports, PaymentReportsCountSpecialEntriesOnceAndCutByDate) {
  smallWork();
  long printed = 0;
  // Not yet paid: folios 1, 3 and 4; the fund return pays its 150 once.
  auto sol = makeImpSol();
  std::string text = run(*sol, &printed);
  EXPECT_EQ(printed, 3);
  EXPECT_TRUE(has(text, "SOLICITUD DE RECURSOS AL " + date(kDay))) << text;
  EXPECT_TRUE(has(lineOf(text, "DEV.FONDO"), kDeletedContractor));
  EXPECT_TRUE(has(lineOf(text, "SUMAS:"), "3,064.00"));
  // A date range given backwards is turned round and printed as used.
  auto& solChoices = dynamic_cast<OptionsReport&>(*sol).choices();
  solChoices.dateFrom = kDay + 15, solChoices.dateTo = kDay + 5;
  text = run(*sol, &printed);
  EXPECT_EQ(printed, 1);
  EXPECT_TRUE(has(text, " DESDE EL " + date(kDay + 5) + " AL " + date(kDay + 15))) << text;
  EXPECT_TRUE(has(lineOf(text, "SUMAS:"), "2,020.00"));

  // Paid by the bank and still to pay, up to the closing date, which is the
  // date of the title.
  auto ban = makeImpBan();
  auto& banChoices = dynamic_cast<OptionsReport&>(*ban).choices();
  banChoices.closing = kDay + 10;
  text = run(*ban, &printed);
  EXPECT_EQ(printed, 3);
  EXPECT_TRUE(has(text, "REPORTE BANCARIO AL " + date(kDay + 10)));
  EXPECT_TRUE(has(lineOf(text, "ANTICIPO"), "5,000.00"));
  std::string sums = lineOf(text, "SUMAS:");
  EXPECT_TRUE(has(sums, "5,000.00") && has(sums, "2,914.00")) << sums;
  banChoices.closing = kDay + 30;
  sums = lineOf(run(*ban, &printed), "SUMAS:");
  EXPECT_EQ(printed, 5);
  EXPECT_TRUE(has(sums, "5,116.00") && has(sums, "3,064.00")) << sums;
}

// The figures of a line: its words holding a decimal point.
std::vector<std::string> figures(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream words(line);
  for (std::string w; words >> w;)
    if (w.find('.') != std::string::npos && std::isdigit(static_cast<unsigned char>(w.back())))
      out.push_back(w);
  return out;
}

TEST_F(EstimateReports, WhatAContractorReceivedIsTheSameInEveryReport) {
  smallWork();
  // By hand: JUAN PEREZ received 894 of his estimate and the 5000 of his
  // advance; ÑANDÚ 2020 and 116; the deleted contractor 9 his fund, 150.
  auto con = makeImpCon();
  std::string text = run(*con);
  // CONTRATO, ESTIMADO, $ RECIBIDO, ...: the third figure.
  EXPECT_EQ(figures(lineOf(text, "JUAN PEREZ")).at(2), "5,894.00") << text;
  EXPECT_EQ(figures(lineOf(text, "ÑANDÚ")).at(2), "2,136.00");
  EXPECT_EQ(figures(lineOf(text, "SUMAS:")).at(2), "8,030.00");

  // REP_ESC: "NETO PAGADO", the last figure, of each contractor's sums and
  // of all.
  auto esc = makeRepEsc();
  text = run(*esc);
  std::vector<std::string> received;
  std::istringstream lines(text);
  for (std::string l; std::getline(lines, l);)
    if (has(l, "SUMAS DEL CONTRATISTA")) received.push_back(figures(l).back());
  EXPECT_EQ(received, (std::vector<std::string>{"5,894.00", "2,136.00", "150.00"})) << text;
  EXPECT_EQ(figures(lineOf(text, "SUMAS:")).back(), "8,180.00");

  // IMP_SOL asks for what is still to pay, each estimate's "A PAGAR" as
  // REP_ESC nets it: JUAN PEREZ's advance went out with policy 7, and his
  // estimate's 894.00 is the rest of his 5,894.00.
  auto sol = makeImpSol();
  dynamic_cast<OptionsReport&>(*sol).choices().contractor = 1;
  text = run(*sol);
  EXPECT_EQ(figures(lineOf(text, date(kDay + 1))).back(), "894.00") << text;
  EXPECT_EQ(figures(lineOf(text, "SUMAS:")).back(), "894.00");
  dynamic_cast<OptionsReport&>(*sol).choices().contractor = 0;
  text = run(*sol);
  EXPECT_EQ(figures(lineOf(text, "DEV.FONDO")).back(), "150.00") << text;
}

// Chooses contractor 2 as the contractors' browse would.
class ChooseContractor : public Procedure {
 public:
  ChooseContractor(Program& p, db::Context& c) : Procedure(p, c, WindowDescription{}) {}

 protected:
  bool init() override {
    table("CONT").rec<CTR>().CTA = 2;
    wm_.response = response::Completed;
    return false;
  }
};

// Stands on contractor 2 and is left without choosing; says where it opened.
class LookAndLeave : public Procedure {
 public:
  LookAndLeave(Program& p, db::Context& c, std::int64_t& openedOn)
      : Procedure(p, c, WindowDescription{}), openedOn_(openedOn) {}

 protected:
  bool init() override {
    db::Table& t = table("CONT");
    openedOn_ = t.rec<CTR>().CTA;
    t.clear();
    t.rec<CTR>().CTA = 2;
    (void)t.get("CTR:CTA_KEY");
    wm_.response = response::Cancelled;
    return false;
  }
  std::int64_t& openedOn_;
};

// The options window's lookups open on the value typed, as a form's do, and
// a lookup left without choosing keeps the name of the number kept.
TEST_F(EstimateReports, OptionsLookupsOpenOnTheValueAndKeepItsName) {
  smallWork();
  MessageService messages;
  Program program("DUDORE", storage_, messages, folder_.file("DUDORE.INI"));
  std::int64_t openedOn = -1;
  program.addProcedure("CAP_DEST", [&](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
    return std::make_unique<LookAndLeave>(p, c, openedOn);
  });
  test::TestHost host;
  auto sol = makeImpSol();
  auto& report = dynamic_cast<OptionsReport&>(*sol);
  std::string name;
  host.type("?OPC_CONTRATISTA", "1");
  host.actions.push_back([&](Procedure& p) {
    name = p.display("?CTR:NOMB");
    for (const Control& c : p.window().controls)
      if (c.type == ControlType::Lookup && c.target == "?OPC_CONTRATISTA") p.accepted(c.id);
  });
  host.actions.push_back([&](Procedure& p) {
    EXPECT_EQ(openedOn, 1);
    EXPECT_EQ(std::get<std::int64_t>(p.value("OPC_CONTRATISTA")), 1);
    EXPECT_EQ(p.display("?CTR:NOMB"), name);
    EXPECT_FALSE(name.find_first_not_of(' ') == std::string::npos) << "contractor 1 has a name";
  });
  host.press("?OK");
  EXPECT_EQ(ReportOptionsWindow(program, ctx_, report).run(host), response::Completed);
  EXPECT_EQ(report.choices().contractor, 1);
}

TEST_F(EstimateReports, OptionsWindowLooksUpWhatIsNotThereAndCancelKeepsTheChoices) {
  smallWork();
  MessageService messages;
  Program program("DUDORE", storage_, messages, folder_.file("DUDORE.INI"));
  program.addProcedure("CAP_DEST", [](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
    return std::make_unique<ChooseContractor>(p, c);
  });
  test::TestHost host;
  auto sol = makeImpSol();
  auto& report = dynamic_cast<OptionsReport&>(*sol);
  auto ask = [&] { return ReportOptionsWindow(program, ctx_, report).run(host); };

  // Contractor 5 does not exist: the browse opens and gives 2; the dates
  // typed backwards are turned round.
  host.type("?OPC_CONTRATISTA", "5");
  host.type("?OPC_FECHA_INICIAL", date(kDay + 15));
  host.type("?OPC_FECHA_FINAL", date(kDay + 5));
  host.press("?OK");
  EXPECT_EQ(ask(), response::Completed);
  EXPECT_EQ(report.choices().contractor, 2);
  EXPECT_EQ(report.choices().dateFrom, kDay + 5);
  EXPECT_EQ(report.choices().dateTo, kDay + 15);

  // Where no window asks them, as name=value; a name the report does not ask
  // and a value that does not read are refused.
  EXPECT_TRUE(setReportOption(report, "contratista=1"));
  EXPECT_TRUE(setReportOption(report, "fecha-final=" + date(kDay + 9)));
  EXPECT_EQ(report.choices().contractor, 1);
  EXPECT_EQ(report.choices().dateTo, kDay + 9);
  EXPECT_EQ(setReportOption(report, "frente=3").text,
            "El reporte IMP_SOL no tiene la opción «frente»");
  EXPECT_FALSE(setReportOption(report, "fecha-inicial=32/13/2026"));
  EXPECT_FALSE(setReportOption(report, "contratista"));
  report.choices().contractor = 2;

  // Esc leaves the choices as they were.
  host.type("?OPC_CONTRATISTA", "1");
  host.key(Key::Esc);
  EXPECT_EQ(ask(), response::Cancelled);
  EXPECT_EQ(report.choices().contractor, 2);
  EXPECT_TRUE(host.actions.empty());

  // Beside each number, what 0 means there; for the printout of one
  // estimate, folios 0 and 0 are the last one captured.
  ReportOptionsWindow window(program, ctx_, report);
  const Control* hint = window.window().find("?OPC_CONTRATISTA:Hint");
  ASSERT_NE(hint, nullptr);
  EXPECT_EQ(hint->target, "?OPC_CONTRATISTA");
  EXPECT_EQ(window.display(*hint), "0 = todos");
  EXPECT_EQ(window.display("?OPC_FECHA_INICIAL:Hint"), "en blanco = sin límite");
  // The name stays beside the number, after the hint.
  EXPECT_EQ(window.window().find("?CTR:NOMB")->target, "?OPC_CONTRATISTA");
  auto esc = makeRepEsc();
  ReportOptionsWindow escWindow(program, ctx_, dynamic_cast<OptionsReport&>(*esc));
  EXPECT_EQ(escWindow.display("?OPC_FOLIO_INICIAL:Hint"), "0 = desde la primera");
  EXPECT_EQ(escWindow.display("?OPC_FOLIO_FINAL:Hint"), "0 = hasta la última");
  auto one = makeRepImp();
  ReportOptionsWindow oneWindow(program, ctx_, dynamic_cast<OptionsReport&>(*one));
  EXPECT_EQ(oneWindow.display("?OPC_FOLIO_FINAL:Hint"), "0 y 0 = la última");
}

TEST_F(EstimateReports, ANumberThatNamesNothingIsSaidSoAndADeletedContractorStillPrints) {
  smallWork();
  add<CTR>([](CTR& c) { c.CTA = 3, c.NOMB = "SIN ESTIMACIONES"; });
  auto esc = makeRepEsc();
  long printed = 0;
  // Contractor 9 was deleted: his fund return still prints, and the user is
  // told why the name is missing.
  ASSERT_TRUE(esc->option("CONTRATISTA", "9"));
  std::string text = run(*esc, &printed);
  EXPECT_EQ(printed, 1);
  EXPECT_TRUE(has(text, kDeletedContractor)) << text;
  EXPECT_EQ(esc->notices(),
            std::vector<std::string>{"EL CONTRATISTA 9|NO ESTA EN EL CATALOGO (DADO DE BAJA);|SE "
                                     "IMPRIME LO QUE LLEVA SU NUMERO"});
  // 99 names nothing: the run fails saying so, instead of an empty report
  // passing for "nothing to report".
  ASSERT_TRUE(esc->option("CONTRATISTA", "99"));
  ReportRun missing(ctx_, *esc, settings_);
  runToEnd(missing);
  EXPECT_EQ(missing.response(), 2);
  EXPECT_EQ(missing.failure().text,
            "No está en el catálogo el contratista 99, y el reporte no tiene nada que imprimir "
            "con esa opción; use un número del catálogo (0 = todos)");
  // A contractor on file without estimates is an empty report, rightly.
  ASSERT_TRUE(esc->option("CONTRATISTA", "3"));
  run(*esc, &printed);
  EXPECT_EQ(printed, 0);
  EXPECT_TRUE(esc->notices().empty());
  // A budget item is found by its concept, whatever its process and front.
  storage_.setFileName(DPO::info(), folder_.file("OBRA14.TPS"));
  auto aux = makeImpAux();
  auto& auxChoices = dynamic_cast<OptionsReport&>(*aux).choices();
  auxChoices.item = 3.5;
  ReportRun item(ctx_, *aux, settings_);
  runToEnd(item);
  EXPECT_EQ(item.response(), 1) << item.failure().text;
  auxChoices.item = 3.51;
  ReportRun noItem(ctx_, *aux, settings_);
  runToEnd(noItem);
  EXPECT_EQ(noItem.failure().text.rfind("No está en el catálogo el concepto 3.51,", 0), 0u)
      << noItem.failure().text;
}

}  // namespace
}  // namespace velmora::reports
