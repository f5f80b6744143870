// The estimate windows as an operator uses them: DUDORE under a script on
// the demo company, with the stored estimate, its lines, the items and the
// contractor read back through `velmora dump` after each run.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora::estimates {
namespace {

using Row = std::map<std::string, std::string>;

// The rows of a CSV dump, by column name.
std::vector<Row> parseDump(const std::string& csv) {
  std::vector<std::vector<std::string>> lines(1);
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (quoted) {
      if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"')
        cell += '"', ++i;
      else if (c == '"')
        quoted = false;
      else
        cell += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',' || c == '\n') {
      lines.back().push_back(cell);
      cell.clear();
      if (c == '\n') lines.emplace_back();
    } else {
      cell += c;
    }
  }
  std::vector<Row> rows;
  for (std::size_t r = 1; r < lines.size(); ++r) {
    if (lines[r].size() != lines[0].size()) continue;
    Row row;
    for (std::size_t c = 0; c < lines[0].size(); ++c) row[lines[0][c]] = lines[r][c];
    rows.push_back(row);
  }
  return rows;
}

double num(const Row& r, const std::string& field) {
  auto it = r.find(field);
  return it == r.end() || it->second.empty() ? 0 : std::stod(it->second);
}

class EstimateScript : public ::testing::Test {
 protected:
  void SetUp() override {
    test::CommandResult demo = test::runVelmora("demo '" + company.path().string() + "'");
    ASSERT_EQ(demo.status, 0) << demo.out;
    // A contractor of round terms and three untouched items of his, so that
    // every figure below can be worked out by hand: advance 10 %, fund 5 %,
    // IVA 16 %, contract 100 000; items of 10 units and 1 000 of labour, the
    // third estimable at half of 1 000 plus 200 of extras (ceiling 700).
    db::Storage s;
    s.setFileName(CTR::info(), file("OBRA12.TPS"));
    s.setFileName(PAR::info(), file("OBRA10.TPS"));
    db::Context c(s, 1);
    db::Table& cont = c.table("CONT");
    ASSERT_TRUE(cont.open().ok());
    cont.clear();
    CTR& k = cont.rec<CTR>();
    k.CTA = 9, k.NOMB = "CONTRATISTA DE PRUEBA", k.PANT = 10, k.PGAR = 5, k.IVA = 16;
    k.ICON = 100000;
    ASSERT_TRUE(cont.add().ok());
    db::Table& part = c.table("PART");
    ASSERT_TRUE(part.open().ok());
    for (int i = 1; i <= 3; ++i) {
      part.clear();
      PAR& r = part.rec<PAR>();
      r.CONC = 900 + i, r.PROC = 10, r.FREN = 1, r.TEXT = "MURO " + std::to_string(i);
      r.UNID = "M2", r.CANT = 10, r.PRES = 1000, r.PEST = 100, r.CONT = 9;
      if (i == 3) r.PEST = 50, r.VPRE = 200;
      ASSERT_TRUE(part.add().ok());
    }
  }

  std::string file(const std::string& name) const {
    return (company.path() / "HOSP01" / name).string();
  }
  test::CommandResult dudore(const std::string& script) {
    std::ofstream(company.file("guion.txt")) << script;
    return test::runCommand("cd '" + company.path().string() + "' && timeout 120 " + DUDORE_EXE +
                            " /1 --script guion.txt 2>&1");
  }
  std::string dumpText(const char* name) {
    test::CommandResult r = test::runVelmora("dump " + file(name), false);
    EXPECT_EQ(r.status, 0) << r.out;
    return r.out;
  }
  // The rows of one table whose `field` is `value`.
  std::vector<Row> rows(const char* name, const std::string& field, double value) {
    std::vector<Row> out;
    for (const Row& r : parseDump(dumpText(name)))
      if (num(r, field) == value) out.push_back(r);
    return out;
  }
  // Expects `text` to hold every line, in this order.
  static void inOrder(const std::string& text, const std::vector<std::string>& lines) {
    std::size_t at = 0;
    for (const std::string& line : lines) {
      std::size_t found = text.find(line + "\n", at);
      ASSERT_NE(found, std::string::npos) << "missing in order: " << line << "\n" << text;
      at = found + line.size();
    }
  }
  static void expectFigures(const Row& r, const std::map<std::string, double>& figures) {
    for (const auto& [field, value] : figures) EXPECT_NEAR(num(r, field), value, 0.001) << field;
  }

  test::TempFolder company;
};

constexpr const char* kOpen =
    "pulsa Selecciona\n"
    "pulsa \"Pago de mano de obra\"\n";

