// VOROVID's catalogues driven through the test host: the equipment
// suppliers with their balances, and the budget items' computed budget.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "equipment/equipment.h"
#include "framework/browse.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

PRV supplier(std::int32_t cta, std::string name, std::uint8_t type) {
  PRV p;
  p.CTA = cta;
  p.NOMB = std::move(name);
  p.RFC = "RFC" + std::to_string(cta);
  p.TIPO = type;
  return p;
}

class EquipmentCatalogues : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* label : {"PROV", "PART", "MAQU", "FREN", "PROB"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    messages.setHost(&host);
    equipment::addProcedures(program);
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

TEST_F(EquipmentCatalogues, SuppliersShowOnlyEquipmentOnesWithOutstandingAdvancesAndSums) {
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
    cells = {b.cell(0, 2), b.display("?TOT1"), b.display("?TOT3"), b.display("?TOT4")};
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

TEST_F(EquipmentCatalogues, ItemsAreBudgetedByUnitPriceWhenTheyHaveOne) {
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
