// The import of budget rows into processes, concepts and items of a front,
// over real table files: formulas, numbering, ranges, refusals that leave
// the work untouched, a kill at any moment, and IMPORTA through the test host.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "exchange/budget_import.h"
#include "framework/settings.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

using exchange::BudgetImport;
using exchange::BudgetImportResult;

COO heading(std::int32_t row, std::string text) {
  COO r;
  r.CTA = row;
  r.TEXT = std::move(text);
  r.TIPO = "T";
  return r;
}

COO concept_(std::int32_t row, std::string gene, std::string llav, double quantity,
             std::string text = "EXCAVACION A MANO EN MATERIAL TIPO II HASTA 2 M") {
  COO r;
  r.CTA = row;
  r.TEXT = std::move(text);
  r.GENE = std::move(gene);
  r.LLAV = std::move(llav);
  r.UNID = "M3";
  r.TIPO = "C";
  r.CANT = quantity;
  r.TOBR = 50, r.TMAT = 20, r.TCOS = 10, r.TPOR = 5;
  r.TEX1 = "DESCRIPCION COMPLETA " + r.LLAV;
  return r;
}

// 250 working days and nothing else: F = 365.25 / 250, so p = COT:TOBR.
CTL plainControl() {
  CTL c;
  c.CTA = 1;
  c.DHAB = 250;
  return c;
}

class BudgetImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name(storage);
    messages.setHost(&host);
    FRE f;
    f.CTA = 1;
    add(f);
    add(plainControl());
  }
  void name(db::Storage& s) {
    for (const char* label : {"COBR", "PART", "CONC", "PROB", "FREN", "CONTROL"})
      s.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
  }
  template <class R>
  void add(const R& r) {
    db::Context c(storage, 90);
    db::Table& t = c.table(R::info());
    ASSERT_TRUE(t.open().ok());
    t.rec<R>() = r;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }
  void setControl(const CTL& c) {
    std::filesystem::remove(folder.file("CONTROL.TPS"));
    add(c);
  }
  template <class R>
  std::vector<R> all() {
    db::Context c(storage, 91);
    db::Table& t = c.table(R::info());
    EXPECT_TRUE(t.open().ok());
    std::vector<R> out;
    Status st = t.setStart(t.info().primaryKey());
    while (st && (st = t.next())) out.push_back(t.rec<R>());
    t.close();
    return out;
  }
  // Everything the import may write, for "nothing changed".
  std::string state() {
    std::string s;
    for (const PAR& p : all<PAR>())
      s += std::to_string(p.CONC) + "/" + std::to_string(p.PROC) + " " + std::to_string(p.CANT) +
           ";";
    for (const COE& c : all<COE>()) s += c.CLAVE + std::to_string(c.TCANT) + ";";
    for (const PRB& p : all<PRB>()) s += p.TEXT + ";";
    for (const FRE& f : all<FRE>()) s += std::to_string(f.TPRES) + ";";
    return s;
  }
  Status import(const BudgetImport& in, BudgetImportResult* r = nullptr) {
    return exchange::importBudget(ctx, in, r);
  }
  int run() {
    auto p = program.make("IMPORTA", ctx);
    return p->run(host);
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  test::TestHost host;
  db::Context ctx{storage, 0};
};

