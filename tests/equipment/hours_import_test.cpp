// The import of the budget's equipment hours: the operation over real
// table files, and IMPORTA driven through the test host.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "equipment/equipment.h"
#include "equipment/hours_import.h"
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

FRE front(std::int32_t cta) {
  FRE f;
  f.CTA = cta;
  f.NOMB = "FRENTE " + std::to_string(cta);
  return f;
}

class HoursImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* label : {"HORA", "MAQU", "PROB", "FREN"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    messages.setHost(&host);
    equipment::addProcedures(program);
    add(front(1));
    add(front(2));
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

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  test::TestHost host;
  db::Context ctx{storage, 0};
};

TEST_F(HoursImportTest, ReplacingAndAccumulatingHoursWithTheFrontsBudget) {
  add(line(901, 100, 250.00, "TERRACERIAS"));
  ImportResult r;
  ASSERT_TRUE(import(1, 150, false, &r).ok());
  std::vector<MAQ> m = all<MAQ>();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].CTA, 901);
  EXPECT_EQ(m[0].FREN, 1);
  EXPECT_DOUBLE_EQ(m[0].REQU, 150);
  EXPECT_DOUBLE_EQ(m[0].PRRE, 250);
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

TEST_F(HoursImportTest, ProgressSurvivesOtherFrontsGetTheirOwnAndProcessesAreMadeOnce) {
  MAQ started;
  started.CTA = 901;
  started.FREN = 1;
  started.REQU = 40;
  started.RECI = 1;
  add(started);
  MAQ idle = started;
  idle.CTA = 950, idle.FREN = 2, idle.RECI = 0.5;  // below 1: goes
  add(idle);
  PRB existing;
  existing.CTA = 10;  // the number a restart at 10 would have taken
  existing.TEXT = "ALBAÑILERIA";
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

TEST_F(HoursImportTest, BadInputAndAFailureHalfWayChangeNothing) {
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
  last.CTA = INT32_MAX - 15;
  last.TEXT = "ULTIMO";
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

// --- IMPORTA ---------------------------------------------------------------------

TEST_F(HoursImportTest, ImportaRefusesBadOptionsAndAsksBeforeTheCleanUp) {
  auto run = [&] {
    auto p = program.make("IMPORTA", ctx);
    program.request = 0;
    return p->run(host);
  };
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

}  // namespace
}  // namespace velmora
