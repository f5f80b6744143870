// A list part of its own in a plain window: the header and lines form run
// under the test host, its lines addressed by control, and the in-memory
// list's sorting, editing and totals.

#include <gtest/gtest.h>

#include "tests/support/lines_form.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

class ListParts : public ::testing::Test {
 protected:
  void SetUp() override { messages.setHost(&host); }
  void line(const std::string& item, const std::string& quantity, const std::string& price) {
    host.type("?CONCEPTO", item);
    host.type("?CANTIDAD", quantity);
    host.type("?PRECIO", price);
    host.press("?ALTA");
  }
  std::vector<std::string> concepts(ListPart& l) {
    std::vector<std::string> out;
    for (int r = 0; r < l.rowCount(); ++r)
      out.push_back(l.cell(r, 0).substr(0, l.cell(r, 0).find(' ')));
    return out;
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VELMORA", storage, messages, folder.file("velmora.INI")};
  db::Context ctx{storage, 0};
  test::TestHost host;
};

TEST_F(ListParts, HeaderAndLinesFormUnderTheTestHost) {
  test::LinesForm form(program, ctx);
  host.type("?CLIENTE", "CONSTRUCTORA DEL NORTE");
  host.onList([](ListPart& l) {
    EXPECT_TRUE(l.empty());
    EXPECT_FALSE(l.owner().state("?BAJA").enabled);  // nothing to remove yet
  });
  line("ZAPATA", "2", "150.25");
  line("BARDA", "3.5", "10.01");  // 35.035 rounds to 35.04
  line("MURO", "1", "0.10");
  host.onList(
      [&](ListPart& l) {
        EXPECT_EQ(concepts(l), (std::vector<std::string>{"ZAPATA", "BARDA", "MURO"}));
        EXPECT_EQ(l.selected(), 2);  // the new line comes selected
        EXPECT_TRUE(l.owner().state("?BAJA").enabled);
        EXPECT_EQ(l.cell(1, 3), "         35.04");
        EXPECT_EQ(l.colours(0, 0).normalBg, kGreenBar);
        EXPECT_EQ(l.colours(1, 0).normalBg, -1);
        l.headerClicked(0);  // by item; the selection stays on MURO
        EXPECT_EQ(concepts(l), (std::vector<std::string>{"BARDA", "MURO", "ZAPATA"}));
        EXPECT_EQ(l.selected(), 1);
        l.headerClicked(3);
        l.headerClicked(3);  // a second click reverses
        EXPECT_EQ(concepts(l), (std::vector<std::string>{"ZAPATA", "BARDA", "MURO"}));
      },
      test::LinesForm::kList);
  host.actions.push_back([](Procedure& p) { EXPECT_EQ(p.display("?TOTAL"), "        335.64"); });
  // Keys reach the list that has the focus: Down, then Delete presses "&Baja".
  host.actions.push_back([](Procedure& p) {
    p.selected(test::LinesForm::kList);
    p.keyPressed(Key::Home);
    p.keyPressed(Key::Down);
    p.keyPressed(Key::Delete);
  });
  // A line added while sorted goes to its place.
  line("PISO", "1", "100");
  host.onList([&](ListPart& l) {
    EXPECT_EQ(concepts(l), (std::vector<std::string>{"ZAPATA", "PISO", "MURO"}));
    EXPECT_EQ(l.selected(), 1);
    EXPECT_EQ(l.popup().size(), 2u);  // Alta and Borra
    l.popupChosen("Borra");
    l.headerClicked(0);     // MURO, ZAPATA
    l.typedCharacter("z");  // the locator looks in the sorted column
  });
  host.actions.push_back([](Procedure& p) { EXPECT_EQ(p.display("?TOTAL"), "        300.60"); });
  line("", "1", "1");  // refused: no item
  host.press("?OK");
  EXPECT_EQ(form.run(host), response::Completed);
  ASSERT_EQ(form.lines().rows().size(), 2u);
  EXPECT_EQ(form.lines().selected(), 1);  // the locator found ZAPATA
  EXPECT_EQ(toText(form.value("CLIENTE")), "CONSTRUCTORA DEL NORTE");
  EXPECT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0][0], "FALTA EL CONCEPTO");
  EXPECT_EQ(form.list("?lineas"), &form.lines());  // controls are named without regard to case
  EXPECT_EQ(form.list("?CLIENTE"), nullptr);
}

TEST(MemoryListPart, TotalsAreExactAndRemovingKeepsASelection) {
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VELMORA", storage, messages, folder.file("velmora.INI")};
  db::Context ctx{storage, 0};
  test::LinesForm form(program, ctx);
  MemoryListPart& l = form.lines();
  // Ten lines of 0.10 as decimals, doubles and whole numbers of pesos.
  for (int i = 0; i < 10; ++i) l.add({std::string("X"), 0.0, 0.0, Decimal::fromCents(10)});
  l.add({std::string("Y"), 0.0, 0.0, 0.1});
  l.add({std::string("Z"), 0.0, 0.0, std::int64_t(2)});
  l.add({std::string("W")});  // a row short of columns shows blanks and adds nothing
  EXPECT_EQ(l.total(3), Decimal::fromCents(310));
  EXPECT_EQ(l.cell(12, 3), "");
  l.select(12);
  EXPECT_TRUE(l.remove(12));
  EXPECT_EQ(l.selected(), 11);  // the last one, when the removed row was last
  EXPECT_TRUE(l.remove(0));
  EXPECT_EQ(l.selected(), 0);
  EXPECT_FALSE(l.remove(99));
  EXPECT_FALSE(l.replace(-1, {}));
  l.clear();
  EXPECT_EQ(l.selected(), -1);
  EXPECT_FALSE(l.keyPressed(Key::Enter));
  EXPECT_TRUE(l.keyPressed(Key::Down));  // taken, even with no rows
  // Numbers sort by amount across types, before texts; texts without case.
  EXPECT_LT(compareValues(std::int64_t(2), Decimal::fromCents(201)), 0);
  EXPECT_EQ(compareValues(0.5, Decimal::fromCents(50)), 0);
  EXPECT_LT(compareValues(std::int64_t(9), std::string("1")), 0);
  EXPECT_EQ(compareValues(std::string("ñandú"), std::string("ÑANDÚ")), 0);
}

}  // namespace
}  // namespace velmora