TEST_F(BudgetImportTest, FormulasNumberingAndAccumulation) {
  PRB p;
  p.CTA = 25, p.TEXT = "PRELIMINARES";
  add(p);
  COE c;
  c.CTA = 7, c.CLAVE = "OLD", c.TCANT = 1;
  add(c);
  add(heading(1, "PRELIMINARES"));
  add(concept_(2, "A  ", "001", 10));
  add(heading(3, "MUROS Y CASTILLOS DE CONCRETO ARMADO EN PLANTA BAJA"));
  add(concept_(4, "A", "001", 4));  // same key, other process: one concept, two items
  add(concept_(5, "A", "001", 6));  // same key and process: accumulates into the item
  add(concept_(6, "B", "002", 3));
  COO subtotal = heading(7, "SUBTOTAL MUROS");
  subtotal.TIPO = "S";  // a row of another kind is passed over
  add(subtotal);

  BudgetImportResult r;
  ASSERT_TRUE(import({1, 2, 80, 0, 0, {}}, &r).ok());
  EXPECT_NEAR(r.salary.factor, 365.25 / 250, 1e-12);
  EXPECT_EQ(r.processesAdded, 1);
  EXPECT_EQ(r.conceptsAdded, 2);
  EXPECT_EQ(r.conceptsAccumulated, 2);
  EXPECT_EQ(r.itemsAdded, 3);
  EXPECT_EQ(r.itemsAccumulated, 1);

  const std::vector<PRB> procs = all<PRB>();
  ASSERT_EQ(procs.size(), 2u);
  EXPECT_EQ(procs[1].CTA, 35);  // after the highest, in steps of 10
  EXPECT_EQ(procs[1].TEXT, "MUROS Y CASTILLOS DE CONCRETO");

  const std::vector<COE> concs = all<COE>();
  ASSERT_EQ(concs.size(), 3u);
  EXPECT_EQ(concs[1].CTA, 17);
  EXPECT_EQ(concs[1].CLAVE, "A001");  // the generic key without its blanks
  EXPECT_DOUBLE_EQ(concs[1].TCANT, 40);
  EXPECT_EQ(concs[2].CTA, 27);

  const std::vector<PAR> items = all<PAR>();
  ASSERT_EQ(items.size(), 3u);
  const PAR& walls = items[1];  // concept 17 under process 35
  EXPECT_EQ(walls.PROC, 35);
  EXPECT_DOUBLE_EQ(walls.CANT, 20);
  EXPECT_DOUBLE_EQ(walls.CANI, 8);         // the first row's only
  EXPECT_NEAR(walls.PRES, 50 * 20, 1e-9);  // p = COT:TOBR
  EXPECT_NEAR(walls.PREI, 50 * 8, 1e-9);
  EXPECT_DOUBLE_EQ(walls.MATE, 25 * 20);
  EXPECT_DOUBLE_EQ(walls.EQUI, 10 * 20);
  EXPECT_DOUBLE_EQ(walls.UNIT, 85);
  EXPECT_DOUBLE_EQ(walls.PEST, 80);
  EXPECT_EQ(walls.SCON, "N");
  EXPECT_EQ(walls.NEST, "A001");
  EXPECT_EQ(walls.TEXT, "EXCAVACION A MANO EN MATERIAL");
  EXPECT_EQ(items[0].PROC, 25);  // the existing process, found by its text

  // The front's labour budget grows with the items'.
  EXPECT_NEAR(all<FRE>()[0].TPRES, 50 * 2 * (10 + 4 + 6 + 3), 1e-6);
}

TEST_F(BudgetImportTest, SalaryFactorAndItsAbsence) {
  CTL c = plainControl();
  c.DHAB = 300, c.VACA = 6, c.GRAT = 15, c.IINF = 5, c.ISAR = 2, c.IISN = 2, c.PIMS = 10;
  // P = 386.25, S = 0.1, H = 27.0375, N = 7.725
  EXPECT_NEAR(exchange::realSalaryFactor(c), 459.6375 / 300, 1e-12);
  c.MAXI = 1.75;  // fixed by hand
  EXPECT_DOUBLE_EQ(exchange::realSalaryFactor(c), 1.75);
  EXPECT_NEAR(exchange::labourUnitPrice(50, 1.75, 300), 50 * 365.25 / 525, 1e-12);
  c.DHAB = 0;
  EXPECT_DOUBLE_EQ(exchange::realSalaryFactor(c), 1.75);
  EXPECT_DOUBLE_EQ(exchange::labourUnitPrice(50, 1.75, 0), 1);
  c.MAXI = 0;
  EXPECT_DOUBLE_EQ(exchange::realSalaryFactor(c), 0);

  // No working days: each item's labour budget is its quantity, and it says so.
  setControl(c);
  add(concept_(1, "A", "001", 12));
  BudgetImportResult r;
  ASSERT_TRUE(import({1, 1.5, 100, 0, 0, {}}, &r).ok());
  EXPECT_TRUE(r.salary.unitLabour);
  EXPECT_DOUBLE_EQ(all<PAR>()[0].PRES, 18);
}

