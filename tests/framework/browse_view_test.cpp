// The browse list's pages over a real table file: scrolling, ranges,
// filters, descending order, locating, the thumb, and rows that change.

#include <gtest/gtest.h>

#include "framework/browse_view.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

class View : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("FREN"), folder.file("OBRA8.TPS"));
    storage.setFileName(*dict::findTable("PART"), folder.file("OBRA10.TPS"));
    ASSERT_TRUE(fren.open().ok());
    ASSERT_TRUE(part.open().ok());
    // Fronts 1..50 named "A FRENTE 50", "A FRENTE 49", "B FRENTE 48" ... "Y FRENTE 1".
    for (int i = 1; i <= 50; ++i) {
      fren.clear();
      fren.rec<FRE>().CTA = i;
      fren.rec<FRE>().NOMB =
          std::string(1, char('A' + (50 - i) / 2)) + " FRENTE " + std::to_string(i);
      ASSERT_TRUE(fren.add().ok());
    }
  }
  std::vector<int> ctas(const BrowseView& v) {
    std::vector<int> out;
    for (const auto& r : v.rows()) out.push_back(r.record.as<FRE>().CTA);
    return out;
  }
  std::vector<int> span(int from, int to) {
    std::vector<int> out;
    for (int i = from; from <= to ? i <= to : i >= to; from <= to ? ++i : --i) out.push_back(i);
    return out;
  }

  test::TempFolder folder;
  db::Storage storage;
  db::Context ctx{storage};
  db::Table& fren = ctx.table("FREN");
  db::Table& part = ctx.table("PART");
};

TEST_F(View, PagesScrollByLineAndPageAndStopAtTheEnds) {
  BrowseView v(fren, 7);
  ASSERT_TRUE(v.setOrder({fren.info().key("FRE:CTA_KEY")}).ok());
  EXPECT_EQ(ctas(v), span(1, 7));
  EXPECT_EQ(v.selected(), 0);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(v.down().ok());
  EXPECT_EQ(v.selected(), 6);
  ASSERT_TRUE(v.down().ok());  // scrolls one line
  EXPECT_EQ(ctas(v), span(2, 8));
  EXPECT_EQ(v.selected(), 6);
  ASSERT_TRUE(v.pageDown().ok());
  EXPECT_EQ(ctas(v), span(9, 15));
  ASSERT_TRUE(v.pageUp().ok());
  EXPECT_EQ(ctas(v), span(2, 8));
  ASSERT_TRUE(v.pageUp().ok());
  EXPECT_EQ(ctas(v), span(1, 7));
  ASSERT_TRUE(v.up().ok());
  ASSERT_TRUE(v.up().ok());
  EXPECT_EQ(ctas(v), span(1, 7));
  ASSERT_TRUE(v.bottom().ok());
  EXPECT_EQ(ctas(v), span(44, 50));
  EXPECT_EQ(v.selected(), 6);
  ASSERT_TRUE(v.pageDown().ok());
  EXPECT_EQ(ctas(v), span(44, 50));
  ASSERT_TRUE(v.readSelected().ok());
  EXPECT_EQ(fren.rec<FRE>().CTA, 50);

  // Descending: the same key read from the other end.
  ASSERT_TRUE(v.setOrder({fren.info().key("FRE:CTA_KEY"), true}).ok());
  EXPECT_EQ(ctas(v), span(50, 44));
  ASSERT_TRUE(v.pageDown().ok());
  EXPECT_EQ(ctas(v), span(43, 37));
  // A page shorter than the list at the end is topped up from before.
  ASSERT_TRUE(v.bottom().ok());
  EXPECT_EQ(ctas(v), span(7, 1));
}

TEST_F(View, RangeLimitAndFilter) {
  for (int i = 1; i <= 30; ++i) {
    part.clear();
    part.rec<PAR>().CONC = i;
    part.rec<PAR>().CONT = std::int16_t(i % 3);
    part.rec<PAR>().TEXT = "P" + std::to_string(100 + i);
    ASSERT_TRUE(part.add().ok());
  }
  BrowseView v(part, 4);
  BrowseOrder o{part.info().key("PAR:DES_KEY"), false, {std::int64_t(2)}};
  ASSERT_TRUE(v.setOrder(o).ok());
  std::vector<double> seen;
  for (int i = 0; i < 20; ++i) {
    seen.push_back(v.rows()[std::size_t(v.selected())].record.as<PAR>().CONC);
    ASSERT_TRUE(v.down().ok());
  }
  seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(seen, (std::vector<double>{2, 5, 8, 11, 14, 17, 20, 23, 26, 29}));
  ASSERT_TRUE(v.bottom().ok());
  EXPECT_EQ(v.rows().back().record.as<PAR>().CONC, 29);
  EXPECT_EQ(v.rows().front().record.as<PAR>().CONC, 20);

  o.filter = [](const Record& r) { return int(r.as<PAR>().CONC) % 2 == 0; };
  ASSERT_TRUE(v.setOrder(o).ok());
  std::vector<double> even;
  for (const auto& r : v.rows()) even.push_back(r.record.as<PAR>().CONC);
  EXPECT_EQ(even, (std::vector<double>{2, 8, 14, 20}));

  // An empty range shows nothing and every movement keeps it so.
  ASSERT_TRUE(v.setOrder({part.info().key("PAR:DES_KEY"), false, {std::int64_t(9)}}).ok());
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.selected(), -1);
  EXPECT_TRUE(v.down().ok());
  EXPECT_TRUE(v.pageDown().ok());
  EXPECT_TRUE(v.empty());
}

