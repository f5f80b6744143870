// VOROVID's reports on a small work whose figures are worked out by hand:
// the records each choice takes, the computed columns and sums, the
// suppliers and equipment no longer on file, the exports read back by
// Python's csv module, the options by name and the options window.

#include <gtest/gtest.h>

#include "equipment/reports/equipment_reports.h"
#include "tests/support/report_fixture.h"
#include "tests/support/test_host.h"

namespace velmora::reports {
namespace {

constexpr std::int32_t kDay = 80000;
// Fifty characters: the whole of MAQ:DESC.
const std::string kLongName = "RETROEXCAVADORA CATERPILLAR 416E CON MARTILLO 2024";

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class EquipmentReports : public ReportFixture {
 protected:
  EquipmentReports() {
    storage_.setFileName(PRV::info(), folder_.file("MATE1.TPS"));
    storage_.setFileName(BAN::info(), folder_.file("PAGO3.TPS"));
    storage_.setFileName(MAQ::info(), folder_.file("OBRA19.TPS"));
    storage_.setFileName(FAM::info(), folder_.file("OBRA20.TPS"));
    storage_.setFileName(PGM::info(), folder_.file("OBRA21.TPS"));
    settings_.heading = {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", kDay, "AV. JUAREZ 100"};
  }

  // Supplier 9 and equipment 7 were deleted after their records were written.
  void smallWork() {
    // cta, name, kind, received, paid, advanced, invoiced, amortised; kind 1
    // is not an equipment supplier.
    auto supplier = [&](std::int32_t cta, const char* name, int tipo, double trec, double tpag,
                        double anti, double tfac, double aamo) {
      add<PRV>([&](PRV& p) {
        p.CTA = cta, p.NOMB = name, p.RFC = "RFC" + std::to_string(cta),
        p.TIPO = std::uint8_t(tipo);
        p.TREC = trec, p.TPAG = tpag, p.ANTI = anti, p.TFAC = tfac, p.AAMO = aamo;
      });
    };
    supplier(1, "MAQUINARIA DEL NORTE", 2, 1000, 500, 200.5, 1150, 100);
    supplier(2, "RENTAS ÑANDÚ; S.A.", 2, 300, 0, 0, 300.25, 0);
    supplier(3, "FERRETERIA", 1, 9999, 0, 0, 0, 0);
    add<BAN>([](BAN& b) { b.CTA = 1, b.NOMB = "BANCO CENTRAL"; });
    add<MAQ>([](MAQ& m) { m.CTA = 1, m.FREN = 10, m.DESC = kLongName; });
    add<MAQ>([](MAQ& m) { m.CTA = 2, m.FREN = 10, m.DESC = "GRUA TITAN"; });
    add<MAQ>([](MAQ& m) { m.CTA = 2, m.FREN = 20, m.DESC = "GRUA DE OTRO FRENTE"; });
    // Record order is not supplier and date order: 13, 11, 12, 14 is.
    // 11: 1,150.00 paid in full; 12: 1,000.00 of 1,150.00 paid; 13: no
    // hours, not invoiced; 14: the deleted supplier and equipment.
    auto invoice = [&](std::int32_t cta, std::int32_t prov, std::int32_t fact, std::int32_t day,
                       std::int32_t maqu, double hours, double impo, double iva, double pago) {
      add<FAM>([&](FAM& f) {
        f.CTA = cta, f.PROV = prov, f.FACT = fact, f.FECH = kDay + day, f.MAQU = maqu, f.FREN = 10;
        f.CANT = hours, f.IMPO = impo, f.IVA = iva, f.PAGO = pago;
      });
    };
    invoice(11, 1, 5001, 3, 1, 7, 1000, 150, 1150);
    invoice(12, 2, 7002, 2, 2, 3, 1000, 150, 1000);
    invoice(13, 1, 0, 1, 1, 0, 250, 0, 0);
    invoice(14, 9, 0, 9, 7, 2, 100, 16, 0);
    // Advances have no invoice; 102 applies 300.00 of the advance; 103 is
    // another supplier's payment with the same invoice number as 11.
    auto payment = [&](std::int32_t prov, std::int32_t fact, std::int32_t day, std::int32_t chec,
                       double cant, double anti, const char* tipo) {
      add<PGM>([&](PGM& p) {
        p.PROV = prov, p.FACT = fact, p.FECH = kDay + day, p.CHEC = chec, p.BANK = 1;
        p.CANT = cant, p.ANTI = anti, p.TIPO = tipo;
      });
    };
    payment(1, 0, 0, 101, 500, 500, "A");
    payment(1, 11, 5, 102, 850, 300, "F");
    payment(2, 11, 10, 103, 200, 0, "F");
    payment(9, 14, 20, 104, 100, 0, "F");
    payment(9, 0, 21, 105, 50, 50, "A");
    payment(1, 11, 6, 106, 300, 0, "F");
    payment(2, 12, 4, 107, 1000, 0, "F");
  }
};

EquipmentChoices& choicesOf(Report& r) { return dynamic_cast<EquipmentReport&>(r).choices(); }

TEST_F(EquipmentReports, SuppliersListsEquipmentSuppliersUnderTheWorksHeading) {
  smallWork();
  auto prv = makeImpPrv();
  long printed = 0;
  const std::string text = run(*prv, &printed);
  EXPECT_EQ(printed, 2);
  EXPECT_TRUE(has(text, "CONSTRUCTORA DEMO")) << text;
  EXPECT_TRUE(has(text, "REPORTE DE PROVEEDORES DE: HOSPITAL GENERAL"));
  EXPECT_TRUE(has(lineOf(text, "AV. JUAREZ 100"), date(kDay)));
  EXPECT_TRUE(has(text, "Hoja 1"));
  EXPECT_FALSE(has(text, "FERRETERIA"));
  EXPECT_FALSE(has(text, "AVISOS:"));
  const std::string sums = lineOf(text, "SUMAS:");
  for (const char* figure : {"1,300.00", " 500.00", "200.50", "1,450.25", " 100.00"})
    EXPECT_TRUE(has(sums, figure)) << figure << " in " << sums;
}

TEST_F(EquipmentReports, PaymentsTakeTheKindDatesSupplierAndInvoiceChosen) {
  smallWork();
  auto pag = makeImpPag();
  EquipmentChoices& c = choicesOf(*pag);
  long printed = 0;

  // Advances only: what was given, as it was given.
  c.reporta = 2;
  std::string text = run(*pag, &printed);
  EXPECT_EQ(printed, 2);
  EXPECT_TRUE(has(text, "PAGOS A PROVEEDORES DE EQUIPO EN: HOSPITAL GENERAL")) << text;
  EXPECT_FALSE(has(text, "DESDE EL") || has(text, " AL "));
  std::string sums = lineOf(text, "SUMAS:");
  EXPECT_EQ(count(sums, "550.00"), 2) << sums;

  // Invoice payments only: the advance applied is taken off.
  c.reporta = 3;
  text = run(*pag, &printed);
  EXPECT_EQ(printed, 5);
  EXPECT_TRUE(has(lineOf(text, date(kDay + 5)), "-300.00")) << text;
  sums = lineOf(text, "SUMAS:");
  EXPECT_TRUE(has(sums, "2,450.00") && has(sums, "-300.00")) << sums;

  // Everything: both kinds, and the advance column nets out.
  c.reporta = 1;
  text = run(*pag, &printed);
  EXPECT_EQ(printed, 7);
  sums = lineOf(text, "SUMAS:");
  EXPECT_TRUE(has(sums, "3,000.00") && has(sums, "250.00")) << sums;

  // Dates: both ends, only the start, only the end; each shown in the title.
  c.dateFrom = kDay + 5, c.dateTo = kDay + 10;
  text = run(*pag, &printed);
  EXPECT_EQ(printed, 3);
  EXPECT_TRUE(
      has(text, "EN: HOSPITAL GENERAL DESDE EL " + date(kDay + 5) + " AL " + date(kDay + 10)))
      << text;
  EXPECT_TRUE(has(lineOf(text, "SUMAS:"), "1,350.00"));
  c.dateTo = 0, c.dateFrom = kDay + 20;
  text = run(*pag, &printed);
  EXPECT_EQ(printed, 2);
  EXPECT_TRUE(has(text, "GENERAL DESDE EL " + date(kDay + 20))) << text;
  EXPECT_FALSE(has(text, " AL "));
  c.dateFrom = 0, c.dateTo = kDay + 4;
  text = run(*pag, &printed);
  EXPECT_EQ(printed, 2);
  EXPECT_TRUE(has(text, "GENERAL AL " + date(kDay + 4))) << text;
  EXPECT_TRUE(has(lineOf(text, "SUMAS:"), "1,500.00"));

  // Supplier, invoice, and both: another supplier's invoice 11 is not ours.
  c.dateTo = 0, c.supplier = 1;
  EXPECT_TRUE(has(lineOf(run(*pag, &printed), "SUMAS:"), "1,650.00"));
  EXPECT_EQ(printed, 3);
  c.supplier = 0, c.invoice = 11;
  run(*pag, &printed);
  EXPECT_EQ(printed, 3);
  c.supplier = 1;
  EXPECT_TRUE(has(lineOf(run(*pag, &printed), "SUMAS:"), "1,150.00"));
  EXPECT_EQ(printed, 2);
}

TEST_F(EquipmentReports, DeletedSupplierIsToldOnceAfterTheSumsAndItsLinesStay) {
  smallWork();
  auto pag = makeImpPag();
  long printed = 0;
  std::string text = run(*pag, &printed);
  EXPECT_EQ(printed, 7);
  EXPECT_EQ(count(text, std::string(kDeletedName)), 2) << text;
  EXPECT_TRUE(has(lineOf(text, date(kDay + 21)), "9 " + std::string(kDeletedName)));
  const std::string told =
      "EL PROVEEDOR 9|FUE DADO DE BAJA, Y EXISTE|REGISTRO DE RECEPCION EN OBRA";
  EXPECT_EQ(pag->notices(), std::vector<std::string>{told});
  const std::size_t sums = text.find("SUMAS:"), avisos = text.find("AVISOS:");
  ASSERT_NE(avisos, std::string::npos) << text;
  EXPECT_LT(sums, avisos);
  EXPECT_EQ(count(text, "EL PROVEEDOR 9 FUE DADO DE BAJA, Y EXISTE REGISTRO DE RECEPCION EN OBRA"),
            1);

  // The next run of the same report starts without them.
  choicesOf(*pag).supplier = 1;
  text = run(*pag, &printed);
  EXPECT_TRUE(pag->notices().empty());
  EXPECT_FALSE(has(text, "AVISOS:") || has(text, "DADO DE BAJA"));

  // The invoices say which record keeps the deleted supplier.
  auto fac = makeImpFac();
  text = run(*fac);
  EXPECT_TRUE(has(lineOf(text, date(kDay + 9)), std::string(kDeletedName)));
  EXPECT_EQ(fac->notices(),
            std::vector<std::string>{
                "EL PROVEEDOR 9|FUE DADO DE BAJA, Y EXISTE|REGISTRO DE FACTURACION"});
}

TEST_F(EquipmentReports, InvoicesGoBySupplierAndDateWithTheirBalancesAndPayments) {
  smallWork();
  auto fac = makeImpFac();
  EquipmentChoices& c = choicesOf(*fac);
  long printed = 0;

  std::string text = run(*fac, &printed);
  EXPECT_EQ(printed, 4);
  EXPECT_TRUE(has(text, "FACTURAS DE LA OBRA: HOSPITAL GENERAL")) << text;
  const std::size_t at13 = text.find(date(kDay + 1)), at11 = text.find(date(kDay + 3)),
                    at12 = text.find(date(kDay + 2)), at14 = text.find(date(kDay + 9));
  EXPECT_TRUE(at13 < at11 && at11 < at12 && at12 < at14) << text;
  EXPECT_FALSE(has(text, "PAGOS REALIZADOS"));
  std::string sums = lineOf(text, "SUMA TOTAL EN FACTURAS:");
  for (const char* figure : {"2,666.00", "2,150.00", " 516.00"})
    EXPECT_TRUE(has(sums, figure)) << figure << " in " << sums;

  // Still to pay: the invoice paid in full goes, 150.00 is left on 12.
  c.reporta = 2;
  text = run(*fac, &printed);
  EXPECT_EQ(printed, 3);
  EXPECT_FALSE(has(text, date(kDay + 3)));
  const std::string twelve = lineOf(text, date(kDay + 2));
  EXPECT_TRUE(has(twelve, "1,150.00") && has(twelve, "1,000.00") && has(twelve, " 150.00"))
      << twelve;
  sums = lineOf(text, "SUMA TOTAL EN FACTURAS:");
  EXPECT_TRUE(has(sums, "1,516.00") && has(sums, "1,000.00") && has(sums, " 516.00")) << sums;

  // Paid: only 11, with nothing left.
  c.reporta = 3;
  text = run(*fac, &printed);
  EXPECT_EQ(printed, 1);
  EXPECT_TRUE(has(lineOf(text, date(kDay + 3)), " 0.00"));
  EXPECT_EQ(count(lineOf(text, "SUMA TOTAL EN FACTURAS:"), "1,150.00"), 2);

  // The start date applies; a supplier.
  c.reporta = 1, c.dateFrom = kDay + 2;
  run(*fac, &printed);
  EXPECT_EQ(printed, 3);
  c.dateFrom = 0, c.supplier = 2;
  run(*fac, &printed);
  EXPECT_EQ(printed, 1);

  // With their payments: the supplier's own for that invoice, then their sum;
  // supplier 2's payment 103 carries the same invoice number as 11.
  c.supplier = 0, c.withPayments = true;
  text = run(*fac, &printed);
  EXPECT_EQ(printed, 4);
  EXPECT_EQ(count(text, "PAGOS REALIZADOS"), 2) << text;
  EXPECT_FALSE(has(text, date(kDay + 10)));
  const std::size_t block = text.find("PAGOS REALIZADOS");
  EXPECT_TRUE(text.find(date(kDay + 3)) < block && block < text.find(date(kDay + 5)));
  for (const char* figure : {"850.00", "102", "1 BANCO CENTRAL"})
    EXPECT_TRUE(has(lineOf(text, date(kDay + 5)), figure)) << figure;
  EXPECT_TRUE(has(lineOf(text, date(kDay + 6)), "300.00"));
  EXPECT_TRUE(has(lineOf(text, "SUMA:"), "1,150.00"));
  EXPECT_TRUE(has(lineOf(text, date(kDay + 4)), "1,000.00"));
  EXPECT_TRUE(has(lineOf(text, "SUMA TOTAL EN FACTURAS:"), "2,666.00"));
}

TEST_F(EquipmentReports, WorkDoneTakesInvoicedOrNotWithPricesPerHour) {
  smallWork();
  auto rec = makeImpRec();
  EquipmentChoices& c = choicesOf(*rec);
  long printed = 0;

  std::string text = run(*rec, &printed);
  EXPECT_EQ(printed, 4);
  EXPECT_TRUE(has(text, "TRABAJOS REALIZADOS CON MAQUINARIA Y EQUIPO EN HOSPITAL GENERAL"));
  // 1,000.00 / 7 hours rounds up to the cent, 1,000.00 / 3 down; no hours,
  // no price.
  EXPECT_TRUE(has(lineOf(text, date(kDay + 3)), "142.86")) << text;
  const std::string twelve = lineOf(text, date(kDay + 2));
  EXPECT_TRUE(has(twelve, "333.33") && has(twelve, "GRUA TITAN")) << twelve;
  const std::string thirteen = lineOf(text, date(kDay + 1));
  EXPECT_EQ(count(thirteen, ".00"), 4) << thirteen;     // hours, importe, IVA, total
  EXPECT_EQ(count(thirteen, "250.00"), 2) << thirteen;  // importe and total
  EXPECT_TRUE(has(lineOf(text, date(kDay + 9)), std::string(kDeletedName)));
  std::string sums = lineOf(text, "SUMAS:");
  for (const char* figure : {"2,350.00", "316.00", "2,666.00"})
    EXPECT_TRUE(has(sums, figure)) << figure << " in " << sums;
  EXPECT_EQ(rec->notices(),
            std::vector<std::string>{
                "EL EQUIPO 7|FUE DADO DE BAJA, Y EXISTE|REGISTRO DE RECEPCION EN OBRA"});

  // The description is cut to its column unless asked whole.
  EXPECT_TRUE(has(text, kLongName.substr(0, 30)));
  EXPECT_FALSE(has(text, kLongName.substr(0, 31)));
  ASSERT_TRUE(rec->option("DESCRIPCION_COMPLETA", "SI"));
  text = run(*rec);
  // Whole to its last character, beside the price's padding.
  EXPECT_TRUE(has(lineOf(text, date(kDay + 3)), kLongName + " ")) << text;

  c.reporta = 2;
  text = run(*rec, &printed);
  EXPECT_EQ(printed, 2);
  sums = lineOf(text, "SUMAS:");
  EXPECT_TRUE(has(sums, "350.00") && has(sums, "16.00") && has(sums, "366.00")) << sums;
  c.reporta = 3;
  run(*rec, &printed);
  EXPECT_EQ(printed, 2);
  c.supplier = 2;
  text = run(*rec, &printed);
  EXPECT_EQ(printed, 1);
  EXPECT_FALSE(has(text, "GRUA DE OTRO FRENTE"));
}

TEST_F(EquipmentReports, AWorkWithoutPaymentsOrBanksYetStillPrints) {
  // Capturing invoices opens neither the payments' nor the banks' file.
  add<PRV>([](PRV& p) { p.CTA = 1, p.NOMB = "MAQUINARIA DEL NORTE", p.TIPO = 2; });
  add<FAM>([](FAM& f) { f.CTA = 1, f.PROV = 1, f.FECH = kDay, f.IMPO = 100, f.IVA = 16; });
  auto fac = makeImpFac();
  choicesOf(*fac).withPayments = true;
  EXPECT_TRUE(has(lineOf(run(*fac), "SUMA TOTAL EN FACTURAS:"), "116.00"));
  auto pag = makeImpPag();
  long printed = -1;
  EXPECT_TRUE(has(run(*pag, &printed), "SUMAS:"));
  EXPECT_EQ(printed, 0);
}

TEST_F(EquipmentReports, ExportsCarryThePrintedColumnsReadBackByPython) {
  smallWork();
  auto pag = makeImpPag();
  choicesOf(*pag).supplier = 1;
  settings_.exporting = {folder_.file("pagos.txt"), ";"};
  run(*pag);
  EXPECT_EQ(readCsv("pagos.CSV"),
            "P R O V E E D O R|REFERENCIA|FECHA|FACT|IMPORTE|ANTICIPO|B A N C O\n"
            "1 MAQUINARIA DEL NORTE|101|80000|0|500.00|500.00|1 BANCO CENTRAL\n"
            "1 MAQUINARIA DEL NORTE|102|80005|11|850.00|-300.00|1 BANCO CENTRAL\n"
            "1 MAQUINARIA DEL NORTE|106|80006|11|300.00|0.00|1 BANCO CENTRAL\n");

  // A name holding the delimiter keeps its row's columns.
  auto fac = makeImpFac();
  settings_.exporting = {folder_.file("facturas.txt"), ";"};
  run(*fac);
  EXPECT_EQ(readCsv("facturas.CSV"),
            "FACT|P R O V E E D O R|FECHA|IMPORTE|PAGOS|SALDO\n"
            "13|1 MAQUINARIA DEL NORTE|80001|250.00|0.00|250.00\n"
            "11|1 MAQUINARIA DEL NORTE|80003|1150.00|1150.00|0.00\n"
            "12|2 RENTAS ÑANDÚ; S.A.|80002|1150.00|1000.00|150.00\n"
            "14|9 ***** DADO DE BAJA *****|80009|116.00|0.00|116.00\n");

  // No hours: the price is blank in the file too.
  auto rec = makeImpRec();
  choicesOf(*rec).reporta = 2;
  settings_.exporting = {folder_.file("trabajos.txt"), ";"};
  run(*rec);
  EXPECT_EQ(readCsv("trabajos.CSV"),
            "FECHA|HORAS|E Q U I P O|PRECIO|IMPORTE|I.V.A.|TOTAL|PROV|FACT\n"
            "80001|0|" +
                kLongName +
                "||250.00|0.00|250.00|1|0\n"
                "80009|2|***** DADO DE BAJA *****|50.00|100.00|16.00|116.00|9|0\n");
}

TEST_F(EquipmentReports, OptionsByNameAreCheckedAgainstTheReportsWindow) {
  auto prv = makeImpPrv(), pag = makeImpPag(), fac = makeImpFac(), rec = makeImpRec();
  auto refusal = [](Report& r, const char* name, const char* value) {
    const Status st = r.option(name, value);
    EXPECT_FALSE(st) << name << "=" << value;
    return st.text;
  };
  EXPECT_TRUE(
      has(refusal(*prv, "PROVEEDOR", "1"), "El reporte IMP_PRV no tiene la opción «PROVEEDOR»"));
  EXPECT_TRUE(has(refusal(*pag, "INCLUYE_PAGOS", "SI"), "no tiene la opción «INCLUYE_PAGOS»"));
  EXPECT_TRUE(has(refusal(*rec, "FECHA_INICIAL", "01/07/2026"), "no tiene la opción"));
  EXPECT_TRUE(has(refusal(*pag, "FECHA_INICIAL", "31/02/2026"), "no es válida"));
  EXPECT_TRUE(has(refusal(*pag, "FACTURA", "-3"), "no es válido"));
  EXPECT_TRUE(has(refusal(*pag, "REPORTA", "PAGADA"), "Todo, Anticipos, Facturado"));
  EXPECT_TRUE(has(refusal(*fac, "INCLUYE_PAGOS", "QUIZA"), "no es SI ni NO"));

  // Captions are taken however they are written, or by their number.
  EXPECT_TRUE(pag->option("REPORTA", "anticipos"));
  EXPECT_EQ(choicesOf(*pag).reporta, 2);
  EXPECT_TRUE(fac->option("REPORTA", "x pagar"));
  EXPECT_EQ(choicesOf(*fac).reporta, 2);
  EXPECT_TRUE(rec->option("REPORTA", "3"));
  EXPECT_EQ(choicesOf(*rec).reporta, 3);
  EXPECT_TRUE(pag->option("FECHA_FINAL", "31/08/2026"));
  EXPECT_TRUE(pag->option("FECHA_INICIAL", "01/07/2026"));
  EXPECT_TRUE(pag->option("proveedor", "2"));  // as velmora reporte passes it
  EXPECT_TRUE(fac->option("INCLUYE_PAGOS", "si"));
  EXPECT_EQ(choicesOf(*pag).range(), " DESDE EL 01/07/2026 AL 31/08/2026");
  EXPECT_EQ(choicesOf(*pag).supplier, 2);
  EXPECT_TRUE(choicesOf(*fac).withPayments);
}

// Chooses a supplier as the suppliers' browse would, or gives up.
class ChooseSupplier : public Procedure {
 public:
  ChooseSupplier(Program& p, db::Context& c, int& calls, std::int32_t& choice)
      : Procedure(p, c, WindowDescription{}), calls_(calls), choice_(choice) {}

 protected:
  bool init() override {
    ++calls_;
    table("PROV").rec<PRV>().CTA = choice_;
    wm_.response = choice_ ? response::Completed : response::Cancelled;
    return false;
  }

 private:
  int& calls_;
  std::int32_t& choice_;
};

// What a report menu does before the run: asks the report's options.
class AskOptions : public Procedure {
 public:
  AskOptions(Program& p, db::Context& c, Report& report)
      : Procedure(p, c, WindowDescription{}), report_(report) {}
  bool asked = false;

 protected:
  bool init() override {
    asked = report_.ask(*this);
    return false;
  }

 private:
  Report& report_;
};

TEST_F(EquipmentReports, InvoiceOptionsWindowOpensOnTodoAndCancelPutsTheSupplierBack) {
  smallWork();
  MessageService messages;
  Program program("VOROVID", storage_, messages, folder_.file("VOROVID.INI"));
  int lookups = 0;
  std::int32_t choice = 2;
  program.addProcedure("CAP_PROV", [&](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
    return std::make_unique<ChooseSupplier>(p, c, lookups, choice);
  });
  program.declare("NPRV", Value(std::int64_t(1)));
  test::TestHost host;
  auto fac = makeImpFac();
  const EquipmentChoices& c = choicesOf(*fac);
  auto ask = [&] {
    AskOptions caller(program, ctx_, *fac);
    caller.run(host);
    return caller.asked;
  };
  std::string opened;
  auto look = [&] {
    host.actions.push_back([&](Procedure& p) {
      opened = p.name() + " " + toText(p.value("REPORTA")) + " " +
               toText(p.value("INCLUYE_PAGOS")) + " " + toText(p.value("NPRV")) + " " +
               p.display("?PRV:NOMB");
      // What 0 and a blank date mean, beside their fields.
      EXPECT_EQ(p.display("?NPRV:Hint"), "0 = todos");
      EXPECT_EQ(p.display("?FECHA_INICIAL:Hint"), "en blanco = sin límite");
    });
  };

  // A supplier of another kind and one not on file both open the browse.
  look();
  host.type("?NPRV", "3");
  host.type("?NPRV", "5");
  host.type("?FECHA_INICIAL", date(kDay + 5));
  host.type("?FECHA_FINAL", date(kDay + 1));
  host.type("?REPORTA", "2");
  host.type("?INCLUYE_PAGOS", "1");
  host.press("?OK");
  EXPECT_TRUE(ask());
  EXPECT_TRUE(has(opened, "REDIR5 1 0 1 MAQUINARIA DEL NORTE")) << opened;
  EXPECT_EQ(lookups, 2);
  EXPECT_EQ(number(program.var("NPRV")), 2);
  EXPECT_EQ(c.supplier, 2);
  EXPECT_EQ(c.reporta, 2);
  EXPECT_TRUE(c.withPayments);
  EXPECT_EQ(c.range(), " DESDE EL " + date(kDay + 1) + " AL " + date(kDay + 5));

  // It opens on TODO again; a browse left without a choice keeps the window
  // open on OK, and Cancela puts the supplier back and keeps the choices.
  choice = 0;
  look();
  host.type("?NPRV", "8");
  host.press("?OK");
  host.press("?CANCEL");
  EXPECT_FALSE(ask());
  EXPECT_TRUE(has(opened, "REDIR5 1 0 2 RENTAS")) << opened;
  EXPECT_EQ(lookups, 4);
  EXPECT_EQ(number(program.var("NPRV")), 2);
  EXPECT_EQ(c.reporta, 2);
  EXPECT_TRUE(host.actions.empty());
}

TEST_F(EquipmentReports, MenuRunsAReportThroughItsWindowsAndTellsADeletedSupplierOnce) {
  smallWork();
  MessageService messages;
  Program program("VOROVID", storage_, messages, folder_.file("VOROVID.INI"));
  addEquipmentReportProcedures(program);
  test::TestHost host;
  host.press("?IMP_PAG");
  host.actions.push_back([](Procedure& p) { EXPECT_EQ(p.name(), "REDIR4"); });
  host.press("?OK");
  host.type("?DESTINO", "2");  // the printer
  host.press("?OK");
  host.press("?PAUSE");
  host.press("?SALIR");
  EXPECT_EQ(program.make("REP_MENU", ctx_)->run(host), response::Completed);
  EXPECT_TRUE(host.actions.empty());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text,
            "EL PROVEEDOR 9|FUE DADO DE BAJA, Y EXISTE|REGISTRO DE RECEPCION EN OBRA");
  EXPECT_EQ(host.documentRunner.shown,
            std::vector<std::string>{"imprime PAGOS A PROVEEDORES DE EQUIPO EN: 1"});
}

}  // namespace
}  // namespace velmora::reports
