// The invoice form of VOROVID (UpFact): its proposals, required fields and
// printed policy, and the front typed; and an invoice added by a script.

#include <filesystem>
#include <fstream>

#include "accounting/imp_una.h"
#include "equipment/equipment.h"
#include "equipment/invoices.h"
#include "framework/browse.h"
#include "reports/report.h"
#include "tests/equipment/invoice_fixture.h"
#include "tests/support/run_command.h"
#include "tests/support/test_host.h"

namespace velmora::equipment {
namespace {

using namespace velmora::equipment::test;
using accounting::test::acct;

// On the table files and on a company kept on the server.
class InvoiceWindowsOn : public velmora::test::OnBackEnd<Invoices> {};

// The form: the hours propose the amount and the tax, the total follows,
// a missing value takes the cursor to it, and the save prints the policy.
TEST_P(InvoiceWindowsOn, UpFactProposesRequiresAndPrintsThePolicy) {
  work();
  MessageService messages;
  Program program{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  velmora::test::TestHost host;
  messages.setHost(&host);
  program.declare("GLO:OBRA", Value(std::string("OB1")));
  program.declare("GLO:HOY", Value(std::int64_t(today)));
  addProcedures(program);

  host.type("?FAM:CTA", "0");
  host.type("?FAM:PROV", "1");
  host.type("?FAM:FACT", "771");
  host.type("?FAM:MAQU", "7");
  host.type("?FAM:AUTO", "0");
  host.type("?FAM:CANT", "8");
  host.actions.push_back([](Procedure& p) {
    EXPECT_EQ(p.display("?FAM:IMPO"), "      2,000.00");
    EXPECT_EQ(p.display("?FAM:IVA"), "        300.00");
    EXPECT_EQ(p.display("?SUM1"), "      2,300.00");
    EXPECT_EQ(p.display("?PRV:NOMB"), "RENTAS DEL BAJIO");
    p.accepted("?OK");  // no folio
  });
  host.type("?FAM:CTA", "41");
  host.press("?OK");  // nobody authorises
  host.type("?FAM:AUTO", "1");
  host.press("?OK");
  host.press("?OK");  // Destino del Reporte: Ejecuta
  host.actions.push_back([](Procedure& p) { p.accepted("?EXITBUTTON"); });  // Vista Previa
  program.request = request::Insert;
  EXPECT_EQ(program.make("UP_FACT", ctx)->run(host), response::Completed)
      << ::testing::PrintToString(host.log);
  ASSERT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(host.warnings[0][1], "Folio:");
  EXPECT_EQ(host.warnings[1][1], "Autoriza:");
  const auto saved = all<FAM>("FAMA");
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].CTA, 41);
  EXPECT_EQ(saved[0].FREN, 3);
  EXPECT_DOUBLE_EQ(saved[0].IVA, 300);
  EXPECT_EQ(all<POA>("POLMES").size(), 1u);

  // The print of that policy: its lines, the sums and the signatures.
  std::unique_ptr<reports::Report> r = accounting::makeImpUna(ctx, 1, today);
  reports::RunSettings settings;
  settings.heading = {"CONSTRUCTORA SIERRA ALTA, S.A. DE C.V.", "HOSPITAL GENERAL", today};
  reports::ReportRun run(ctx, *r, settings);
  while (run.step()) {
  }
  ASSERT_EQ(run.response(), 1) << run.failure().text;
  EXPECT_EQ(run.recordsPrinted(), 3);
  // Its page for the screenshots, when asked.
  if (const char* out = std::getenv("VELMORA_CAPTURAS")) {
    std::unique_ptr<reports::PageList> pages = run.takePages();
    for (const std::string& page : pages->files())
      std::filesystem::copy_file(page,
                                 std::filesystem::path(out) /
                                     ("imp-una-" + std::filesystem::path(page).filename().string()),
                                 std::filesystem::copy_options::overwrite_existing);
  }
}

// The form: a typed front is kept, an equipment that is not on it is
// refused with the cursor on the front, and the rate in use is shown.
TEST_P(InvoiceWindowsOn, UpFactKeepsTheFrontTypedAndShowsTheRate) {
  work(false);
  MAQ m{};
  m.CTA = 7, m.FREN = 5, m.PROC = 30, m.PRRE = 95.125;
  add("MAQU", m);
  PRB k{};
  k.CTA = 30, k.TEXT = "ACARREOS";
  add("PROB", k);
  MessageService messages;
  Program program{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  velmora::test::TestHost host;
  messages.setHost(&host);
  program.declare("GLO:OBRA", Value(std::string("OB1")));
  program.declare("GLO:HOY", Value(std::int64_t(today)));
  addProcedures(program);

  host.type("?FAM:CTA", "42");
  host.type("?FAM:PROV", "1");
  host.type("?FAM:FACT", "900");
  host.type("?FAM:MAQU", "7");
  host.actions.push_back([](Procedure& p) {
    EXPECT_EQ(p.display("?FAM:FREN"), "     3");  // proposed: the first front
    EXPECT_EQ(p.display("?TASA_IVA"), "IVA propuesto: 15 %");
  });
  host.type("?FAM:FREN", "4");
  host.actions.push_back([](Procedure& p) {
    EXPECT_EQ(p.display("?FAM:FREN"), "     4");  // refused, not replaced
  });
  host.type("?FAM:FREN", "5");
  host.type("?FAM:AUTO", "1");
  host.type("?FAM:CANT", "400");
  host.actions.push_back([](Procedure& p) {
    EXPECT_EQ(p.display("?FAM:PROC"), "    30");
    EXPECT_EQ(p.display("?FAM:IMPO"), "     38,050.00");
  });
  host.press("?OK");
  program.request = request::Insert;
  EXPECT_EQ(program.make("UP_FACT", ctx)->run(host), response::Completed)
      << ::testing::PrintToString(host.log);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0][0], "NO ENCONTRE EL EQUIPO 7");
  EXPECT_EQ(host.warnings[0][1], "EN EL FRENTE 4 DEL CATALOGO:");
  const auto saved = all<FAM>("FAMA");
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].FREN, 5);
  EXPECT_EQ(saved[0].PROC, 30);
  EXPECT_DOUBLE_EQ(all<MAQ>("MAQU")[1].RECI, 400);
}

