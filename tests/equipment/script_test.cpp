// VOROVID under a script on the demo company: the import of one front's
// hours, a new equipment supplier and a new bank, checked in the transcript and in the
// table files the run left; the reports from their menu; an invoice of an
// equipment that every front has, charged to the front given, changed and
// refused as its policy and payments say.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

// The rows of a dump (its header left out), split at the commas: the demo's
// texts have none.
std::vector<std::vector<std::string>> rows(const std::string& csv) {
  std::vector<std::vector<std::string>> out;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::istringstream f(line);
    std::string field;
    while (std::getline(f, field, ',')) fields.push_back(field);
    out.push_back(fields);
  }
  return out;
}

TEST(VorovidScript, ImportingAFrontsHoursAndAddingASupplierAndABank) {
  test::TempFolder company;
  const std::string dir = company.path().string();
  test::CommandResult demo = test::runVelmora("demo '" + dir + "'");
  ASSERT_EQ(demo.status, 0) << demo.out;
  test::CommandResult r =
      test::runCommand("cd '" + dir + "' && timeout 120 " + VOROVID_EXE + " /1 --script '" +
                       VELMORA_TEST_DATA + "/equipment/data/importa_y_proveedor.txt' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* expected :
       {"ABRE IMPORTA \"Importa del Presupuesto\"", "OPCION: SE BORRARAN ", "-> si",
        "MENSAJE: Importa del Presupuesto: Se importaron ", "CIERRA IMPORTA respuesta 1",
        "ABRE CAP_EQUI \"Catálogo de Maquinaria y Equipo\"",
        "ABRE UP_PROV \"Actualizando Proveedores\"", "RENTADORA DE EQUIPO DEL VALLE"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;

  // Every equipment of the work is now on front 1 alone, once per code, and
  // the front's budget is what the import's hours add up to. The equipment
  // the demo's invoices charged stayed as it was, with its hours invoiced.
  auto dump = [&](const std::string& file) {
    test::CommandResult d = test::runVelmora("dump '" + dir + "/HOSP01/" + file + "'");
    EXPECT_EQ(d.status, 0) << d.out;
    return rows(d.out);
  };
  const auto hours = dump("OBRA5.TPS");
  const auto equipment = dump("OBRA19.TPS");
  ASSERT_FALSE(hours.empty());
  ASSERT_EQ(equipment.size(), hours.size());
  double budget = 0;
  int invoiced = 0;
  for (std::size_t i = 0; i < equipment.size(); ++i) {
    EXPECT_EQ(equipment[i][0], hours[i][0]);
    EXPECT_EQ(equipment[i][2], "1");
    const double required = std::stod(hours[i][2]) * 1.5;
    if (std::stod(equipment[i][6]) > 0)
      ++invoiced;
    else
      EXPECT_NEAR(std::stod(equipment[i][4]), required, 1e-6);
    // Each amount to the cent, as the import keeps it.
    budget += std::round(required * std::stod(hours[i][3]) * 100) / 100;
  }
  EXPECT_EQ(invoiced, 3);
  const auto fronts = dump("OBRA8.TPS");
  ASSERT_FALSE(fronts.empty());
  EXPECT_NEAR(std::stod(fronts[0][5]), budget, 0.01 * double(equipment.size()));
  // The new supplier is an equipment supplier (type 2).
  bool added = false;
  for (const auto& r : dump("MATE1.TPS"))
    if (r.size() > 9 && r[0] == "20") {
      added = true;
      EXPECT_EQ(r[1], "RENTADORA DE EQUIPO DEL VALLE");
      EXPECT_EQ(r[9], "2");
    }
  EXPECT_TRUE(added);
  // The new bank, on the work's last-level account, with the cheque layout
  // a bank gets when none is given.
  bool bank = false;
  for (const auto& r : dump("PAGO3.TPS"))
    if (r.size() > 19 && r[0] == "9") {
      bank = true;
      EXPECT_EQ(r[1], "BANCO DEL VALLE");
      EXPECT_EQ(std::vector<std::string>(r.begin() + 10, r.begin() + 20),
                (std::vector<std::string>{"3", "6", "10", "6", "1", "55", "3", "3", "50", "10"}));
    }
  EXPECT_TRUE(bank);
}

TEST(VorovidScript, ReportsFromTheirMenuWithTheirOptions) {
  test::TempFolder company;
  const std::string dir = company.path().string();
  ASSERT_EQ(test::runVelmora("demo '" + dir + "'").status, 0);
  test::CommandResult r =
      test::runCommand("cd '" + dir + "' && timeout 120 " + VOROVID_EXE + " /1 --script '" +
                       VELMORA_TEST_DATA + "/equipment/data/reportes.txt' 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* expected :
       {"ABRE REP_MENU \"Imprimiendo Reportes\"", "ABRE REDIR5 \"Opciones del Reporte\"",
        "PASO: FACTURAS DE LA OBRA:", "ABRE REDIR3 \"Opciones del Reporte\"",
        "PASO: TRABAJOS REALIZADOS CON MAQUINARIA Y EQUIPO EN", "CIERRA REP_MENU respuesta 1"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
  // Supplier 1's invoices still to pay, as exported from the progress window:
  // the printed columns, the first one half paid by the demo's payment.
  const test::CommandResult csv = test::runCommand(
      "python3 -c 'import csv,sys; f=open(sys.argv[1],encoding=\"cp1252\",newline=\"\"); "
      "h=next(csv.reader([f.readline()])); print(\"|\".join(h)); "
      "[print(\"|\".join(c.strip() for c in r)) for r in csv.reader(f, delimiter=\";\")]' '" +
      dir + "/facturas.CSV'");
  ASSERT_EQ(csv.status, 0) << csv.out;
  std::istringstream lines(csv.out);
  std::string header, first;
  std::getline(lines, header);
  std::getline(lines, first);
  EXPECT_EQ(header, "FACT|P R O V E E D O R|FECHA|IMPORTE|PAGOS|SALDO");
  EXPECT_EQ(first.substr(0, 2), "1|");
  EXPECT_NE(first.find("|37536.00|18768.00|18768.00"), std::string::npos) << first;
  int count = 1;
  for (std::string line; std::getline(lines, line);) ++count;
  EXPECT_EQ(count, 6);
}

TEST(VorovidScript, AnInvoiceGoesToTheFrontGivenAndMovesWithItsChanges) {
  test::TempFolder company;
  const std::string dir = company.path().string();
  ASSERT_EQ(test::runVelmora("demo '" + dir + "'").status, 0);
  // Equipment 905 is on all four fronts of the demo's first work.
  std::ofstream(company.file("factura_frente.txt")) << R"(pulsa Selecciona
pulsa "Facturas a Revisión"
  pulsa Alta
    campo ?FAM:CTA 60
    campo ?FAM:PROV 1
    campo ?FAM:FACT 9901
    campo ?FAM:MAQU 905
    muestra ?FAM:FREN
    campo ?FAM:FREN 9
    campo ?FAM:FREN 3
    muestra ?FAM:PROC
    campo ?FAM:AUTO 1
    campo ?FAM:CANT 8
    muestra ?TASA_IVA
    muestra ?FAM:IVA
    pulsa OK
    pulsa Ejecuta
      cierra
  pulsa Cambia
    campo ?FAM:FREN 2
    pulsa OK
  pulsa Cambia
    campo ?FAM:IMPO 12000
    pulsa OK
    cierra
  fila 1
  responde si
  pulsa Borra
  cierra
pulsa Salir
)";
  test::CommandResult r = test::runCommand("cd '" + dir + "' && timeout 120 " + VOROVID_EXE +
                                           " /1 --script factura_frente.txt 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* expected :
       {"CAMPO ?FAM:FREN = \"     1\"",
        "AVISO: NO ENCONTRE EL EQUIPO 905 / EN EL FRENTE 9 DEL CATALOGO: / CORRIJA EL FRENTE O "
        "ELIJA EL EQUIPO",
        "CAMPO ?FAM:PROC = \"    30\"", "CAMPO ?TASA_IVA = \"IVA propuesto: 16 %\"",
        "CAMPO ?FAM:IVA = \"      1,894.40\"", "ABRE UP_FACT \"Actualizando Facturas\" (cambio)",
        "AVISO: LA FACTURA TIENE LA POLIZA ", "AVISO: LA FACTURA 1 TIENE PAGOS Y NO SE"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;

  auto dump = [&](const std::string& file) {
    test::CommandResult d = test::runVelmora("dump '" + dir + "/HOSP01/" + file + "'");
    EXPECT_EQ(d.status, 0) << d.out;
    return rows(d.out);
  };
  // The invoice on front 2 where the change put it, its amount as saved;
  // the demo's first invoice still there.
  const auto invoices = dump("OBRA20.TPS");
  bool found = false, first = false;
  for (const auto& f : invoices) {
    first = first || f[0] == "1";
    if (f[0] != "60") continue;
    found = true;
    EXPECT_EQ(f[5], "2");   // FAM:FREN
    EXPECT_EQ(f[6], "30");  // FAM:PROC
    EXPECT_EQ(f[13], "11840");
  }
  EXPECT_TRUE(found && first);
  // The hours and amount invoiced moved with it from front 3 to front 2.
  for (const auto& m : dump("OBRA19.TPS")) {
    if (m[0] != "905") continue;
    SCOPED_TRACE(m[2]);
    EXPECT_EQ(m[6], m[2] == "2" ? "8" : "0");
    EXPECT_EQ(m[7], m[2] == "2" ? "11840" : "0");
  }
}

}  // namespace
}  // namespace velmora