TEST_F(View, LocateAndThumb) {
  BrowseView v(fren, 5);
  ASSERT_TRUE(v.setOrder({fren.info().key("FRE:NOM_KEY")}).ok());
  Record probe(fren.info());
  probe.as<FRE>().NOMB = "M";
  ASSERT_TRUE(v.locate(probe).ok());
  const auto& sel = v.rows()[std::size_t(v.selected())].record.as<FRE>();
  EXPECT_EQ(sel.NOMB.substr(0, 1), "M");
  EXPECT_EQ(sel.CTA, 25);  // "M FRENTE 25" comes before "M FRENTE 26"
  probe.as<FRE>().NOMB = "ZZZ";
  ASSERT_TRUE(v.locate(probe).ok());
  EXPECT_EQ(v.rows().back().record.as<FRE>().CTA,
            2);  // nothing after: the last page ("Y FRENTE 2")

  // Half way on a text key lands between the first and the last values.
  ASSERT_TRUE(v.thumb(50).ok());
  std::string mid = v.rows()[std::size_t(v.selected())].record.as<FRE>().NOMB;
  EXPECT_GT(mid, "A FRENTE 50");
  EXPECT_LT(mid, "Z FRENTE 1");
  EXPECT_GE(mid.substr(0, 1), "K");
  EXPECT_LE(mid.substr(0, 1), "P");
  int back = v.thumbPercent();
  EXPECT_NEAR(back, 50, 10);
  ASSERT_TRUE(v.thumb(0).ok());
  EXPECT_EQ(v.rows().front().record.as<FRE>().CTA, 49);  // "A FRENTE 49"
  ASSERT_TRUE(v.thumb(100).ok());
  EXPECT_EQ(v.rows().back().record.as<FRE>().CTA, 2);

  // A numeric key: 30 % of 1..50 is about front 16.
  ASSERT_TRUE(v.setOrder({fren.info().key("FRE:CTA_KEY")}).ok());
  ASSERT_TRUE(v.thumb(30).ok());
  EXPECT_NEAR(v.rows()[std::size_t(v.selected())].record.as<FRE>().CTA, 16, 1);
  EXPECT_NEAR(v.thumbPercent(), 30, 2);
  // Working out the thumb leaves the selected record in the buffer.
  ASSERT_TRUE(v.readSelected().ok());
  std::int64_t selected = fren.rec<FRE>().CTA;
  (void)v.thumbPercent();
  EXPECT_EQ(fren.rec<FRE>().CTA, selected);

  EXPECT_EQ(interpolateText("ABAAA", "ABZZZ", 0), "ABAAA");
  EXPECT_EQ(interpolateText("ABAAA", "ABZZZ", 100), "ABZZZ");
  EXPECT_LT(interpolateText("Zanja", "ABAAA", 50), "Zanja");  // descending spans work too
}

TEST_F(View, RowsThatChangeUnderThePage) {
  BrowseView v(fren, 5);
  ASSERT_TRUE(v.setOrder({fren.info().key("FRE:CTA_KEY")}).ok());
  // A new record is shown selected.
  fren.clear();
  fren.rec<FRE>().CTA = 40;
  ASSERT_TRUE(fren.get("FRE:CTA_KEY").ok());
  ASSERT_TRUE(fren.remove().ok());
  fren.clear();
  fren.rec<FRE>().CTA = 40;
  fren.rec<FRE>().NOMB = "NUEVO";
  ASSERT_TRUE(fren.add().ok());
  ASSERT_TRUE(v.show(fren.position()).ok());
  EXPECT_EQ(v.rows()[std::size_t(v.selected())].record.as<FRE>().NOMB, "NUEVO");
  // The first row of the page deleted: the page re-reads from the next one.
  ASSERT_TRUE(v.top().ok());
  v.select(2);
  ASSERT_TRUE(fren.getByPosition(v.rows()[0].position).ok());
  ASSERT_TRUE(fren.remove().ok());
  ASSERT_TRUE(v.reload().ok());
  EXPECT_EQ(ctas(v), span(2, 6));
  EXPECT_EQ(v.selected(), 2);
  // Everything deleted: empty, no selection.
  ASSERT_TRUE(fren.setStart(nullptr).ok());
  while (fren.next().ok()) ASSERT_TRUE(fren.remove().ok());
  ASSERT_TRUE(v.reload().ok());
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.readSelected().code, err::NoRecord);
}

}  // namespace
}  // namespace velmora
