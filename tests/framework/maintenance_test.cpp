// The maintenance pair that any table gets from its metadata: Spanish
// captions, pages a screen can hold, and fields shown and read back through
// the dictionary's pictures.

#include <gtest/gtest.h>

#include "dictionary/dates.h"
#include "framework/maintenance.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

std::vector<std::string> captions(const WindowDescription& w) {
  std::vector<std::string> out;
  for (const Control* t : w.tabs()) out.push_back(t->text);
  return out;
}

TEST(Maintenance, SpanishCaptionsAndPagesThatFitTheScreen) {
  for (const auto& t : dict::tables()) {
    SCOPED_TRACE(std::string(t.label));
    const WindowDescription b = maintenanceBrowseWindow(t);
    EXPECT_EQ(b.title, "Mantenimiento de " + std::string(t.label));
    std::vector<std::string> tabs = captions(b);
    for (const auto& c : tabs) {
      EXPECT_EQ(c.rfind("x ", 0), 0u) << c;
      EXPECT_EQ(c.find("_KEY"), std::string::npos) << c;
      EXPECT_EQ(std::count(tabs.begin(), tabs.end(), c), 1) << c;
    }
    // Every field of the form sits on a tab of the form's own sheet.
    const WindowDescription f = maintenanceFormWindow(t);
    ASSERT_TRUE(f.hasSheet());
    EXPECT_EQ(f.tabs().front()->text, "General");
    for (const Control& c : f.controls)
      if (c.type == ControlType::Entry) {
        EXPECT_TRUE(f.find(c.owner)) << c.id;
      }
  }

  const dict::TableInfo& pers = *dict::findTable("PERS");
  EXPECT_EQ(captions(maintenanceBrowseWindow(pers)),
            (std::vector<std::string>{"x Cuenta", "x Usuario", "x Nombre"}));
  const WindowDescription f = maintenanceFormWindow(pers);
  EXPECT_EQ(captions(f), (std::vector<std::string>{"General", "PRES", "ESTI", "MATE", "COBR",
                                                   "EQUI", "VENT", "NOMI", "SCON", "VARI"}));
  // One array of access levels per page: twenty rows at most, which a
  // 768-pixel screen holds with the title, the tabs and the buttons.
  std::map<std::string, int> rows;
  for (const Control& c : f.controls)
    if (c.type == ControlType::Entry) ++rows[c.owner];
  EXPECT_EQ(rows["?TAB1"], 7);
  for (const auto& [tab, n] : rows) EXPECT_LE(n, 20) << tab;
  EXPECT_EQ(f.find("?PER:ESTI[3]")->owner, "?TAB3");
  EXPECT_EQ(f.find("?PER:ACFE")->picture, "@d6");
  EXPECT_EQ(f.find("?POPCALENDAR")->target, "?PER:ACFE");

  // A group puts each element's members together on its page.
  const WindowDescription works = maintenanceFormWindow(*dict::findTable("OBRA"));
  EXPECT_EQ(captions(works).back(), "CONTA");
  EXPECT_EQ(works.find("?OBR:SCC[1]:Prompt")->text, "SCC 1:");
  EXPECT_EQ(works.find("?OBR:CC[2]:Prompt")->text, "CC 2:");
}

class MaintenanceForm : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("PERS"), folder.file("DATA7.TPS"));
    messages.setHost(&host);
    db::Table& t = ctx.table("PERS");
    ASSERT_TRUE(t.open().ok());
    t.rec<PER>().CTA = 1;
    t.rec<PER>().NOMB = "PEÑA";
    t.rec<PER>().ESTI[2] = 3;
    t.rec<PER>().ACFE = dates::fromYmd({2024, 3, 5});
    t.rec<PER>().ACHO = 4500001;  // 12:30:00.00
    ASSERT_TRUE(t.add().ok());
  }
  // Opens the record's form for a change, as the browse does, runs what the
  // host was told, and reads the record back.
  PER change() {
    db::Table& t = ctx.table("PERS");
    t.clear();
    t.rec<PER>().CTA = 1;
    EXPECT_TRUE(t.get("PER:CTA_KEY").ok());
    auto form = makeMaintenanceForm(program, ctx, *dict::findTable("PERS"));
    program.request = request::Change;
    form->run(host);
    t.clear();
    t.rec<PER>().CTA = 1;
    EXPECT_TRUE(t.get("PER:CTA_KEY").ok());
    return t.rec<PER>();
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"VELMORA", storage, messages, folder.file("velmora.INI")};
  db::Context ctx{storage, 0};
  test::TestHost host;
};

TEST_F(MaintenanceForm, DatesAndTimesShowAndSaveThroughTheirPictures) {
  // Shown as the clerk reads them; saved untouched, nothing changes.
  host.actions.push_back([](Procedure& p) {
    EXPECT_EQ(p.display("?PER:ACFE"), "05/03/2024");
    EXPECT_EQ(p.display("?PER:ACHO"), "12:30:00");
    EXPECT_EQ(p.display("?PER:ESTI[3]"), "  3");
  });
  host.press("?OK");
  PER r = change();
  EXPECT_EQ(r.ACFE, dates::fromYmd({2024, 3, 5}));
  EXPECT_EQ(r.ACHO, 4500001);
  EXPECT_EQ(r.NOMB, "PEÑA");

  // A typed date is stored as its day number; an impossible one is refused
  // and the stored date stays.
  host.actions.push_back([](Procedure& p) {
    EXPECT_FALSE(p.typed("?PER:ACFE", "31/02/2024").ok());
    EXPECT_EQ(p.display("?PER:ACFE"), "05/03/2024");
  });
  host.type("?PER:ACFE", "06/03/2024");
  host.type("?PER:ESTI[3]", "4");
  host.press("?OK");
  r = change();
  EXPECT_EQ(r.ACFE, dates::fromYmd({2024, 3, 6}));
  EXPECT_EQ(r.ESTI[2], 4);
  EXPECT_EQ(r.ACHO, 4500001);
}

}  // namespace
}  // namespace velmora