TEST_F(BudgetImportTest, RowRangesAndHeadingsOutsideThem) {
  add(heading(90, "CIMENTACION"));
  for (std::int32_t row = 95; row <= 205; row += 5) {
    if (row == 150)
      add(heading(row, "ESTRUCTURA"));
    else
      add(concept_(row, "R", std::to_string(row), 1));
  }
  BudgetImportResult r;
  ASSERT_TRUE(import({1, 1, 100, 100, 200, {}}, &r).ok());
  std::vector<PAR> items = all<PAR>();
  ASSERT_EQ(items.size(), 20u);  // 100 ... 200 but the heading at 150
  int before = 0;
  for (const PAR& p : items) before += p.PROC == 0;
  EXPECT_EQ(before, 10);  // 100 ... 145: the heading at 90 was not read
  EXPECT_EQ(all<PRB>().size(), 1u);

  // 0 to 0 reads the whole table; the items already there accumulate.
  ASSERT_TRUE(import({1, 1, 100, 0, 0, {}}, &r).ok());
  EXPECT_EQ(r.rows, 24);
  EXPECT_EQ(all<PRB>().size(), 2u);
}

TEST_F(BudgetImportTest, BadInputChangesNothing) {
  add(heading(1, "PRELIMINARES"));
  for (std::int32_t row = 2; row < 40; ++row) add(concept_(row, "K", std::to_string(row), 2));
  add(concept_(40, "", "", 1));  // no key: found after 38 rows were written
  const std::string before = state();
  auto refusal = [&](BudgetImport in, int code, const char* table) {
    BudgetImportResult r;
    Status st = import(in, &r);
    EXPECT_EQ(st.code, code) << st.text;
    EXPECT_EQ(st.table, table) << st.text;
    EXPECT_EQ(state(), before) << st.text;
    return r;
  };
  EXPECT_EQ(refusal({1, 1, 100, 0, 0, {}}, err::ValueRefused, "CONC").failedRow, 40);
  refusal({1, 1, 100, 30, 20, {}}, err::ValueRefused, "COT");    // backwards
  refusal({1, 1, 100, 500, 600, {}}, err::ValueRefused, "COT");  // no rows there
  refusal({1, 0, 100, 0, 0, {}}, err::ValueRefused, "COT");
  refusal({1, 1, 101, 0, 0, {}}, err::ValueRefused, "PART");
  refusal({7, 1, 100, 2, 10, {}}, err::RecordNotFound, "FREN");
  // A file of another table, and no file at all.
  BudgetImport other{1, 1, 100, 2, 10, storage.fileName(PAR::info())};
  EXPECT_EQ(refusal(other, err::InvalidRecord, "COT").failedAt, FileAction::Open);
  refusal({1, 1, 100, 2, 10, folder.file("NADA.TPS")}, err::FileNotFound, "COT");
  // The rows before the keyless one import fine; the source is left as it was.
  ASSERT_TRUE(import({1, 1, 100, 2, 39, {}}).ok());
  EXPECT_EQ(all<PAR>().size(), 38u);
  EXPECT_EQ(all<COO>().size(), 40u);
}

