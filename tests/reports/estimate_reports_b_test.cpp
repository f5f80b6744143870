// The printout of one estimate (REP_IMP, REP_PORC), the estimates by
// contractor (REP_ESC) and the estimate lines (IMP_AUX) on a small work whose
// figures are worked out by hand below; the two exports read back by
// Python's csv module.

#include <gtest/gtest.h>

#include "dictionary/storage.h"
#include "programs/shell/report_catalogue.h"
#include "reports/report_options.h"
#include "reports/wmf.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora::reports {
namespace {

// Day numbers: 80000 is 09/01/2020.
constexpr int kJan9 = 80000, kJan19 = 80010, kJan29 = 80020, kFeb8 = 80030;

class EstimatePrintouts : public ::testing::Test {
 protected:
  EstimatePrintouts() : ctx_(storage_) {
    storage_.setFileName(PAR::info(), folder_.file("OBRA10.TPS"));
    storage_.setFileName(CTR::info(), folder_.file("OBRA12.TPS"));
    storage_.setFileName(POL::info(), folder_.file("OBRA13.TPS"));
    storage_.setFileName(DPO::info(), folder_.file("OBRA14.TPS"));
    settings_.heading = {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", kFeb8};
    settings_.tempRoot = folder_.file("");
  }

  template <class R>
  void add(const R& r) {
    db::Table& t = ctx_.table<R>();
    ASSERT_TRUE(t.open());
    t.rec<R>() = r;
    ASSERT_TRUE(t.add());
    t.close();
  }

  // Contractor 1 with items A (1.01/10/1) and B (2.05/20/2); folio 1 his
  // first estimate (A to 25 %, B to 50 %), folio 2 an advance, folio 3 his
  // second estimate (A to 75 %) and folio 4 a fund return of contractor 3,
  // who is no longer on file.
  void smallWork() {
    CTR c{};
    c.CTA = 1, c.NOMB = "JUAN PEÑA", c.ICON = 100000;
    add(c);
    PAR a{};
    a.CONC = 1.01, a.PROC = 10, a.FREN = 1, a.TEXT = "EXCAVACION", a.UNID = "M3", a.CANT = 200;
    a.PRES = 10000, a.VPRE = 2000, a.TPAG = 9000, a.CONT = 1;
    add(a);
    PAR b{};
    b.CONC = 2.05, b.PROC = 20, b.FREN = 2, b.TEXT = "MURO; DE \"BLOCK\"", b.UNID = "M2";
    b.CANT = 50, b.PRES = 5000, b.TPAG = 2500, b.CONT = 1;
    add(b);
    auto estimate = [&](int folio, int cont, int date, int esti, int ufec, double cant) {
      POL p{};
      p.CTA = std::int16_t(folio), p.CONT = std::int16_t(cont), p.FECH = date, p.ESTI = esti;
      p.UFEC = ufec, p.CANT = cant;
      return p;
    };
    POL p1 = estimate(1, 1, kJan9, 1, 0, 5500);
    p1.NOMI = 500, p1.IVA = 800, p1.PANT = 550, p1.PFON = 275;
    add(p1);
    POL p2 = estimate(2, 1, kJan19, -1, 1, 12345.67);
    p2.PANT = -12345.67;
    add(p2);
    POL p3 = estimate(3, 1, kJan29, 2, kJan9, 6000);
    p3.IVA = 960, p3.PANT = 600, p3.PFON = 300, p3.PRES = 1000, p3.TACU = 5500;
    add(p3);
    POL p4 = estimate(4, 3, kFeb8, -3, 3, 700);
    p4.PFON = -700;
    add(p4);
    auto line = [&](int folio, double conc, int proc, int fren, double tant, double tact,
                    double pant, double pact) {
      DPO d{};
      d.CTA = std::int16_t(folio), d.PART = conc, d.PROC = proc, d.FREN = fren;
      d.TANT = tant, d.TACT = tact, d.PANT = pant, d.PACT = pact;
      add(d);
    };
    line(1, 1.01, 10, 1, 0, 3000, 0, 25);
    line(1, 2.05, 20, 2, 0, 2500, 0, 50);
    line(3, 1.01, 10, 1, 3000, 9000, 25, 75);
  }

  struct Output {
    std::vector<std::string> pages;  // each page's text
    std::string csv;                 // the export file, when any
    long printed = 0;
  };

  Output run(const std::string& name, std::vector<std::pair<std::string, std::string>> options,
             const std::string& csv = {}) {
    auto report = makeReport(name);
    for (auto& [o, v] : options) EXPECT_TRUE(report->option(o, v)) << o;
    settings_.exporting = {csv.empty() ? "" : folder_.file(csv), ";"};
    ReportRun r(ctx_, *report, settings_);
    runToEnd(r);
    EXPECT_EQ(r.response(), 1) << r.failure().text;
    Output out;
    out.printed = r.recordsPrinted();
    out.csv = r.exportPath();
    auto pages = r.takePages();
    if (!pages) return out;
    for (const std::string& f : pages->files()) {
      WmfPage wp;
      EXPECT_TRUE(readWmf(f, wp));
      std::string text;
      for (const std::string& l : pageText(wp)) text += l + "\n";
      out.pages.push_back(text);
    }
    return out;
  }

  // The CSV as Python's csv module reads it, fields joined by |: the header
  // with commas, the data lines with the delimiter.
  std::string readBack(const std::string& path) {
    const auto read = test::runCommand(
        "python3 -c 'import csv,sys; f=open(sys.argv[1],encoding=\"cp1252\",newline=\"\"); "
        "print(\"|\".join(next(csv.reader([f.readline()])))); "
        "[print(\"|\".join(x.strip() for x in r)) for r in csv.reader(f, delimiter=\";\")]' " +
        path);
    EXPECT_EQ(read.status, 0);
    return read.out;
  }

  test::TempFolder folder_;
  db::Storage storage_;
  db::Context ctx_;
  RunSettings settings_;
};

bool has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

// The figures one after another on the first line holding `mark`.
bool inOrder(const std::string& text, const std::string& mark,
             std::initializer_list<const char*> figures) {
  const auto at = text.find(mark);
  if (at == std::string::npos) return false;
  const std::string line =
      text.substr(text.rfind('\n', at) + 1, text.find('\n', at) - text.rfind('\n', at) - 1);
  std::size_t from = 0;
  for (const char* f : figures) {
    from = line.find(f, from);
    if (from == std::string::npos) return false;
    from += std::string_view(f).size();
  }
  return true;
}

TEST_F(EstimatePrintouts, EstimatePrintoutShowsLinesSumsFinalsAndAdvancesInWords) {
  {
    // No estimates: the headings and a word that there is nothing to print.
    Output none = run("REP_IMP", {});
    ASSERT_EQ(none.pages.size(), 1u);
    EXPECT_TRUE(has(none.pages[0], "ESTIMACION DE PAGO POR MANO DE OBRA AL 08/02/2020"));
    EXPECT_TRUE(has(none.pages[0], "NO HAY ESTIMACIONES"));
  }
  smallWork();
  // Folios given backwards are the same range: one estimate per page.
  Output all = run("REP_IMP", {{"FOLIO_INICIAL", "4"}, {"FOLIO_FINAL", "1"}});
  ASSERT_EQ(all.pages.size(), 4u);
  EXPECT_EQ(all.printed, 4);
  const std::string& first = all.pages[0];
  EXPECT_TRUE(has(first, "FOLIO: 1   ESTIMACION No: 1   FECHA: 09/01/2020")) << first;
  EXPECT_TRUE(has(first, "CONTRATISTA: 1  JUAN PEÑA"));
  EXPECT_TRUE(has(first, "V   O   L   U   M   E   N   E   S"));
  // A: 200 m3 to 25 % is 50 m3, 3,000 of a 12,000 budget; B: 25 of 50 m2.
  EXPECT_TRUE(inOrder(
      first, "EXCAVACION",
      {"M3", "200.00", "0.00", "50.00", "50.00", "12,000.00", "0.00", "3,000.00", "3,000.00"}))
      << first;
  EXPECT_TRUE(inOrder(first, "MURO", {"M2", "50.00", "0.00", "25.00", "25.00", "5,000.00"}));
  // Sums 17,000 budget, 5,500 now; to pay 5,500 − 500 + 800 − 550 − 275.
  EXPECT_TRUE(inOrder(first, "SUMAS:", {"17,000.00", "0.00", "5,500.00", "5,500.00"}));
  EXPECT_TRUE(has(first, "4,975.00"));
  EXPECT_TRUE(has(first, "(CUATRO MIL NOVECIENTOS SETENTA Y CINCO PESOS 00/100. M.N.)"));
  EXPECT_TRUE(has(first, "ESTIMADO ACUMULADO ANTERIOR:"));
  EXPECT_TRUE(has(first, "IMPORTE DEL CONTRATO:"));
  EXPECT_TRUE(has(first, "100,000.00"));

  const std::string& advance = all.pages[1];
  EXPECT_TRUE(has(advance, "POLIZA DE ANTICIPO POR:      12,345.67")) << advance;
  EXPECT_TRUE(has(advance, "(DOCE MIL TRES CIENTOS CUARENTA Y CINCO PESOS 67/100. M.N.)"));
  EXPECT_FALSE(has(advance, "SUMAS:"));
  // Folio 3: accumulated before 5,500, now 11,500; to pay with a new loan
  // 6,000 + 960 − 600 − 300 + 1,000.
  EXPECT_TRUE(has(all.pages[2], "11,500.00"));
  EXPECT_TRUE(has(all.pages[2], "7,060.00"));
  const std::string& fund = all.pages[3];
  EXPECT_TRUE(has(fund, "POLIZA DE DEVOLUCION DEL FONDO DE AHORROS POR:        700.00")) << fund;
  EXPECT_TRUE(has(fund, "(SETECIENTOS PESOS 00/100. M.N.)"));
  EXPECT_TRUE(has(fund, "***** DADO DE BAJA *****"));

  // Without a folio the last estimate; in percentages, A from 25 to 75 %.
  Output last = run("REP_IMP", {});
  ASSERT_EQ(last.pages.size(), 1u);
  EXPECT_TRUE(has(last.pages[0], "FOLIO: 4"));
  Output percent = run("REP_PORC", {{"FOLIO_INICIAL", "3"}, {"FOLIO_FINAL", "3"}});
  ASSERT_EQ(percent.pages.size(), 1u);
  EXPECT_TRUE(has(percent.pages[0], "P O R C E N T A J E S"));
  EXPECT_TRUE(inOrder(percent.pages[0], "EXCAVACION",
                      {"25.00", "50.00", "75.00", "12,000.00", "3,000.00", "6,000.00", "9,000.00"}))
      << percent.pages[0];
}

TEST_F(EstimatePrintouts, EstimatesByContractorSelectSumAndExport) {
  {
    Output none = run("REP_ESC", {});
    ASSERT_EQ(none.pages.size(), 1u);
    EXPECT_TRUE(has(none.pages[0], "SUMAS:"));
    EXPECT_TRUE(has(none.pages[0], "0.00"));
  }
  smallWork();
  // Every estimate; an advance or a fund return nets its own amount.
  Output all = run("REP_ESC", {}, "esc.txt");
  EXPECT_EQ(all.printed, 4);
  const std::string& page = all.pages.back();
  EXPECT_TRUE(has(page, "24,545.67")) << page;  // amounts
  EXPECT_TRUE(has(page, "25,080.67"));          // 4,975 + 12,345.67 + 7,060 + 700
  EXPECT_TRUE(has(page, "***** DADO DE BAJA *****"));
  // Each contractor's sums under his estimates: Juan's three (importe and
  // net), then the deleted one's fund return.
  std::vector<std::string> groups;
  for (std::size_t at = page.find("SUMAS DEL CONTRATISTA"); at != std::string::npos;
       at = page.find("SUMAS DEL CONTRATISTA", at + 1))
    groups.push_back(page.substr(at, page.find('\n', at) - at));
  ASSERT_EQ(groups.size(), 2u) << page;
  EXPECT_TRUE(has(groups[0], "23,845.67") && has(groups[0], "24,380.67")) << groups[0];
  EXPECT_TRUE(has(groups[1], "700.00")) << groups[1];
  EXPECT_FALSE(has(run("REP_ESC", {{"CONTRATISTA", "1"}}).pages[0], "SUMAS DEL CONTRATISTA"));
  const std::string pad = "                    ";
  EXPECT_EQ(readBack(all.csv),
            "FOLIO|CONTRATISTA|ESTIMACION|FECHA|IMPORTE TOTAL|PAGADO NOMINA|SUB TOTAL|IVA "
            "RECIBO|FONDO GTIA|A/ANTICIPO|PRESTAMOS|PAGO PRESTAMO|NETO PAGADO\n"
            "1|JUAN PEÑA|1|80000|5500|500|5000.00|800|275|550|0|0|4975.00\n"
            "2|JUAN PEÑA|-1|80010|12345.67|0|12345.67|0|0|-12345.67|0|0|12345.67\n"
            "3|JUAN PEÑA|2|80020|6000|0|6000.00|960|300|600|1000|0|7060.00\n"
            "4|***** DADO DE BAJA *****|-3|80030|700|0|700.00|0|-700|0|0|0|700.00\n");

  // Dates backwards: the 19th to the 29th of January, said in the heading.
  Output dates = run("REP_ESC", {{"FECHA_INICIAL", "29/01/2020"}, {"FECHA_FINAL", "19/01/2020"}});
  EXPECT_EQ(dates.printed, 2);
  EXPECT_TRUE(inOrder(dates.pages[0], "REPORTE DE ESTIMACIONES AL 08/02/2020",
                      {"DESDE EL 19/01/2020 AL 29/01/2020"}))
      << dates.pages[0];
  EXPECT_TRUE(has(dates.pages[0], "18,345.67"));
  EXPECT_EQ(run("REP_ESC", {{"CONTRATISTA", "3"}}).printed, 1);
  EXPECT_EQ(run("REP_ESC", {{"FOLIO_INICIAL", "3"}, {"FOLIO_FINAL", "2"}}).printed, 2);
  // What the report does not ask, or cannot read, is refused.
  auto esc = makeReport("REP_ESC");
  EXPECT_FALSE(esc->option("FRENTE", "1"));
  EXPECT_FALSE(esc->option("FECHA_INICIAL", "31/02/2020"));
  EXPECT_FALSE(esc->option("FOLIO_FINAL", "1.5"));
}

TEST_F(EstimatePrintouts, AuxiliaryListsEveryLineWithItsItemAndExportsIt) {
  smallWork();
  Output all = run("IMP_AUX", {}, "aux");
  EXPECT_EQ(all.printed, 3);
  const std::string& page = all.pages[0];
  EXPECT_TRUE(has(page, "MURO; DE \"BLOCK\"")) << page;
  // $ before 3,000, after 14,500, this estimate's 11,500.
  EXPECT_TRUE(inOrder(page, "SUMAS:", {"3,000.00", "14,500.00", "11,500.00"})) << page;
  EXPECT_EQ(readBack(all.csv),
            "FOLIO|FECHA|CONCEPTO|PROCESO|FRENTE|DESCROPCION|CONTRATISTA|PRESUPUESTO|% ANTERIOR|% "
            "ACTUAL|$ ANTERIOR|$ ACTUAL|EJERCIDO\n"
            "1|80000|1.01|10|1|EXCAVACION|1|12000.00|0|25|0|3000|9000.00\n"
            "1|80000|2.05|20|2|MURO; DE \"BLOCK\"|1|5000.00|0|50|0|2500|2500.00\n"
            "3|80020|1.01|10|1|EXCAVACION|1|12000.00|25|75|3000|9000|9000.00\n");
  // The text column keeps its full width in the file.
  const auto raw = test::runCommand("sed -n 2p " + all.csv);
  EXPECT_TRUE(has(raw.out, ";EXCAVACION                    ;")) << raw.out;

  EXPECT_EQ(run("IMP_AUX", {{"FRENTE", "1"}}).printed, 2);
  EXPECT_EQ(run("IMP_AUX", {{"CONCEPTO", "2.05"}}).printed, 1);
  EXPECT_EQ(run("IMP_AUX", {{"PROCESO", "10"}, {"FOLIO_INICIAL", "2"}}).printed, 1);
  EXPECT_EQ(run("IMP_AUX", {{"FECHA_INICIAL", "01/02/2020"}}).printed, 0);
  // A contractor on file without lines: an empty report with its sums.
  CTR idle{};
  idle.CTA = 2, idle.NOMB = "SIN RENGLONES";
  add(idle);
  Output none = run("IMP_AUX", {{"CONTRATISTA", "2"}});
  EXPECT_EQ(none.printed, 0);
  EXPECT_TRUE(has(none.pages[0], "SUMAS:"));
}

// The options window as a program shows it: typed backwards, kept turned
// round; cancelled, the report does not run.
class Asker : public Procedure {
 public:
  Asker(Program& program, db::Context& ctx, Report& report)
      : Procedure(program, ctx, WindowDescription{}), report_(report) {}
  bool answered = false;