// VOROVID on the demo company: a new invoice through CAP_FACT and UP_FACT,
// its policy printed, and the files as the save left them.
TEST(VorovidInvoiceScript, AddsAnInvoiceWithItsPolicy) {
  velmora::test::TempFolder company;
  const std::string dir = company.path().string();
  ASSERT_EQ(velmora::test::runVelmora("demo '" + dir + "'").status, 0);
  auto dump = [&](const std::string& file) {
    velmora::test::CommandResult d = velmora::test::runVelmora("dump '" + dir + "/" + file + "'");
    EXPECT_EQ(d.status, 0) << d.out;
    return d.out;
  };
  const std::string supplierBefore = dump("HOSP01/MATE1.TPS");
  velmora::test::CommandResult r = velmora::test::runCommand(
      "cd '" + dir + "' && timeout 120 " + VOROVID_EXE + " /1 --script '" + VELMORA_TEST_DATA +
      "/equipment/data/factura.txt' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* expected :
       {"ABRE CAP_FACT \"Actualizando Facturas\"", "CAMPO ?FAM:IMPO = \"      5,440.00\"",
        "CAMPO ?FAM:IVA = \"        870.40\"", "CAMPO ?SUM1 = \"      6,310.40\"",
        "PASO: POLIZA CONTABLE", "CIERRA UP_FACT respuesta 1", "  7: |     50 |      1 | "})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  const std::string invoices = dump("HOSP01/OBRA20.TPS");
  EXPECT_NE(invoices.find("\n50,1,,8810,0,1,10,"), std::string::npos) << invoices;
  // The supplier's total rose by the invoice's 6 310.40 (16 % IVA).
  auto tfac = [](const std::string& csv) {
    const std::size_t line = csv.find("\n1,");
    std::string row = csv.substr(line + 1, csv.find('\n', line + 1) - line - 1);
    const std::size_t end = row.rfind(',', row.rfind(',', row.rfind(',') - 1) - 1);
    return std::stod(row.substr(row.rfind(',', end - 1) + 1));
  };
  EXPECT_NEAR(tfac(dump("HOSP01/MATE1.TPS")) - tfac(supplierBefore), 6310.4, 1e-6);
  // This invoice's policy (numbered after the demo's invoices and payments)
  // has its three lines; the ledger still checks out.
  std::string lines;
  for (const auto& e : std::filesystem::directory_iterator(company.path() / "CONTA01"))
    if (e.path().filename().string().starts_with("DET"))
      lines = dump("CONTA01/" + e.path().filename().string());
  const std::size_t tail = lines.find(",1115,1,1,0,0,6310.4,");
  ASSERT_NE(tail, std::string::npos) << lines;
  const std::string num =
      lines.substr(lines.rfind('\n', tail) + 1, tail - lines.rfind('\n', tail) - 1);
  EXPECT_NE(lines.find("\n" + num + ",1108,1,0,0,0,870.4,"), std::string::npos) << lines;
  EXPECT_NE(lines.find("\n" + num + ",2101,1,0,0,0,5440,"), std::string::npos) << lines;
  velmora::test::CommandResult check = velmora::test::runVelmora("verifica '" + dir + "' HOSP01");
  EXPECT_EQ(check.status, 0) << check.out;
}

INSTANTIATE_TEST_SUITE_P(, InvoiceWindowsOn,
                         ::testing::Values(velmora::test::BackEnd::Files,
                                           velmora::test::BackEnd::Server),
                         velmora::test::backEndName);

}  // namespace
}  // namespace velmora::equipment