// An import killed at any moment leaves none of itself: every item holds
// the quantity of the same number of whole imports, and the concepts and
// the front's budget agree with them.
TEST_F(BudgetImportTest, AnImportKilledAnywhereLeavesWholeImports) {
  constexpr int kRows = 300;
  for (int i = 1; i <= kRows; ++i) {
    if (i % 30 == 1)
      add(heading(i, "PROCESO " + std::to_string(i / 30)));
    else
      add(concept_(i, "G", std::to_string(i), 1));
  }
  std::mt19937 rng(std::random_device{}());
  for (int round = 0; round < 3; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      db::Storage s;
      name(s);
      db::Context c(s, 1);
      for (int n = 0;; ++n) {
        if (!exchange::importBudget(c, {1, 1, 100, 0, 0, {}})) _exit(3);
        if (n == 0) (void)!write(ready[1], "1", 1);  // at work: kill any time now
      }
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 200000)(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << WEXITSTATUS(status);

    const std::vector<PAR> items = all<PAR>();
    ASSERT_EQ(items.size(), std::size_t(kRows - kRows / 30));
    double labour = 0;
    for (const PAR& p : items) {
      ASSERT_DOUBLE_EQ(p.CANT, items[0].CANT);
      labour += p.PRES;
    }
    for (const COE& k : all<COE>()) ASSERT_DOUBLE_EQ(k.TCANT, items[0].CANT);
    EXPECT_NEAR(all<FRE>()[0].TPRES, labour, 1e-6);
    EXPECT_EQ(all<PRB>().size(), std::size_t(kRows / 30));
  }
}

TEST_F(BudgetImportTest, ImportaAsksWhatItMustAndRemembersTheBudgetFile) {
  exchange::addBudgetImportProcedures(program);
  program.rights.user = 5;
  program.rights.levels[7] = 3;  // entry 8 needs level 4
  EXPECT_EQ(run(), response::Cancelled);
  EXPECT_EQ(host.warnings.back()[0], "NO TIENE ACCESO A ESTE PROGRAMA");
  program.rights.levels[7] = 4;

  host.press("?OK");  // no front: told and closed
  EXPECT_EQ(run(), response::Cancelled);
  EXPECT_EQ(host.warnings.back()[1], "DONDE SE INCLUIRAN LOS DATOS");

  // A budget file of its own, chosen in the window; no working days asks first.
  const std::string source = folder.file("OTRO.TPS");
  storage.setFileName(COO::info(), source);
  add(concept_(1, "A", "001", 3));
  name(storage);
  CTL c = plainControl();
  c.DHAB = 0;
  setControl(c);
  host.type("?FRENTE", "1");
  host.type("?RENGLON_INICIAL", "9");
  host.type("?RENGLON_FINAL", "3");
  host.press("?OK");  // backwards
  host.type("?RENGLON_INICIAL", "0");
  host.type("?RENGLON_FINAL", "0");
  host.documentRunner.files = {source};
  host.press("?CALLLOOKUP:4");
  host.press("?OK");  // "no": nothing
  host.press("?OK");  // "yes"
  host.choices = {false, true};
  EXPECT_EQ(run(), response::Completed);
  EXPECT_EQ(host.warnings[host.warnings.size() - 3][0], "EL RENGLON INICIAL ES MAYOR");
  EXPECT_EQ(host.warnings.back()[2], "¿DESEA CONTINUAR?");
  ASSERT_EQ(all<PAR>().size(), 1u);
  EXPECT_DOUBLE_EQ(all<PAR>()[0].PRES, 3);
  EXPECT_EQ(SettingsFile(program.settingsPath()).get("IMPORTA", "Presupuesto", ""), source);
  ASSERT_FALSE(host.boxes.empty());
  EXPECT_NE(host.boxes.back().text.find("Partidas nuevas: 1"), std::string::npos);
}

// velmora importa on the demo company: what it did, and a refusal or an
// unknown work as an exit status for scheduled jobs.
TEST(BudgetImportCommand, ImportsRefusesAndSaysWhy) {
  test::TempFolder root;
  const std::string dir = "'" + root.file("empresa") + "'";
  ASSERT_EQ(test::runVelmora("demo " + dir + " --size 40").status, 0);
  const std::string base = "importa " + dir + " HOSP01 --factor 1 --porcentaje 100 --frente ";
  test::CommandResult r = test::runVelmora(base + "1 --desde 1 --hasta 10");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("IMPORTACION TERMINADA"), std::string::npos) << r.out;
  r = test::runVelmora(base + "99");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no existe el frente 99"), std::string::npos) << r.out;
  EXPECT_EQ(
      test::runVelmora("importa " + dir + " NADA --frente 1 --factor 1 --porcentaje 1").status, 2);
}

}  // namespace
}  // namespace velmora
