// VOROVID's equipment over real table files: the import of the budget's
// hours (the operation, and IMPORTA through the test host), the equipment
// suppliers with their balances and the budget items' computed budget.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "equipment/equipment.h"
#include "equipment/hours_import.h"
#include "framework/browse.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

using equipment::HoursImport;
using equipment::ImportResult;

HOR line(std::int32_t cta, double hours, double price, std::string process,
         std::string text = "RETROEXCAVADORA") {
  HOR h;
  h.CTA = cta;
  h.DESC = std::move(text);
  h.CANT = hours;
  h.PREC = price;
  h.DPRO = std::move(process);
  return h;
}

PRV supplier(std::int32_t cta, std::string name, std::uint8_t type) {
  PRV p;
  p.CTA = cta;
  p.NOMB = std::move(name);
  p.RFC = "RFC" + std::to_string(cta);
  p.TIPO = type;
  return p;
}

class Equipment : public ::testing::Test {
 protected:
  void SetUp() override {
    name(storage);
    messages.setHost(&host);
    equipment::addProcedures(program);
    for (std::int32_t f : {1, 2}) {
      FRE r;
      r.CTA = f;
      add(r);
    }
  }

  void name(db::Storage& s) {
    for (const char* label : {"HORA", "MAQU", "PROB", "FREN", "PROV", "PART"})
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
  double budget(std::int32_t f) {
    for (const FRE& r : all<FRE>())
      if (r.CTA == f) return r.EQRE;
    return -1;
  }
  Status import(std::int32_t f, std::int64_t factorCents, bool accumulate,
                ImportResult* r = nullptr) {
    HoursImport in;
    in.front = f;
    in.factor = Decimal::fromCents(factorCents);
    in.accumulate = accumulate;
    return equipment::importHours(ctx, in, r);
  }

  int run(const char* procedure, int req = 0) {
    auto p = program.make(procedure, ctx);
    program.request = req;
    return p->run(host);
  }
  void onBrowse(std::function<void(BrowseProcedure&)> f) {
    host.actions.push_back([f](Procedure& p) { f(static_cast<BrowseProcedure&>(p)); });
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  test::TestHost host;
  db::Context ctx{storage, 0};
};

TEST_F(Equipment, ReplacingAndAccumulatingHoursWithTheFrontsBudget) {
  add(line(901, 100, 250.00, "TERRACERIAS"));
  ImportResult r;
  ASSERT_TRUE(import(1, 150, false, &r).ok());
  std::vector<MAQ> m = all<MAQ>();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_DOUBLE_EQ(m[0].REQU, 150);
  EXPECT_EQ(m[0].PROC, 10);
  EXPECT_DOUBLE_EQ(budget(1), 37500.00);
  EXPECT_EQ(r.budget, Decimal::fromCents(3750000));

  // Again, accumulating: the hours add up and the budget follows them.
  ASSERT_TRUE(import(1, 150, true, &r).ok());
  m = all<MAQ>();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_DOUBLE_EQ(m[0].REQU, 300);
  EXPECT_DOUBLE_EQ(budget(1), 75000.00);
  EXPECT_EQ(r.accumulated, 1);

  // Replacing twice leaves the same catalogue and no second process.
  ASSERT_TRUE(import(1, 150, false).ok());
  ASSERT_TRUE(import(1, 150, false).ok());
  m = all<MAQ>();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_DOUBLE_EQ(m[0].REQU, 150);
  EXPECT_EQ(all<PRB>().size(), 1u);
}

TEST_F(Equipment, ProgressSurvivesOtherFrontsGetTheirOwnAndProcessesAreMadeOnce) {
  MAQ started;
  started.CTA = 901, started.FREN = 1, started.REQU = 40, started.RECI = 1;
  add(started);
  MAQ idle = started;
  idle.CTA = 950, idle.FREN = 2, idle.RECI = 0.5;  // below 1: goes
  add(idle);
  PRB existing;  // with the number a restart at 10 would take
  existing.CTA = 10, existing.TEXT = "ALBAÑILERIA";
  add(existing);
  add(line(901, 10, 100, "TERRACERIAS"));
  add(line(902, 20, 50, "TERRACERIAS"));
  add(line(903, 5, 10, "ALBAÑILERIA"));
  add(line(904, 1, 1, "ESTRUCTURA"));
  add(line(905, 2, 3, "   "));  // no process

  ImportResult r;
  ASSERT_TRUE(import(1, 100, false, &r).ok());
  EXPECT_EQ(r.deleted, 1);
  EXPECT_EQ(r.kept, 1);
  EXPECT_EQ(r.added, 4);
  EXPECT_EQ(r.processes, 2);
  std::vector<MAQ> m = all<MAQ>();
  ASSERT_EQ(m.size(), 5u);
  EXPECT_DOUBLE_EQ(m[0].REQU, 40);  // 901 of front 1 kept as it was
  EXPECT_EQ(m[1].PROC, 20);         // TERRACERIAS, after the highest number
  EXPECT_EQ(m[2].PROC, 10);         // the existing ALBAÑILERIA, not a clash
  EXPECT_EQ(m[3].PROC, 30);
  EXPECT_EQ(m[4].PROC, 0);
  std::vector<PRB> p = all<PRB>();
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[1].TEXT, "TERRACERIAS");
  EXPECT_EQ(p[2].TEXT, "ESTRUCTURA");

  // The same code on another front is added beside it.
  ASSERT_TRUE(import(2, 100, true).ok());
  m = all<MAQ>();
  EXPECT_EQ(m.size(), 10u);
  EXPECT_EQ(all<PRB>().size(), 3u);
}

TEST_F(Equipment, BadInputAndAFailureHalfWayChangeNothing) {
  MAQ idle;
  idle.CTA = 950, idle.FREN = 2, idle.REQU = 7;
  add(idle);
  EXPECT_EQ(import(0, 100, false).code, err::ValueRefused);
  EXPECT_EQ(import(1, 0, false).code, err::ValueRefused);
  EXPECT_EQ(import(1, -100, false).code, err::ValueRefused);
  EXPECT_EQ(import(1, 100, false).code, err::ValueRefused);  // HORA empty
  EXPECT_EQ(import(9, 100, false).code, err::RecordNotFound);
  EXPECT_EQ(all<MAQ>().size(), 1u);

  // No number is left for the second process: the clean-up, the first
  // equipment and the first process are undone with it.
  PRB last;
  last.CTA = INT32_MAX - 15, last.TEXT = "ULTIMO";
  add(last);
  add(line(901, 10, 100, "TERRACERIAS"));
  add(line(902, 10, 100, "ESTRUCTURA"));
  ImportResult r;
  Status st = import(1, 100, false, &r);
  EXPECT_EQ(st.code, err::ValueRefused);
  EXPECT_EQ(r.failedAt, FileAction::Add);
  std::vector<MAQ> m = all<MAQ>();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].CTA, 950);
  EXPECT_EQ(all<PRB>().size(), 1u);
  EXPECT_DOUBLE_EQ(budget(1), 0);
}

