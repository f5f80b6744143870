// VOROVID under a script on the demo company: the import of one front's
// hours, a new equipment supplier and a new bank, checked in the transcript and in the
// table files the run left; the reports from their menu.

#include <gtest/gtest.h>

#include <cmath>
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
       {"ABRE IMPORTA \"Opciones del Reporte\"", "OPCION: SE BORRARAN ", "-> si",
        "MENSAJE: Importa del Presupuesto: Se importaron ", "CIERRA IMPORTA respuesta 1",
        "ABRE CAP_EQUI \"Catálogo de Maquinaria y Equipo\"",
        "ABRE UP_PROV \"Actualizando Proveedores\"", "RENTADORA DE EQUIPO DEL VALLE"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;

  // Every equipment of the work is now on front 1 alone, once per code, and
  // the front's budget is what they add up to.
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
  for (std::size_t i = 0; i < equipment.size(); ++i) {
    EXPECT_EQ(equipment[i][0], hours[i][0]);
    EXPECT_EQ(equipment[i][2], "1");
    EXPECT_NEAR(std::stod(equipment[i][4]), std::stod(hours[i][2]) * 1.5, 1e-6);
    // Each amount to the cent, as the import keeps it.
    budget += std::round(std::stod(equipment[i][4]) * std::stod(equipment[i][5]) * 100) / 100;
  }
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

}  // namespace
}  // namespace velmora