TEST_F(EstimateScript, CaptureChangeAndDeleteMoveTheFilesAsWorkedOutByHand) {
  // A progress estimate of three lines, each from another of the three
  // inputs; then an advance and a fund return, each first past its cap.
  test::CommandResult r = dudore(std::string(kOpen) + R"(
  columnas
  pulsa Alta
    campo ?POL:CONT 9
    pulsa Alta
      pulsa ?CALLLOOKUP
        fila 1
        pulsa Selecciona
      campo ?ESM:AC 3
      muestra ?SUM3
      pulsa ?OK
    pulsa Alta
      pulsa ?CALLLOOKUP
        fila 2
        pulsa Selecciona
      campo ?ESM:FI 45
      muestra ?ESM:AC
      pulsa ?OK
    pulsa Alta
      pulsa ?CALLLOOKUP
        fila 3
        pulsa Selecciona
      muestra ?CARGO
      campo ?SUM3 700.01
      campo ?SUM3 140
      muestra ?ESM:AC
      pulsa ?OK
    muestra ?TOTAL
    pulsa ?OK
      muestra ?POL:IVA
      muestra ?TOT2
      campo ?TOT1 1987.90
      muestra ?POL:PRES
      pulsa ?OK
  pulsa Alta
    campo ?POL:CONT 9
    campo ?TIES 1
      campo ?TOT1 12000
      pulsa ?OK
    muestra ?TOTAL
    pulsa ?OK
  pulsa Alta
    campo ?POL:CONT 9
    campo ?TIES 3
      campo ?TOT2 50
      campo ?TOT2 20
      pulsa ?OK
    pulsa ?OK
  cierra
pulsa Salir
)");
  ASSERT_EQ(r.status, 0) << r.out;
  inOrder(r.out,
          {"COLUMNAS: FOLIO | ESTIMACION | FECHA | C O N T R A T I S T A [No | N O M B R E] | "
           "IMPORTE",
           "CAMPO ?SUM3 = \"        300.00\"",   // 3 of 10 units of 1 000
           "CAMPO ?ESM:AC = \"        4.50\"",   // 45 %
           "CAMPO ?CARGO = \"         70.00\"",  // 700 over 10 units
           "AVISO: ESTA ESTIMANDO MAS DE LO QUE / ESTA PRESUPUESTADO CAPTURE / OBRA "
           "EXTRAORDINARIA ....",
           "CAMPO ?ESM:AC = \"        2.00\"",     // 140 at 70
           "CAMPO ?TOTAL = \"        890.00\"",    // 300 + 450 + 140
           "CAMPO ?POL:IVA = \"        142.40\"",  // 16 % proposed at once
           "CAMPO ?TOT2 = \"        987.90\"",     // 890 + 142.40 - 44.50 of fund
           "CAMPO ?POL:PRES = \"      1,000.00\"", "CIERRA UP_ESTI respuesta 1",
           "AVISO: CON EL PORCENTAJE DE AMORTI- / ZACION ACTUAL NO ALCANZARA / A CUBRIRSE EL "
           "ANTICIPO",
           "CAMPO ?TOTAL = \"     10,000.00\"",  // 10 % of the contract
           "AVISO: EL IMPORTE INDICADO ES / ES MAYOR AL FONDO / RETENIDO",
           "CIERRA CAP_EST respuesta 1"});
  const std::vector<Row> entries = rows("OBRA13.TPS", "POL:CONT", 9);
  ASSERT_EQ(entries.size(), 3u);
  const double folio = num(entries[0], "POL:CTA");
  const double today = dates::today();
  expectFigures(entries[0], {{"POL:ESTI", 1},
                             {"POL:FECH", today},
                             {"POL:UFEC", 0},
                             {"POL:CANT", 890},
                             {"POL:PANT", 0},
                             {"POL:PFON", 44.5},
                             {"POL:IVA", 142.4},
                             {"POL:PRES", 1000},
                             {"POL:PPRE", 0},
                             {"POL:TACU", 0},
                             {"POL:SANT", 0},
                             {"POL:SFON", 44.5}});
  expectFigures(entries[1], {{"POL:CTA", folio + 1},
                             {"POL:ESTI", -1},
                             {"POL:UFEC", 1},
                             {"POL:CANT", 10000},
                             {"POL:PANT", -10000}});
  expectFigures(entries[2], {{"POL:CTA", folio + 2},
                             {"POL:ESTI", -3},
                             {"POL:UFEC", 3},
                             {"POL:CANT", 20},
                             {"POL:PFON", -20}});
  std::vector<Row> lines = rows("OBRA14.TPS", "DPO:CTA", folio);
  ASSERT_EQ(lines.size(), 3u);
  const double paid[] = {300, 450, 140}, progress[] = {30, 45, 20};
  for (int i = 0; i < 3; ++i)
    expectFigures(lines[std::size_t(i)], {{"DPO:PART", 901 + i},
                                          {"DPO:TANT", 0},
                                          {"DPO:TACT", paid[i]},
                                          {"DPO:PANT", 0},
                                          {"DPO:PACT", progress[i]}});
  std::vector<Row> items = rows("OBRA10.TPS", "PAR:CONT", 9);
  ASSERT_EQ(items.size(), 3u);
  for (int i = 0; i < 3; ++i)
    expectFigures(items[std::size_t(i)], {{"PAR:TPAG", paid[i]}, {"PAR:AVAN", progress[i]}});
  std::vector<Row> him = rows("OBRA12.TPS", "CTR:CTA", 9);
  ASSERT_EQ(him.size(), 1u);
  expectFigures(him[0], {{"CTR:UEST", 1},
                         {"CTR:UFEC", today},
                         {"CTR:TPAG", 890},
                         {"CTR:TIVA", 142.4},
                         {"CTR:PRES", 1000},
                         {"CTR:ANTI", 10000},
                         {"CTR:AAMO", 0},
                         {"CTR:GAAC", 24.5}});

  // The change: the middle line goes and comes back at 5 units. Amortisation
  // now has an advance to recover; the loan this estimate granted is not
  // deducted from it again.
  const std::string locate = "  localiza " + std::to_string(int(folio)) + "\n";
  r = dudore(std::string(kOpen) + locate + R"(
  pulsa Cambia
    pagina ?LINEAS
    fila 2 ?LINEAS
    pulsa Baja
    pulsa Alta
      pulsa ?CALLLOOKUP
        fila 2
        pulsa Selecciona
      campo ?ESM:AC 5
      pulsa ?OK
    muestra ?TOTAL
    pulsa ?OK
      muestra ?POL:PANT
      muestra ?TOT3
      pulsa ?OK
  cierra
pulsa Salir
)");
  ASSERT_EQ(r.status, 0) << r.out;
  inOrder(r.out, {"ABRE UP_ESTI \"Actualizando Pólizas de Mano de Obra\" (cambio)",
                  "CAMPO ?TOTAL = \"        940.00\"", "CAMPO ?POL:PANT = \"         94.00\"",
                  "CAMPO ?TOT3 = \"          0.00\"", "CIERRA UP_ESTI respuesta 1"});
  const std::vector<Row> changed = rows("OBRA13.TPS", "POL:CONT", 9);
  ASSERT_EQ(changed.size(), 3u);
  expectFigures(changed[0], {{"POL:CTA", folio},
                             {"POL:ESTI", 1},
                             {"POL:CANT", 940},
                             {"POL:PANT", 94},
                             {"POL:PFON", 47},
                             {"POL:IVA", 142.4},
                             {"POL:PRES", 1000},
                             {"POL:PPRE", 0},
                             {"POL:SANT", 9906},
                             {"POL:SFON", 47}});
  lines = rows("OBRA14.TPS", "DPO:CTA", folio);
  ASSERT_EQ(lines.size(), 3u);
  expectFigures(lines[1],
                {{"DPO:PART", 902}, {"DPO:TANT", 0}, {"DPO:TACT", 500}, {"DPO:PACT", 50}});
  items = rows("OBRA10.TPS", "PAR:CONT", 9);
  expectFigures(items[1], {{"PAR:TPAG", 500}, {"PAR:AVAN", 50}});
  // The change itself brought the contractor in line.
  him = rows("OBRA12.TPS", "CTR:CTA", 9);
  expectFigures(him[0], {{"CTR:UEST", 1},
                         {"CTR:TPAG", 940},
                         {"CTR:AAMO", 94},
                         {"CTR:GAAC", 27},
                         {"CTR:PRES", 1000},
                         {"CTR:TIVA", 142.4},
                         {"CTR:ANTI", 10000}});

  // Deleting that last estimate would take back the fund it retained, part
  // of which was returned to him already: refused, nothing written.
  r = dudore(std::string(kOpen) + locate + R"(
  responde si
  pulsa Borra
  cierra
pulsa Salir
)");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("EL FONDO DE GARANTIA YA FUE"), std::string::npos) << r.out;
  EXPECT_EQ(rows("OBRA13.TPS", "POL:CTA", folio).size(), 1u);
  EXPECT_EQ(rows("OBRA14.TPS", "DPO:CTA", folio).size(), 3u);
  him = rows("OBRA12.TPS", "CTR:CTA", 9);
  expectFigures(him[0], {{"CTR:UEST", 1}, {"CTR:TPAG", 940}, {"CTR:GAAC", 27}});

  // Nothing is left for the audit to mend.
  const char* files[] = {"OBRA10.TPS", "OBRA12.TPS", "OBRA13.TPS", "OBRA14.TPS"};
  std::vector<std::string> before;
  for (const char* f : files) before.push_back(dumpText(f));
  test::CommandResult audit =
      test::runVelmora("auditoria '" + company.path().string() + "' HOSP01");
  EXPECT_EQ(audit.status, 0) << audit.out;
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(dumpText(files[i]), before[i]) << files[i];
}

}  // namespace
}  // namespace velmora::estimates