// An import killed at any moment leaves none of itself: every equipment has
// the hours of the same number of whole imports, and the budget matches them.
TEST_F(Equipment, AnImportKilledAnywhereLeavesWholeImports) {
  constexpr int kLines = 400;
  for (int i = 1; i <= kLines; ++i) add(line(i, 10, 2.5, "PROCESO " + std::to_string(i % 7)));
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
      HoursImport in{1, Decimal::fromCents(100), true};
      for (int n = 0;; ++n) {
        if (!equipment::importHours(c, in)) _exit(3);
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

    const std::vector<MAQ> m = all<MAQ>();
    ASSERT_EQ(m.size(), std::size_t(kLines));
    for (const MAQ& e : m) ASSERT_DOUBLE_EQ(e.REQU, m[0].REQU);
    EXPECT_DOUBLE_EQ(budget(1), m[0].REQU * 2.5 * kLines);
    EXPECT_EQ(all<PRB>().size(), 7u);
  }
}

// --- IMPORTA ---------------------------------------------------------------------

TEST_F(Equipment, ImportaRefusesBadOptionsAndAsksBeforeTheCleanUp) {
  auto run = [&] { return this->run("IMPORTA"); };
  // Level 3 of entry 1 is not enough.
  program.rights.user = 5;
  program.rights.levels[0] = 3;
  EXPECT_EQ(run(), response::Cancelled);
  EXPECT_EQ(host.warnings.back()[0], "NO TIENE ACCESO A ESTE PROGRAMA");
  program.rights.levels[0] = 4;

  host.press("?OK");  // front 0: told and closed
  EXPECT_EQ(run(), response::Cancelled);
  EXPECT_EQ(host.warnings.back()[0], "NO HA DADO EL FRENTE DE");

  MAQ idle;
  idle.CTA = 950, idle.FREN = 2;
  add(idle);
  host.type("?FRENTE", "1");
  host.type("?FACTOR", "0");
  host.press("?OK");
  host.type("?FACTOR", "1.5");
  host.press("?OK");  // nothing in HORA yet
  host.press("?CANCEL");
  EXPECT_EQ(run(), response::Cancelled);
  ASSERT_GE(host.warnings.size(), 2u);
  EXPECT_EQ(host.warnings[host.warnings.size() - 2][0], "EL FACTOR DE MULTIPLICACION");
  EXPECT_EQ(host.warnings.back()[0], "NO HAY HORAS DE EQUIPO QUE IMPORTAR");

  add(line(901, 100, 250.00, "TERRACERIAS"));
  host.type("?FRENTE", "1");
  host.type("?FACTOR", "1.5");
  host.type("?ACUMULA", "0");
  host.press("?OK");  // "no" to the question: nothing happens
  host.press("?OK");  // "yes"
  host.choices = {false, true};
  EXPECT_EQ(run(), response::Completed);
  EXPECT_EQ(host.warnings[host.warnings.size() - 2],
            (WarningLines{"SE BORRARAN 1 EQUIPOS SIN AVANCE", "DE 1 FRENTE DE LA OBRA",
                          "¿DESEA CONTINUAR?"}));
  std::vector<MAQ> m = all<MAQ>();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_DOUBLE_EQ(m[0].REQU, 150);
  EXPECT_DOUBLE_EQ(budget(1), 37500.00);
  ASSERT_FALSE(host.boxes.empty());
  EXPECT_NE(host.boxes.back().text.find("37,500.00"), std::string::npos) << host.boxes.back().text;
}