 protected:
  bool init() override {
    answered = report_.ask(*this);
    return false;
  }

 private:
  Report& report_;
};

TEST_F(EstimatePrintouts, OptionsWindowTakesTheRangesTyped) {
  smallWork();
  MessageService messages;
  Program program{"DUDORE", storage_, messages, folder_.file("DUDORE.INI")};
  test::TestHost host;
  auto report = makeReport("REP_ESC");
  host.type("?OPC_FOLIO_INICIAL", "3");
  host.type("?OPC_FOLIO_FINAL", "1");
  host.type("?OPC_FECHA_INICIAL", "29/01/2020");
  host.type("?OPC_FECHA_FINAL", "09/01/2020");
  host.type("?OPC_CONTRATISTA", "1");
  host.press("?OK");
  Asker asker(program, ctx_, *report);
  asker.run(host);
  ASSERT_TRUE(asker.answered);
  const ReportChoices& o = static_cast<OptionsReport&>(*report).choices();
  EXPECT_EQ(o.folioFrom, 1);
  EXPECT_EQ(o.folioTo, 3);
  EXPECT_EQ(o.dateFrom, kJan9);
  EXPECT_EQ(o.dateTo, kJan29);
  EXPECT_EQ(o.contractor, 1);

  host.press("?CANCEL");
  Asker cancelled(program, ctx_, *report);
  cancelled.run(host);
  EXPECT_FALSE(cancelled.answered);
}

}  // namespace
}  // namespace velmora::reports