// --- catalogues -------------------------------------------------------------------

TEST_F(Equipment, SuppliersShowOnlyEquipmentOnesWithOutstandingAdvancesAndSums) {
  PRV advanced = supplier(1, "RENTAS DEL NORTE", 2);
  advanced.ANTI = 5000, advanced.AAMO = 2000, advanced.TFAC = 2300, advanced.TPAG = 1150.5;
  add(advanced);
  add(supplier(2, "CEMENTOS DUDORE", 1));
  PRV other = supplier(3, "GRUAS DEL BAJIO", 2);
  other.TFAC = 100;
  add(other);

  std::vector<std::string> cells;
  onBrowse([&](BrowseProcedure& b) {
    ASSERT_EQ(b.view().rows().size(), 2u);
    cells = {b.cell(0, 2), b.listPart().footerOf("TOT1"), b.listPart().footerOf("TOT3"),
             b.listPart().footerOf("TOT4")};
    // Typing the number of another type's supplier lands on the next one.
    b.typedCharacter("2");
  });
  onBrowse([&](BrowseProcedure& b) {
    EXPECT_EQ(b.view().selected(), 1);
    EXPECT_EQ(std::get<std::int64_t>(program.var("NPRV")), 3);
  });
  host.press("?CLOSE");
  run("CAP_PROV");
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(cells[0], "      3,000.00");
  EXPECT_EQ(cells[1], "      3,000.00");
  EXPECT_EQ(cells[2], "      2,400.00");
  EXPECT_EQ(cells[3], "      1,150.50");

  // Saved once through UP_PROV, DUDORE's supplier becomes an equipment one.
  db::Table& t = ctx.table("PROV");
  ASSERT_TRUE(t.open().ok());
  t.clear();
  t.rec<PRV>().CTA = 2;
  ASSERT_TRUE(t.get("PRV:CTA_KEY").ok());
  host.press("?OK");
  EXPECT_EQ(run("UP_PROV", request::Change), response::Completed);
  t.clear();
  t.rec<PRV>().CTA = 2;
  ASSERT_TRUE(t.get("PRV:CTA_KEY").ok());
  EXPECT_EQ(t.rec<PRV>().TIPO, 2);
  t.close();

  // Deleting needs level 3 of entry 9: below it, it is not offered.
  program.rights.user = 4;
  program.rights.levels.fill(5);
  program.rights.levels[8] = 2;
  bool deletable = true, insertable = false;
  onBrowse([&](BrowseProcedure& b) {
    deletable = b.state("?DELETE:3").enabled;
    insertable = b.state("?INSERT:3").enabled;
  });
  host.press("?CLOSE");
  run("CAP_PROV");
  EXPECT_FALSE(deletable);
  EXPECT_TRUE(insertable);
}

TEST_F(Equipment, ItemsAreBudgetedByUnitPriceWhenTheyHaveOne) {
  PAR priced;
  priced.CONC = 10, priced.FREN = 1, priced.ECAN = 12.5, priced.UNIT = 80, priced.PRES = 999;
  add(priced);
  PAR lump;
  lump.CONC = 20, lump.FREN = 1, lump.PRES = 100, lump.VPRE = 10, lump.MATE = 50.25,
  lump.VMAT = 0.5;
  add(lump);
  std::vector<std::string> cells;
  onBrowse([&](BrowseProcedure& b) { cells = {b.cell(0, 6), b.cell(1, 6)}; });
  host.press("?CLOSE");
  run("CAP_PART");
  EXPECT_EQ(cells, (std::vector<std::string>{"      1,000.00", "        160.75"}));
}

}  // namespace
}  // namespace velmora
